// Shared by the accumulator tests: feeding cases to an accumulator, and reading its criteria
// and statistics back.
#ifndef FSRANK_TESTS_ACCUM_SUPPORT_ACCUM_CASES_H
#define FSRANK_TESTS_ACCUM_SUPPORT_ACCUM_CASES_H

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accum/cat_pair_accum.h"
#include "accum/cont_pair_accum.h"
#include "accum/single_accum.h"
#include "common/golden.h"
#include "fsrank/enums.h"
#include "fsrank/missing.h"

namespace accumtest {

using V = std::vector<double>;
constexpr double kMiss = gMissingValue;
const double kAny = std::nan("");  // an expected output that is not checked

// A predictor value, a target value and a weight; a NaN predictor value is a missing one.
struct Case {
  double x, y, w;
};

// Pair accumulators take the cases through AddValue, single-variable ones through
// AddValueNoTarget.
inline void Feed(IFSPredTargetAccum& a, const std::vector<Case>& cases, bool finish = true) {
  const bool single =
      dynamic_cast<FSCatAccum*>(&a) != nullptr || dynamic_cast<FSContAccum*>(&a) != nullptr;
  for (const Case& c : cases) {
    if (std::isnan(c.x)) {
      a.AddMissing(c.w);
    } else if (single) {
      a.AddValueNoTarget(c.x, c.w, true);
    } else {
      a.AddValue(c.x, c.y, c.w, 1);
    }
  }
  if (finish) a.FinishPass();
}

template <class Accum>
Accum Fed(const std::vector<Case>& cases, bool finish = true) {
  Accum a;
  Feed(a, cases, finish);
  return a;
}

// ComputeCriterion's value, two tie-breaks and two extras.
inline V Criterion(const IFSPredTargetAccum& a, int criterion,
                   TailMode tails = TailMode::Complement) {
  V o = {1, 2, 3, 4, 5};
  a.ComputeCriterion(criterion, CriterionContext{tails, nullptr}, o[0], o[1], o[2], o[3], o[4]);
  return o;
}

// GetStats' result (1 or 0) and its four outputs.
inline V Stats(const IFSPredTargetAccum& a, int criterion) {
  V s = {1, 2, 3, 4, 5};
  s[0] = a.GetStats(criterion, CriterionContext{}, s[1], s[2], s[3], s[4]) ? 1 : 0;
  return s;
}

// Every output as expected to 1e-6 (relative above 1), except where kAny is expected.
inline void ExpectOutputs(const V& actual, const V& expected, const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (size_t i = 0; i < actual.size(); ++i) {
    if (std::isnan(expected[i])) continue;
    EXPECT_NEAR(actual[i], expected[i], 1e-6 * std::max(1.0, std::fabs(expected[i])))
        << what << ", slot " << i;
  }
}

}  // namespace accumtest

#endif  // FSRANK_TESTS_ACCUM_SUPPORT_ACCUM_CASES_H
