#include "accum/cont_pair_accum.h"

#include <cmath>

#include "accum/anova.h"
#include "fsrank/enums.h"
#include "stats/distributions.h"

// ---------------------------------------------------------------------------------------------
// FSContPCatTAccum

// The predictor's overall spread from its per-category statistics: each category adds its
// own sum of squares and its weight times the squared distance of its mean from the grand
// mean.
double FSContPCatTAccum::PredStdDev() const {
  double t = 0.0;
  double v = 0.0;
  for (int i = 0; i < fmPredStats.Size(); ++i) {
    const CategoryStat& s = fmPredStats.At(i).second;
    const double d = fdPredMean - s.mean;
    t = t + ((d * (s.weight * d)) + s.sumSq);
    v = v + s.weight;
  }
  return v > 1.0 ? std::sqrt(t / (v - 1.0)) : 0.0;
}

void FSContPCatTAccum::FinishPass() {
  FinishCategoryVariances(fmPredStats);
}

void FSContPCatTAccum::ComputeCriterion(int criterion, const CriterionContext& context,
                                        double& value, double& tieBreak1, double& tieBreak2,
                                        double& extra1, double& extra2) const {
  value = tieBreak1 = tieBreak2 = extra1 = extra2 = gMissingValue;
  const double n = ValidWeight();
  if (criterion == NQFSCommon::FStat) {
    tieBreak2 = n;
  } else if (criterion == NQFSCommon::Pearson || criterion == NQFSCommon::Likelihood) {
    tieBreak2 = -n;
  } else {
    return;
  }
  OneWayFTest(fmPredStats, fdPredMean, n, context.tails, value, tieBreak1, extra1, extra2);
}

bool FSContPCatTAccum::GetStats(int criterion, const CriterionContext& context, double& a,
                                double& b, double& c, double& d) const {
  return OneWayFStats(*this, criterion, context, a, b, c, d);
}

void FSContPCatTAccum::Display(std::ostream& os) const {
  os << "\nStart of FSContPCatTAccum display\n\n";
  os << "Number of target categories = " << fmPredStats.Size() << '\n';
  DisplayCommon(os, "predictor value");
  os << "\nGrand mean of predictor = " << fdPredMean << '\n';
  os << "\nPredictor statistics for target categories:\n";
  fmPredStats.Display(os);
  os << "\nEnd of FSContPCatTAccum display\n";
}

// ---------------------------------------------------------------------------------------------
// FSContPContTAccum

double FSContPContTAccum::PredStdDev() const {
  return std::sqrt(fdPredVariance);
}

void FSContPContTAccum::FinishPass() {
  fdCorrelation = gMissingValue;
  const double n = ValidWeight();
  if (!(n > 1.0)) {
    fdPredVariance = 0.0;
    fdTargetVariance = 0.0;
    return;
  }
  fdPredVariance = fdPredSecondMoment / (n - 1.0);
  fdTargetVariance = fdTargetSecondMoment / (n - 1.0);
  if (fdPredVariance > 0.0 && fdTargetVariance > 0.0) {
    fdCorrelation =
        ((fdCrossProduct / (n - 1.0)) / std::sqrt(fdPredVariance)) / std::sqrt(fdTargetVariance);
  }
}

void FSContPContTAccum::ComputeCriterion(int criterion, const CriterionContext& context,
                                         double& value, double& tieBreak1, double& tieBreak2,
                                         double& extra1, double& extra2) const {
  value = tieBreak1 = tieBreak2 = extra1 = extra2 = gMissingValue;
  if (criterion != NQFSCommon::FStat && criterion != NQFSCommon::TStat) return;
  if (NQMV::IsMissing(fdCorrelation)) return;
  const double rr = fdCorrelation * fdCorrelation;
  const double df = ValidWeight() - 2.0;
  if (context.tails == TailMode::Exact) {
    // Without a degree of freedom (two cases) any two points lie on a line: no test.
    if (df > 0.0 && rr < 1.0) {
      const double t = std::sqrt(df / (1.0 - rr)) * fdCorrelation;
      value = TTwoSidedUpper(t, df);
      extra2 = t;
    } else if (df > 0.0) {
      value = 0.0;  // a perfect correlation
    }
  } else if (rr < 1.0 && df >= 0.0) {
    const double t = std::sqrt(df / (1.0 - rr)) * fdCorrelation;
    double q = TCdf(t, df);
    if (t > 0.0 && !NQMV::IsMissing(q)) q = 1.0 - q;
    if (!NQMV::IsMissing(q)) value = 2.0 * q;
    extra2 = t;
  } else {
    // A perfect (or rounded-up) correlation.
    value = 0.0;
  }
  tieBreak1 = rr;
  tieBreak2 = df + 2.0;
  extra1 = fdCorrelation;
}

bool FSContPContTAccum::GetStats(int criterion, const CriterionContext& context, double& a,
                                 double& b, double& c, double& d) const {
  a = b = c = d = gMissingValue;
  if (criterion != NQFSCommon::TStat) return false;
  double tieBreak1, tieBreak2;
  ComputeCriterion(criterion, context, a, tieBreak1, tieBreak2, b, c);
  d = tieBreak2 - 2.0;
  return true;
}

void FSContPContTAccum::Display(std::ostream& os) const {
  os << "\nStart of FSContPContTAccum display\n\n";
  DisplayCommon(os, "predictor value");
  os << "Mean of the predictor = " << fdPredMean << '\n';
  os << "Second moment of the predictor = " << fdPredSecondMoment << '\n';
  os << "Mean of the target = " << fdTargetMean << '\n';
  os << "Second moment of the target = " << fdTargetSecondMoment << '\n';
  os << "Cross-product = " << fdCrossProduct << '\n';
  os << "Variance of the predictor = " << fdPredVariance << '\n';
  os << "Variance of the target = " << fdTargetVariance << '\n';
  os << "Pearson correlation coefficient = " << fdCorrelation << '\n';
  os << "\nEnd of FSContPContTAccum display\n";
}
