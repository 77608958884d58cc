#include "long_source.h"

#include <fsrank/fsrank.h>

#include <algorithm>
#include <utility>
#include "text.h"

namespace fsrank_cli {

namespace {

enum Role { kCase, kPredictor, kValue, kTarget };

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// Reads the header and finds the four columns, in Role order.
std::vector<std::size_t> ReadLongHeader(CsvReader& reader, const ColumnSchema& schema,
                                        std::size_t& fields) {
  std::vector<std::string> header;
  if (!reader.ReadRow(header)) {
    throw InputError(reader.Source() + ": the file is empty (a header row is needed)");
  }
  fields = header.size();
  const std::pair<std::string, const char*> roles[] = {{schema.case_column, "--case"},
                                                       {schema.predictor_column, "--predictor"},
                                                       {schema.value_column, "--value"},
                                                       {schema.target.name, "--target"}};
  std::vector<std::size_t> columns;
  for (const auto& [name, option] : roles) {
    columns.push_back(FindHeaderColumn(header, reader.Where(1), name, option));
    for (std::size_t k = 0; k + 1 < columns.size(); ++k) {
      if (columns[k] == columns.back()) {
        throw UsageError(std::string(roles[k].second) + " and " + option +
                         " name the same column " + Quoted(name));
      }
    }
  }
  return columns;
}

// Reads a row and checks its shape; false at the end of the file.
bool ReadLongRow(CsvReader& reader, std::size_t fields, const std::vector<std::size_t>& columns,
                 std::vector<std::string>& row) {
  if (!reader.ReadRow(row)) return false;
  if (row.size() != fields) {
    throw InputError(reader.Where() + "the row has " + Plural(row.size(), "field", "fields") +
                     " but the header has " + std::to_string(fields));
  }
  if (Trim(row[columns[kCase]]).empty()) throw InputError(reader.Where() + "no case identifier");
  if (Trim(row[columns[kPredictor]]).empty()) {
    throw InputError(reader.Where() + "no predictor name");
  }
  return true;
}

}  // namespace

LongScan ScanLongFile(std::istream& in, const std::string& name, const ColumnSchema& schema,
                      const std::atomic<bool>* cancel) {
  CsvReader reader(in, name, schema.delimiter);
  const MissingTokens missing(schema.missing);
  std::size_t fields = 0;
  const std::vector<std::size_t> columns = ReadLongHeader(reader, schema, fields);
  LongScan scan;
  std::unordered_map<std::string, std::size_t> index;
  std::vector<TypeGuesser> guessers;
  TypeGuesser target;
  std::vector<std::string> row;
  while (ReadLongRow(reader, fields, columns, row)) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) break;
    const auto [at, added] =
        index.emplace(std::string(Trim(row[columns[kPredictor]])), scan.predictors.size());
    if (added) {
      scan.predictors.push_back(at->first);
      guessers.emplace_back();
    }
    guessers[at->second].Add(row[columns[kValue]], missing);
    target.Add(row[columns[kTarget]], missing);
  }
  for (const TypeGuesser& guesser : guessers)
    scan.predictor_types.push_back(guesser.Guess());
  scan.target_type = target.Guess();
  return scan;
}

LongDataSource::LongDataSource(std::istream& in, std::string name, ColumnSchema& schema)
    : reader_(in, std::move(name), schema.delimiter), missing_(schema.missing), schema_(schema) {
  columns_ = ReadLongHeader(reader_, schema_, fields_);
  for (std::size_t p = 0; p < schema_.predictors.size(); ++p) {
    predictor_index_.emplace(schema_.predictors[p].name, static_cast<int>(p));
  }
}

bool LongDataSource::ReadRow() {
  has_row_ = ReadLongRow(reader_, fields_, columns_, row_);
  row_line_ = reader_.RowLine();
  return has_row_;
}

double LongDataSource::Encode(int predictor, const std::string& field) {
  if (missing_.IsMissing(field)) return NQMV::Missing();
  SchemaColumn& column =
      predictor < 0 ? schema_.target : schema_.predictors[static_cast<std::size_t>(predictor)];
  if (column.type == ColumnType::kCategorical) {
    return static_cast<double>(column.labels.Encode(Trim(field)));
  }
  double value = 0.0;
  if (ParseNumber(field, value)) return value;
  UnparsableSummary& summary =
      unparsable_[(predictor < 0 ? "column " : "predictor ") + Quoted(column.name)];
  if (summary.count++ == 0) {
    summary.first_line = row_line_;
    summary.first_text = field;
  }
  return NQMV::Missing();
}

void LongDataSource::AddToCase(const std::string& id, long& target_line) {
  const std::string name(Trim(row_[columns_[kPredictor]]));
  const auto found = predictor_index_.find(name);
  if (found == predictor_index_.end()) {
    throw InputError(reader_.Where(row_line_) + "the predictor " + Quoted(name) +
                     " is not in the saved state, which cannot take new predictors");
  }
  case_.push_back(Entry{found->second, Encode(found->second, row_[columns_[kValue]]), row_line_});
  // Every row may repeat the case's target, or leave it missing; two values contradict.
  const double target = Encode(-1, row_[columns_[kTarget]]);
  if (NQMV::IsMissing(target)) return;
  if (NQMV::IsMissing(case_target_)) {
    case_target_ = target;
    target_line = row_line_;
  } else if (target != case_target_) {
    throw InputError(reader_.Where(row_line_) + "case " + Quoted(id) +
                     " has another target value than on line " + std::to_string(target_line));
  }
}

bool LongDataSource::ReadCase() {
  case_.clear();
  next_ = 0;
  if (!has_row_ && !ReadRow()) return false;
  const std::string id(Trim(row_[columns_[kCase]]));
  const auto [seen, added] = seen_cases_.emplace(id, row_line_);
  if (!added) {
    throw InputError(reader_.Where(row_line_) + "case " + Quoted(id) +
                     " appears again after other cases (its rows must be consecutive; it began "
                     "on line " +
                     std::to_string(seen->second) + ")");
  }
  // A case of an earlier file (a resumed run) would be counted twice: in one run over all the
  // files it would be one case, or refused as above.
  const bool continues = !schema_.sources.empty() && id == schema_.last_case && case_number_ < 0;
  if (!schema_.case_hashes.insert(CaseHash(id)).second || continues) {
    std::string sources;
    for (const std::string& source : schema_.sources)
      sources += (sources.empty() ? "" : ", ") + source;
    throw InputError(reader_.Where(row_line_) + "case " + Quoted(id) +
                     (continues ? " continues the last case of " + sources +
                                      ", which was counted already: the files must be split "
                                      "between cases"
                                : " was read already from " + sources +
                                      " (the rows of a case must be consecutive)"));
  }
  schema_.last_case = id;
  case_target_ = NQMV::Missing();
  long target_line = 0;
  do {
    AddToCase(id, target_line);
  } while (ReadRow() && Trim(row_[columns_[kCase]]) == id);
  // The library needs the predictors of a case in increasing order, each once.
  std::stable_sort(case_.begin(), case_.end(),
                   [](const Entry& a, const Entry& b) { return a.predictor < b.predictor; });
  for (std::size_t k = 1; k < case_.size(); ++k) {
    if (case_[k].predictor == case_[k - 1].predictor) {
      throw InputError(
          reader_.Where(case_[k].line) + "case " + Quoted(id) + " gives the predictor " +
          Quoted(schema_.predictors[static_cast<std::size_t>(case_[k].predictor)].name) +
          " again (also on line " + std::to_string(case_[k - 1].line) + ")");
    }
  }
  case_number_ += 1.0;
  return true;
}

bool LongDataSource::NextRow(std::vector<double>& values) {
  if (next_ >= case_.size() && !ReadCase()) return false;
  const Entry& entry = case_[next_++];
  values.assign({case_number_, static_cast<double>(entry.predictor), entry.value, case_target_});
  pending_ = true;
  return true;
}

void LongDataSource::CommitLastRow() {
  if (pending_) ++committed_;
  pending_ = false;
}

void LongDataSource::WriteWarnings(std::ostream& err) const {
  for (const auto& [what, summary] : unparsable_) {
    WriteWarning(err, SourceName() + ": " + what + ": " + std::to_string(summary.count) +
                          (summary.count == 1 ? " value is" : " values are") +
                          " not a number and counted as missing (first on line " +
                          std::to_string(summary.first_line) + ": " + Quoted(summary.first_text) +
                          ")");
  }
}

}  // namespace fsrank_cli
