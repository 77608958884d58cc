// The data file as the ranking sees it: the header, a sample of the first rows from which the
// column types are guessed, the plan that says which column plays which part, and the stream of
// encoded rows. Only the sample is ever held in memory.
#ifndef FSRANK_TOOLS_DATA_SOURCE_H
#define FSRANK_TOOLS_DATA_SOURCE_H

#include <atomic>
#include <cstddef>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "block_reader.h"
#include "column_types.h"
#include "csv_reader.h"
#include "schema.h"

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

// Which column of the file is the target (if any), the weight, the case identifier, and which
// are predictors (in file order), with their types.
struct DataPlan {
  bool has_target = true;
  ColumnSpec target;
  bool has_weight = false;
  std::size_t weight_column = 0;
  bool has_id = false;
  std::size_t id_column = 0;
  std::vector<ColumnSpec> predictors;
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

// The rows of a data file, encoded as the library's records (laid out as ColumnSchema says).
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // Encodes the next record into `values`; false at the end. Throws InputError for a malformed
  // row.
  virtual bool NextRow(std::vector<double>& values) = 0;
  // Counts the problems of the row last returned: called once that row has really been used,
  // so that a row read ahead but never processed does not show up in the summaries.
  virtual void CommitLastRow() = 0;
  virtual std::size_t RowsCommitted() const = 0;
  virtual const std::string& SourceName() const = 0;
  // Warns about values that were not numbers, once per column.
  virtual void WriteWarnings(std::ostream& err) const = 0;
};

// Called inside a catch block of a std::exception thrown while reading `source`: the message the
// run ends with (a data error as it is, else the source's name and what went wrong), so that no
// exception has to cross the library.
std::string ReadFailure(const RecordSource& source);

// The position of `name` in a header row. Throws InputError naming `where` (the header line),
// the option `role` and the columns the header has.
std::size_t FindHeaderColumn(const std::vector<std::string>& header, const std::string& where,
                             const std::string& name, const std::string& role);

// A file with one row per case (the wide form).
class CsvDataSource : public RecordSource {
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
  const std::string& SourceName() const override { return reader_.Source(); }

  // Resolves a request against the header and the guessed types. Throws InputError (naming the
  // header line) for an unknown column, UsageError for contradictory requests.
  DataPlan MakePlan(const PlanRequest& request) const;
  // The description of the plan's columns (without labels yet), with this file's delimiter and
  // missing-value tokens.
  ColumnSchema SchemaFor(const DataPlan& plan) const;
  // The plan that reads this file as `schema` describes it (a resumed run): every column it
  // names must be in the header, and the header may have no other column. Throws InputError.
  DataPlan PlanFor(const ColumnSchema& schema) const;
  // Fixes the plan for the rows that follow; call once, before NextRow. Categorical values are
  // encoded with the labels of `schema` (which must describe the same columns and outlive this
  // source), so new labels are added to it. The rows after the sample are parsed by `threads`
  // threads, in blocks of about `block_size` bytes; the records and messages are the same for
  // any number and size.
  void SetPlan(DataPlan plan, ColumnSchema& schema, int threads = 1,
               std::size_t block_size = std::size_t{1} << 20);
  const DataPlan& Plan() const { return plan_; }
  // The rows end early, within milliseconds, once `cancel` is set (Ctrl-C).
  void StopWhen(const std::atomic<bool>* cancel) { cancel_ = cancel; }
  int Threads() const { return threads_; }

  // Reading block by block, for a pass that feeds each block's rows to an algorithm of its own
  // in the thread that parsed it. Call before reading: `work` runs on each block after it is
  // parsed, its categorical values still coded by the block itself (BlockLabels).
  void SetBlockWork(AfterParse work) { block_work_ = std::move(work); }
  // With true, NextRow ends with the rows read for the sample; NextBlock gives the others.
  void StopAtBlocks(bool stop) { stop_at_blocks_ = stop; }
  // The next block of rows after the sample (once NextRow has given all of those), with its
  // categorical values recoded as the file codes them; `recoded` tells whether that changed
  // any (so that what `work` made of the block no longer holds). Null at the end. Throws
  // InputError for the malformed row that ended the block before, once its rows were given.
  ParsedBlock* NextBlock(bool& recoded);
  // The first `rows` rows of the block last returned were used: counts them and their problems.
  void CommitBlockRows(std::size_t rows);
  // Stops the reading threads; nothing more is read.
  void StopReading();

  bool NextRow(std::vector<double>& values) override;
  void CommitLastRow() override;

  // Rows returned by NextRow so far and rows committed.
  std::size_t RowsDelivered() const { return delivered_; }
  std::size_t RowsCommitted() const override { return committed_; }
  // Unparsable values per file column, over the committed rows.
  const std::map<std::size_t, UnparsableSummary>& Unparsable() const { return unparsable_; }
  void WriteWarnings(std::ostream& err) const override;

 private:
  bool ReadRaw(std::vector<std::string>& fields, long& line);
  bool NextBlockRow(std::vector<double>& values);
  void StartBlocks();
  bool MapLabels();
  double EncodeCategorical(LabelEncoder& encoder, const std::string& field) const;
  double EncodeNumber(std::size_t column, const std::string& field, long line);
  std::size_t FindColumn(const std::string& name, const std::string& role) const;

  std::istream& in_;
  CsvReader reader_;
  char delimiter_;
  MissingTokens missing_;
  std::vector<std::string> header_;
  std::vector<TypeGuesser> guessers_;
  std::vector<std::vector<std::string>> sample_;
  std::vector<long> sample_lines_;
  std::size_t sample_next_ = 0;

  DataPlan plan_;
  ColumnSchema* schema_ = nullptr;
  std::vector<std::string> fields_;

  struct Issue {
    std::size_t column;
    long line;
    std::string text;
  };
  std::vector<Issue> pending_;
  bool has_pending_row_ = false;

  // The rows after the sample, read in blocks.
  int threads_ = 1;
  std::size_t block_size_ = 0;
  const std::atomic<bool>* cancel_ = nullptr;
  std::unique_ptr<BlockReader> blocks_;
  ParsedBlock* block_ = nullptr;
  long block_line_ = 0;          // the first line of block_
  std::size_t block_row_ = 0;    // the next row of block_ to return
  std::size_t block_issue_ = 0;  // the next of its unparsable values to count
  bool blocks_done_ = false;
  bool pending_in_block_ = false;  // the row last returned is block_row_ - 1
  struct LabelColumn {
    LabelEncoder* labels;  // the schema's
    std::size_t position;  // in the record
  };
  std::vector<LabelColumn> label_columns_;
  std::vector<double> code_map_;
  std::size_t delivered_ = 0;
  std::size_t committed_ = 0;
  std::map<std::size_t, UnparsableSummary> unparsable_;
  AfterParse block_work_;
  bool stop_at_blocks_ = false;
};

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_DATA_SOURCE_H
