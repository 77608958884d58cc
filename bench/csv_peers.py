#!/usr/bin/python3
"""The Python route for the CSV benchmark: pandas.read_csv of the whole file, then the scoring
`fsrank rank` does, with a categorical target.

Usage: csv_peers.py DATA.csv TARGET

Integer columns are taken as categorical predictors (pandas.crosstab against the target and
scipy.stats.chi2_contingency, one predictor at a time), floating-point columns as continuous
ones (sklearn.feature_selection.f_classif on all of them at once). Prints the wall time of the
read and of the scoring, and the peak resident memory of the process. Needs Debian's
python3-pandas, python3-sklearn and python3-scipy.
"""
import resource
import sys
import time


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    path, target = sys.argv[1], sys.argv[2]
    try:
        import numpy as np
        import pandas as pd
        from scipy.stats import chi2_contingency
        from sklearn.feature_selection import f_classif
    except ImportError as e:
        print(f"# peers unavailable: {e}")
        return

    start = time.perf_counter()
    frame = pd.read_csv(path)
    read_seconds = time.perf_counter() - start

    start = time.perf_counter()
    y = frame[target]
    predictors = [c for c in frame.columns if c != target]
    categorical = [c for c in predictors if np.issubdtype(frame[c].dtype, np.integer)]
    continuous = [c for c in predictors if c not in categorical]
    scores = {}
    # f_classif refuses missing values: each column is scored on its own non-missing rows, as
    # fsrank does.
    for c in continuous:
        present = frame[c].notna().to_numpy()
        f, p = f_classif(frame[c].to_numpy()[present].reshape(-1, 1), y.to_numpy()[present])
        scores[c] = p[0]
    for c in categorical:
        stat, p, dof, _ = chi2_contingency(pd.crosstab(frame[c], y), correction=False)
        scores[c] = p
    score_seconds = time.perf_counter() - start

    # ru_maxrss is in kilobytes on Linux.
    peak_mb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0
    rows = len(frame)
    print(f"pandas.read_csv: {read_seconds:.2f} s; scoring ({len(categorical)} crosstab + "
          f"chi2_contingency, f_classif of {len(continuous)}): {score_seconds:.2f} s; "
          f"total {read_seconds + score_seconds:.2f} s for {rows} rows; "
          f"peak RSS {peak_mb:.0f} MB")
    best = sorted(scores.items(), key=lambda item: item[1])[:3]
    print("smallest p-values: " + ", ".join(f"{c} {p:.3g}" for c, p in best))


if __name__ == "__main__":
    main()
