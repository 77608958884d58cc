// DuckDB as a peer of `fsrank rank` in the CSV benchmark: the same file, the same number of
// threads. Two queries, each timed from the call to the last row:
// - a bare scan that parses every column and sums it (count for the text target);
// - the ranking's sufficient statistics as one GROUPING SETS query: the target's counts, the
//   counts of each integer (categorical) column against the target, and the count, sum and sum
//   of squares of each floating-point (continuous) column per target class.
//
// Usage: node csv_duckdb.mjs DATA.csv TARGET THREADS
// Needs the npm package @duckdb/node-api, looked up in DUCKDB_DIR (default build/duckdb, where
// bench/csv_throughput.sh installs it).
import { statSync } from 'node:fs';
import { createRequire } from 'node:module';
import { resolve } from 'node:path';
import { performance } from 'node:perf_hooks';

const require = createRequire(resolve(process.env.DUCKDB_DIR || 'build/duckdb') + '/');
const { DuckDBInstance } = require('@duckdb/node-api');

const [file, target, threads] = process.argv.slice(2);
if (!file || !target || !threads) {
  console.error('usage: node csv_duckdb.mjs DATA.csv TARGET THREADS');
  process.exit(1);
}
const bytes = statSync(file).size;
const instance = await DuckDBInstance.create(':memory:', { threads: String(threads) });
const db = await instance.connect();
const source = `read_csv('${file.replaceAll("'", "''")}', header = true)`;
const quote = (name) => '"' + name.replaceAll('"', '""') + '"';

const described = await db.runAndReadAll(`DESCRIBE SELECT * FROM ${source}`);
const categorical = [];
const continuous = [];
for (const [name, type] of described.getRows()) {
  if (name === target) continue;
  if (/INT/.test(type)) categorical.push(quote(name));
  else if (/DOUBLE|FLOAT|DECIMAL/.test(type)) continuous.push(quote(name));
}
const y = quote(target);

async function timed(label, sql) {
  const start = performance.now();
  const result = await db.runAndReadAll(sql);
  const seconds = (performance.now() - start) / 1000;
  const rows = result.getRows().length;
  console.log(`duckdb ${label}, ${threads} thread(s): ${seconds.toFixed(2)} s, ` +
              `${(bytes / 1e6 / seconds).toFixed(1)} MB/s (${rows} result rows)`);
}

const sums = [...categorical, ...continuous].map((c) => `sum(${c})`);
await timed('bare scan', `SELECT ${[...sums, `count(${y})`].join(', ')} FROM ${source}`);

const sets = [`(${y})`, ...categorical.map((c) => `(${y}, ${c})`)];
const moments = continuous.flatMap((c) => [`count(${c})`, `sum(${c})`, `sum(${c} * ${c})`]);
await timed('statistics (GROUPING SETS)',
            `SELECT ${[y, ...categorical, 'count(*)', ...moments].join(', ')} FROM ${source} ` +
            `GROUP BY GROUPING SETS (${sets.join(', ')})`);
