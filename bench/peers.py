#!/usr/bin/python3
"""The Python peers of fsrank_bench, on the same data held in memory as float64.

Usage: peers.py POOL_FILE WIDTH RECORDS CASE

POOL_FILE holds the benchmark's pool of records (float64, WIDTH values a row: the target,
then the predictors); it is repeated to RECORDS rows, as the library's iterator hands it out.
Prints one line "name ns_per_predictor_value" per peer (processor time, one thread), or a
line starting with "#" when the peers cannot run. Needs Debian's python3-sklearn,
python3-scipy and python3-pandas.

The peers:
- sklearn.feature_selection.f_classif: ANOVA F of continuous predictors, categorical target;
- sklearn.feature_selection.f_regression: correlation F test, continuous target;
- sklearn.feature_selection.chi2: the count-based shortcut (sums of the predictor's values per
  class, not a contingency table); the library computes the contingency test, so the proper
  route is also timed: pandas.crosstab and scipy.stats.chi2_contingency per predictor;
- for categorical predictors and a continuous target, a pandas group-by with the one-way F
  test (scipy.stats.f) per predictor.
The per-predictor routes are timed on at most 10 predictors and counted per value of those.
"""
import sys
import time

# case: (a predictor j is categorical when j % every == 0, 0 for none; categorical target)
CASES = {
    "cont_cat": (0, True),
    "cont_cont": (0, False),
    "cat5_cat": (1, True),
    "cat5_cont": (1, False),
    "cat1000_cat": (1, True),
    "mixed_cat": (2, True),
    "mixed_cont": (2, False),
}
PER_PREDICTOR_SAMPLE = 10


def cpu(fn):
    start = time.process_time()
    fn()
    return time.process_time() - start


def main():
    path, width, records, case = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    if case not in CASES:
        print("# no peer for case %s" % case)
        return
    try:
        import numpy as np
        import pandas as pd
        from scipy import stats
        from sklearn.feature_selection import chi2, f_classif, f_regression
    except ImportError as e:
        print("# skipped: %s (install python3-sklearn python3-scipy python3-pandas)" % e)
        return

    every, cat_target = CASES[case]
    pool = np.fromfile(path, dtype=np.float64).reshape(-1, width)
    data = np.resize(pool, (records, width))  # the pool repeated, row after row
    y = data[:, 0].copy()
    X = np.ascontiguousarray(data[:, 1:])
    del data
    n_pred = X.shape[1]
    cat = [j for j in range(n_pred) if every > 0 and j % every == 0]
    cont = [j for j in range(n_pred) if not (every > 0 and j % every == 0)]
    Xcat = np.ascontiguousarray(X[:, cat]) if cat else None
    Xcont = np.ascontiguousarray(X[:, cont]) if cont else None
    del X

    def crosstab_chi2(j):
        table = pd.crosstab(Xcat[:, j], y)
        stats.chi2_contingency(table, correction=False)

    def groupby_anova(j):
        frame = pd.DataFrame({"x": Xcat[:, j], "y": y})
        g = frame.groupby("x")["y"].agg(["count", "mean", "var"])
        n = g["count"].to_numpy(dtype=float)
        m = g["mean"].to_numpy()
        v = np.nan_to_num(g["var"].to_numpy())
        total = n.sum()
        grand = (n * m).sum() / total
        k = len(n)
        ssb = (n * (m - grand) ** 2).sum()
        ssw = ((n - 1) * v).sum()
        stats.f.sf((ssb / (k - 1)) / (ssw / (total - k)), k - 1, total - k)

    def per_predictor(route):
        """Seconds for all categorical predictors, measured on a sample of them."""
        sample = list(range(min(len(cat), PER_PREDICTOR_SAMPLE)))
        seconds = cpu(lambda: [route(j) for j in sample])
        return seconds / len(sample) * len(cat)

    values = float(records) * n_pred
    cont_seconds = 0.0
    cont_name = ""
    if cont:
        if cat_target:
            cont_name = "f_classif"
            cont_seconds = cpu(lambda: f_classif(Xcont, y))
        else:
            cont_name = "f_regression"
            cont_seconds = cpu(lambda: f_regression(Xcont, y))

    routes = []  # (name, seconds for the categorical predictors)
    if cat:
        if cat_target:
            routes.append(("chi2(count-based)", cpu(lambda: chi2(Xcat, y))))
            routes.append(("crosstab+chi2_contingency", per_predictor(crosstab_chi2)))
        else:
            routes.append(("groupby+F-test", per_predictor(groupby_anova)))
    if not routes:
        routes = [("", 0.0)]
    for name, seconds in routes:
        label = "+".join(part for part in (cont_name, name) if part)
        print("%s %.4f" % (label, (cont_seconds + seconds) * 1e9 / values))


if __name__ == "__main__":
    main()
