// What the CSV reader's fuzz target does with an input, shared with the test that replays the
// committed inputs: the input as a wide data file. The first byte chooses the delimiter, the
// block size and the row limit; the rest is the file. Three readings must agree, and none may
// crash, leak or read out of bounds:
// - row by row (CsvReader) and in blocks (BlockCutter and SplitRows): the same rows, lines and
//   end (the whole input, an unclosed quote or an overlong row);
// - the data source with the whole file as its sample (row by row) and with a short sample and
//   blocks: the same records, label codes, warnings and first error;
// - ParseNumber and strtod on every field made of number characters.
#ifndef FSRANK_FUZZ_CSV_READER_EXERCISE_H
#define FSRANK_FUZZ_CSV_READER_EXERCISE_H

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "csv_blocks.h"
#include "csv_reader.h"
#include "data_source.h"

namespace fsfuzz {
namespace csv {

using fsrank_cli::BlockCutter;
using fsrank_cli::ByteBuffer;
using fsrank_cli::CsvReader;
using fsrank_cli::SplitEnd;
using fsrank_cli::SplitRows;

using Rows = std::vector<std::vector<std::string>>;

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "csv_reader_fuzz: %s\n", what);
  std::abort();
}

struct Reading {
  Rows rows;
  std::vector<long> lines;
  bool failed = false;
};

inline Reading RowByRow(const std::string& text, char delimiter, std::size_t max_row) {
  std::istringstream in(text);
  CsvReader reader(in, "f", delimiter, max_row);
  Reading out;
  std::vector<std::string> fields;
  try {
    while (reader.ReadRow(fields)) {
      out.rows.push_back(fields);
      out.lines.push_back(reader.RowLine());
    }
  } catch (const fsrank_cli::InputError&) {
    out.failed = true;
  }
  return out;
}

struct Collect {
  Reading* out;
  long first_line;
  std::vector<std::string> fields;
  void Field(std::size_t, std::string_view text, long) { fields.emplace_back(text); }
  bool Row(std::size_t, long line) {
    out->rows.push_back(fields);
    fields.clear();
    out->lines.push_back(first_line + line);
    return true;
  }
};

// The first row as the header reader takes it (with a byte-order mark), the rest in blocks.
inline Reading InBlocks(const std::string& text, char delimiter, std::size_t block_size,
                        std::size_t max_row) {
  std::istringstream in(text);
  CsvReader reader(in, "f", delimiter, max_row);
  Reading out;
  std::vector<std::string> fields;
  try {
    if (!reader.ReadRow(fields)) return out;
  } catch (const fsrank_cli::InputError&) {
    out.failed = true;
    return out;
  }
  out.rows.push_back(fields);
  out.lines.push_back(reader.RowLine());
  BlockCutter cutter(in, reader.TakeBuffered(), delimiter, block_size, max_row);
  ByteBuffer block;
  std::string scratch;
  Collect collect{&out, reader.NextLine(), {}};
  for (;;) {
    const BlockCutter::Cut cut = cutter.Next(block);
    if (cut == BlockCutter::Cut::kEnd) break;
    if (cut != BlockCutter::Cut::kRows) {
      out.failed = true;
      break;
    }
    block.push_back('\n');
    long line = 0;
    const SplitEnd end = SplitRows(block.data(), block.data() + block.size() - 1, delimiter,
                                   scratch, line, collect, max_row);
    if (end != SplitEnd::kDone) {
      out.failed = true;
      break;
    }
    collect.first_line += line;
  }
  return out;
}

struct Source {
  std::vector<double> values;
  std::vector<std::string> labels;
  std::string warnings;
  std::string error;
};

inline Source ReadSource(const std::string& text, char delimiter, std::size_t sample,
                         std::size_t block_size) {
  std::istringstream in(text);
  Source out;
  try {
    fsrank_cli::CsvDataSource source(in, "f", delimiter, fsrank_cli::MissingTokens(), sample);
    const std::vector<std::string>& header = source.Header();
    // The last column is the target when there are others. Types by position, so that both
    // readings plan alike whatever their samples say.
    fsrank_cli::PlanRequest request;
    if (header.size() > 1) {
      request.target = header.back();
      request.categorical.push_back(request.target);
    }
    std::set<std::string> typed(request.categorical.begin(), request.categorical.end());
    for (std::size_t k = 0; k + 1 < header.size() || k == 0; ++k) {
      if (typed.insert(header[k]).second) {
        (k % 2 ? request.categorical : request.continuous).push_back(header[k]);
      }
    }
    const fsrank_cli::DataPlan plan = source.MakePlan(request);
    fsrank_cli::ColumnSchema schema = source.SchemaFor(plan);
    source.SetPlan(plan, schema, 1, block_size);
    std::vector<double> row;
    try {
      while (source.NextRow(row)) {
        source.CommitLastRow();
        out.values.insert(out.values.end(), row.begin(), row.end());
      }
    } catch (const fsrank_cli::InputError& e) {
      out.error = e.what();
    }
    for (std::size_t k = 0; k < schema.target.labels.Size(); ++k)
      out.labels.push_back(schema.target.labels.Label(static_cast<int>(k)));
    for (const auto& column : schema.predictors) {
      for (std::size_t k = 0; k < column.labels.Size(); ++k)
        out.labels.push_back(column.labels.Label(static_cast<int>(k)));
    }
    std::ostringstream warnings;
    source.WriteWarnings(warnings);
    out.warnings = warnings.str();
  } catch (const fsrank_cli::InputError& e) {
    out.error = e.what();
  } catch (const fsrank_cli::UsageError& e) {
    out.error = e.what();  // duplicate column names: both readings refuse alike
  }
  return out;
}

inline void CheckNumber(const std::string& field) {
  const std::string_view text = fsrank_cli::Trim(field);
  if (text.empty()) return;
  for (const char c : text) {
    if (!std::strchr("0123456789.eE+-", c)) return;
  }
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const double expected = std::strtod(copy.c_str(), &end);
  const bool whole = end == copy.c_str() + copy.size() && std::isfinite(expected);
  double value = 0.0;
  const bool parsed = fsrank_cli::ParseNumber(field, value);
  if (parsed != whole) Fail("ParseNumber and strtod disagree on whether a field is a number");
  if (parsed && std::memcmp(&value, &expected, sizeof value) != 0) {
    Fail("ParseNumber and strtod read different values");
  }
  // Eight digits at a time, as in a block: the bytes after the field are digits, which must not
  // be taken.
  const std::string padded = field + "12345678";
  double wide = 0.0;
  const bool parsed_wide = fsrank_cli::ParseNumber(std::string_view(padded.data(), field.size()),
                                                   padded.data() + padded.size(), wide);
  if (parsed_wide != parsed || (parsed && std::memcmp(&wide, &value, sizeof wide) != 0)) {
    Fail("ParseNumber reads a field differently with bytes to spare after it");
  }
}

}  // namespace csv

inline void ExerciseCsvReader(const std::string& input) {
  if (input.empty()) return;
  const auto config = static_cast<unsigned char>(input[0]);
  static const char kDelimiters[] = {',', ';', '\t', ' '};
  const char delimiter = kDelimiters[config & 3];
  const std::size_t block_size = std::size_t{1} << ((config >> 2) & 7);  // 1 to 128 bytes
  const std::size_t max_row = config & 0x80 ? 48 : fsrank_cli::kMaxRowBytes;
  const std::string text = input.substr(1);

  const csv::Reading rows = csv::RowByRow(text, delimiter, max_row);
  const csv::Reading blocks = csv::InBlocks(text, delimiter, block_size, max_row);
  if (rows.failed != blocks.failed) csv::Fail("one reading failed and the other did not");
  if (rows.rows != blocks.rows) csv::Fail("the readings split different rows");
  if (rows.lines != blocks.lines) csv::Fail("the readings number the lines differently");
  for (const auto& row : rows.rows) {
    for (const std::string& field : row)
      csv::CheckNumber(field);
  }

  if (max_row == fsrank_cli::kMaxRowBytes) {
    const csv::Source reference = csv::ReadSource(text, delimiter, 1u << 30, block_size);
    const csv::Source parallel = csv::ReadSource(text, delimiter, 1, block_size);
    if (reference.error != parallel.error) csv::Fail("the data sources stop differently");
    if (reference.error.empty() &&
        (reference.values.size() != parallel.values.size() ||
         (!reference.values.empty() &&
          std::memcmp(reference.values.data(), parallel.values.data(),
                      reference.values.size() * sizeof(double)) != 0) ||
         reference.labels != parallel.labels || reference.warnings != parallel.warnings)) {
      csv::Fail("the data sources read different records");
    }
  }
}

}  // namespace fsfuzz

#endif  // FSRANK_FUZZ_CSV_READER_EXERCISE_H
