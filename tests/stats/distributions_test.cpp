// The chi-square, F and t distribution functions: worked values, the support, invalid
// parameters, extreme arguments and the switches between methods. Accuracy over the whole range
// is checked against the reference file in reference_test.cpp.
#include "stats/distributions.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "fsrank/missing.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInfinity = std::numeric_limits<double>::infinity();

double Below(double x) {
  return std::nextafter(x, -kInfinity);
}
double Above(double x) {
  return std::nextafter(x, kInfinity);
}

double IncompleteBetaValue(double x, double a, double b) {
  int error = 0;
  return IncompleteBeta(x, a, b, error);
}

TEST(DistributionFunctions, WorkedValues) {
  struct Case {
    const char* name;
    double computed;
    double expected;
    double tolerance;
  };
  const Case cases[] = {
      {"ChiSquareCdf(3.84..., 1)", ChiSquareCdf(3.841458820694124, 1), 0.95, 1e-14},
      {"ChiSquareCdf(18.30..., 10)", ChiSquareCdf(18.307038053275146, 10), 0.95, 1e-14},
      {"FCdf(4.96..., 1, 10)", FCdf(4.964602743730711, 1, 10), 0.95, 1e-14},
      {"FCdf(1, 4, 4)", FCdf(1, 4, 4), 0.5, 1e-15},
      {"TCdf(2.22..., 10)", TCdf(2.2281388519649385, 10), 0.975, 1e-11},
      {"TCdf(-2.22..., 10)", TCdf(-2.2281388519649385, 10), 0.025, 1e-11},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(c.computed, c.expected, c.tolerance) << c.name;
}

TEST(DistributionFunctions, CauchyBranchIsExactAtOne) {
  EXPECT_EQ(TCdf(1, 1), 0.75);
}

TEST(DistributionFunctions, OutsideTheSupport) {
  for (double df : {0.5, 1.0, 7.0, 1e6}) {
    EXPECT_EQ(ChiSquareCdf(0, df), 0) << df;
    EXPECT_EQ(ChiSquareCdf(-3, df), 0) << df;
    EXPECT_EQ(FCdf(0, 3, df), 0) << df;
    EXPECT_EQ(FCdf(-1, df, 7), 0) << df;
    EXPECT_EQ(TCdf(0, df), 0.5) << df;
    EXPECT_EQ(TCdf(-0.0, df), 0.5) << df;
  }
}

TEST(DistributionFunctions, InvalidDegreesOfFreedomGiveTheMissingValue) {
  for (double bad : {0.0, -0.0, -1.0, -kInfinity, kNaN}) {
    EXPECT_TRUE(NQMV::IsMissing(ChiSquareCdf(2, bad))) << bad;
    EXPECT_TRUE(NQMV::IsMissing(ChiSquareCdf(0, bad))) << bad;
    EXPECT_TRUE(NQMV::IsMissing(FCdf(2, bad, 5))) << bad;
    EXPECT_TRUE(NQMV::IsMissing(FCdf(2, 5, bad))) << bad;
    EXPECT_TRUE(NQMV::IsMissing(FCdf(0, bad, 5))) << bad;
    EXPECT_TRUE(NQMV::IsMissing(TCdf(1.5, bad))) << bad;
    EXPECT_TRUE(NQMV::IsMissing(TCdf(0, bad))) << bad;
  }
}

TEST(DistributionFunctions, ExtremeStatisticsStayProbabilities) {
  // The gamma continued fraction would be too long: the normal approximation takes over.
  EXPECT_EQ(ChiSquareCdf(1e112, 1), 1);
  EXPECT_EQ(ChiSquareCdf(std::numeric_limits<double>::max(), 3), 1);
  EXPECT_EQ(ChiSquareCdf(kInfinity, 3), 1);
  EXPECT_EQ(FCdf(kInfinity, 2, 3), 1);
  EXPECT_EQ(TCdf(kInfinity, 3), 1);
  EXPECT_EQ(TCdf(-kInfinity, 3), 0);
  EXPECT_EQ(FCdf(1e300, 1, 1e6), 1);
  EXPECT_GE(TCdf(-1e300, 0.5), 0);
}

TEST(DistributionFunctions, NotANumberStatisticPropagatesWithoutHanging) {
  EXPECT_TRUE(std::isnan(ChiSquareCdf(kNaN, 3)));
  EXPECT_TRUE(std::isnan(FCdf(kNaN, 2, 3)));
  EXPECT_TRUE(std::isnan(TCdf(kNaN, 3)));
  int error = 5;
  EXPECT_TRUE(std::isnan(IncompleteGamma(kNaN, 2, false, error)));
  EXPECT_EQ(error, 0);
}

TEST(DistributionFunctions, TSymmetry) {
  for (double df : {0.5, 1.0, 2.0, 7.0, 30.0, 200.0}) {
    for (double t : {0.25, 1.0, 1.5, 4.0, 40.0}) {
      EXPECT_NEAR(TCdf(t, df) + TCdf(-t, df), 1, 1e-15) << t << " " << df;
    }
  }
}

// Each function switches method at some argument; the two methods must agree there.
TEST(DistributionFunctions, ContinuousWhereTheMethodChanges) {
  struct Case {
    const char* where;
    double below;
    double above;
  };
  const Case cases[] = {
      // Incomplete gamma: series up to x = a (and x = 1), continued fraction above.
      {"chi-square at x = df", ChiSquareCdf(Below(40), 40), ChiSquareCdf(Above(40), 40)},
      {"chi-square at x = 2", ChiSquareCdf(Below(2), 0.5), ChiSquareCdf(Above(2), 0.5)},
      // F: the beta argument is formed differently on either side of f = 1.
      {"F at f = 1", FCdf(Below(1), 7, 9), FCdf(1, 7, 9)},
      // t: the beta argument and parameters change at |t| = 1.
      {"t at t = 1", TCdf(1, 7), TCdf(Above(1), 7)},
      {"t at t = -1", TCdf(Below(-1), 7), TCdf(-1, 7)},
      // Incomplete beta: series for b < 1, continued fraction for a, b > 1.
      {"beta at b = 1", IncompleteBetaValue(0.3, 2.5, Below(1)),
       IncompleteBetaValue(0.3, 2.5, Above(1))},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(c.below, c.above, 1e-14) << c.where;
}

}  // namespace
