// Distribution functions and the special functions behind them.
//
// Every floating-point operation below is written in the order in which it must be carried out:
// the results are meant to be identical on every platform, so nothing may be regrouped, fused or
// "simplified" (the build uses -ffp-contract=off).
#include "stats/distributions.h"

#include <cmath>
#include <limits>

#include "fsrank/missing.h"

namespace {

#include "stats/special_function_tables.inc"

// An exponent below this is not handed to exp(); the power is taken as 0.
constexpr double kUnderflowExponent = -1021.0;
constexpr double kPi = 3.141592653589793;
constexpr double kLargestDouble = std::numeric_limits<double>::max();
const double kHalfLogPi = 0.5 * std::log(kPi);  // ln Gamma(0.5)
const double kSqrt2 = std::sqrt(2.0);
// Overflow guard of PeizerPrattG and rescaling threshold of the gamma continued fraction.
const double kSqrtLargestDouble = std::sqrt(kLargestDouble);

constexpr double kBetaTolerance = 1e-15;
constexpr int kBetaIterationLimit = 10000;
constexpr double kGammaTolerance = 1e-14;
constexpr double kGammaTermLimit = 2147483647.0;
constexpr double kGammaFractionSizeLimit = 1024.0;

// Coefficients of the complementary error function polynomial in u = t - 0.5, leading first.
constexpr double kErfcCoefficients[23] = {
    0.0012710976495261409, 0.00011931402283834095, -0.003963850973605135, -0.0008707796353172959,
    0.007736725283135267,  0.003833351262648873,   -0.012722381378212275, -0.013382364453346007,
    0.016131532973325226,  0.039097684558848406,   0.002493672000535033,  -0.0838864557023002,
    -0.11946395996432542,  0.016620792496936737,   0.35752427444953105,   0.8052764087529106,
    1.1890298290927332,    1.3704021768233816,     1.313146538310231,     1.0792551515585667,
    0.7743681991195386,    0.49016508058531844,    0.2753747415973768,
};
constexpr double kErfcScale = 3.97886080735226;

// Horner's rule, leading coefficient first.
template <int N>
double Horner(const double (&coefficients)[N], double t) {
  double y = coefficients[0];
  for (int i = 1; i < N; ++i) {
    y = y * t + coefficients[i];
  }
  return y;
}

// exp(v), or 0 when v is below the underflow exponent.
double GuardedExp(double v) {
  return v < kUnderflowExponent ? 0.0 : std::exp(v);
}

// Normal approximation of the incomplete gamma function.
double IncompleteGammaNormal(double x, double a, bool lower) {
  double z;
  if (!lower && a >= 0.5) {
    // Peizer-Pratt, Poisson form.
    double w = (a - 0.5) / x;
    double s;
    if (w == 0) {
      s = std::sqrt(2 / x);
    } else if (w == 1) {
      s = std::sqrt(1 / x);
    } else {
      s = std::sqrt(2 * (1 - w + w * std::log(w)) / x) / std::fabs(1 - w);
    }
    z = s * (0.022 / a + a - x - 1.0 / 3.0);
  } else {
    // Wilson-Hilferty.
    if (a == x) {
      z = 1 / (3 * std::sqrt(a));
    } else {
      double e = std::log(x / a) / 3;
      double c = GuardedExp(e);
      z = 3 * std::sqrt(a) * (c + 1 / (9 * a) - 1);
    }
    if (!lower) z = -z;
  }
  return NormalCdf(z);
}

// Legendre's continued fraction for Q(a, x) without the prefactor, by three-term recurrences
// rescaled before they overflow.
double GammaContinuedFraction(double x, double a) {
  double y = 1 - a;
  double z = x + y + 1;
  double c = 0;
  double p2 = 1;
  double q2 = x;
  double p1 = x + 1;
  double q1 = z * x;
  double ans = p1 / q1;
  for (;;) {
    c += 1;
    y += 1;
    z += 2;
    double yc = y * c;
    double p = p1 * z - p2 * yc;
    double q = q1 * z - q2 * yc;
    if (q != 0) {
      double r = p / q;
      double tol = std::fmin(r * kGammaTolerance, kGammaTolerance);
      if (std::fabs(ans - r) <= tol) break;
      ans = r;
    }
    p2 = p1;
    p1 = p;
    q2 = q1;
    q1 = q;
    if (std::fabs(p) >= kSqrtLargestDouble) {
      p2 /= kSqrtLargestDouble;
      p1 /= kSqrtLargestDouble;
      q2 /= kSqrtLargestDouble;
      q1 /= kSqrtLargestDouble;
    }
  }
  return ans;
}

// Power series of I_x(a, b) without the prefactor. Returns false when it does not converge.
bool BetaSeries(double x, double a, double s, double& sum) {
  double term = 1;
  sum = 1;
  for (int n = 0; n <= kBetaIterationLimit; ++n) {
    term = term * x * (s + n) / (a + 1 + n);
    sum += term;
    if (std::fabs(term) < kBetaTolerance) return true;
  }
  return false;
}

// Whether BetaSeries is certain to fail, so that it need not be run: with s <= a + 1 every
// factor x (s + n) / (a + 1 + n) of its terms is at least the first, so no term falls below that
// factor to the power of the iteration count; ten times above the tolerance, that bound holds by
// a wide margin on the rounded terms too. (Near x = 1 with large a, the case of most t tests and
// of F tests with one numerator degree of freedom, the series would take all its iterations.)
bool BetaSeriesCannotConverge(double x, double a, double s) {
  const double a1 = a + 1;
  if (!(s <= a1)) return false;
  return std::pow(x * s / a1, kBetaIterationLimit + 1) > 10 * kBetaTolerance;
}

// Continued fraction of I_x(a, b) without the prefactor. Returns false when it does not
// converge.
bool BetaContinuedFraction(double x, double a, double b, double s, double& value) {
  double a_prev = 1;
  double b_prev = 1;
  double a_cur = 1;
  double b_cur = 1 - s * x / (a + 1);
  double f = 1 / b_cur;
  for (int i = 1; i <= kBetaIterationLimit; ++i) {
    double m = i;
    double d1 = (m / (a + 2 * m)) * x * ((b - m) / (a + 2 * m - 1));
    double a1 = a_cur + d1 * a_prev;
    double b1 = b_cur + d1 * b_prev;
    double d2 = -((a + m) / (a + 2 * m)) * x * ((s + m) / (a + 2 * m + 1));
    double a2 = a1 + d2 * a_cur;
    double b2 = b1 + d2 * b_cur;
    if (b2 != 0) {
      a_prev = a1 / b2;
      b_prev = b1 / b2;
      a_cur = a2 / b2;
      b_cur = 1;
      if (std::fabs(a_cur - f) < kBetaTolerance) {
        value = a_cur;
        return true;
      }
      f = a_cur;
    } else {
      a_prev = a1;
      b_prev = b1;
      a_cur = a2;
      b_cur = b2;
    }
  }
  return false;
}

}  // namespace

double PeizerPrattG(double x) {
  if (x == 0) return 1;
  if (x < 0) return NQMV::Missing();
  if (x > kSqrtLargestDouble) return -1;
  if (x == 1) return 0;
  return (1 - x * x + 2 * x * std::log(x)) / ((1 - x) * (1 - x));
}

double Erf(double x) {
  double w = std::fabs(x);
  if (w == 0) return 0;
  double y;
  if (w < 2.2) {
    double w2 = w * w;
    int k = static_cast<int>(std::floor(w2));
    double t = w2 - k;
    y = w * Horner(kErfSmall[k], t);
  } else if (w < 6.9) {
    int k = static_cast<int>(std::floor(w));
    double t = w - k;
    double p = Horner(kErfLarge[k - 2], t);
    p = p * p;
    p = p * p;
    p = p * p;
    p = p * p;
    y = 1 - p;
  } else if (w >= 6.9) {
    y = 1;
  } else {
    return x;  // not a number
  }
  return x < 0 ? -y : y;
}

double Erfc(double x) {
  double w = std::fabs(x);
  if (w == 0) return 1;
  double t = kErfcScale / (w + kErfcScale);
  double u = t - 0.5;
  double y = t * Horner(kErfcCoefficients, u);
  if (y > 0) {
    double e = std::log(y) - w * w;
    y = GuardedExp(e);
  }
  if (y <= 0) y = 0;
  return x < 0 ? 2 - y : y;
}

double NormalCdf(double z) {
  if (z > 0) return (1 + Erf(z / kSqrt2)) * 0.5;
  if (z < 0) return Erfc(-z / kSqrt2) * 0.5;
  return 0.5;
}

double LogGamma(double x) {
  if (x >= 8) {
    double w = 1 / x;
    double v = w * w;
    return (x - 0.5) * std::log(x) - x + 0.9189385332046728 +
           w * (0.08333333333333309 +
                v * (-0.0027777777773546303 +
                     v * (0.0007936505750541542 +
                          v * (-0.0005951894757572819 +
                               v * (0.0008364453370338596 - 0.0016331235920050082 * v)))));
  }
  if (x >= 3.5) {
    double k = std::floor(x) - 3;
    double t = x - k - 3.5;
    return Horner(kLogGammaMiddle[static_cast<int>(k)], t);
  }
  if (x == 1 || x == 2) return 0;
  if (x > 0.5) {
    double s = x - 4.5 / (x + 0.5);
    double k = std::floor(s + 4);
    double t = s - (k - 3.5);
    return Horner(kLogGammaLow[static_cast<int>(k)], t);
  }
  if (x == 0.5) return kHalfLogPi;
  // Gamma has no logarithm at 0 or below; not a number counts as not positive here.
  if (!(x > 0)) return NQMV::Missing();
  double y = x * Horner(kReciprocalGamma[x < 0.25 ? 0 : 1], x);
  if (y > 0) return -std::log(y);
  return NQMV::Missing();
}

double IncompleteGamma(double x, double a, bool lower, int& error) {
  error = 0;
  if (!(a > 0)) {
    error = 1;
    return NQMV::Missing();
  }
  // The continued fraction would never meet its tolerance on a value that is not a number.
  if (std::isnan(x)) return x;
  if (x <= 0) return lower ? 0.0 : 1.0;
  if (a == 1) {
    double e = GuardedExp(-x);
    return lower ? 1 - e : e;
  }

  bool series = x <= 1 || x <= a;
  if (series) {
    double r = std::log10(x / (a + 1));
    if (r == 0) return IncompleteGammaNormal(x, a, lower);
    double k = std::log10(kGammaTolerance) / r;
    if (k > 0) {
      double terms = 2 * std::sqrt(k) + 10;
      if (terms * terms >= kGammaTermLimit) return IncompleteGammaNormal(x, a, lower);
    }
  } else if (4 * std::log(x) >= kGammaFractionSizeLimit) {
    return IncompleteGammaNormal(x, a, lower);
  }

  double g = LogGamma(series ? a + 1 : a);
  if (NQMV::IsMissing(g)) return IncompleteGammaNormal(x, a, lower);
  double l = a * std::log(x) - (x + g);

  double v;
  if (series) {
    double sum = 1;
    double term = 1;
    double d = a;
    do {
      d += 1;
      term = term * x / d;
      sum += term;
    } while (term >= kGammaTolerance);
    v = std::log(sum) + l;
  } else {
    v = std::log(GammaContinuedFraction(x, a)) + l;
  }

  if (v > 0) return IncompleteGammaNormal(x, a, lower);
  // The method's own tail: P for the series, Q for the continued fraction.
  double own = GuardedExp(v);
  bool own_is_lower = series;
  return lower == own_is_lower ? own : 1 - own;
}

double IncompleteBeta(double x, double a, double b, int& error) {
  error = 0;
  if (!(a > 0) || !(b > 0)) {
    error = 1;
    return NQMV::Missing();
  }
  double y = 1 - x;
  double s = a + b;
  if (x <= 0) return 0;
  if (y <= 0) return 1;
  if (a == 1 && b == 1) return x;
  if (a == 1) {
    double v = b * std::log(y);
    return v < kUnderflowExponent ? 1.0 : 1 - std::exp(v);
  }
  if (b == 1) {
    double v = a * std::log(x);
    return GuardedExp(v);
  }

  bool complement = false;
  auto swap = [&]() {
    double held = x;
    x = y;
    y = held;
    held = a;
    a = b;
    b = held;
    complement = !complement;
  };

  double f = 0;
  bool converged = false;
  if (!(a > 1 && b > 1)) {
    if (a < 1) swap();
    converged = !BetaSeriesCannotConverge(x, a, s) && BetaSeries(x, a, s, f);
  }
  if (!converged) {
    if (x >= (a + 1) / (s + 2)) swap();
    converged = BetaContinuedFraction(x, a, b, s, f);
  }

  double value;
  if (converged) {
    if (f <= 0) {
      value = 0;
    } else {
      double v = LogGamma(s) - LogGamma(a + 1) - LogGamma(b) + b * std::log(y) + a * std::log(x) +
                 std::log(f);
      value = GuardedExp(v);
    }
    return complement ? 1 - value : value;
  }

  // Peizer-Pratt normal approximation.
  double n = s - 1;
  double q = (1 + y * PeizerPrattG((a - 0.5) / (n * x)) + x * PeizerPrattG((b - 0.5) / (n * y))) /
             ((n + 1.0 / 6.0) * x * y);
  double z = 0;
  if (q > 0) {
    z = std::sqrt(q) * ((n * x - a) + (x + 1) / 3 + ((x - 0.5) / s + x / b - y / a) / 50);
  }
  if (complement) z = -z;
  return NormalCdf(z);
}

double ChiSquareCdf(double x, double df) {
  if (!(df > 0)) return NQMV::Missing();
  if (x <= 0) return 0;
  int error;
  double p = IncompleteGamma(x * 0.5, df * 0.5, true, error);
  return error != 0 ? NQMV::Missing() : p;
}

double FCdf(double f, double d1, double d2) {
  if (!(d1 > 0) || !(d2 > 0)) return NQMV::Missing();
  int error;
  if (f >= 1) {
    double ratio = d2 / d1;
    double r = IncompleteBeta(ratio / (f + ratio), d2 / 2, d1 / 2, error);
    return error != 0 ? NQMV::Missing() : 1 - r;
  }
  if (f > 0) {
    double r = IncompleteBeta(f / (f + d2 / d1), d1 / 2, d2 / 2, error);
    return error != 0 ? NQMV::Missing() : r;
  }
  if (f <= 0) return 0;
  return f;  // not a number
}

double TCdf(double t, double df) {
  if (!(df > 0)) return NQMV::Missing();
  if (t == 0) return 0.5;
  if (df == 1) return 0.5 + std::atan(t) / kPi;
  double at = std::fabs(t);
  int error;
  if (at > 1) {
    double r = IncompleteBeta((df / at) / (at + df / at), df / 2, 0.5, error);
    if (error != 0) return NQMV::Missing();
    return t > 1 ? 1 - r / 2 : r / 2;
  }
  if (at <= 1) {
    double r = IncompleteBeta(at / (df / at + at), 0.5, df / 2, error);
    if (error != 0) return NQMV::Missing();
    return t > 0 ? 0.5 + 0.5 * r : 0.5 - 0.5 * r;
  }
  return t;  // not a number
}
