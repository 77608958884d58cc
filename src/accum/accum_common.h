// Small rules that every accumulator follows: which weights count, how a value becomes a
// category, how constancy is tracked, and the weighted one-pass moment step.
#ifndef FSRANK_ACCUM_ACCUM_COMMON_H
#define FSRANK_ACCUM_ACCUM_COMMON_H

#include <limits>

#include "fsrank/missing.h"

// A case counts only with a weight above 0; 0, negative and NaN weights leave an accumulator
// untouched.
inline bool IsUsableWeight(double w) {
  return w > 0.0;
}

// A value truncated toward zero to a 32-bit category (2.9 gives 2, -0.7 gives 0). A value
// whose truncation does not fit an int (and NaN) gives the smallest int, as the processor's
// own truncating conversion does, instead of undefined behaviour.
inline int TruncateToCategory(double x) {
  if (x > -2147483649.0 && x < 2147483648.0) return static_cast<int>(x);
  return std::numeric_limits<int>::min();
}

// Constancy on categories: the first valid category is remembered (-1 while there was none);
// the flag falls, for good, at the first different one.
inline void TrackConstantCategory(bool& constant, int& first, int category) {
  if (!constant) return;
  if (first == -1) {
    first = category;
  } else {
    constant = (category == first);
  }
}

// Constancy on values, compared exactly; the first value is the missing value while there was
// none.
inline void TrackConstantValue(bool& constant, double& first, double x) {
  if (!constant) return;
  if (NQMV::IsMissing(first)) {
    first = x;
  } else {
    constant = (x == first);
  }
}

// Adds (x, w) to a weighted mean and sum of squared deviations that already hold the weight
// W: d = (x - mean) (w / (W + w)); sumSq += d (W (((W + w) / w) d)); mean += d. The sum grows
// by W w (x - old mean)^2 / (W + w); for the first case W is 0 and the mean becomes x.
inline void AddWeightedMoments(double x, double w, double W, double& mean, double& sumSq) {
  const double wn = W + w;
  const double d = (x - mean) * (w / wn);
  mean = mean + d;
  sumSq = sumSq + d * (W * ((wn / w) * d));
}

#endif  // FSRANK_ACCUM_ACCUM_COMMON_H
