#!/bin/sh
# Throughput of `fsrank rank` on a large generated CSV file, in bounded memory, with one thread
# and with CSV_THREADS, next to DuckDB with the same threads (a bare scan and the ranking's
# statistics as one query) and the Python route (pandas.read_csv and the same scoring); checks
# that the reports of one and CSV_THREADS threads agree.
#
# Usage: bench/csv_throughput.sh [FSRANK_BINARY]
#   CSV_MB       size of the generated file in 10^6 bytes (default 300)
#   CSV_FILE     where it goes (default build/csv/csv-${CSV_MB}mb.csv); made once, then reused
#   CSV_THREADS  threads of the parallel runs (default: the processors available)
#   CSV_PEERS=0  skips DuckDB and the Python route
#   CSV_RUNS     rounds (default 3); each runs every case once, and the best of each is summed up
#                (on a shared machine the wall time includes waiting for a processor)
#   CSV_RSS_THREADS  more thread counts run once for their peak memory (default 8)
# DuckDB is the npm package @duckdb/node-api, installed into build/duckdb when missing (skipped
# with a note when node or npm is not there).
set -eu

cd "$(dirname "$0")/.."
FSRANK=${1:-build/release/tools/fsrank}
CSV_MB=${CSV_MB:-300}
CSV_FILE=${CSV_FILE:-build/csv/csv-${CSV_MB}mb.csv}
CSV_THREADS=${CSV_THREADS:-$(nproc)}
CSV_PEERS=${CSV_PEERS:-1}
CSV_RUNS=${CSV_RUNS:-3}
CSV_RSS_THREADS=${CSV_RSS_THREADS:-8}
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
load() { cut -d' ' -f1-3 /proc/loadavg; }
echo "== $CSV_FILE: $bytes bytes, $rows rows; $CSV_RUNS rounds, each running every case once"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One run of fsrank: "fsrank THREADS WALL USER+SYS RSS_MB LOAD" on $work/figures.
run_fsrank() {
  /usr/bin/time -v "$FSRANK" rank "$CSV_FILE" --target y --quiet --format json \
    --threads "$1" > "$work/report-$1.json" 2> "$work/time" || {
    cat "$work/time" >&2
    exit 1
  }
  awk -v threads="$1" -v load="$(load)" '
    # "Elapsed (wall clock) time (h:mm:ss or m:ss): 0:12.34"
    /Elapsed \(wall clock\)/ {
      n = split($NF, part, ":"); wall = 0
      for (k = 1; k <= n; ++k) wall = wall * 60 + part[k]
    }
    /User time/ { user = $NF }
    /System time/ { sys = $NF }
    /Maximum resident set size/ { rss = $NF }
    END { printf "fsrank %s %.3f %.3f %.1f %s\n", threads, wall, user + sys, rss / 1024, load }
  ' "$work/time" | tee -a "$work/figures" | awk -v bytes="$bytes" '{
    printf "  fsrank, %d thread(s): wall %.2f s, %.1f MB/s; processor %.2f s; peak RSS %.1f MB; load %s %s %s\n",
      $2, $3, bytes / 1e6 / $3, $4, $5, $6, $7, $8 }'
}

DUCKDB=0
if [ "$CSV_PEERS" != 0 ]; then
  DUCKDB_DIR=build/duckdb
  if [ ! -d "$DUCKDB_DIR/node_modules/@duckdb/node-api" ] && command -v npm > /dev/null; then
    echo "== installing @duckdb/node-api into $DUCKDB_DIR"
    mkdir -p "$DUCKDB_DIR"
    (cd "$DUCKDB_DIR" && npm install --no-audit --no-fund --silent @duckdb/node-api) || true
  fi
  if command -v node > /dev/null && [ -d "$DUCKDB_DIR/node_modules/@duckdb/node-api" ]; then
    DUCKDB=1
  else
    echo "# node or npm not available: DuckDB is skipped"
  fi
fi

# One run of DuckDB's two queries: "duckdb-scan THREADS SECONDS" and "duckdb-stats ..." lines.
run_duckdb() {
  l=$(load)
  DUCKDB_DIR="$DUCKDB_DIR" /usr/bin/time -f "%M" -o "$work/duck-rss" \
    node bench/csv_duckdb.mjs "$CSV_FILE" y "$1" > "$work/duck" || exit 1
  rss=$(awk '{ printf "%.1f", $1 / 1024 }' "$work/duck-rss")
  sed "s/\$/; peak RSS ${rss} MB (node included); load $l/; s/^/  /" "$work/duck"
  awk -v threads="$1" '
    { for (k = 1; k < NF; ++k) if ($k == "thread(s):") seconds = $(k + 1) }
    /bare scan/ { print "duckdb-scan", threads, seconds }
    /GROUPING SETS/ { print "duckdb-stats", threads, seconds }
  ' "$work/duck" >> "$work/figures"
}

round=1
while [ "$round" -le "$CSV_RUNS" ]; do
  echo "== round $round"
  for threads in 1 "$CSV_THREADS"; do
    run_fsrank "$threads"
    if [ "$DUCKDB" = 1 ]; then run_duckdb "$threads"; fi
  done
  round=$((round + 1))
done
# Memory with more threads than processors: bounded all the same.
for threads in $CSV_RSS_THREADS; do
  run_fsrank "$threads"
done

if [ -f "$work/report-$CSV_THREADS.json" ] && [ "$CSV_THREADS" != 1 ]; then
  if "$PYTHON" bench/compare_reports.py "$work/report-1.json" "$work/report-$CSV_THREADS.json"; then
    echo "== the reports of 1 and $CSV_THREADS threads agree (same ranks; statistics within 1e-10, p-values within 1e-8)"
  else
    echo "== the reports of 1 and $CSV_THREADS threads DIFFER"
  fi
fi

echo "== best of $CSV_RUNS rounds (wall time), on $(nproc) processors, load now $(load)"
awk -v bytes="$bytes" -v n="$CSV_THREADS" '
  function keep(key, value) { if (!(key in best) || value < best[key]) best[key] = value }
  $1 == "fsrank" { keep("fsrank " $2, $3); if ($5 > rss[$2]) rss[$2] = $5 }
  $1 ~ /^duckdb/ { keep($1 " " $2, $3) }
  function line(key, what) {
    if (key in best) printf "%-44s %6.2f s %7.1f MB/s\n", what, best[key], bytes / 1e6 / best[key]
  }
  END {
    line("fsrank 1", "fsrank rank, 1 thread")
    line("fsrank " n, "fsrank rank, " n " threads")
    line("duckdb-scan 1", "duckdb bare scan, 1 thread")
    line("duckdb-scan " n, "duckdb bare scan, " n " threads")
    line("duckdb-stats 1", "duckdb statistics query, 1 thread")
    line("duckdb-stats " n, "duckdb statistics query, " n " threads")
    for (t in rss) printf "fsrank peak RSS with %s thread(s): %.1f MB\n", t, rss[t]
    if (("fsrank 1" in best) && ("fsrank " n in best))
      printf "fsrank speedup 1 -> %s threads: %.2fx\n", n, best["fsrank 1"] / best["fsrank " n]
    if (("fsrank " n in best) && ("duckdb-scan " n in best))
      printf "fsrank vs duckdb bare scan, %s threads: %.2fx as fast\n", n,
        best["duckdb-scan " n] / best["fsrank " n]
    if (("fsrank " n in best) && ("duckdb-stats " n in best))
      printf "fsrank vs duckdb statistics query, %s threads: %.2fx as fast\n", n,
        best["duckdb-stats " n] / best["fsrank " n]
    if ("fsrank 1" in best && "duckdb-scan 1" in best)
      printf "fsrank vs duckdb bare scan, 1 thread: %.2fx as fast\n",
        best["duckdb-scan 1"] / best["fsrank 1"]
  }' "$work/figures"

if [ "$CSV_PEERS" != 0 ]; then
  if "$PYTHON" -c 'import pandas, scipy, sklearn' 2> /dev/null; then
    echo "== pandas.read_csv + scoring"
    "$PYTHON" bench/csv_peers.py "$CSV_FILE" y
  else
    echo "# pandas, scipy or sklearn not available to $PYTHON: the Python route is skipped"
  fi
fi
