#!/bin/sh
# Throughput of `fsrank rank` on a large generated CSV file, in bounded memory, next to the
# Python route (pandas.read_csv and the same scoring).
#
# Usage: bench/csv_throughput.sh [FSRANK_BINARY]
#   CSV_MB       size of the generated file in 10^6 bytes (default 1000)
#   CSV_FILE     where it goes (default build/csv/bench-${CSV_MB}mb.csv); made once, then reused
#   CSV_PEERS=0  skips the Python route
set -eu

cd "$(dirname "$0")/.."
FSRANK=${1:-build/release/tools/fsrank}
CSV_MB=${CSV_MB:-1000}
CSV_FILE=${CSV_FILE:-build/csv/bench-${CSV_MB}mb.csv}
CSV_PEERS=${CSV_PEERS:-1}
PYTHON=/usr/bin/python3

if [ ! -x "$FSRANK" ]; then
  echo "no fsrank program at $FSRANK (make bench-csv builds it)" >&2
  exit 1
fi
if [ ! -f "$CSV_FILE" ]; then
  mkdir -p "$(dirname "$CSV_FILE")"
  echo "== generating $CSV_FILE ($CSV_MB MB)"
  # Written aside first, so that an interrupted run never leaves a short file to be reused.
  "$PYTHON" bench/gen_csv.py "$CSV_FILE.part" --mb "$CSV_MB"
  mv "$CSV_FILE.part" "$CSV_FILE"
fi

bytes=$(wc -c < "$CSV_FILE")
rows=$(($(wc -l < "$CSV_FILE") - 1))
echo "== fsrank rank $CSV_FILE --target y --quiet ($bytes bytes, $rows rows)"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
/usr/bin/time -v "$FSRANK" rank "$CSV_FILE" --target y --quiet > /dev/null 2> "$log" || {
  cat "$log" >&2
  exit 1
}
awk -v bytes="$bytes" -v rows="$rows" '
  # "Elapsed (wall clock) time (h:mm:ss or m:ss): 0:12.34"
  /Elapsed \(wall clock\)/ {
    n = split($NF, part, ":"); wall = 0
    for (k = 1; k <= n; ++k) wall = wall * 60 + part[k]
  }
  /User time/ { user = $NF }
  /System time/ { sys = $NF }
  /Maximum resident set size/ { rss = $NF }
  END {
    if (wall <= 0) wall = 0.01
    cpu = user + sys
    if (cpu <= 0) cpu = 0.01
    printf "fsrank: wall %.2f s: %.1f MB/s, %.0f records/s; peak RSS %.1f MB\n",
      wall, bytes / 1e6 / wall, rows / wall, rss / 1024
    # On a shared machine the wall time includes waiting for a processor.
    printf "fsrank: processor %.2f s (user %.2f, system %.2f): %.1f MB/s, %.0f records/s\n",
      cpu, user, sys, bytes / 1e6 / cpu, rows / cpu
  }' "$log"

if [ "$CSV_PEERS" != 0 ]; then
  if "$PYTHON" -c 'import pandas, scipy, sklearn' 2> /dev/null; then
    echo "== pandas.read_csv + scoring"
    "$PYTHON" bench/csv_peers.py "$CSV_FILE" y
  else
    echo "# pandas, scipy or sklearn not available to $PYTHON: the Python route is skipped"
  fi
fi
