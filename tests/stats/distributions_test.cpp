// The distribution functions and the special functions behind them: worked values, exact values
// and limits, invalid arguments and error flags, symmetries and the switches between methods.
// Accuracy over the whole range is checked against the reference file in reference_test.cpp.
#include "stats/distributions.h"

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fsrank/missing.h"

namespace {

constexpr double kPi = 3.141592653589793;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
int error = 0;  // the error flag of the incomplete gamma and beta calls

double Below(double x) {
  return std::nextafter(x, -kInf);
}
double Above(double x) {
  return std::nextafter(x, kInf);
}

struct Value {
  const char* call;
  double computed, expected, tolerance;
};
#define NEAR(call, expected, tolerance) \
  { #call, call, expected, tolerance }

TEST(Distributions, WorkedValues) {
  const Value values[] = {
      NEAR(ChiSquareCdf(3.841458820694124, 1), 0.95, 1e-14),
      NEAR(ChiSquareCdf(18.307038053275146, 10), 0.95, 1e-14),
      NEAR(FCdf(4.964602743730711, 1, 10), 0.95, 1e-14),
      NEAR(FCdf(1, 4, 4), 0.5, 1e-15),
      NEAR(TCdf(2.2281388519649385, 10), 0.975, 1e-11),
      NEAR(TCdf(-2.2281388519649385, 10), 0.025, 1e-11),
      NEAR(TCdf(1, 1), 0.75, 0),  // the Cauchy branch
      NEAR(NormalCdf(1.959963984540054), 0.975, 1e-15),
      NEAR(PeizerPrattG(0.5), (0.75 - std::log(2.0)) / 0.25, 1e-15),
      // Near 1, where the formula tends to 0/0, g(1 + h) = -h/3 + O(h^2).
      NEAR(PeizerPrattG(1 + 1e-3), -1e-3 / 3, 1e-6),
      NEAR(PeizerPrattG(1 - 1e-3), 1e-3 / 3, 1e-6),
      NEAR(IncompleteBeta(0.3, 1, 1, error), 0.3, 0),
      NEAR(IncompleteBeta(0.3, 1, 4.5, error), 1 - std::pow(0.7, 4.5), 1e-16),
      NEAR(IncompleteBeta(0.3, 4.5, 1, error), std::pow(0.3, 4.5), 4e-18),
      NEAR(IncompleteBeta(0.9, 0.5, 0.5, error), 2 / kPi * std::asin(std::sqrt(0.9)), 1e-15),
      // The power series and the continued fraction both use up their 10000 steps; the
      // Peizer-Pratt approximation still lands within about 1e-2.
      NEAR(IncompleteBeta(1e-7, 0.5, 2e7, error), 0.95449974015296419, 0.01),
      // Where a function switches method, the two methods agree. Incomplete gamma: series up
      // to x = a (and x = 1), continued fraction above.
      NEAR(ChiSquareCdf(Below(40), 40), ChiSquareCdf(Above(40), 40), 1e-14),
      NEAR(ChiSquareCdf(Below(2), 0.5), ChiSquareCdf(Above(2), 0.5), 1e-14),
      // F: the beta argument is formed differently on either side of f = 1.
      NEAR(FCdf(Below(1), 7, 9), FCdf(1, 7, 9), 1e-14),
      // t: the beta argument and parameters change at |t| = 1.
      NEAR(TCdf(1, 7), TCdf(Above(1), 7), 1e-14),
      NEAR(TCdf(Below(-1), 7), TCdf(-1, 7), 1e-14),
      // Incomplete beta: series for b < 1, continued fraction for a, b > 1.
      NEAR(IncompleteBeta(0.3, 2.5, Below(1), error), IncompleteBeta(0.3, 2.5, Above(1), error),
           1e-14),
  };
  EXPECT_EQ(error, 0);
  for (const Value& v : values)
    EXPECT_NEAR(v.computed, v.expected, v.tolerance) << v.call;
}

// Values that must come out exactly: the support's edges, saturation, exponentials and powers
// below the underflow exponent, and statistics beyond any iteration (the normal approximation
// or the limit takes over).
TEST(Distributions, ExactValuesAndLimits) {
  const double max = std::numeric_limits<double>::max();
  std::vector<std::pair<double, std::vector<double>>> groups = {
      {0,
       {Erf(0), Erfc(kInf), NormalCdf(-50), PeizerPrattG(1), TCdf(-kInf, 3),
        IncompleteGamma(0, 2, true, error), IncompleteGamma(1100, 1, false, error),
        IncompleteBeta(0, 2, 3, error), IncompleteBeta(1e-10, 50, 1, error)}},
      {0.5, {NormalCdf(0), NormalCdf(kNaN)}},
      {1,
       {Erf(6.9), Erf(7), Erf(1e300), Erf(kInf), Erfc(0), NormalCdf(50), PeizerPrattG(0),
        IncompleteGamma(-1, 2, false, error), IncompleteGamma(1100, 1, true, error),
        IncompleteBeta(1, 2, 3, error), IncompleteBeta(1 - 1e-10, 1, 50, error),
        ChiSquareCdf(1e112, 1), ChiSquareCdf(max, 3), ChiSquareCdf(kInf, 3), FCdf(kInf, 2, 3),
        FCdf(1e300, 1, 1e6), TCdf(kInf, 3)}},
      {2, {Erfc(-40), Erfc(-kInf)}},
      {-1, {Erf(-kInf), PeizerPrattG(2e154)}},  // beyond the square root of the largest double
  };
  for (double df : {0.5, 1.0, 7.0, 1e6}) {
    groups[0].second.insert(groups[0].second.end(), {ChiSquareCdf(0, df), ChiSquareCdf(-3, df),
                                                     FCdf(0, 3, df), FCdf(-1, df, 7)});
    groups[1].second.insert(groups[1].second.end(), {TCdf(0, df), TCdf(-0.0, df)});
  }
  for (const auto& [expected, computed] : groups) {
    for (size_t i = 0; i < computed.size(); ++i)
      EXPECT_EQ(computed[i], expected) << "value " << i << " of the group of " << expected;
  }
  EXPECT_EQ(error, 0);
  EXPECT_GE(TCdf(-1e300, 0.5), 0);
}

// Invalid parameters give the missing value (and the error flag where there is one); a NaN
// statistic gives NaN without hanging.
TEST(Distributions, InvalidArguments) {
  // The value of a call that must also have set the error flag (0 if it did not); clears it.
  const auto flagged = [](double p) { return std::exchange(error, 0) == 1 ? p : 0.0; };
  for (double bad : {0.0, -0.0, -0.5, -1.0, -7.25, -kInf, kNaN}) {
    for (double p : {ChiSquareCdf(2, bad), ChiSquareCdf(0, bad), FCdf(2, bad, 5), FCdf(2, 5, bad),
                     FCdf(0, bad, 5), TCdf(1.5, bad), TCdf(0, bad), LogGamma(bad),
                     flagged(IncompleteGamma(1, bad, true, error)),
                     flagged(IncompleteBeta(0.5, bad, 2, error)),
                     flagged(IncompleteBeta(0.5, 2, bad, error))}) {
      EXPECT_TRUE(NQMV::IsMissing(p)) << bad;
    }
  }
  EXPECT_TRUE(NQMV::IsMissing(PeizerPrattG(-1)));
  for (double nan : {ChiSquareCdf(kNaN, 3), FCdf(kNaN, 2, 3), TCdf(kNaN, 3), Erf(kNaN),
                     IncompleteGamma(kNaN, 2, false, error)}) {
    EXPECT_TRUE(std::isnan(nan));
  }
  EXPECT_EQ(error, 0);  // a valid call clears the flag
  error = 1;
  IncompleteBeta(0.5, 2, 3, error);
  EXPECT_EQ(error, 0);
}

TEST(Distributions, Symmetries) {
  for (double x : {1e-300, 1e-8, 0.3, 1.0, 2.1999, 2.2, 4.5, 6.89, 10.0, 27.0}) {
    EXPECT_EQ(Erf(-x), -Erf(x)) << x;
    EXPECT_EQ(Erfc(-x), 2 - Erfc(x)) << x;
    EXPECT_NEAR(NormalCdf(x) + NormalCdf(-x), 1, 2e-16) << x;
  }
  for (double df : {0.5, 1.0, 2.0, 7.0, 30.0, 200.0}) {
    for (double t : {0.25, 1.0, 1.5, 4.0, 40.0})
      EXPECT_NEAR(TCdf(t, df) + TCdf(-t, df), 1, 1e-15) << t << " " << df;
  }
  for (double a : {0.3, 2.5, 40.0}) {
    for (double x : {0.2, 1.0, a, 3 * a + 2})
      EXPECT_NEAR(IncompleteGamma(x, a, true, error) + IncompleteGamma(x, a, false, error), 1,
                  1e-15)
          << x << " " << a;
  }
  for (double a : {0.01, 0.1, 0.5, 2.0, 7.5, 30.0})
    EXPECT_NEAR(IncompleteBeta(0.5, a, a, error), 0.5, 4e-15) << a;
  for (double x : {0.05, 0.4, 0.93})
    EXPECT_NEAR(IncompleteBeta(x, 0.7, 3.0, error) + IncompleteBeta(1 - x, 3.0, 0.7, error), 1,
                1e-15)
        << x;
}

}  // namespace
