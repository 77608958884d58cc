"""The Python package's benchmark: every figure in one run (`make bench-python`).

1. fsrank.rank on a ROWS x 100 float64 DataFrame with a 3-class target, next to the C++ host
   (bench/matrix_host, the same values in memory) and scikit-learn's f_classif on the frame.
2. A frame of 50 category and 50 float columns: fsrank.rank next to the per-column route with
   pandas.crosstab + scipy.stats.chi2_contingency (and scipy.stats.f_oneway for the floats),
   statistics compared.
3. examples/credit-g.csv: fsrank.rank against the command-line program's JSON output.
4. Generated CSVs of CSV_MB and CSV_SCALE times that read with chunksize: time and peak
   resident memory of the reading process, next to pandas reading the same chunks and doing
   nothing with them; the peak must not grow with the file.

Usage: python_bench.py HOST_DIR [--rows N] [--mixed-rows N] [--csv-mb MB] [--csv-scale K]
                       [--repeat N]
HOST_DIR holds matrix_host and tools/fsrank (a Release build with FSRANK_BUILD_BENCH=ON).
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import pandas as pd
import scipy.stats as ss
from sklearn.feature_selection import f_classif

import fsrank

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def best(fn, repeat):
    """The least wall-clock and processor seconds of `repeat` calls, and the last result. On a
    loaded machine the processor time is the steadier figure."""
    times, cpus = [], []
    for _ in range(repeat):
        start, cpu = time.perf_counter(), time.process_time()
        out = fn()
        times.append(time.perf_counter() - start)
        cpus.append(time.process_time() - cpu)
    return min(times), min(cpus), out


def continuous(args, work):
    rng = np.random.default_rng(7)
    n, p = args.rows, 100
    y = rng.integers(0, 3, n)
    values = rng.normal(size=(n, p + 1))
    values[:, 0] = y
    values[:, 1:] += np.linspace(0, 0.05, p) * y[:, None]
    path = os.path.join(work, "matrix.f64")
    values.tofile(path)
    # As pandas builds it from a 2-D array: each column a field of the array's rows.
    frame = pd.DataFrame(values[:, 1:], columns=["x%d" % k for k in range(p)])
    frame["y"] = y
    del values
    host, host_cpu = [], []
    for _ in range(args.repeat):
        out = subprocess.run([os.path.join(args.host_dir, "bench", "matrix_host"), path, str(n),
                              str(p + 1)], capture_output=True, text=True, check=True).stdout
        host.append(float(out.split()[1]))
        host_cpu.append(float(out.split()[3]))
    os.remove(path)
    host, host_cpu = min(host), min(host_cpu)
    ours, ours_cpu, _ = best(lambda: fsrank.rank(frame, "y"), args.repeat)
    # As pandas.read_csv or a copy hold it: each column contiguous.
    frame = frame.copy()
    cols, cols_cpu, _ = best(lambda: fsrank.rank(frame, "y"), args.repeat)
    X = frame.drop(columns="y")
    sk, _, _ = best(lambda: f_classif(X, frame["y"]), args.repeat)
    print("1. %d x %d float64, 3-class target (wall-clock / processor seconds)" % (n, p))
    print("   C++ host (data in memory)       %7.3f s %7.3f s" % (host, host_cpu))
    print("   fsrank.rank(DataFrame of rows)  %7.3f s %7.3f s   %.2fx / %.2fx the host "
          "(target <= 1.3x)" % (ours, ours_cpu, ours / host, ours_cpu / host_cpu))
    print("   fsrank.rank(DataFrame.copy())   %7.3f s %7.3f s   %.2fx / %.2fx the host"
          % (cols, cols_cpu, cols / host, cols_cpu / host_cpu))
    print("   sklearn f_classif               %7.3f s             fsrank %.2fx faster"
          % (sk, sk / ours))


def mixed(args):
    rng = np.random.default_rng(8)
    n = args.mixed_rows
    y = rng.choice(["a", "b", "c"], n)
    columns = {}
    for k in range(50):
        levels = np.array(["l%d" % j for j in range(2 + k % 8)])
        columns["c%d" % k] = pd.Categorical(levels[rng.integers(0, len(levels), n)])
        columns["f%d" % k] = rng.normal(size=n) + 0.02 * k * (y == "a")
    frame = pd.DataFrame(columns)
    frame["y"] = y
    ours, _, result = best(lambda: fsrank.rank(frame, "y", criteria=["Pearson", "F"]),
                           args.repeat)

    def route():
        out = {}
        for k in range(50):
            table = pd.crosstab(frame["c%d" % k], frame["y"])
            out["c%d" % k] = ss.chi2_contingency(table, correction=False)[0]
            groups = [g.to_numpy() for _, g in frame.groupby("y")["f%d" % k]]
            out["f%d" % k] = ss.f_oneway(*groups)[0]
        return out
    theirs, _, stats = best(route, args.repeat)
    table = result.ranking("Pearson").set_index("predictor")["statistic_value"]
    worst = max(abs(table[c] - v) / abs(v) for c, v in stats.items())
    print("2. %d rows, 50 category + 50 float columns" % n)
    print("   fsrank.rank                 %7.3f s" % ours)
    print("   crosstab + chi2_contingency / f_oneway per column %7.3f s   fsrank %.1fx faster "
          "(target >= 10x)" % (theirs, theirs / ours))
    print("   largest relative difference of the statistics: %.2e (target 1e-10)" % worst)


def credit(args):
    program = os.path.join(args.host_dir, "tools", "fsrank")
    csv = os.path.join(ROOT, "examples", "credit-g.csv")
    out = json.loads(subprocess.run([program, "rank", csv, "--target", "class", "--format",
                                     "json", "--top", "0"], capture_output=True, text=True,
                                    check=True).stdout)
    result = fsrank.rank(pd.read_csv(csv), "class")
    ranks_equal, stat_diff, p_diff = True, 0.0, 0.0
    for criterion in out["criteria"]:
        ours = result.ranking(criterion["name"])
        ranks_equal &= ours["predictor"].tolist() == [p["name"] for p in criterion["predictors"]]
        for (_, mine), theirs in zip(ours.iterrows(), criterion["predictors"]):
            stat_diff = max(stat_diff, abs(mine["statistic_value"] - theirs["statistic_value"]) /
                            abs(theirs["statistic_value"]))
            if theirs["value"]:
                p_diff = max(p_diff, abs(mine["value"] - theirs["value"]) / theirs["value"])
    print("3. credit-g against `fsrank rank`: ranks %s, statistics within %.1e, p-values "
          "within %.1e" % ("identical" if ranks_equal else "DIFFER", stat_diff, p_diff))


# Run in a process of its own, which reports its own peak resident memory (VmHWM: the kernel's
# high-water mark of this process alone) at the start, after the imports, and at the end.
CHUNKED = """
import sys, time


def peak():
    with open("/proc/self/status") as f:
        return next(int(l.split()[1]) / 1024 for l in f if l.startswith("VmHWM:"))


import pandas as pd
import fsrank
base = peak()
start = time.perf_counter()
if sys.argv[2] == "fsrank":
    r = fsrank.rank(pd.read_csv(sys.argv[1], chunksize=100_000), "y")
    assert len(r.table)
else:
    for chunk in pd.read_csv(sys.argv[1], chunksize=100_000):
        pass
print(time.perf_counter() - start, base, peak())
"""


def chunks(args, work):
    small = os.path.join(work, "small.csv")
    subprocess.run([sys.executable, os.path.join(ROOT, "bench", "gen_csv.py"), small, "--mb",
                    str(args.csv_mb)], check=True)
    # The large file: the small one's rows CSV_SCALE times (memory is what is measured).
    large = os.path.join(work, "large.csv")
    with open(small, "rb") as src, open(large, "wb") as out:
        header = src.readline()
        out.write(header)
        for _ in range(args.csv_scale):
            src.seek(len(header))
            while True:
                block = src.read(1 << 24)
                if not block:
                    break
                out.write(block)
    print("4. CSV read with chunksize=100000 (40 predictors): peak resident memory (VmHWM) of "
          "the reading process, and its part beyond the interpreter with pandas and fsrank "
          "imported")
    for path in (small, large):
        size = os.path.getsize(path) / 1e6
        figures = {}
        for mode in ("pandas", "fsrank"):
            out = subprocess.run([sys.executable, "-c", CHUNKED, path, mode],
                                 capture_output=True, text=True, check=True).stdout.split()
            figures[mode] = [float(v) for v in out]
        pandas_, ours = figures["pandas"], figures["fsrank"]
        print("   %5.0f MB  pandas alone        %6.1f s  peak %5.0f MB (%4.0f MB beyond imports)"
              % (size, pandas_[0], pandas_[2], pandas_[2] - pandas_[1]))
        print("   %5.0f MB  fsrank.rank(chunks) %6.1f s  peak %5.0f MB (%4.0f MB beyond imports, "
              "%4.0f MB beyond pandas alone)" % (size, ours[0], ours[2], ours[2] - ours[1],
                                                 ours[2] - pandas_[2]))
        os.remove(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("host_dir")
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--mixed-rows", type=int, default=200_000)
    parser.add_argument("--csv-mb", type=float, default=500)
    parser.add_argument("--csv-scale", type=int, default=4,
                        help="the large CSV holds the small one's rows this many times")
    parser.add_argument("--repeat", type=int, default=2)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(dir=os.path.join(ROOT, "build")) as work:
        continuous(args, work)
        mixed(args)
        credit(args)
        chunks(args, work)


if __name__ == "__main__":
    main()
