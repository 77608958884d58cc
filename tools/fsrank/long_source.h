// A data file in the long form: one row per case and predictor, with the columns case
// identifier, predictor name, value and target. The library reads it as transactions: four
// numbers per row (case, predictor index, value, target), the rows of a case consecutive and in
// increasing predictor order. The predictors and their types must be known before that pass,
// so a first pass over the file finds them; the second streams the file a case at a time,
// sorting the rows of each case.
#ifndef FSRANK_TOOLS_LONG_SOURCE_H
#define FSRANK_TOOLS_LONG_SOURCE_H

#include <atomic>
#include <cstddef>
#include <istream>
#include <map>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "column_types.h"
#include "csv_reader.h"
#include "data_source.h"
#include "schema.h"

namespace fsrank_cli {

// What the first pass finds: the predictors in order of first appearance, and the types their
// values (and the target's) suggest.
struct LongScan {
  std::vector<std::string> predictors;
  std::vector<ColumnType> predictor_types;
  ColumnType target_type = ColumnType::kContinuous;
};

// Reads the whole file once, with the delimiter, missing-value tokens and column names of
// `schema`. Throws InputError for a malformed file or an unknown column, UsageError when two
// roles name the same column. Stops early, with what it found so far, once `cancel` is set.
LongScan ScanLongFile(std::istream& in, const std::string& name, const ColumnSchema& schema,
                      const std::atomic<bool>* cancel = nullptr);

class LongDataSource : public RecordSource {
 public:
  // Reads the header. `schema` (long form) lists the predictors with their types and holds the
  // label codes, which the source extends; it must outlive the source.
  LongDataSource(std::istream& in, std::string name, ColumnSchema& schema);

  // Throws InputError for a case that appears again after other cases, a predictor given twice
  // in a case, two different targets in a case, or a predictor the schema does not list.
  bool NextRow(std::vector<double>& values) override;
  void CommitLastRow() override;
  std::size_t RowsCommitted() const override { return committed_; }
  const std::string& SourceName() const override { return reader_.Source(); }
  void WriteWarnings(std::ostream& err) const override;

 private:
  struct Entry {
    int predictor;
    double value;
    long line;
  };
  bool ReadRow();
  bool ReadCase();
  void AddToCase(const std::string& id, long& target_line);
  // Encodes a value of the predictor with that index, or of the target (-1).
  double Encode(int predictor, const std::string& field);

  CsvReader reader_;
  MissingTokens missing_;
  ColumnSchema& schema_;
  std::vector<std::size_t> columns_;  // case, predictor, value, target
  std::size_t fields_ = 0;            // fields per row
  std::unordered_map<std::string, int> predictor_index_;
  std::unordered_map<std::string, long> seen_cases_;  // identifier -> first line

  std::vector<std::string> row_;  // the row last read: the next case's first row once read ahead
  long row_line_ = 0;
  bool has_row_ = false;
  std::vector<Entry> case_;
  std::size_t next_ = 0;
  double case_number_ = -1.0;
  double case_target_ = 0.0;

  bool pending_ = false;
  std::size_t committed_ = 0;
  std::map<std::string, UnparsableSummary> unparsable_;  // by the column's description
};

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_LONG_SOURCE_H
