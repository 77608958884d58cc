// Upper tails of the chi-square, F and t distributions, computed directly rather than as one
// minus the lower tail, so that they keep their relative accuracy down to the smallest normal
// double.
//
// The power prefactors x^a e^-x / Gamma(a) and x^a y^b / B(a, b) are where accuracy is lost for
// large degrees of freedom: formed from logarithms of the arguments, they lose about
// a * (one rounding) of relative accuracy. Both are written instead through Stirling's formula,
// around the centre of the distribution, with the deviation from the centre passed in from the
// caller's own (exact or nearly exact) arithmetic on the statistic. The continued fractions and
// series that multiply them are well conditioned.
#include <array>
#include <cmath>
#include <limits>

#include "fsrank/missing.h"
#include "stats/distributions.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kTolerance = 1e-16;
constexpr double kTiny = 1e-300;  // keeps Lentz's denominators away from 0
constexpr int kIterationLimit = 100000;
constexpr double kSmallestNormal = std::numeric_limits<double>::min();

// ln Gamma(z) - ((z - 0.5) ln z - z + ln sqrt(2 pi)), the remainder of Stirling's formula.
double ComputeStirlingRemainder(double z) {
  if (z >= 10) {
    const double w = 1 / z;
    const double v = w * w;
    return w *
           (1.0 / 12 +
            v * (-1.0 / 360 +
                 v * (1.0 / 1260 + v * (-1.0 / 1680 + v * (1.0 / 1188 + v * (-691.0 / 360360 +
                                                                             v * (1.0 / 156)))))));
  }
  // Gamma(z) = Gamma(z + n) / (z (z + 1) ... (z + n - 1)) with z + n >= 10.
  double shifted = z;
  double logProduct = 0;
  double product = 1;
  while (shifted < 10) {
    product *= shifted;
    if (product > 1e250 || product < 1e-250) {
      logProduct += std::log(product);
      product = 1;
    }
    shifted += 1;
  }
  logProduct += std::log(product);
  return ComputeStirlingRemainder(shifted) + ((shifted - 0.5) * std::log(shifted) - shifted) -
         logProduct - ((z - 0.5) * std::log(z) - z);
}

// The same, with the values at the half-integers below 10 (where the product and its logarithms
// are the cost) computed once: half of a count of degrees of freedom is usually one of them.
double StirlingRemainder(double z) {
  static const std::array<double, 19> kHalfIntegers = [] {
    std::array<double, 19> values{};
    for (size_t k = 0; k < values.size(); ++k)
      values[k] = ComputeStirlingRemainder(0.5 * static_cast<double>(k + 1));
    return values;
  }();
  const double twice = z + z;
  if (twice < 19.5 && twice >= 1 && twice == std::floor(twice)) {
    return kHalfIntegers[static_cast<size_t>(twice) - 1];
  }
  return ComputeStirlingRemainder(z);
}

// e - ln(1 + e) for e > -1, given also ln(1 + e) computed without cancellation (used only
// where e is not small).
double LogOnePlusRemainder(double e, double logOnePlusE) {
  if (std::fabs(e) >= 0.5) return e - logOnePlusE;
  // With r = e / (2 + e): ln(1 + e) = 2 atanh r, and e - 2 r = r e.
  const double r = e / (2 + e);
  const double r2 = r * r;
  double power = r * r2;
  double sum = 0;
  for (int k = 3; k < 80; k += 2) {
    const double term = power / k;
    sum += term;
    if (std::fabs(term) <= 1e-18 * std::fabs(sum)) break;
    power *= r2;
  }
  return r * e - 2 * sum;
}

// ln(x^a e^-x / Gamma(a)), with d = x - a.
double LogGammaPrefactor(double x, double a, double d) {
  return -a * LogOnePlusRemainder(d / a, std::log(x / a)) + 0.5 * std::log(a / kTwoPi) -
         StirlingRemainder(a);
}

// P(a, x) / (x^a e^-x / Gamma(a + 1)): sum over n >= 0 of x^n / ((a + 1) ... (a + n)).
double GammaSeries(double x, double a) {
  double sum = 1;
  double term = 1;
  for (int n = 1; n < kIterationLimit; ++n) {
    term *= x / (a + n);
    sum += term;
    if (term <= kTolerance * sum) break;
  }
  return sum;
}

// Q(a, x) / (x^a e^-x / Gamma(a)) by Legendre's continued fraction, modified Lentz.
double GammaFraction(double x, double a) {
  double b = x + 1 - a;
  double c = 1 / kTiny;
  double d = 1 / b;
  double h = d;
  for (int i = 1; i < kIterationLimit; ++i) {
    const double an = -i * (i - a);
    b += 2;
    d = an * d + b;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = b + an / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1) <= kTolerance) break;
  }
  return h;
}

// exp(logValue) as a probability, 0 below the smallest normal double.
double Probability(double logValue) {
  if (logValue < -708.5) return 0;
  const double p = std::exp(logValue);
  return p < kSmallestNormal ? 0 : p;
}

// The finite sums below: up to this many terms (beyond, the general methods cost no more), and
// only where e^-x or x^a stays well above the subnormal range.
constexpr double kLargestSumTerms = 20;
constexpr double kLargestSumExponent = 700;
constexpr double kTwoOverSqrtPi = 1.1283791670955126;

// Q(a, x) for a = n or a = n + 1/2 (n <= kLargestSumTerms) and 0 < x <= kLargestSumExponent as a
// sum of positive terms, each accurate to a few roundings:
//   Q(n, x)       = sum over k = 0 .. n - 1 of e^-x x^k / k!
//   Q(n + 1/2, x) = erfc(sqrt x) + sum over k = 1/2 .. n - 1/2 of e^-x x^k / Gamma(k + 1).
// False for other arguments. These are the even and odd degrees of freedom of small tables, and
// cost a fraction of the general method.
bool UpperGammaSum(double x, double a, double& q) {
  const double twice = a + a;
  if (!(twice <= 2 * kLargestSumTerms + 1) || twice != std::floor(twice) ||
      x > kLargestSumExponent) {
    return false;
  }
  double term = std::exp(-x);  // e^-x x^k / Gamma(k + 1)
  double sum = 0;
  double k = 0;
  if (a != std::floor(a)) {
    const double root = std::sqrt(x);
    sum = std::erfc(root);
    term = term * root * kTwoOverSqrtPi;
    k = 0.5;
  }
  for (; k < a; k += 1) {
    sum += term;
    term *= x / (k + 1);
  }
  q = sum > 1 ? 1 : sum;
  return true;
}

// I_x(a, b) for b = 1, 2, ..., kLargestSumTerms as x^a times a sum of positive terms,
//   I_x(a, b) = x^a sum over j = 0 .. b - 1 of (a (a + 1) ... (a + j - 1) / j!) y^j,
// given ln x, computed by the caller to a few roundings relative, and y = 1 - x. False for other
// b and where x^a nears the subnormal range. These are the F tests with an even numerator
// degree of freedom: an odd number of categories (three, five, ...).
bool BetaSum(double logX, double y, double a, double b, double& value) {
  const double exponent = a * logX;
  if (exponent < -kLargestSumExponent) return false;
  double term = 1;
  double sum = 1;
  for (double j = 1; j < b; j += 1) {
    term *= ((a + j - 1) * y) / j;
    sum += term;
  }
  value = std::exp(exponent) * sum;
  if (value > 1) value = 1;
  return true;
}

// Q(a, x) for a > 0, x > 0, with d = x - a computed by the caller.
double UpperGamma(double x, double a, double d) {
  const double logPrefactor = LogGammaPrefactor(x, a, d);
  if (x < a + 1) {
    // Here Q is not small: P by its series, then the complement.
    const double p = std::exp(logPrefactor) / a * GammaSeries(x, a);
    return p >= 1 ? 0 : 1 - p;
  }
  return Probability(logPrefactor + std::log(GammaFraction(x, a)));
}

// I_x(a, b) / (x^a y^b / B(a, b)) by the continued fraction of the incomplete beta function
// in the form written around the mean, with lambda = a - (a + b) x >= 0: its first
// denominator is 1 + lambda, where the usual form subtracts two nearly equal numbers for large
// a and x near the mean. Three-term recurrences, rescaled at every step.
double BetaFraction(double x, double y, double a, double b, double lambda) {
  const double c = 1 + lambda;
  const double c0 = b / a;
  const double c1 = 1 / a + 1;
  const double yp1 = y + 1;
  double p = 1;
  double s = a + 1;
  double an = 0;
  double bn = 1;
  double anp1 = 1;
  double bnp1 = c / c1;
  double r = c1 / c;
  for (int i = 1; i < kIterationLimit; ++i) {
    const double n = i;
    double t = n / a;
    const double w = n * (b - n) * x;
    double e = a / s;
    const double alpha = p * (p + c0) * e * e * (w * x);
    e = (1 + t) / (c1 + t + t);
    const double beta = n + w / s + e * (c + n * yp1);
    p = 1 + t;
    s += 2;
    t = alpha * an + beta * anp1;
    an = anp1;
    anp1 = t;
    t = alpha * bn + beta * bnp1;
    bn = bnp1;
    bnp1 = t;
    const double previous = r;
    r = anp1 / bnp1;
    if (std::fabs(r - previous) <= kTolerance * r) break;
    an /= bnp1;
    bn /= bnp1;
    anp1 = r;
    bnp1 = 1;
  }
  return r;
}

// I_x(a, b) for a, b > 0 and 0 <= x <= 1, given y = 1 - x, lambda = a - (a + b) x and the
// logarithms of x and y, each computed by the caller without cancellation (and the logarithms
// without underflow).
double RegularizedBeta(double x, double y, double logX, double logY, double a, double b,
                       double lambda) {
  const double s = a + b;
  // ln(x^a y^b / B(a, b)) around the mean a / s, where x = x0 (1 - lambda / a) and
  // y = y0 (1 + lambda / b).
  const double deviation = a * LogOnePlusRemainder(-lambda / a, std::log(s / a) + logX) +
                           b * LogOnePlusRemainder(lambda / b, std::log(s / b) + logY);
  const double logPrefactor = 0.5 * std::log(a / kTwoPi * (b / s)) - deviation +
                              StirlingRemainder(s) - StirlingRemainder(a) - StirlingRemainder(b);
  if (lambda >= 0) {
    return Probability(logPrefactor + std::log(BetaFraction(x, y, a, b, lambda)));
  }
  // Beyond the mean the value is above about 0.3: the complement does not cancel.
  const double complement = std::exp(logPrefactor) * BetaFraction(y, x, b, a, -lambda);
  return complement >= 1 ? 0 : 1 - complement;
}

// The point x = p / (p + q) of I_x(a, b), with y = 1 - x and both logarithms, in the two ways
// the tails below form it. From r = p / q (the caller divides through by q, which could
// overflow) and ln r formed apart:
void BetaPointOfRatio(double r, double logR, double& x, double& y, double& logX, double& logY) {
  x = r / (1 + r);
  y = 1 / (1 + r);
  logY = -std::log1p(r);
  logX = logR + logY;
}

// From p and q themselves; returns p + q.
double BetaPointOfSum(double p, double q, double& x, double& y, double& logX, double& logY) {
  const double denominator = p + q;
  x = p / denominator;
  y = q / denominator;
  logX = std::log(x);
  logY = std::log(y);
  return denominator;
}

}  // namespace

double ChiSquareUpper(double x, double df) {
  if (!(df > 0) || std::isnan(x) || std::isinf(df)) return NQMV::Missing();
  if (x <= 0) return 1;
  if (std::isinf(x)) return 0;
  const double a = df * 0.5;
  const double half = x * 0.5;
  double q;
  if (UpperGammaSum(half, a, q)) return q;
  return UpperGamma(half, a, half - a);
}

double FUpper(double f, double d1, double d2) {
  if (!(d1 > 0) || !(d2 > 0) || std::isnan(f) || std::isinf(d1) || std::isinf(d2)) {
    return NQMV::Missing();
  }
  if (f <= 0) return 1;
  if (std::isinf(f)) return 0;
  // The upper tail is I_x(d2 / 2, d1 / 2) at x = d2 / (d2 + d1 f).
  const double a = d2 * 0.5;
  const double b = d1 * 0.5;
  if (b <= kLargestSumTerms && b == std::floor(b)) {
    // x = 1 / (1 + z): ln x = -ln(1 + z) keeps the relative accuracy of z.
    const double z = (d1 * f) / d2;
    double value;
    if (z < std::numeric_limits<double>::infinity() &&
        BetaSum(-std::log1p(z), z / (1 + z), a, b, value)) {
      return value;
    }
  }
  double x, y, logX, logY, lambda;
  if (f > 1) {
    // Divided through by d1 f, which could overflow.
    const double r = (d2 / d1) / f;
    BetaPointOfRatio(r, std::log(d2 / d1) - std::log(f), x, y, logX, logY);
    lambda = a * ((f - 1) / f) / (1 + r);
  } else {
    const double denominator = BetaPointOfSum(d2, d1 * f, x, y, logX, logY);
    lambda = a * (d1 * (f - 1)) / denominator;
  }
  return RegularizedBeta(x, y, logX, logY, a, b, lambda);
}

double TTwoSidedUpper(double t, double df) {
  if (!(df > 0) || std::isnan(t) || std::isinf(df)) return NQMV::Missing();
  const double u = std::fabs(t);
  if (u == 0) return 1;
  if (std::isinf(u)) return 0;
  // P(|T| >= u) = I_x(df / 2, 1 / 2) at x = df / (df + u^2).
  const double a = df * 0.5;
  double x, y, logX, logY, lambda;
  if (u > 1) {
    // Divided through by u^2, which could overflow.
    const double r = (df / u) / u;
    BetaPointOfRatio(r, std::log(df) - 2 * std::log(u), x, y, logX, logY);
    lambda = a * (((u - 1) / u) * ((u + 1) / u)) / (1 + r);
  } else {
    const double denominator = BetaPointOfSum(df, u * u, x, y, logX, logY);
    lambda = a * ((u - 1) * (u + 1)) / denominator;
  }
  return RegularizedBeta(x, y, logX, logY, a, 0.5, lambda);
}
