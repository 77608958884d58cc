// The missing-value convention: one ordinary finite double, minus the largest finite double
// (bit pattern 0xFFEFFFFFFFFFFFFF), stands for an absent value everywhere in the library.
#ifndef FSRANK_MISSING_H
#define FSRANK_MISSING_H

#include <limits>

#include "fsrank/export.h"

inline constexpr double gMissingValue = -std::numeric_limits<double>::max();

class FSRANK_API NQMV {
 public:
  static constexpr double Missing() { return gMissingValue; }
  // Exact equality: a NaN is not missing, and neither is any other value.
  static constexpr bool IsMissing(double x) { return x == gMissingValue; }
  NQMV& operator=(const NQMV&) { return *this; }
};

#endif  // FSRANK_MISSING_H
