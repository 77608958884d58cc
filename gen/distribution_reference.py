#!/usr/bin/python3
"""Generates tests/data/distribution_reference.txt, high-precision reference values of the
distribution and special functions for the unit tests and the accuracy report.

Run with Debian's Python (it needs python3-mpmath and python3-scipy):

    /usr/bin/python3 gen/distribution_reference.py [output]    (or: make regen)

Each data line is

    function region argument... expected

with the arguments written as shortest round-trip decimal doubles and the expected value, the
function at those exact double arguments, computed by mpmath at 50 digits and written to 25
significant digits. The region names the branch or interval that the library takes, so that
the tests and the report can hold each region to what its algorithm can reach. scipy only picks
arguments (quantiles spread the points over each distribution's range); it never supplies an
expected value.

Regions of the distribution functions: "lowdf" when every degree of freedom is at most 500,
"highdf" above; ChiSquareCdf adds the incomplete gamma method the library picks ("series",
"fraction", "exp" for two degrees of freedom, "normal" for the normal approximation), TCdf
"cauchy" for one degree of freedom.

The output is deterministic (fixed seeds).
"""

import math
import os
import random
import sys

from mpmath import mp, mpf
import scipy.stats

mp.dps = 50

# ------------------------------------------------------------------------------------------------
# Reference functions at 50 digits.


def beta_fraction(a, b, x):
    """Continued fraction of the incomplete beta function (modified Lentz)."""
    tiny = mpf(10) ** -400
    eps = mpf(10) ** -45
    c = mpf(1)
    d = 1 - (a + b) * x / (a + 1)
    d = 1 / (d if abs(d) > tiny else tiny)
    h = d
    m = 1
    while True:
        for numerator in (m * (b - m) * x / ((a - 1 + 2 * m) * (a + 2 * m)),
                          -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 1 + 2 * m))):
            d = 1 + numerator * d
            d = 1 / (d if abs(d) > tiny else tiny)
            c = 1 + numerator / c
            c = c if abs(c) > tiny else tiny
            delta = c * d
            h *= delta
        if abs(delta - 1) < eps:
            return h
        m += 1


def incomplete_beta(a, b, x):
    """Regularized I_x(a, b) for exact mpf arguments, 0 <= x <= 1."""
    if x <= 0:
        return mpf(0)
    if x >= 1:
        return mpf(1)
    y = 1 - x
    log_front = (a * mp.log(x) + b * mp.log(y) + mp.loggamma(a + b) - mp.loggamma(a) -
                 mp.loggamma(b))
    if x < (a + 1) / (a + b + 2):
        return mp.exp(log_front) * beta_fraction(a, b, x) / a
    return 1 - mp.exp(log_front) * beta_fraction(b, a, y) / b


def gamma_series(a, x):
    """P(a, x) by its power series (for x < a + 1)."""
    term = mpf(1)
    total = mpf(1)
    d = a
    eps = mpf(10) ** -55
    while term > eps * total:
        d += 1
        term *= x / d
        total += term
    return mp.exp(a * mp.log(x) - x - mp.loggamma(a + 1)) * total


def gamma_fraction(a, x):
    """Q(a, x) by Legendre's continued fraction, modified Lentz (for x >= a + 1)."""
    tiny = mpf(10) ** -400
    eps = mpf(10) ** -45
    b = x + 1 - a
    c = 1 / tiny
    d = 1 / b
    h = d
    i = 1
    while True:
        an = -i * (i - a)
        b += 2
        d = an * d + b
        d = 1 / (d if abs(d) > tiny else tiny)
        c = b + an / c
        c = c if abs(c) > tiny else tiny
        delta = d * c
        h *= delta
        if abs(delta - 1) < eps:
            break
        i += 1
    return mp.exp(a * mp.log(x) - x - mp.loggamma(a)) * h


def lower_gamma(a, x):
    """Regularized P(a, x)."""
    if x <= 0:
        return mpf(0)
    if x < a + 1:
        return gamma_series(a, x)
    return 1 - gamma_fraction(a, x)


def upper_gamma(a, x):
    """Regularized Q(a, x), computed directly where it is small."""
    if x <= 0:
        return mpf(1)
    if x < a + 1:
        return 1 - gamma_series(a, x)
    return gamma_fraction(a, x)


def chi_square_cdf(x, df):
    return lower_gamma(mpf(df) / 2, mpf(x) / 2)


def f_cdf(f, d1, d2):
    if f <= 0:
        return mpf(0)
    f, d1, d2 = mpf(f), mpf(d1), mpf(d2)
    # I_z(d1/2, d2/2) with z = d1 f/(d1 f + d2); its complement with 1 - z = d2/(d1 f + d2).
    z = d1 * f / (d1 * f + d2)
    if z < mpf("0.5"):
        return incomplete_beta(d1 / 2, d2 / 2, z)
    return 1 - incomplete_beta(d2 / 2, d1 / 2, d2 / (d1 * f + d2))


def t_cdf(t, df):
    if t == 0:
        return mpf("0.5")
    t, df = mpf(t), mpf(df)
    tail = incomplete_beta(df / 2, mpf("0.5"), df / (df + t * t)) / 2
    return 1 - tail if t > 0 else tail


# ------------------------------------------------------------------------------------------------
# The regions the library's branches define, computed exactly as the library computes them.


def gamma_method(x, a):
    if a == 1:
        return "exp"
    if x <= 1 or x <= a:
        r = math.log10(x / (a + 1))
        if r == 0:
            return "normal"
        k = math.log10(1e-14) / r
        if k > 0 and (2 * math.sqrt(k) + 10) ** 2 >= 2147483647:
            return "normal"
        return "series"
    if 4 * math.log(x) >= 1024:
        return "normal"
    return "fraction"


def df_class(*dfs):
    return "lowdf" if max(dfs) <= 500 else "highdf"


def erf_region(x):
    w = abs(x)
    if w < 2.2:
        return "small%d" % math.floor(w * w)
    if w < 6.9:
        return "large%d" % math.floor(w)
    return "one"


def erfc_region(x):
    w = abs(x)
    if w <= 1:
        return "|x|<=1"
    if x < 0:
        return "x<-1"
    for limit in (2, 4, 8, 16, 26.5, 28):
        if w <= limit:
            return "x<=%g" % limit
    return "x>28"


def log_gamma_region(x):
    if x < 0.25:
        return "recip0"
    if x < 0.5:
        return "recip1"
    if x == 0.5:
        return "special"
    if x < 3.5:
        if x == 1 or x == 2:
            return "special"
        if abs(x - 1) <= 0.1:
            return "near1"
        if abs(x - 2) <= 0.1:
            return "near2"
        s = x - 4.5 / (x + 0.5)
        return "low%d" % math.floor(s + 4)
    if x < 8:
        return "middle%d" % (math.floor(x) - 3)
    if x <= 1e7:
        return "stirling"
    return "stirling-huge"


# ------------------------------------------------------------------------------------------------
# Arguments.


def around(values):
    """Each value and its two neighbouring doubles."""
    out = []
    for v in values:
        out += [math.nextafter(v, -math.inf), v, math.nextafter(v, math.inf)]
    return out


def erf_arguments(rng):
    xs = []
    for k in range(5):
        lo, hi = math.sqrt(k), min(math.sqrt(k + 1), 2.2)
        xs += [rng.uniform(lo, hi) for _ in range(120)]
    for k in range(2, 7):
        xs += [rng.uniform(max(k, 2.2), min(k + 1, 6.9)) for _ in range(80)]
    xs += around([1.0, math.sqrt(2), math.sqrt(3), 2.0, 2.2, 3.0, 4.0, 5.0, 6.0, 6.9])
    xs += [5e-324, 1e-310, 2.2250738585072014e-308, 1e-300, 1e-100, 1e-20, 1e-10, 1e-5, 1e-3]
    xs += [7.0, 10.0, 27.0, 1e10, 1e300]
    xs += [-x for x in xs[::5]]
    return xs


def erfc_arguments(rng):
    xs = [rng.uniform(-1, 1) for _ in range(300)]
    xs += around([-1.0, 1.0, 0.5, 2.0, 4.0, 8.0, 26.5, 26.55, 27.0, 27.25])
    xs += [rng.uniform(lo, hi) for lo, hi in ((1, 2), (2, 4), (4, 8), (8, 16), (16, 26.5))
           for _ in range(80)]
    xs += [rng.uniform(26.5, 28) for _ in range(30)]
    xs += [rng.uniform(-30, -1) for _ in range(60)]
    xs += [1e-300, 1e-20, 1e-8, -1e-8, 30.0, 40.0, -40.0, 1e10]
    return xs


def log_gamma_arguments(rng):
    xs = [10 ** rng.uniform(-300, math.log10(0.25)) for _ in range(60)]
    xs += [rng.uniform(0, 0.25) for _ in range(60)]
    xs += [rng.uniform(0.25, 0.5) for _ in range(80)]
    xs += [rng.uniform(0.5, 3.5) for _ in range(500)]
    xs += [rng.uniform(0.9, 1.1) for _ in range(100)]
    xs += [rng.uniform(1.9, 2.1) for _ in range(100)]
    xs += [rng.uniform(3.5, 8) for _ in range(300)]
    xs += [10 ** rng.uniform(math.log10(8), 7) for _ in range(150)]
    xs += [10 ** rng.uniform(7, 300) for _ in range(40)]
    xs += around([0.25, 0.5, 1.0, 2.0, 3.5, 4.0, 5.0, 6.0, 7.0, 8.0])
    # The low table's segment boundaries, s = -3 ... 2, in x.
    for s in range(-3, 3):
        x = ((s - 0.5) + math.sqrt((0.5 - s) ** 2 + 4 * (4.5 + s / 2))) / 2
        xs += around([x])
    xs += [1e-320, 3.0, 1e6]
    return [x for x in xs if x > 0]


def normal_arguments(rng):
    zs = [rng.uniform(-10, 10) for _ in range(200)]
    zs += [rng.uniform(-40, -10) for _ in range(40)]
    zs += [rng.uniform(10, 40) for _ in range(20)]
    zs += [-38.0, -37.5, 1e-10, -1e-10, 1.0, -1.0]
    return zs


CHI_DF = [0.5, 1, 1.5, 2, 3, 4, 5, 7, 10, 15, 20, 30, 50, 75, 100, 150, 200, 300, 500, 501,
          1000, 2000, 5000, 1e4, 1e5, 1e6]
PROBABILITIES = [1e-300, 1e-100, 1e-30, 1e-10, 1e-5, 1e-3, 0.01, 0.05, 0.1, 0.25, 0.5, 0.75, 0.9,
                 0.95, 0.99, 0.999, 1 - 1e-5, 1 - 1e-10]
UPPER_TAILS = [1e-20, 1e-100, 1e-300]


def quantiles(distribution, rng):
    # Fixed probabilities from the far lower tail to the far upper tail, and a few random
    # central ones, where the prefactor's rounding error weighs most in absolute terms.
    xs = [float(distribution.ppf(rng.uniform(0.05, 0.95))) for _ in range(6)]
    for p in PROBABILITIES:
        x = float(distribution.ppf(p))
        if math.isfinite(x) and x > 0:
            xs.append(x)
    for q in UPPER_TAILS:
        x = float(distribution.isf(q))
        if math.isfinite(x) and x > 0:
            xs.append(x)
    return xs


def chi_square_cases(rng):
    cases = []
    for df in CHI_DF:
        xs = quantiles(scipy.stats.chi2(df), rng)
        xs += around([float(df)])  # the series / continued fraction switch at x = a
        xs += [1e-10, 0.5, 2.0, 1e3]
        if df <= 2:
            xs += around([2.0])  # the switch at x = 1
        for x in xs:
            cases.append((x, float(df)))
    # Normal approximation: 4 ln(x/2) >= 1024.
    for df in (1.0, 10.0, 1e6):
        for x in (1e112, 1e200, 1.7976931348623157e308):
            cases.append((x, df))
    return cases


F_DF = [0.5, 1, 2, 3, 5, 10, 30, 100, 500, 1e4, 1e6]


def f_cases(rng):
    cases = []
    for d1 in F_DF:
        for d2 in F_DF:
            xs = quantiles(scipy.stats.f(d1, d2), rng)
            xs += around([1.0])
            xs += [1e-8, 0.5, 2.0, 1e8]
            if max(d1, d2) >= 1e4:
                xs = xs[::2]  # the references for large parameters are slow
            for x in xs:
                cases.append((x, float(d1), float(d2)))
    # Degrees of freedom between the listed ones, at random central points.
    for _ in range(300):
        d1 = float(10 ** rng.uniform(math.log10(0.5), math.log10(500)))
        d2 = float(10 ** rng.uniform(math.log10(0.5), math.log10(500)))
        cases.append((float(scipy.stats.f(d1, d2).ppf(rng.uniform(0.05, 0.95))), d1, d2))
    return cases


T_DF = [0.5, 1, 1.5, 2, 3, 4, 5, 7, 10, 20, 30, 50, 100, 200, 500, 1000, 1e4, 1e5, 1e6]


def t_cases(rng):
    cases = []
    for df in T_DF:
        dist = scipy.stats.t(df)
        ts = [float(dist.ppf(p)) for p in PROBABILITIES if 1e-300 < p]
        ts += [float(dist.ppf(rng.uniform(0.05, 0.95))) for _ in range(6)]
        ts += around([1.0, -1.0])
        ts += [0.5, -0.5, 1e-8, -1e-8, 3.0, -3.0, 1e10, -1e10]
        for t in ts:
            if math.isfinite(t) and t != 0:
                cases.append((t, float(df)))
    return cases


def incomplete_beta_cases():
    cases = [(0.9, 0.5, 0.5)]
    for a in (0.01, 0.1, 0.5, 0.75, 2.0, 7.5, 30.0, 100.0, 1e3, 1e4):
        cases.append((0.5, a, a))
    # Power series that fails to converge and falls back to the continued fraction.
    for x, a, b in ((1e-5, 0.5, 3.0), (1e-6, 0.25, 10.0), (2e-5, 0.9, 1.5)):
        cases.append((x, a, b))
    for x in (1e-3, 0.1, 0.3, 0.7, 0.99):
        for a, b in ((0.3, 0.7), (0.5, 4.0), (4.0, 0.5), (2.5, 3.5), (40.0, 12.0)):
            cases.append((x, a, b))
    return [(x, a, b, df_class(2 * a, 2 * b)) for x, a, b in cases] + [
        # Both the series and the continued fraction exhaust their 10000 steps here; the
        # library falls back to the Peizer-Pratt normal approximation.
        (1e-7, 0.5, 2e7, "normal"), (1e-6, 0.5, 2e7, "normal"), (1e-7, 0.5, 5e7, "normal")]


def incomplete_gamma_cases():
    cases = []
    for a in (0.25, 0.5, 0.75, 1.5, 3.0, 10.0, 100.0, 1e4):
        for x in (a / 10, a / 2, a, 2 * a + 1, 5 * a + 10):
            cases.append((x, a))
    # Normal approximation: x within 6e-8 of a + 1 below a, and very large x.
    cases += [(1e8, 1e8), (1e8 - 10, 1e8), (1e112, 3.0), (1e112, 0.25)]
    return cases


# ------------------------------------------------------------------------------------------------


def value_text(v):
    # Far below the smallest double: written as 0 so that a reader need not parse huge exponents.
    if abs(v) < mpf(10) ** -400:
        return "0"
    return mp.nstr(v, 25, min_fixed=-5, max_fixed=5)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        root, "tests", "data", "distribution_reference.txt")
    rng = random.Random(20240521)
    lines = [
        "# Generated by gen/distribution_reference.py: edit the generator, not this file.",
        "# function region argument... expected (mpmath, 50 digits, written to 25)",
    ]

    def emit(function, region, args, value):
        lines.append(" ".join([function, region] + [repr(float(a)) for a in args] +
                              [value_text(value)]))

    lines.append("# Erf x")
    for x in erf_arguments(rng):
        emit("Erf", erf_region(x), [x], mp.erf(mpf(x)))
    lines.append("# Erfc x")
    for x in erfc_arguments(rng):
        emit("Erfc", erfc_region(x), [x], mp.erfc(mpf(x)))
    lines.append("# LogGamma x")
    for x in log_gamma_arguments(rng):
        emit("LogGamma", log_gamma_region(x), [x], mp.loggamma(mpf(x)))
    lines.append("# NormalCdf z")
    for z in normal_arguments(rng):
        emit("NormalCdf", "z<0" if z < 0 else "z>0", [z], mp.ncdf(mpf(z)))
    lines.append("# IncompleteGamma x a lower (1 lower tail, 0 upper tail)")
    for x, a in incomplete_gamma_cases():
        region = gamma_method(x, a)
        emit("IncompleteGamma", region, [x, a, 1], lower_gamma(mpf(a), mpf(x)))
        emit("IncompleteGamma", region, [x, a, 0], upper_gamma(mpf(a), mpf(x)))
    lines.append("# IncompleteBeta x a b")
    for x, a, b, region in incomplete_beta_cases():
        emit("IncompleteBeta", region, [x, a, b], incomplete_beta(mpf(a), mpf(b), mpf(x)))
    lines.append("# ChiSquareCdf x df")
    for x, df in chi_square_cases(rng):
        region = df_class(df) + "-" + gamma_method(x / 2, df / 2)
        emit("ChiSquareCdf", region, [x, df], chi_square_cdf(x, df))
    lines.append("# FCdf f d1 d2")
    for f, d1, d2 in f_cases(rng):
        emit("FCdf", df_class(d1, d2), [f, d1, d2], f_cdf(f, d1, d2))
    lines.append("# TCdf t df")
    for t, df in t_cases(rng):
        region = "cauchy" if df == 1 else df_class(df)
        emit("TCdf", region, [t, df], t_cdf(t, df))
    os.makedirs(os.path.dirname(output), exist_ok=True)
    with open(output, "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
