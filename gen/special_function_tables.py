#!/usr/bin/python3
"""Generates src/stats/special_function_tables.inc, the piecewise polynomial coefficient tables
behind Erf and LogGamma.

Run with Debian's Python (it needs python3-mpmath):

    /usr/bin/python3 gen/special_function_tables.py [output]    (or: make regen)

Every segment is a polynomial in a local variable t, evaluated in double by Horner's rule with the
leading coefficient first. Some coefficients are given (the constant terms, the low-order terms of
the first small-argument error-function segment and of the first reciprocal-gamma segment); they
are held fixed exactly as given. The others are fitted at 60 significant digits by a weighted
discrete Remez exchange (minimax of the relative error, or of the error relative to
max(|f|, 0.03) on the log-gamma segments that hold the zeros of ln Gamma at 1 and 2), and rounded
to double one at a time, lowest power first: after each rounding the remaining free coefficients
are refitted so that they absorb the rounding error of the ones already fixed.

The maximum error written beside each segment is measured, not estimated: the segment's double
coefficients are evaluated by Horner's rule in double precision (Python floats are IEEE doubles
and Python never fuses a multiply and an add, exactly like the library built with
-ffp-contract=off) at several thousand double arguments t across the segment's interval, and
compared with the function evaluated by mpmath at the same t.

The output is deterministic: the fit has no randomness and the measurement uses a fixed seed.
"""

import math
import os
import random
import sys

import mpmath
from mpmath import mp, mpf

mp.dps = 60

FIT_GRID_POINTS = 700
MEASURE_RANDOM_POINTS = 2500
MEASURE_CHEBYSHEV_POINTS = 500
MAX_REMEZ_ITERATIONS = 40


# ------------------------------------------------------------------------------------------------
# The approximated functions, each as a function of the segment's local variable t.


def erf_over_w(k):
    """erf(w)/w as a function of t = w^2 - k."""

    def f(t):
        u = mpf(k) + t
        if u == 0:
            return 2 / mp.sqrt(mp.pi)
        w = mp.sqrt(u)
        return mp.erf(w) / w

    return f


def erfc_root16(k):
    """erfc(w)^(1/16) as a function of t = w - k."""

    def f(t):
        return mp.erfc(mpf(k) + t) ** (mpf(1) / 16)

    return f


def log_gamma_middle(k):
    """ln Gamma(x) as a function of t = x - (k + 3.5)."""

    def f(t):
        return mp.loggamma(mpf(k) + mpf("3.5") + t)

    return f


def x_of_s(s):
    """The x > -0.5 with x - 4.5/(x + 0.5) = s."""
    return ((s - mpf("0.5")) + mp.sqrt((mpf("0.5") - s) ** 2 + 4 * (mpf("4.5") + s / 2))) / 2


def log_gamma_low(k):
    """ln Gamma(x) as a function of t = s - (k - 3.5), s = x - 4.5/(x + 0.5)."""

    def f(t):
        return mp.loggamma(x_of_s(mpf(k) - mpf("3.5") + t))

    return f


def reciprocal_gamma_over_x(t):
    """1/(x Gamma(x)) = 1/Gamma(x + 1) as a function of t = x."""
    return mp.rgamma(t + 1)


# ------------------------------------------------------------------------------------------------
# Weighted discrete Remez exchange for a polynomial with some coefficients held fixed.


def chebyshev_points(a, b, n):
    a, b = mpf(a), mpf(b)
    return [(a + b) / 2 - (b - a) / 2 * mp.cos(mp.pi * i / (n - 1)) for i in range(n)]


def sign(v):
    return 1 if v > 0 else (-1 if v < 0 else 0)


def alternating_extrema(err):
    """Indices of the largest |err| in each run of constant sign: an alternating sequence."""
    result = []
    current_sign = 0
    for i, e in enumerate(err):
        s = sign(e)
        if s == 0:
            continue
        if s != current_sign:
            result.append(i)
            current_sign = s
        elif abs(e) > abs(err[result[-1]]):
            result[-1] = i
    return result


def reduce_to(indices, err, count):
    """Drops extrema, keeping the sign alternation, until count remain."""
    indices = list(indices)
    while len(indices) > count:
        excess = len(indices) - count
        end_value = min(abs(err[indices[0]]), abs(err[indices[-1]]))
        pair_value, pair_at = None, None
        if excess >= 2:
            for i in range(len(indices) - 1):
                v = max(abs(err[indices[i]]), abs(err[indices[i + 1]]))
                if pair_value is None or v < pair_value:
                    pair_value, pair_at = v, i
        if pair_value is None or end_value <= pair_value:
            if abs(err[indices[0]]) <= abs(err[indices[-1]]):
                indices.pop(0)
            else:
                indices.pop()
        else:
            del indices[pair_at:pair_at + 2]
    return indices


def single_exchange(reference, err, worst):
    """Classical one-point exchange of the worst grid point into the reference."""
    ref = list(reference)
    if worst in ref:
        return ref
    s = sign(err[worst])
    if worst < ref[0]:
        if sign(err[ref[0]]) == s:
            ref[0] = worst
        else:
            ref = [worst] + ref[:-1]
    elif worst > ref[-1]:
        if sign(err[ref[-1]]) == s:
            ref[-1] = worst
        else:
            ref = ref[1:] + [worst]
    else:
        for j in range(len(ref) - 1):
            if ref[j] < worst < ref[j + 1]:
                if sign(err[ref[j]]) == s:
                    ref[j] = worst
                else:
                    ref[j + 1] = worst
                break
    return ref


def remez(grid, values, weights, powers_of_t, fixed, free):
    """Minimises max_i weights[i]*|values[i] - p(grid[i])| over the free coefficients."""
    m = len(free)
    n = len(grid)
    residual = []
    for i in range(n):
        fixed_part = sum(c * powers_of_t[i][p] for p, c in fixed.items())
        residual.append(values[i] - fixed_part)
    if m == 0:
        return {}, max(weights[i] * abs(residual[i]) for i in range(n))
    reference = sorted({round(i * (n - 1) / m) for i in range(m + 1)})
    best = None
    for _ in range(MAX_REMEZ_ITERATIONS):
        matrix = mp.matrix(m + 1, m + 1)
        rhs = mp.matrix(m + 1, 1)
        for row, i in enumerate(reference):
            for col, p in enumerate(free):
                matrix[row, col] = powers_of_t[i][p]
            matrix[row, m] = (-1) ** row / weights[i]
            rhs[row] = residual[i]
        solution = mp.lu_solve(matrix, rhs)
        coefficients = {p: solution[col] for col, p in enumerate(free)}
        levelled = abs(solution[m])
        err = [
            weights[i] * (residual[i] - mp.fdot([powers_of_t[i][p] for p in free],
                                                [coefficients[p] for p in free]))
            for i in range(n)
        ]
        worst = max(range(n), key=lambda i: abs(err[i]))
        maximum = abs(err[worst])
        if best is None or maximum < best[1]:
            best = (coefficients, maximum)
        if maximum <= levelled * (1 + mpf("1e-6")):
            break
        extrema = alternating_extrema(err)
        if len(extrema) >= m + 1:
            new_reference = reduce_to(extrema, err, m + 1)
            if worst not in new_reference:
                new_reference = single_exchange(reference, err, worst)
        else:
            new_reference = single_exchange(reference, err, worst)
        if new_reference == reference:
            break
        reference = new_reference
    return best


def exact_counterparts(f, a, b, fixed_given):
    """The values the fit assumes for the given coefficients.

    Where t = 0 lies in the interval and a given coefficient is the double nearest to the Taylor
    coefficient of f at 0, the fit works with the exact Taylor coefficient. Otherwise the fitted
    polynomial would have to reproduce, near t = 0, an error that no higher power can produce,
    and the exchange would have nothing to level against. The polynomial itself of course keeps
    the given double; its unavoidable error at t = 0 is that double's rounding error.
    """
    fixed = {p: mpf(c) for p, c in fixed_given.items()}
    if not (a <= 0 <= b) or not fixed_given:
        return fixed
    taylor = mp.taylor(f, mpf(0), max(fixed_given), method="step") if a < 0 else None
    for p, c in fixed_given.items():
        if taylor is not None:
            exact = taylor[p]
        else:
            # One-sided interval starting at 0: differentiate with points to the right only.
            exact = mp.diff(f, mpf(0), p, direction=1) / mp.factorial(p)
        if abs(exact - mpf(c)) <= ulp(exact):
            fixed[p] = exact
    return fixed


def fit_segment(f, a, b, degree, fixed_given, weight_floor):
    """Fits and rounds one segment; returns the double coefficients, lowest power first."""
    grid = [t for t in chebyshev_points(a, b, FIT_GRID_POINTS)]
    values = [f(t) for t in grid]
    weights = [1 / max(abs(v), mpf(weight_floor)) for v in values]
    powers_of_t = [[t**p for p in range(degree + 1)] for t in grid]
    fixed = exact_counterparts(f, a, b, fixed_given)
    rounded = dict(fixed_given)
    free = [p for p in range(degree + 1) if p not in fixed]
    while free:
        coefficients, _ = remez(grid, values, weights, powers_of_t, fixed, free)
        lowest = free.pop(0)
        rounded[lowest] = float(coefficients[lowest])
        fixed[lowest] = mpf(rounded[lowest])
    return [rounded[p] for p in range(degree + 1)]


# ------------------------------------------------------------------------------------------------
# Measurement of the double evaluation.


def horner_double(leading_first, t):
    y = leading_first[0]
    for c in leading_first[1:]:
        y = y * t + c
    return y


def ulp(y):
    y = abs(y)
    if y == 0:
        return mpf(2) ** -1074
    e = int(mp.floor(mp.log(y, 2)))
    return mpf(2) ** (max(e, -1022) - 52)


def measure(f, a, b, coefficients_low_first, seed, weight_floor):
    """Maximum error in ulp and relative (where |f| >= weight_floor), and absolute."""
    leading_first = list(reversed(coefficients_low_first))
    rng = random.Random(seed)
    points = {a, b, math.nextafter(b, a), math.nextafter(a, b)}
    for t in chebyshev_points(a, b, MEASURE_CHEBYSHEV_POINTS):
        points.add(float(t))
    for _ in range(MEASURE_RANDOM_POINTS):
        points.add(rng.uniform(a, b))
    worst_ulp, worst_rel, worst_abs = mpf(0), mpf(0), mpf(0)
    for t in sorted(points):
        if t < a or t > b:
            continue
        exact = f(mpf(t))
        error = abs(mpf(horner_double(leading_first, t)) - exact)
        worst_abs = max(worst_abs, error)
        if exact != 0 and abs(exact) >= mpf(weight_floor):
            worst_ulp = max(worst_ulp, error / ulp(exact))
            worst_rel = max(worst_rel, error / abs(exact))
    return worst_ulp, worst_rel, worst_abs


# ------------------------------------------------------------------------------------------------
# The tables.


def segments():
    """(table, index, function, t interval, degree, given coefficients, weight floor, label)."""
    out = []
    for k in range(5):
        # The last segment ends at w = 2.2, where w^2 - 4 rounds to a little above 0.84.
        b = 0.85 if k == 4 else 1.0
        given = {0: float(erf_over_w(k)(mpf(0)))}
        if k == 0:
            given = {0: 1.1283791670955126, 1: -0.3761263890318375}
        out.append(("kErfSmall", k, erf_over_w(k), 0.0, b, 12, given, 0,
                    "w^2 in [%g, %g)" % (k, min(k + 1, 4.84))))
    large_constants = [0.7151172032884284, 0.5116969671872764, 0.32490054966649434,
                       0.1826733677529661, 0.09084526782065479]
    for k in range(2, 7):
        a = 0.2 if k == 2 else 0.0
        b = 0.9 if k == 6 else 1.0
        out.append(("kErfLarge", k - 2, erfc_root16(k), a, b, 12, {0: large_constants[k - 2]}, 0,
                    "w in [%g, %g)" % (k + a, k + b)))
    middle_constants = [1.2009736023470743, 2.4537365708424423, 3.9578139676187165,
                        5.662562059857142, 7.534364236758733]
    for k in range(5):
        # Segment 0 serves only x in [3.5, 4).
        a = 0.0 if k == 0 else -0.5
        out.append(("kLogGammaMiddle", k, log_gamma_middle(k), a, 0.5, 12,
                    {0: middle_constants[k]}, 0, "x in [%g, %g)" % (k + 3.5 + a, k + 4)))
    for k in range(7):
        # Segment 6 serves only s in [2, 2.375), that is x in [2.5, 3.5).
        b = -0.125 if k == 6 else 0.5
        given = {0: float(log_gamma_low(k)(mpf(0)))}
        if k == 0:
            given = {0: 0.4012044244095393}
        if k == 6:
            given = {0: 1.3107391253519625}
        x_lo = float(x_of_s(mpf(k) - mpf("4")))
        x_hi = float(x_of_s(mpf(k) - mpf("3.5") + mpf(b)))
        out.append(("kLogGammaLow", k, log_gamma_low(k), -0.5, b, 13, given, "0.03",
                    "s in [%g, %g), x in [%.6g, %.6g)" % (k - 4, k - 3.5 + b, x_lo, x_hi)))
    out.append(("kReciprocalGamma", 0, reciprocal_gamma_over_x, 0.0, 0.25, 10,
                 {0: 1.0, 1: 0.5772156649015352, 2: -0.6558780715206193}, 0, "x in (0, 0.25)"))
    out.append(("kReciprocalGamma", 1, reciprocal_gamma_over_x, 0.25, 0.5, 10, {}, 0,
                "x in [0.25, 0.5)"))
    return out


TABLE_DOCS = {
    "kErfSmall": "erf(w)/w for 0 < w < 2.2, segment k = floor(w^2), in t = w^2 - k.",
    "kErfLarge": "erfc(w)^(1/16) for 2.2 <= w < 6.9, segment k - 2 for k = floor(w), in t = w - k.",
    "kLogGammaMiddle": "ln Gamma(x) for 3.5 <= x < 8, segment k = floor(x) - 3, in t = x - (k + 3.5).",
    "kLogGammaLow": ("ln Gamma(x) for 0.5 < x < 3.5 in s = x - 4.5/(x + 0.5), segment\n"
                     "// k = floor(s + 4), in t = s - (k - 3.5)."),
    "kReciprocalGamma": ("1/(x Gamma(x)) for 0 < x < 0.5 (so that x times it is 1/Gamma(x)),\n"
                         "// segment 0 below 0.25, segment 1 from 0.25, in t = x."),
}


def format_error(label, a, b, worst_ulp, worst_rel, worst_abs, weight_floor):
    """Two comment lines: the interval, then the measured error."""
    interval = "%s, t in [%s, %s]" % (label, repr(a), repr(b))
    error = "max error %.2f ulp, relative %.1e" % (float(worst_ulp), float(worst_rel))
    if weight_floor:
        error += " where |f| >= %s; absolute %.1e" % (weight_floor, float(worst_abs))
    return [interval, error]


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        root, "src", "stats", "special_function_tables.inc")
    tables = {}
    order = []
    for table, index, f, a, b, degree, given, floor_, label in segments():
        coefficients = fit_segment(f, a, b, degree, given, floor_)
        for p, c in given.items():
            assert coefficients[p] == c
        worst_ulp, worst_rel, worst_abs = measure(f, a, b, coefficients, 1000 + len(order), floor_)
        comment = format_error(label, a, b, worst_ulp, worst_rel, worst_abs, floor_)
        print("%s[%d] %s: %s" % (table, index, comment[0], comment[1]), file=sys.stderr)
        if table not in tables:
            tables[table] = []
            order.append(table)
        tables[table].append((comment, list(reversed(coefficients))))
    lines = [
        "// Generated by gen/special_function_tables.py: edit the generator, not this file.",
        "//",
        "// Piecewise polynomial coefficients, one row per segment, leading coefficient first for",
        "// Horner's rule. Beside each row: the segment's interval and the maximum error of its",
        "// double evaluation by Horner's rule, measured against the function at 60 digits.",
        "// clang-format off",
    ]
    for table in order:
        rows = tables[table]
        width = len(rows[0][1])
        lines.append("")
        lines.append("// " + TABLE_DOCS[table])
        lines.append("static const double %s[%d][%d] = {" % (table, len(rows), width))
        for comment, coefficients in rows:
            lines.append("    // " + comment[0])
            lines.append("    //   " + comment[1])
            lines.append("    {")
            for c in coefficients:
                lines.append("        %s,  // %s" % (c.hex(), repr(c)))
            lines.append("    },")
        lines.append("};")
    lines.append("// clang-format on")
    with open(output, "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
