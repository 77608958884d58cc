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

// Merging: the weighted mean and sum of squared deviations of two disjoint sets of cases
// (weights na and nb) combined into those of their union by the pairwise rule of Chan, Golub
// and LeVeque. With n = na + nb, f = nb / n and d = meanB - meanA: mean = meanA + d f and
// sumSq = (sumSqA + sumSqB) + d (d (na f)). The first part is always a, so the result depends
// only on the order of the parts. An empty part leaves the other's values exactly as they are.
// Returns the factor na f = na nb / n that a co-moment of the same cases needs (0 when either
// part is empty).
inline double CombineMoments(double na, double& meanA, double& sumSqA, double nb, double meanB,
                             double sumSqB) {
  if (!(nb > 0.0)) return 0.0;
  if (!(na > 0.0)) {
    meanA = meanB;
    sumSqA = sumSqB;
    return 0.0;
  }
  const double f = nb / (na + nb);
  const double d = meanB - meanA;
  const double g = na * f;
  meanA = meanA + d * f;
  sumSqA = (sumSqA + sumSqB) + d * (d * g);
  return g;
}

// Merging: a weighted mean alone (CombineMoments without the spread).
inline void CombineMeans(double na, double& meanA, double nb, double meanB) {
  double unusedA = 0.0;
  CombineMoments(na, meanA, unusedA, nb, meanB, 0.0);
}

// Merging the constancy of two parts, a's first: the union is constant when both parts are and
// their first values (none: noValue) agree; its first value is a's, or b's when a had none.
template <class T, class IsNone>
void CombineConstancy(bool& constantA, T& firstA, bool constantB, const T& firstB, IsNone isNone) {
  if (isNone(firstA)) {
    firstA = firstB;
    constantA = constantB;
    return;
  }
  if (!constantB || (!isNone(firstB) && !(firstB == firstA))) constantA = false;
}

#endif  // FSRANK_ACCUM_ACCUM_COMMON_H
