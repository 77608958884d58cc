#include "accum/anova.h"

#include "fsrank/enums.h"
#include "fsrank/missing.h"
#include "stats/distributions.h"

void FinishCategoryVariances(FSMapIStat& stats) {
  for (int i = 0; i < stats.Size(); ++i) {
    CategoryStat& s = stats.At(i).second;
    const double dof = s.weight - 1.0;
    s.variance = dof > 0.0 ? s.sumSq / dof : 0.0;
  }
}

void OneWayFTest(const FSMapIStat& stats, double grandMean, double n, TailMode tails, double& value,
                 double& fStat, double& extra1, double& extra2) {
  const int k = stats.Size();
  double ssb = 0.0;
  double ssw = 0.0;
  for (int i = 0; i < k; ++i) {
    const CategoryStat& s = stats.At(i).second;
    const double d = s.mean - grandMean;
    ssb = ssb + d * (s.weight * d);
    ssw = ssw + (s.weight - 1.0) * s.variance;
  }
  const double df1 = static_cast<double>(k - 1);
  const double df2 = n - static_cast<double>(k);
  extra1 = df1;
  extra2 = df2;
  if (tails == TailMode::Exact) {
    // A test needs two categories, more cases than categories and some spread of the
    // variable; without spread within the categories but with it between them, the
    // separation is perfect (F is infinite).
    if (!(df1 > 0.0 && df2 > 0.0 && ssb + ssw > 0.0)) return;
    if (ssw > 0.0) {
      const double f = (ssb / df1) / (ssw / df2);
      value = FUpper(f, df1, df2);
      if (!NQMV::IsMissing(value)) fStat = f;
    } else {
      value = 0.0;
    }
    return;
  }
  if (df1 > 0.0 && df2 > 0.0 && ssw > 0.0) {
    const double f = (ssb / df1) / (ssw / df2);
    const double q = FCdf(f, df1, df2);
    if (!NQMV::IsMissing(q)) {
      value = 1.0 - q;
      fStat = f;
    }
    return;
  }
  if (ssw <= 0.0) value = 0.0;
}

bool OneWayFStats(const IFSPredTargetAccum& accum, int criterion, const CriterionContext& context,
                  double& a, double& b, double& c, double& d) {
  a = b = c = d = gMissingValue;
  if (criterion != NQFSCommon::FStat) return false;
  double tieBreak2;
  accum.ComputeCriterion(criterion, context, a, b, tieBreak2, c, d);
  return true;
}
