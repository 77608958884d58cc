// Everything a run sets up around the library before data flows: the settings made from the
// columns and the options, the criteria, a restored state checked against its description,
// the cancel flag and the progress line, the record iterator over a data source, the saved
// state's files, and the library's statuses in words.
#ifndef FSRANK_TOOLS_SESSION_H
#define FSRANK_TOOLS_SESSION_H

#include <fsrank/fsrank.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "data_source.h"
#include "options.h"
#include "value_guard.h"

namespace fsrank_cli {

// Hands the encoded rows to the library one by one through a single reused record. A malformed
// row ends the pass; the error is kept for the caller, since exceptions must not cross the
// library.
class CsvRecordIterator : public NQCommon::RecordIterator {
 public:
  // The records are laid out as `schema` says, which must outlive the iterator.
  CsvRecordIterator(RecordSource& source, const ColumnSchema& schema)
      : source_(source), record_(schema.RecordSize()), guard_(schema) {}

  bool Next() override;
  NQCommon::Record* GetRecord() override { return &record_; }
  const std::string& Error() const { return error_; }
  // Warns about the values the library's sums could not take (value_guard.h).
  void WriteWarnings(std::ostream& err) const { guard_.WriteWarnings(err, source_.SourceName()); }

 private:
  RecordSource& source_;
  NQCommon::Record record_;
  ValueGuard guard_;
  std::size_t rows_ = 0;
  std::vector<double> values_;
  std::string error_;
};

// One line on the terminal, rewritten at most ten times a second from the library's reports.
class TerminalProgress : public ProgressListener {
 public:
  explicit TerminalProgress(std::ostream& err) : err_(err), start_(Clock::now()) {}
  ~TerminalProgress() override { Clear(); }

  void OnProgress(ProgressReport& report) override;
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& err_;
  Clock::time_point start_;
  Clock::time_point last_;
  bool shown_ = false;
};

// The library's cancel query over the flag that the Ctrl-C handler raises.
class FlagCancel : public NQQueryCancel {
 public:
  explicit FlagCancel(const std::atomic<bool>& flag) : flag_(flag) {}
  bool IsCancelRequested() override { return flag_.load(); }

 private:
  const std::atomic<bool>& flag_;
};

// One algorithm of the library with the program's cancel flag and, when asked, the progress
// line attached. A new run's algorithm uses `own_settings`; a restored one keeps its own.
class Session {
 public:
  FSSettings own_settings;
  // The settings of an algorithm that took over from the first (ParallelPass).
  std::unique_ptr<FSSettings> adopted_settings;
  std::unique_ptr<IFSAlgorithm> algorithm;

  FSSettings& Settings() { return algorithm ? *algorithm->GetSettings() : own_settings; }
  // Creates the algorithm unless one was restored, then attaches cancel and progress. Returns
  // kExitOk, or the exit code after saying why on `err`.
  int Start(const std::atomic<bool>& cancel, bool progress, std::ostream& err);
  void ClearProgress() {
    if (progress_) progress_->Clear();
  }

 private:
  std::unique_ptr<FlagCancel> cancel_query_;
  std::unique_ptr<TerminalProgress> progress_;
};

// The settings that describe the schema's columns, with the screening options applied.
FSSettings MakeSettings(const ColumnSchema& schema, const Options& options);
// The screening options given on the command line; the others keep what the settings hold.
void ApplyScreening(FSSettings& settings, const Options& options);
// Switches on the requested criteria and off the others; the settings refuse combinations that
// do not fit the column types, and the refusal is explained in `error`.
bool ApplyCriteria(FSSettings& settings, const std::vector<int>& requested, std::string& error);

// Restores the state and checks it against its description. Returns kExitOk or the exit code.
int RestoreState(const std::string& path, const ColumnSchema& schema,
                 std::unique_ptr<IFSAlgorithm>& algorithm, std::ostream& err);
// Saves the state (binary, or XML when the name ends in .xml) and its description next to it.
int SaveStateFiles(const IFSAlgorithm& algorithm, const std::string& path,
                   const ColumnSchema& schema, std::ostream& err);
// Writes one export document through `write`; a failed document is removed.
int WriteExport(const std::string& path, const char* what, std::ostream& err,
                const std::function<NQFeature::NQStatus(std::ostream&)>& write);

// A library status in words.
std::string StatusText(const NQFeature::NQStatus& status);
// Tells what stopped a data pass: an exit code, or -1 when it did not stop (a warning or
// nothing).
// `error` is the fault of the file that ended the pass, if any.
int PassOutcome(const NQFeature::NQStatus& status, const std::string& error,
                const RecordSource& source, const std::atomic<bool>& cancel, std::ostream& err);

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_SESSION_H
