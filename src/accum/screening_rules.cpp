#include "accum/screening_rules.h"

#include <cmath>
#include <limits>

namespace {

// A value within this relative distance of its threshold is not deleted: the thresholds of
// rules 4 and 5 are typed in by people, the statistics are computed with rounding.
constexpr double kEpsilon = std::numeric_limits<double>::epsilon();  // 2^-52

// Collects reasons: either only the first that holds, or all of them in rule order.
class ReasonList {
 public:
  explicit ReasonList(std::vector<int>* all) : fpAll(all) {}
  // Records a reason; true when the caller should stop testing.
  bool Add(int reason) {
    if (fnFirst == 0) fnFirst = reason;
    ++fnCount;
    if (fpAll == nullptr) return true;
    fpAll->push_back(reason);
    return false;
  }
  int First() const { return fnFirst; }
  int Count() const { return fnCount; }

 private:
  std::vector<int>* fpAll;
  int fnFirst = 0;
  int fnCount = 0;
};

// Rule 1, the same for both kinds: the share of missing weight above m.
bool ManyMissing(const FSSettings& s, double W, double M) {
  if (!s.GetFlagDeleteIfManyMiss()) return false;
  const double m = s.GetMaxPctMiss() / 100.0;
  return m < 1.0 && W > 0.0 && M / W > m;
}

void ApplyCategorical(const FSSettings& s, const CatScreenInput& in, ReasonList& out) {
  if (ManyMissing(s, in.processed, in.missing) && out.Add(ReasonManyMissing)) return;

  const FSMapICnt& table = *in.categories;
  const int k = table.Size();
  if (s.GetFlagDeleteIfManySingle()) {
    const double single = s.GetMaxPctSingle() / 100.0;
    if (single < 1.0 && k > 0) {
      // The share of the largest category in the weight of the valid values, not in W.
      double largest = 0.0;
      double sum = 0.0;
      for (int i = 0; i < k; ++i) {
        const double w = table.At(i).second;
        if (w > largest) largest = w;
        sum += w;
      }
      if (largest / sum > single && out.Add(ReasonManyConst)) return;
    }
  }

  if (s.GetFlagDeleteIfManyCategories()) {
    const double c = s.GetMaxNCatAsPct() / 100.0;
    const int n = in.unweightedValid;
    if (c < 1.0 && n > 0 && static_cast<double>(k) / static_cast<double>(n) > c) {
      out.Add(ReasonManyCategs);
    }
  }
}

void ApplyContinuous(const FSSettings& s, const ContScreenInput& in, ReasonList& out) {
  if (ManyMissing(s, in.processed, in.missing) && out.Add(ReasonManyMissing)) return;
  // Nothing is known of the values of an all-missing predictor.
  if (in.processed > 0.0 && in.missing == in.processed) return;

  const double sd = in.sd;
  if (s.GetFlagDeleteIfSmallStddev()) {
    const double d = s.GetMinStddev();
    if (d > 0.0 && sd < d && (d - sd) / d > kEpsilon && out.Add(ReasonSmallStdDev)) return;
  }

  if (s.GetFlagDeleteIfSmallVariation()) {
    const double v = s.GetMinVariation();
    if (v > 0.0) {
      bool small = (sd == 0.0);
      if (!small && in.mean != 0.0) {
        const double cv = std::fabs(sd / in.mean);
        small = cv < v && (v - cv) / v > kEpsilon;
      }
      if (small) out.Add(ReasonSmallVar);
    }
  }
}

}  // namespace

const char* DeletionReasonName(int reason) {
  switch (reason) {
    case ReasonAllMissing:
      return "allMissing";
    case ReasonAllConst:
      return "allConst";
    case ReasonManyMissing:
      return "manyMissing";
    case ReasonManyConst:
      return "manyConst";
    case ReasonManyCategs:
      return "manyCategs";
    case ReasonSmallStdDev:
      return "smallStdDev";
    case ReasonSmallVar:
      return "smallVar";
    default:
      return "";
  }
}

int ScreenCategorical(const FSSettings* settings, const CatScreenInput& in) {
  ReasonList list(nullptr);
  if (settings != nullptr) ApplyCategorical(*settings, in, list);
  return list.First();
}

int ScreenAllCategorical(const FSSettings* settings, const CatScreenInput& in,
                         std::vector<int>& reasons) {
  reasons.clear();
  ReasonList list(&reasons);
  if (settings != nullptr) ApplyCategorical(*settings, in, list);
  return list.Count();
}

int ScreenContinuous(const FSSettings* settings, const ContScreenInput& in) {
  ReasonList list(nullptr);
  if (settings != nullptr) ApplyContinuous(*settings, in, list);
  return list.First();
}

int ScreenAllContinuous(const FSSettings* settings, const ContScreenInput& in,
                        std::vector<int>& reasons) {
  reasons.clear();
  ReasonList list(&reasons);
  if (settings != nullptr) ApplyContinuous(*settings, in, list);
  return list.Count();
}
