// Small helpers the data passes share: how a value becomes a category and how a case weight
// becomes a frequency.
#ifndef FSRANK_ENGINE_PASS_UTIL_H
#define FSRANK_ENGINE_PASS_UTIL_H

#include <climits>
#include <cmath>

#include "accum/accum_common.h"
#include "fsrank/enums.h"
#include "fsrank/missing.h"

namespace fsengine {

// True when x truncated toward zero is -1, the code for an invalid category: -1.5 and -1.0
// are, -0.5 and -2.0 are not.
inline bool TruncatesToMinusOne(double x) {
  return x <= -1.0 && x > -2.0;
}

// x truncated toward zero, saturated at the ends of the int range; NaN gives INT_MAX. Used
// for predictor indices and case identifiers, where "too large" must stay too large.
inline int TruncateSaturated(double x) {
  if (std::isnan(x)) return INT_MAX;
  if (x >= 2147483647.0) return INT_MAX;
  if (x <= -2147483648.0) return INT_MIN;
  return static_cast<int>(x);
}

// The frequency weight of a record from its weight column, or false when the record is to be
// skipped (missing weight, or a converted weight that is not greater than 0, NaN included).
inline bool ConvertWeight(double raw, int conversion, double& weight) {
  if (NQMV::IsMissing(raw)) return false;
  double w = raw;
  if (conversion == NQFSCommon::WeightRound) {
    w = std::floor(raw + 0.5);
  } else if (conversion == NQFSCommon::WeightTruncate) {
    w = std::floor(raw);
  }
  if (!(w > 0.0)) return false;
  weight = w;
  return true;
}

}  // namespace fsengine

#endif  // FSRANK_ENGINE_PASS_UTIL_H
