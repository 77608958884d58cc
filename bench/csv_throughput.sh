#!/bin/sh
# Throughput of `fsrank rank` on a large generated CSV file, in bounded memory, with one thread
# and with CSV_THREADS, next to DuckDB with the same threads (a bare scan and the ranking's
# statistics as one query) and the Python route (pandas.read_csv and the same scoring).
#
# Usage: bench/csv_throughput.sh [FSRANK_BINARY]
#   CSV_MB       size of the generated file in 10^6 bytes (default 300)
#   CSV_FILE     where it goes (default build/csv/csv-${CSV_MB}mb.csv); made once, then reused
#   CSV_THREADS  threads of the parallel runs (default: the processors available)
#   CSV_PEERS=0  skips DuckDB and the Python route
# DuckDB is the npm package @duckdb/node-api, installed into build/duckdb when missing (skipped
# with a note when node or npm is not there).
set -eu

cd "$(dirname "$0")/.."
FSRANK=${1:-build/release/tools/fsrank}
CSV_MB=${CSV_MB:-300}
CSV_FILE=${CSV_FILE:-build/csv/csv-${CSV_MB}mb.csv}
CSV_THREADS=${CSV_THREADS:-$(nproc)}
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
echo "== $CSV_FILE: $bytes bytes, $rows rows; machine load: $(cut -d' ' -f1-3 /proc/loadavg)"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for threads in 1 "$CSV_THREADS"; do
  echo "== fsrank rank $CSV_FILE --target y --quiet --threads $threads"
  /usr/bin/time -v "$FSRANK" rank "$CSV_FILE" --target y --quiet --threads "$threads" \
    > /dev/null 2> "$log" || {
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
done

if [ "$CSV_PEERS" != 0 ]; then
  DUCKDB_DIR=build/duckdb
  if [ ! -d "$DUCKDB_DIR/node_modules/@duckdb/node-api" ] && command -v npm > /dev/null; then
    echo "== installing @duckdb/node-api into $DUCKDB_DIR"
    mkdir -p "$DUCKDB_DIR"
    (cd "$DUCKDB_DIR" && npm install --no-audit --no-fund --silent @duckdb/node-api) || true
  fi
  if command -v node > /dev/null && [ -d "$DUCKDB_DIR/node_modules/@duckdb/node-api" ]; then
    echo "== DuckDB on the same file"
    DUCKDB_DIR="$DUCKDB_DIR" node bench/csv_duckdb.mjs "$CSV_FILE" y 1
    DUCKDB_DIR="$DUCKDB_DIR" node bench/csv_duckdb.mjs "$CSV_FILE" y "$CSV_THREADS"
  else
    echo "# node or npm not available: DuckDB is skipped"
  fi
fi

if [ "$CSV_PEERS" != 0 ]; then
  if "$PYTHON" -c 'import pandas, scipy, sklearn' 2> /dev/null; then
    echo "== pandas.read_csv + scoring"
    "$PYTHON" bench/csv_peers.py "$CSV_FILE" y
  else
    echo "# pandas, scipy or sklearn not available to $PYTHON: the Python route is skipped"
  fi
fi
