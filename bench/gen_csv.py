#!/usr/bin/python3
"""Writes a synthetic CSV for the throughput benchmark of `fsrank rank`.

Usage: gen_csv.py OUT_FILE [--mb SIZE] [--columns N] [--empty FRACTION] [--seed S]

Columns: N numeric predictors x1..xN (the odd-numbered ones integer codes 0..4, the even-numbered
ones continuous with six significant digits, a FRACTION of them empty, 0.01 by default), then the
categorical target y with labels "a".."c". Rows are written until the file reaches SIZE megabytes (10^6 bytes); the same seed
and size always give the same file. Only the standard library is used.
"""
import argparse
import random
import sys


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--mb", type=float, default=1000.0, help="size in 10^6 bytes")
    parser.add_argument("--columns", type=int, default=40, help="number of predictors")
    parser.add_argument("--empty", type=float, default=0.01,
                        help="fraction of empty continuous values")
    parser.add_argument("--seed", type=int, default=20240601)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    limit = int(args.mb * 1e6)
    n = args.columns
    labels = ("a", "b", "c")
    # Each predictor depends a little on the class, so the scores are not all alike.
    shift = [rng.uniform(-0.3, 0.3) for _ in range(n)]

    written = 0
    rows = 0
    with open(args.out, "w", newline="") as out:
        header = ",".join(f"x{j + 1}" for j in range(n)) + ",y\n"
        out.write(header)
        written += len(header)
        chunk = []
        while written < limit:
            cls = rng.randrange(3)
            fields = []
            for j in range(n):
                if j % 2 == 0:
                    code = int(rng.random() * 5 + shift[j] * cls) % 5
                    fields.append(str(code))
                else:
                    value = rng.gauss(shift[j] * cls * 10.0, 10.0)
                    fields.append("" if rng.random() < args.empty else f"{value:.6g}")
            line = ",".join(fields) + "," + labels[cls] + "\n"
            chunk.append(line)
            written += len(line)
            rows += 1
            if len(chunk) == 10000:
                out.write("".join(chunk))
                chunk = []
        out.write("".join(chunk))
    print(f"{args.out}: {written} bytes, {rows} rows, {n} predictors", file=sys.stderr)


if __name__ == "__main__":
    main()
