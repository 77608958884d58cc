// What the fuzz targets of the fsrank program's readers do with one input, shared with the
// test that replays their seed corpora and regression inputs on every `make test`. A failed
// invariant aborts: the fuzzer reports it, and so does the test.
#ifndef FSRANK_FUZZ_TOOL_READERS_EXERCISE_H
#define FSRANK_FUZZ_TOOL_READERS_EXERCISE_H

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "csv_reader.h"
#include "data_source.h"
#include "long_source.h"
#include "schema.h"

namespace fsfuzz {

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

inline bool SameSchema(const fsrank_cli::ColumnSchema& a, const fsrank_cli::ColumnSchema& b) {
  const auto same = [](const fsrank_cli::SchemaColumn& x, const fsrank_cli::SchemaColumn& y) {
    if (x.name != y.name || x.type != y.type || x.labels.Size() != y.labels.Size()) return false;
    for (std::size_t k = 0; k < x.labels.Size(); ++k) {
      if (x.labels.Label(static_cast<int>(k)) != y.labels.Label(static_cast<int>(k))) return false;
    }
    return true;
  };
  if (!same(a.target, b.target) || a.predictors.size() != b.predictors.size()) return false;
  for (std::size_t p = 0; p < a.predictors.size(); ++p) {
    if (!same(a.predictors[p], b.predictors[p])) return false;
  }
  return a.delimiter == b.delimiter && a.missing == b.missing && a.sources == b.sources &&
         a.case_hashes == b.case_hashes && a.last_case == b.last_case && a.rows == b.rows;
}

// The input as a long-form data file (columns case, predictor, value and y), read as
// `fsrank rank --long` reads it: the first pass finds the predictors and their types, the
// second encodes the transactions. A malformed file must end in an InputError or a
// UsageError; the description of the columns it leaves must come back unchanged through a
// sidecar.
inline void ExerciseLongReader(const std::string& text) {
  using namespace fsrank_cli;
  ColumnSchema schema;
  schema.long_form = true;
  schema.missing = MissingTokens().Tokens();
  schema.case_column = "case";
  schema.predictor_column = "predictor";
  schema.value_column = "value";
  schema.target.name = "y";
  try {
    std::istringstream scan_in(text);
    const LongScan scan = ScanLongFile(scan_in, "fuzz", schema);
    if (scan.predictors.empty()) return;
    schema.target.type = scan.target_type;
    for (std::size_t p = 0; p < scan.predictors.size(); ++p) {
      schema.predictors.push_back(SchemaColumn{scan.predictors[p], scan.predictor_types[p], {}});
    }
    std::istringstream in(text);
    LongDataSource source(in, "fuzz", schema);
    std::vector<double> values;
    while (source.NextRow(values)) {
      if (values.size() != 4) Fail("the column description changed through a sidecar");
      source.CommitLastRow();
    }
    std::ostringstream warnings;
    source.WriteWarnings(warnings);
    schema.sources.push_back("fuzz");
    schema.rows = static_cast<long>(source.RowsCommitted());
  } catch (const InputError&) {
    return;
  } catch (const UsageError&) {
    return;
  }
  if (!CheckColumnNames(schema).empty()) return;
  std::ostringstream sidecar;
  WriteSidecar(sidecar, schema, "fnv1a64:0000000000000000");
  std::string checksum;
  if (!SameSchema(ParseSidecar(sidecar.str(), "fuzz", checksum), schema))
    Fail("the column description changed through a sidecar");
}

// The input as a column description saved next to a state. Anything but a description the
// program wrote must end in an InputError; its own checksum is not checked, so that the fuzzer
// reaches the checks behind it. One that is accepted must come back unchanged when written
// and read again.
inline void ExerciseSidecar(const std::string& text) {
  using namespace fsrank_cli;
  std::string checksum;
  ColumnSchema schema;
  try {
    schema = ParseSidecar(text, "fuzz", checksum, SidecarCheck::kSkipOwnChecksum);
  } catch (const InputError&) {
    return;
  }
  std::ostringstream first;
  WriteSidecar(first, schema, checksum);
  std::ostringstream second;
  WriteSidecar(second, ParseSidecar(first.str(), "fuzz", checksum), checksum);
  if (first.str() != second.str()) Fail("a sidecar read back differs from the one written");
}

}  // namespace fsfuzz

#endif  // FSRANK_FUZZ_TOOL_READERS_EXERCISE_H
