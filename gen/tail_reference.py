#!/usr/bin/python3
"""Generates tests/data/tail_reference.txt, reference values of the upper tails of the
chi-square, F and t distributions, for the tail tests and the accuracy report.

Run with Debian's Python (it needs python3-mpmath and python3-scipy):

    /usr/bin/python3 gen/tail_reference.py [output]    (or: make regen; about ten minutes)

Each data line is

    function argument... expected scipy

- ChiSquareUpper x df      P(chi-square(df) >= x)
- FUpper f d1 d2           P(F(d1, d2) >= f)
- TTwoSidedUpper t df      P(|T(df)| >= |t|)

The points cover each distribution from p = 0.99 (its body, where most statistics fall) down
to p = 1e-300 for degrees of freedom from 1 to 1e6, odd and even (small even ones have closed
forms): for each target p the statistic is found by mpmath, rounded to a double
(written as the shortest round-trip decimal), and the expected value is the tail at exactly
that double, computed by mpmath at 60 digits and written to 25 significant digits. The last
field is SciPy's value at the same point (chi2.sf, f.sf, 2 t.sf), so that the accuracy report
can hold the library against it without Python.

The incomplete beta function is taken here from the hypergeometric function 2F1(a + b, 1; a + 1; x)
(mpmath's own betainc does not converge for parameters in the hundreds of thousands), or where
mpmath cannot sum that either, from the incomplete beta function's continued fraction, always on
the side of the mean where the value is below one half.
"""

import os
import sys
import time

from mpmath import mp, mpf
import scipy.stats

mp.dps = 60
START = time.time()

TARGETS = [0.99, 0.9, 0.5, 0.05, 1e-4, 1e-12, 1e-40, 1e-100, 1e-200, 2e-300]


def chi_square_upper(x, df):
    return mp.gammainc(mpf(df) / 2, mpf(x) / 2, mp.inf, regularized=True)


def beta_fraction(x, a, b):
    """The continued fraction of I_x(a, b) / (x^a y^b / (a B(a, b)))."""
    tiny = mpf(10) ** -200
    c, d = mpf(1), 1 - (a + b) * x / (a + 1)
    d = 1 / d
    h = d
    m = 1
    while True:
        for an in (m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m)),
                   -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 2 * m + 1))):
            d = 1 + an * d
            d = 1 / (d if d != 0 else tiny)
            c = 1 + an / c
            c = c if c != 0 else tiny
            h *= d * c
        if abs(d * c - 1) < mpf(10) ** (-mp.dps + 5):
            return h
        m += 1


def beta_lower(x, a, b):
    """I_x(a, b) for x below the mean, from 2F1(a + b, 1; a + 1; x), all of whose series terms
    are positive, and where mpmath gives up on that series, from the continued fraction."""
    y = 1 - x
    prefactor = mp.exp(a * mp.log(x) + b * mp.log(y) - mp.log(a) + mp.loggamma(a + b) -
                       mp.loggamma(a) - mp.loggamma(b))
    try:
        series = mp.hyp2f1(a + b, 1, a + 1, x, maxterms=3000)
    except mp.NoConvergence:
        return prefactor * beta_fraction(x, a, b)
    return prefactor * series


def regularized_beta(x, a, b):
    # Below this point the continued fraction converges and the value is at most about 1/2.
    if x < (a + 1) / (a + b + 2):
        return beta_lower(x, a, b)
    return 1 - beta_lower(1 - x, b, a)


def f_upper(f, d1, d2):
    f, d1, d2 = mpf(f), mpf(d1), mpf(d2)
    return regularized_beta(d2 / (d2 + d1 * f), d2 / 2, d1 / 2)


def t_two_sided(t, df):
    t, df = mpf(t), mpf(df)
    return regularized_beta(df / (df + t * t), df / 2, mpf(1) / 2)


def solve(tail, target, guess):
    """A statistic whose tail is within a factor of 2 of target: SciPy's inverse when it is close
    enough, else bisection on log p."""
    if guess == guess and 0 < guess < float("inf"):
        value = tail(guess)
        if target / 2 < value < 2 * target:
            return guess
    low, high = mpf(0), mpf(2)
    while tail(high) > target:
        low, high = high, high * 4
        if high > mpf(10) ** 300:
            return None
    goal = mp.log(target)
    with mp.workdps(30):
        while high > low * (1 + mpf(10) ** -4):
            mid = (low + high) / 2 if low == 0 or high < 2 * low else mp.sqrt(low * high)
            if mp.log(tail(mid)) > goal:
                low = mid
            else:
                high = mid
    return float(low)


def points(tail, inverse, scipy_value, parameters):
    lines = []
    for fixed in parameters:
        for target in TARGETS:
            with mp.workdps(20):
                stat = solve(lambda s: tail(s, *fixed), target, inverse(target, *fixed))
            if stat is None or not 0 < stat < float("inf"):
                continue
            expected = tail(stat, *fixed)
            if expected < mpf("1e-300"):
                continue
            lines.append(([stat] + list(fixed), expected, scipy_value(stat, *fixed)))
        print(tail.__name__, fixed, "%.0f s" % (time.time() - START), file=sys.stderr)
    return lines


def main():
    dfs = [1, 2, 3, 5, 10, 30, 40, 100, 1000, 10000, 100000, 1000000]
    pairs = [(d1, d2) for d1 in [1, 2, 3, 4, 10, 30, 40, 1000, 1000000]
             for d2 in [1, 4, 100, 10000, 1000000]]
    sections = [
        ("ChiSquareUpper", points(chi_square_upper, scipy.stats.chi2.isf, scipy.stats.chi2.sf,
                                  [(d,) for d in dfs])),
        ("FUpper", points(f_upper, scipy.stats.f.isf, scipy.stats.f.sf, pairs)),
        ("TTwoSidedUpper", points(t_two_sided, lambda p, df: scipy.stats.t.isf(p / 2, df),
                                  lambda s, df: 2 * scipy.stats.t.sf(s, df),
                                  [(d,) for d in dfs])),
    ]
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "..", "tests", "data", "tail_reference.txt")
    with open(path, "w") as out:
        out.write("# Generated by gen/tail_reference.py: edit the generator, not this file.\n")
        out.write("# function argument... expected (mpmath, 60 digits, written to 25) scipy\n")
        for name, lines in sections:
            for args, expected, scipy_value in lines:
                fields = [name] + [repr(float(a)) for a in args]
                fields.append(mp.nstr(expected, 25, min_fixed=1, max_fixed=0))
                fields.append(repr(float(scipy_value)))
                out.write(" ".join(fields) + "\n")


if __name__ == "__main__":
    main()
