#!/usr/bin/python3
"""fsrank.dask on a local Dask cluster: 2 workers against 1, and against the dask-native route.

Usage:
  dask_bench.py gen DIR [--rows N] [--files K] [--seed S]   write the CSV files DIR/part-*.csv
  dask_bench.py run DIR [--workers 1,2] [--native 2] [--frame 2]  time the routes, print a table

The data: 20 predictors (x1..x10 integer codes 0..4, x11..x20 continuous with six significant
digits), each depending a little on the target y (labels "a", "b", "c"); the same seed and sizes
always give the same files.

The routes, each timed from the file names to the ranked predictors, on a
distributed.LocalCluster of single-threaded worker processes:
- csv: fsrank.dask.rank_csv(files, "y"): each worker parses 64 MB byte ranges of the files with
  the package's native parser into a partial state; the states are merged in a tree;
- frame: fsrank.dask.rank(dd.read_csv(files), "y"): the same on the partitions pandas parsed;
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
    print("# route   workers  seconds  worker-cpu-s  busiest-worker-cpu-s  client-cpu-s  "
          "load-average-1min-after", flush=True)
    routes = {
        "csv": lambda: fsrank.dask.rank_csv(files, "y"),
        "frame": lambda: fsrank.dask.rank(dd.read_csv(files), "y"),
        "native": lambda: native(dd.read_csv(files)),
    }
    plan = {}  # workers -> routes
    for w in [int(w) for w in args.workers.split(",")]:
        plan.setdefault(w, []).append("csv")
    for name in ("frame", "native"):
        w = getattr(args, name)
        if w:
            plan.setdefault(w, []).append(name)
    results, times, busiest = {}, {}, {}
    for workers in sorted(plan):
        with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                      dashboard_address=":0", silence_logs=40) as cluster, \
                distributed.Client(cluster) as client:
            for name in plan[workers]:
                # Processor time next to wall time: the machine may be shared.
                cpu = client.run(time.process_time)
                own, start = time.process_time(), time.perf_counter()
                results[name] = routes[name]()
                seconds = time.perf_counter() - start
                own = time.process_time() - own
                cpu = [t - cpu.get(w, 0.0) for w, t in client.run(time.process_time).items()]
                times[name, workers] = seconds
                busiest[name, workers] = max(cpu)
                print("%-8s %8d %8.1f %13.1f %21.1f %13.1f %8.1f" % (
                    name, workers, seconds, sum(cpu), max(cpu), own, os.getloadavg()[0]),
                    flush=True)
    print("# csv: fsrank.dask.rank_csv (the files parsed natively on the workers); frame: "
          "fsrank.dask.rank(dd.read_csv(...)); native: dask.dataframe group-bys + SciPy")
    counts = sorted(w for w in plan if "csv" in plan[w])
    for w in counts[1:]:
        print("# speedup of csv on %d workers over %d: %.2fx (target 1.7x); on a loaded machine, "
              "the busiest worker's processor time gives %.2fx" % (
                  w, counts[0], times["csv", counts[0]] / times["csv", w],
                  busiest["csv", counts[0]] / busiest["csv", w]))
    for name in ("csv", "frame"):
        if ("native", args.native) in times and (name, args.native) in times:
            print("# native / %s on %d workers: %.2fx%s" % (
                name, args.native, times["native", args.native] / times[name, args.native],
                " (target 3x)" if name == "csv" else ""))
    if "native" in results:
        for name in ("csv", "frame"):
            if name in results:
                compare(name, results[name], results["native"])


def compare(name, ours, theirs):
    """Prints the largest relative difference of the two routes' p-values."""
    table = ours.table
    worst, compared = 0.0, 0
    for criterion, names, slot in [("Pearson", CODES, 0), ("Likelihood", CODES, 1),
                                   ("F-Statistic", CONTINUOUS, 0)]:
        rows = table[table.criterion == criterion].set_index("predictor")
        for column in names:
            mine, other = rows.loc[column, "value"], theirs[1][column][slot]
            # SciPy's survival functions lose their relative accuracy in the far tail.
            if other > 1e-12:
                worst = max(worst, abs(mine - other) / other)
                compared += 1
    print("# %s vs native: largest relative difference of the %d p-values above 1e-12 "
          "(Pearson, likelihood, F): %.1e" % (name, compared, worst))


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
    bench.add_argument("--frame", type=int, default=2,
                       help="the cluster size on which fsrank.dask.rank(dd.read_csv) is timed "
                       "(0: none)")
    args = parser.parse_args()
    generate(args) if args.command == "gen" else run(args)


if __name__ == "__main__":
    main()
