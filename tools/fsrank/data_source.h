// The data file as the ranking sees it: the header, a sample of the first rows from which the
// column types are guessed, the plan that says which column plays which part, and the stream of
// encoded rows. Only the sample is ever held in memory.
#ifndef FSRANK_TOOLS_DATA_SOURCE_H
#define FSRANK_TOOLS_DATA_SOURCE_H

#include <cstddef>
#include <istream>
#include <map>
#include <string>
#include <vector>

#include "column_types.h"
#include "csv_reader.h"

namespace fsrank_cli {

// A mistake in what the user asked for (as opposed to a fault of the data file).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ColumnSpec {
  std::string name;
  std::size_t column = 0;  // position in the file's rows
  ColumnType type = ColumnType::kContinuous;
};

// Which column is the target, the weight, the case identifier, and which are predictors. The
// library's records are laid out as: the target (unless there is none, as in the check without
// a target), then the weight and the case identifier when present, then the predictors in file
// order.
struct DataPlan {
  bool has_target = true;
  ColumnSpec target;
  bool has_weight = false;
  std::size_t weight_column = 0;
  bool has_id = false;
  std::size_t id_column = 0;
  std::vector<ColumnSpec> predictors;

  int TargetPosition() const { return has_target ? 0 : -1; }
  int WeightPosition() const { return has_weight ? Lead() : -1; }
  int IdPosition() const { return has_id ? Lead() + (has_weight ? 1 : 0) : -1; }
  int FirstPredictorPosition() const { return Lead() + (has_weight ? 1 : 0) + (has_id ? 1 : 0); }
  int RecordSize() const { return FirstPredictorPosition() + static_cast<int>(predictors.size()); }

 private:
  int Lead() const { return has_target ? 1 : 0; }
};

// What the user asked for by column name.
struct PlanRequest {
  std::string target;  // empty: none
  std::string weight;  // empty: none
  std::string id;      // empty: none
  std::vector<std::string> categorical;
  std::vector<std::string> continuous;
};

// Values of a numeric column that are neither numbers nor missing-value tokens.
struct UnparsableSummary {
  std::size_t count = 0;
  long first_line = 0;
  std::string first_text;
};

class CsvDataSource {
 public:
  // Reads the header and up to `sample_rows` rows. Throws InputError for an empty file, a
  // malformed row or a row whose number of fields differs from the header's.
  CsvDataSource(std::istream& in, std::string source_name, char delimiter, MissingTokens missing,
                std::size_t sample_rows);

  const std::vector<std::string>& Header() const { return header_; }
  // The type each column would get from the sample.
  ColumnType GuessedType(std::size_t column) const { return guessers_[column].Guess(); }
  bool SawValue(std::size_t column) const { return guessers_[column].SawValue(); }
  std::size_t SampleSize() const { return sample_.size(); }
  const std::string& SourceName() const { return reader_.Source(); }

  // Resolves a request against the header and the guessed types. Throws InputError (naming the
  // header line) for an unknown column, UsageError for contradictory requests.
  DataPlan MakePlan(const PlanRequest& request) const;
  // Fixes the plan for the rows that follow; call once, before NextRow.
  void SetPlan(DataPlan plan);
  const DataPlan& Plan() const { return plan_; }

  // Encodes the next row into `values` (sized to the plan's record size); false at the end.
  // Throws InputError for malformed or ragged rows.
  bool NextRow(std::vector<double>& values);
  // Counts the problems of the row last returned: called once that row has really been used,
  // so that a row read ahead but never processed does not show up in the summaries.
  void CommitLastRow();

  // Rows returned by NextRow so far and rows committed.
  std::size_t RowsDelivered() const { return delivered_; }
  std::size_t RowsCommitted() const { return committed_; }
  // Unparsable values per file column, over the committed rows.
  const std::map<std::size_t, UnparsableSummary>& Unparsable() const { return unparsable_; }
  // The label of a target code (categorical target), or the empty text.
  std::string TargetLabel(int code) const { return target_labels_.Label(code); }

 private:
  bool ReadRaw(std::vector<std::string>& fields, long& line);
  double EncodeCategorical(LabelEncoder& encoder, const std::string& field) const;
  double EncodeNumber(std::size_t column, const std::string& field, long line);
  std::size_t FindColumn(const std::string& name, const char* role) const;

  CsvReader reader_;
  MissingTokens missing_;
  std::vector<std::string> header_;
  std::vector<TypeGuesser> guessers_;
  std::vector<std::vector<std::string>> sample_;
  std::vector<long> sample_lines_;
  std::size_t sample_next_ = 0;

  DataPlan plan_;
  LabelEncoder target_labels_;
  std::vector<LabelEncoder> predictor_labels_;  // one per predictor (unused for continuous)
  std::vector<std::string> fields_;

  struct Issue {
    std::size_t column;
    long line;
    std::string text;
  };
  std::vector<Issue> pending_;
  bool has_pending_row_ = false;
  std::size_t delivered_ = 0;
  std::size_t committed_ = 0;
  std::map<std::size_t, UnparsableSummary> unparsable_;
};

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_DATA_SOURCE_H
