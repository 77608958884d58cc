#!/usr/bin/python3
"""fsrank.dask on a local Dask cluster: 2 workers against 1, and against the dask-native route.

Usage:
  dask_bench.py gen DIR [--rows N] [--files K] [--seed S]   write the CSV files DIR/part-*.csv
  dask_bench.py run DIR [--workers 1,2] [--native 2]         time the routes, print a table

The data: 20 predictors (x1..x10 integer codes 0..4, x11..x20 continuous with six significant
digits), each depending a little on the target y (labels "a", "b", "c"); the same seed and sizes
always give the same files.

The routes, each timed from dd.read_csv to the ranked predictors, on a distributed.LocalCluster
of single-threaded worker processes:
- fsrank: fsrank.dask.rank(ddf, "y"): a partial state per partition, merged in a tree;
- native: what a user writes with dask.dataframe alone: a group-by count per (code, class) for
  each categorical predictor (the crosstab) and per-class count, sum and sum of squares for the
  continuous ones, all in one dask.compute (one read of the files), then
  scipy.stats.chi2_contingency per crosstab (Pearson and likelihood ratio), Cramer's V, and the
  one-way F test from the class moments, ranked by p-value.
Both routes' Pearson and F p-values are compared; the largest relative difference is printed.
Needs Debian's python3-dask, python3-distributed, python3-scipy and the fsrank package.
"""
import argparse
import glob
import os
import time

import numpy as np

CODES = [f"x{j}" for j in range(1, 11)]
CONTINUOUS = [f"x{j}" for j in range(11, 21)]


def generate(args):
    import pandas as pd
    os.makedirs(args.dir, exist_ok=True)
    rng = np.random.default_rng(args.seed)
    # Effects small enough that the p-values of 2e7 rows stay representable and differ.
    shift = rng.uniform(-0.003, 0.003, 20)
    per_file = -(-args.rows // args.files)
    for k in range(args.files):
        n = min(per_file, args.rows - k * per_file)
        cls = rng.integers(0, 3, n)
        columns = {}
        for j, name in enumerate(CODES):
            columns[name] = (rng.random(n) * 5 + shift[j] * cls).astype(np.int64) % 5
        for j, name in enumerate(CONTINUOUS):
            columns[name] = rng.normal(shift[10 + j] * cls * 10.0, 10.0)
        columns["y"] = np.array(["a", "b", "c"])[cls]
        pd.DataFrame(columns).to_csv(os.path.join(args.dir, "part-%03d.csv" % k), index=False,
                                     float_format="%.6g")
        print("wrote part %d of %d (%d rows)" % (k + 1, args.files, n), flush=True)


def native(ddf):
    """The dask-native route: crosstabs and class moments, then scipy per predictor."""
    import dask
    from scipy import stats
    crosstabs = [ddf.groupby([c, "y"]).size() for c in CODES]
    by_class = ddf[CONTINUOUS].groupby(ddf["y"])
    squares = (ddf[CONTINUOUS] ** 2).groupby(ddf["y"]).sum()
    computed = dask.compute(*crosstabs, by_class.count(), by_class.sum(), squares)
    scores = {}
    for name, counts in zip(CODES, computed):
        table = counts.unstack(fill_value=0).to_numpy(dtype=float)
        chi2, p, _, _ = stats.chi2_contingency(table, correction=False)
        g2, pg, _, _ = stats.chi2_contingency(table, correction=False,
                                              lambda_="log-likelihood")
        v = np.sqrt(chi2 / (table.sum() * (min(table.shape) - 1)))
        scores[name] = (p, pg, v)
    count, total, square = computed[len(CODES):]
    for name in CONTINUOUS:
        n, s, q = count[name].to_numpy(float), total[name].to_numpy(float), square[name].to_numpy(
            float)
        mean = s.sum() / n.sum()
        between = (s * s / n).sum() - n.sum() * mean * mean
        within = (q - s * s / n).sum()
        k, big_n = len(n), n.sum()
        f = (between / (k - 1)) / (within / (big_n - k))
        scores[name] = (stats.f.sf(f, k - 1, big_n - k),)
    return sorted(scores, key=lambda c: scores[c][0]), scores


def run(args):
    import dask.dataframe as dd
    import distributed

    import fsrank
    import fsrank.dask

    files = sorted(glob.glob(os.path.join(args.dir, "part-*.csv")))
    if not files:
        raise SystemExit("no part-*.csv files in %s (run the gen command first)" % args.dir)
    size = sum(os.path.getsize(f) for f in files)
    print("# %d files, %.2f GB; load average before: %s" % (
        len(files), size / 1e9, " ".join("%.1f" % x for x in os.getloadavg())), flush=True)
    print("# route   workers  seconds  worker-cpu-s  client-cpu-s  load-average-1min-after",
          flush=True)
    fsrank_result = native_result = None
    times = {}
    for workers in [int(w) for w in args.workers.split(",")]:
        with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                      dashboard_address=":0", silence_logs=40) as cluster, \
                distributed.Client(cluster) as client:
            routes = [("fsrank", lambda: fsrank.dask.rank(dd.read_csv(files), "y"))]
            if workers == args.native:
                routes.append(("native", lambda: native(dd.read_csv(files))))
            for name, route in routes:
                # Processor time next to wall time: the machine may be shared.
                cpu = client.run(time.process_time)
                own, start = time.process_time(), time.perf_counter()
                result = route()
                seconds = time.perf_counter() - start
                own = time.process_time() - own
                cpu = sum(t - cpu.get(w, 0.0) for w, t in client.run(time.process_time).items())
                times[name, workers] = seconds
                print("%-8s %8d %8.1f %13.1f %13.1f %8.1f" % (
                    name, workers, seconds, cpu, own, os.getloadavg()[0]), flush=True)
                if name == "fsrank":
                    fsrank_result = result
                else:
                    native_result = result
    for w in (1, 2):
        if ("fsrank", 1) in times and ("fsrank", w) in times and w > 1:
            print("# speedup of %d workers over 1: %.2fx" % (
                w, times["fsrank", 1] / times["fsrank", w]))
    if ("native", args.native) in times and ("fsrank", args.native) in times:
        print("# native / fsrank on %d workers: %.2fx" % (
            args.native, times["native", args.native] / times["fsrank", args.native]))
    if fsrank_result is not None and native_result is not None:
        table = fsrank_result.table
        worst, compared = 0.0, 0
        for criterion, names, slot in [("Pearson", CODES, 0), ("Likelihood", CODES, 1),
                                       ("F-Statistic", CONTINUOUS, 0)]:
            rows = table[table.criterion == criterion].set_index("predictor")
            for name in names:
                ours, theirs = rows.loc[name, "value"], native_result[1][name][slot]
                # SciPy's survival functions lose their relative accuracy in the far tail.
                if theirs > 1e-12:
                    worst = max(worst, abs(ours - theirs) / theirs)
                    compared += 1
        print("# largest relative difference of the %d p-values above 1e-12 (Pearson, "
              "likelihood, F) of the two routes: %.1e" % (compared, worst))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    gen = sub.add_parser("gen")
    gen.add_argument("dir")
    gen.add_argument("--rows", type=int, default=20_000_000)
    gen.add_argument("--files", type=int, default=20)
    gen.add_argument("--seed", type=int, default=20241206)
    bench = sub.add_parser("run")
    bench.add_argument("dir")
    bench.add_argument("--workers", default="1,2", help="cluster sizes to time, comma-separated")
    bench.add_argument("--native", type=int, default=2,
                       help="the cluster size on which the native route is timed (0: none)")
    args = parser.parse_args()
    generate(args) if args.command == "gen" else run(args)


if __name__ == "__main__":
    main()
