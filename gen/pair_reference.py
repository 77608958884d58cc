#!/usr/bin/python3
"""Writes tests/data/pair_reference.txt: random weighted samples for the four pair
accumulators with reference values of their statistics computed independently of the library.

Run with Debian's python3 (it needs python3-scipy and python3-mpmath):
    /usr/bin/python3 gen/pair_reference.py [output]    (or: make regen)

Sums are formed exactly with fractions of the doubles written to the file; the chi-square
statistics and their p-values come from scipy's chi2_contingency (without Yates's correction),
the F and t p-values from scipy's distributions, each checked against mpmath.

File format (whitespace separated, one item per line):
    case <kind> <id>           kind: catcat catcont contcat contcont
    rec <x> <y> <w>            one case in input order; x is NA for a missing predictor
    ref <name> <value>         a reference value
    end
"""

import math
import os
import random
import sys
from fractions import Fraction

import mpmath
import numpy as np
from scipy import stats

mpmath.mp.dps = 40
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "pair_reference.txt")
WEIGHTS = [1.0, 1.0, 1.0, 2.0, 3.0, 0.5, 1.5, 0.25, 2.75]


def weight(rng):
    # Now and then an unusable weight: the accumulators must ignore those cases.
    r = rng.random()
    if r < 0.02:
        return 0.0
    if r < 0.04:
        return -1.0
    return rng.choice(WEIGHTS)


def category_value(rng, k):
    # A category written with a fraction, sometimes negative: truncation toward zero.
    c = rng.randrange(k) - (1 if rng.random() < 0.3 else 0)
    frac = rng.choice([0.0, 0.25, 0.5, 0.9])
    return c + frac if c >= 0 else c - frac


def usable(recs):
    return [(x, y, w) for (x, y, w) in recs if w > 0]


def valid(recs):
    return [(x, y, w) for (x, y, w) in usable(recs) if x is not None]


def mp(q):
    """A fraction as a high-precision number."""
    return mpmath.mpf(q.numerator) / q.denominator


def rel_close(a, b, tol):
    return abs(a - b) <= tol * max(abs(a), abs(b))


# ---------------------------------------------------------------------------------------------
def gen_catcat(rng):
    r, c = rng.randint(2, 6), rng.randint(2, 5)
    n = rng.randint(10, 80)
    # Dependence: the target leans towards a category that depends on the predictor.
    recs = []
    for _ in range(n):
        w = weight(rng)
        if rng.random() < 0.08:
            recs.append((None, float(rng.randrange(c)), w))
            continue
        x = category_value(rng, r)
        lean = (int(x) * 7) % c
        t = lean if rng.random() < 0.5 else rng.randrange(c)
        recs.append((x, float(t) + rng.choice([0.0, 0.5]), w))
    cells = {}
    for x, y, w in valid(recs):
        key = (int(x), int(y))
        cells[key] = cells.get(key, Fraction(0)) + Fraction(w)
    rows = sorted({k[0] for k in cells})
    cols = sorted({k[1] for k in cells})
    if len(rows) < 2 or len(cols) < 2:
        return None
    table = [[cells.get((i, j), Fraction(0)) for j in cols] for i in rows]
    N = sum(sum(row) for row in table)
    a = [sum(row) for row in table]
    b = [sum(table[i][j] for i in range(len(rows))) for j in range(len(cols))]
    # Exact statistics, to check scipy's.
    x2 = sum((table[i][j] - a[i] * b[j] / N) ** 2 / (a[i] * b[j] / N)
             for i in range(len(rows)) for j in range(len(cols)))
    g2 = 2 * sum(mp(table[i][j]) * mpmath.log(mp(table[i][j] * N / (a[i] * b[j])))
                 for i in range(len(rows)) for j in range(len(cols)) if table[i][j] > 0)
    obs = np.array([[float(v) for v in row] for row in table])
    sx2, px2, dof, _ = stats.chi2_contingency(obs, correction=False)
    sg2, pg2, dof2, _ = stats.chi2_contingency(obs, correction=False, lambda_="log-likelihood")
    if sx2 < 1.0 or sg2 < 1.0:
        return None  # near independence the statistics lose relative accuracy everywhere
    assert rel_close(sx2, float(x2), 1e-13), (sx2, float(x2))
    assert rel_close(sg2, float(g2), 1e-13), (sg2, float(g2))
    assert dof == dof2 == (len(rows) - 1) * (len(cols) - 1)
    k = min(len(rows), len(cols))
    v = math.sqrt(sx2 / (float(N) * (k - 1)))
    bmax = max(b)
    if N - bmax <= 0:
        return None
    lam = (sum(max(row) for row in table) - bmax) / (N - bmax)
    refs = [("X2", sx2), ("PX2", px2), ("G2", sg2), ("PG2", pg2), ("DF", float(dof)),
            ("V", v), ("LAMBDA", float(lam)), ("N", float(N))]
    return recs, refs


def anova(groups):
    """groups: list of lists of (value, weight) as Fractions. F, df1, df2 exactly."""
    N = sum(w for g in groups for _, w in g)
    grand = sum(w * x for g in groups for x, w in g) / N
    ssb = Fraction(0)
    ssw = Fraction(0)
    for g in groups:
        n = sum(w for _, w in g)
        m = sum(w * x for x, w in g) / n
        ssb += n * (m - grand) ** 2
        ssw += sum(w * (x - m) ** 2 for x, w in g)
    df1 = len(groups) - 1
    df2 = N - len(groups)
    return (ssb / df1) / (ssw / df2), df1, df2, N


def f_refs(groups):
    if len(groups) < 2 or any(sum(w for _, w in g) <= 1 for g in groups):
        return None  # every category must hold more than one unit of weight
    F, df1, df2, N = anova(groups)
    if df2 <= 0 or F < 0.5:
        return None
    f = float(F)
    p = stats.f.sf(f, df1, float(df2))
    x = mpmath.mpf(df1) * f / (df1 * f + mpmath.mpf(float(df2)))
    pm = 1 - mpmath.betainc(mpmath.mpf(df1) / 2, mpmath.mpf(float(df2)) / 2, 0, x,
                            regularized=True)
    assert abs(p - float(pm)) < 1e-15 + 1e-12 * float(pm), (p, float(pm))
    return [("F", f), ("P", p), ("DF1", float(df1)), ("DF2", float(df2)), ("N", float(N))]


def gen_catcont(rng):
    k = rng.randint(2, 6)
    n = rng.randint(8, 70)
    shift = rng.choice([0.0, 10.0, -250.0])
    recs = []
    for _ in range(n):
        w = weight(rng)
        y = round(rng.gauss(shift, 2.0), 6)
        if rng.random() < 0.08:
            recs.append((None, y, w))
            continue
        x = category_value(rng, k)
        recs.append((x, y + 0.7 * int(x), w))
    groups = {}
    for x, y, w in valid(recs):
        groups.setdefault(int(x), []).append((Fraction(y), Fraction(w)))
    refs = f_refs([groups[c] for c in sorted(groups)])
    return (recs, refs) if refs else None


def gen_contcat(rng):
    k = rng.randint(2, 5)
    n = rng.randint(8, 70)
    shift = rng.choice([0.0, 3.0, 100.0])
    recs = []
    for _ in range(n):
        w = weight(rng)
        t = float(rng.randrange(k)) + rng.choice([0.0, 0.25])
        x = round(rng.gauss(shift + 0.8 * int(t), 1.5), 5)
        if rng.random() < 0.08:
            x = None
        recs.append((x, t, w))
    groups = {}
    for x, y, w in valid(recs):
        groups.setdefault(int(y), []).append((Fraction(x), Fraction(w)))
    refs = f_refs([groups[c] for c in sorted(groups)])
    return (recs, refs) if refs else None


def gen_contcont(rng):
    n = rng.randint(4, 70)
    sx, sy = rng.choice([(0.0, 0.0), (50.0, -3.0), (100.0, 2.0)])
    slope = rng.choice([0.3, -0.8, 2.0, 0.05])
    recs = []
    for _ in range(n):
        w = weight(rng)
        x0 = rng.gauss(0.0, 1.0)
        x = round(sx + x0, 6)
        y = round(sy + slope * x0 + rng.gauss(0.0, 0.5), 6)
        recs.append((None if rng.random() < 0.08 else x, y, w))
    v = valid(recs)
    N = sum(Fraction(w) for _, _, w in v)
    if N <= 3:
        return None
    mx = sum(Fraction(w) * Fraction(x) for x, _, w in v) / N
    my = sum(Fraction(w) * Fraction(y) for _, y, w in v) / N
    sxx = sum(Fraction(w) * (Fraction(x) - mx) ** 2 for x, _, w in v)
    syy = sum(Fraction(w) * (Fraction(y) - my) ** 2 for _, y, w in v)
    sxy = sum(Fraction(w) * (Fraction(x) - mx) * (Fraction(y) - my) for x, y, w in v)
    rr = sxy * sxy / (sxx * syy)
    if rr < Fraction(1, 400) or rr > Fraction(999, 1000):
        return None
    r = mpmath.sqrt(mp(rr)) * (1 if sxy > 0 else -1)
    df = N - 2
    t = mpmath.sqrt(mp(df) / (1 - mp(rr))) * r
    p = 2 * stats.t.sf(abs(float(t)), float(df))
    x = mp(df) / (mp(df) + t * t)
    pm = mpmath.betainc(mp(df) / 2, mpmath.mpf(1) / 2, 0, x, regularized=True)
    assert abs(p - float(pm)) < 1e-15 + 1e-12 * float(pm), (p, float(pm))
    return recs, [("R", float(r)), ("T", float(t)), ("P", p), ("DF", float(df)),
                  ("N", float(N))]


def main():
    rng = random.Random(20240611)
    plan = [("catcat", gen_catcat, 100), ("catcont", gen_catcont, 70),
            ("contcat", gen_contcat, 70), ("contcont", gen_contcont, 70)]
    lines = ["# Reference values for the pair accumulators; written by "
             "gen/pair_reference.py, do not edit."]
    for kind, gen, count in plan:
        made = 0
        while made < count:
            out = gen(rng)
            if out is None:
                continue
            recs, refs = out
            lines.append("case %s %d" % (kind, made))
            for x, y, w in recs:
                lines.append("rec %s %r %r" % ("NA" if x is None else repr(x), y, w))
            for name, value in refs:
                lines.append("ref %s %r" % (name, float(value)))
            lines.append("end")
            made += 1
    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("wrote %d lines to %s" % (len(lines), os.path.normpath(OUT)), file=sys.stderr)


if __name__ == "__main__":
    main()
