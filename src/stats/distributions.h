// Distribution functions of the test statistics and the special functions behind them. All
// return the lower-tail probability; invalid parameters give the missing value.
#ifndef FSRANK_STATS_DISTRIBUTIONS_H
#define FSRANK_STATS_DISTRIBUTIONS_H

// P(chi-square(df) <= x).
double ChiSquareCdf(double x, double df);
// P(F(d1, d2) <= f).
double FCdf(double f, double d1, double d2);
// P(T(df) <= t).
double TCdf(double t, double df);

// Upper tails computed directly (never as 1 - the lower tail): relative error about 1e-13
// down to the smallest normal double, 0 below it, the missing value for invalid parameters.
// P(chi-square(df) >= x).
double ChiSquareUpper(double x, double df);
// P(F(d1, d2) >= f).
double FUpper(double f, double d1, double d2);
// P(|T(df)| >= |t|), the two-sided tail.
double TTwoSidedUpper(double t, double df);

// Regularized incomplete gamma: P(a, x) when lower, else Q(a, x). error is 1 for a <= 0.
double IncompleteGamma(double x, double a, bool lower, int& error);
// Regularized incomplete beta I_x(a, b). error is 1 for a <= 0 or b <= 0.
double IncompleteBeta(double x, double a, double b, int& error);
double LogGamma(double x);
double Erf(double x);
double Erfc(double x);
double NormalCdf(double z);
double PeizerPrattG(double x);

#endif  // FSRANK_STATS_DISTRIBUTIONS_H
