#!/usr/bin/python3
"""Checks that two `fsrank rank --format json` reports of the same data agree as runs that differ
only in how the sums were split (threads) may: the same ranks, names, counts and structure, the
statistics within a relative 1e-10 and the p-values within a relative 1e-8.

Usage: compare_reports.py A.json B.json   (exit status 1 and the differences when they differ)
"""
import json
import sys

STAT_TOLERANCE = 1e-10
P_TOLERANCE = 1e-8
P_KEYS = {"value", "neg_log10_p", "p_value"}


def close(a, b, tolerance):
    return a == b or abs(a - b) <= tolerance * max(abs(a), abs(b))


def compare(a, b, path, key, out):
    if isinstance(a, dict) and isinstance(b, dict):
        if sorted(a) != sorted(b):
            out.append(f"{path}: keys {sorted(a)} vs {sorted(b)}")
            return
        for k in a:
            compare(a[k], b[k], f"{path}.{k}", k, out)
    elif isinstance(a, list) and isinstance(b, list):
        if len(a) != len(b):
            out.append(f"{path}: {len(a)} items vs {len(b)}")
            return
        for n, (x, y) in enumerate(zip(a, b)):
            compare(x, y, f"{path}[{n}]", key, out)
    elif isinstance(a, float) and isinstance(b, (int, float)) or (
            isinstance(b, float) and isinstance(a, (int, float))):
        tolerance = P_TOLERANCE if key in P_KEYS else STAT_TOLERANCE
        if not close(float(a), float(b), tolerance):
            out.append(f"{path}: {a!r} vs {b!r}")
    elif a != b and key != "file":
        out.append(f"{path}: {a!r} vs {b!r}")


def main():
    with open(sys.argv[1]) as fa, open(sys.argv[2]) as fb:
        a, b = json.load(fa), json.load(fb)
    out = []
    compare(a, b, "", "", out)
    for line in out[:20]:
        print("differs:", line)
    if out:
        print(f"{len(out)} differences")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
