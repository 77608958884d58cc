// The upper tails computed directly: accuracy against the stored mpmath values, the order of
// the values where the true ones differ, and the arguments they are not defined for.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "fsrank/missing.h"
#include "stats/support/tail_reference.h"

TEST(UpperTails, MatchTheReferenceToOnePartIn1e12) {
  const std::vector<tails::Point> points = tails::Load(FSRANK_TEST_DATA_DIR "/tail_reference.txt");
  ASSERT_GT(points.size(), 200u);
  for (const tails::Point& p : points) {
    EXPECT_LE(tails::RelativeError(tails::Evaluate(p), p.expected), 1e-12L)
        << p.function << " " << p.args[0] << " " << p.args[1] << " expected "
        << static_cast<double>(p.expected);
  }
  // Every point of every function, in order of the true value, is also in order of the
  // computed one wherever the true values differ by more than 1e-12 relative.
  std::vector<std::pair<long double, double>> all;
  for (const tails::Point& p : points)
    all.emplace_back(p.expected, tails::Evaluate(p));
  std::sort(all.begin(), all.end());
  for (size_t i = 1; i < all.size(); ++i) {
    if (all[i].first > all[i - 1].first * (1 + 1e-12L)) {
      EXPECT_LT(all[i - 1].second, all[i].second) << static_cast<double>(all[i].first);
    }
  }
}

TEST(UpperTails, EdgesAndUndefinedArguments) {
  const double miss = NQMV::Missing();
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::nan("");
  struct Row {
    double value, expected;
  };
  const Row rows[] = {
      // Degrees of freedom that are not positive or not finite, and statistics that are not
      // numbers: no distribution.
      {ChiSquareUpper(3, 0), miss},
      {ChiSquareUpper(3, -1), miss},
      {ChiSquareUpper(3, inf), miss},
      {ChiSquareUpper(nan, 3), miss},
      {FUpper(2, 0, 5), miss},
      {FUpper(2, 5, -1), miss},
      {FUpper(nan, 5, 5), miss},
      {TTwoSidedUpper(2, 0), miss},
      {TTwoSidedUpper(nan, 4), miss},
      // The ends of each range.
      {ChiSquareUpper(0, 3), 1},
      {ChiSquareUpper(-2, 3), 1},
      {ChiSquareUpper(inf, 3), 0},
      {FUpper(0, 2, 3), 1},
      {FUpper(inf, 2, 3), 0},
      {TTwoSidedUpper(0, 3), 1},
      {TTwoSidedUpper(-inf, 3), 0},
      // Below the smallest normal double: 0.
      {ChiSquareUpper(1500, 1), 0},
      {FUpper(1e300, 30, 30), 0},
      {TTwoSidedUpper(1e200, 4), 0},
      // Closed forms: Q(1, x / 2) = e^(-x / 2); Cauchy; F(2, 2) tail 1 / (1 + f).
      {ChiSquareUpper(1400, 2), std::exp(-700.0)},
      {TTwoSidedUpper(-1, 1), 0.5},
      {FUpper(1e150, 2, 2), 1 / (1 + 1e150)},
  };
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    const Row& r = rows[i];
    if (NQMV::IsMissing(r.expected)) {
      EXPECT_TRUE(NQMV::IsMissing(r.value)) << "row " << i << ": " << r.value;
    } else {
      EXPECT_NEAR(r.value, r.expected, 1e-13 * r.expected) << "row " << i;
    }
  }
  // The t tail is symmetric, and an F(1, d) tail is the two-sided t tail at the square root.
  EXPECT_EQ(TTwoSidedUpper(-3.5, 7), TTwoSidedUpper(3.5, 7));
  EXPECT_NEAR(FUpper(3.5 * 3.5, 1, 7), TTwoSidedUpper(3.5, 7), 1e-14);
  // A p-value just above the smallest normal double is still reported.
  EXPECT_GE(ChiSquareUpper(1400, 1), DBL_MIN);
  // Where the finite sums of small even and odd degrees of freedom hand over to the general
  // methods (e^-x or x^a near e^-700), the tail still falls, by about its true slope.
  const double cut = std::expm1(700.0 / 50);  // F(4, 100): z = 4 f / 100 with 50 ln(1 + z) = 700
  const double pairs[][2] = {
      {ChiSquareUpper(1400, 10), ChiSquareUpper(1400 + 1e-9, 10)},
      {ChiSquareUpper(1400, 9), ChiSquareUpper(1400 + 1e-9, 9)},
      {FUpper(cut * 25 * (1 - 1e-12), 4, 100), FUpper(cut * 25 * (1 + 1e-12), 4, 100)}};
  for (const auto& p : pairs) {
    EXPECT_GT(p[0], p[1]);
    EXPECT_GT(p[1], p[0] * (1 - 1e-9));
  }
}
