#include "session.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <new>
#include <sstream>

#include "text.h"

namespace fsrank_cli {

using NQFeature::NQStatus;
using NQFSCommon::RankCriteria;

namespace {

std::string Combination(const FSSettings& settings) {
  std::string text = settings.IsCatTarget() ? "a categorical target" : "a continuous target";
  switch (settings.GetTypeAllPredictors()) {
    case NQFSCommon::AllCategorical:
      return text + " with categorical predictors";
    case NQFSCommon::AllContinuous:
      return text + " with continuous predictors";
    default:
      return text + " with categorical and continuous predictors";
  }
}

std::string CriteriaRule(const FSSettings& settings) {
  const int type = settings.GetTypeAllPredictors();
  if (settings.IsCatTarget()) {
    if (type == NQFSCommon::AllCategorical) {
      return "choose one or more of Pearson, Likelihood, Cramer, Lambda";
    }
    if (type == NQFSCommon::AllContinuous) return "only F-Statistic applies";
    return "F-Statistic and at least one of Pearson, Likelihood are needed; Cramer and Lambda do "
           "not apply";
  }
  if (type == NQFSCommon::AllCategorical) return "only F-Statistic applies";
  if (type == NQFSCommon::AllContinuous) return "only t-Statistic applies";
  return "F-Statistic and t-Statistic are both needed";
}

// Why a restored state cannot be the one the sidecar describes; empty when they agree. The
// checksum already ties the two files together, so this catches a sidecar edited by hand.
std::string Mismatch(const ColumnSchema& schema, const IFSAlgorithm& algorithm) {
  const FSSettings& settings = *algorithm.GetSettings();
  const auto type = [](bool categorical) { return categorical ? "categorical" : "continuous"; };
  if (settings.GetFlagTrInput() != schema.long_form) {
    return std::string("the state holds ") + (settings.GetFlagTrInput() ? "long" : "wide") +
           "-form data";
  }
  const std::size_t n = static_cast<std::size_t>(settings.GetNPredictors());
  if (n != schema.predictors.size()) {
    return "the state has " + std::to_string(n) + " predictors, the description " +
           std::to_string(schema.predictors.size());
  }
  for (std::size_t p = 0; p < n; ++p) {
    const bool categorical = schema.predictors[p].type == ColumnType::kCategorical;
    if (settings.IsCatPredictor(static_cast<int>(p)) != categorical) {
      return "the predictor \"" + schema.predictors[p].name + "\" is " +
             type(settings.IsCatPredictor(static_cast<int>(p))) + " in the state";
    }
  }
  const bool catTarget = schema.target.type == ColumnType::kCategorical;
  if (!schema.HasTarget() || settings.IsCatTarget() != catTarget) {
    return std::string("the target is ") + type(settings.IsCatTarget()) + " in the state";
  }
  if (!schema.long_form && (settings.GetTargetPosition() != schema.TargetPosition() ||
                            settings.GetWeightPosition() != schema.WeightPosition() ||
                            settings.GetCaseIDPosition() != schema.IdPosition())) {
    return "the weight or case identifier columns differ from the state's";
  }
  for (int k = 0; k < algorithm.GetNTargetCategories(); ++k) {
    int code = -1;
    std::pair<int, double> counts;
    if (algorithm.GetTargetCategoryInfo(k, code, counts) &&
        (code < 0 || static_cast<std::size_t>(code) >= schema.target.labels.Size())) {
      return "the target category " + std::to_string(code) + " of the state has no label";
    }
  }
  return {};
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

bool CsvRecordIterator::Next() {
  // The library asks for the next row only once it has used the previous one.
  source_.CommitLastRow();
  if (!error_.empty()) return false;
  try {
    if (!source_.NextRow(values_)) return false;
  } catch (const std::exception&) {
    error_ = ReadFailure(source_);
    return false;
  }
  if (static_cast<std::size_t>(record_.Size()) < values_.size()) {
    error_ = "out of memory for a record";  // the record absorbed a failed allocation
    return false;
  }
  guard_.Apply(values_, ++rows_);
  double* out = record_.GetAll();
  for (std::size_t k = 0; k < values_.size(); ++k)
    out[k] = values_[k];
  return true;
}

void TerminalProgress::OnProgress(ProgressReport& report) {
  const auto now = Clock::now();
  if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const int records = report.DiscreteMeasure("records");
  const int predictors = report.DiscreteMeasure("predictors");
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s elapsed", elapsed);
  std::string line;
  if (records >= 0) {
    const double rate = elapsed > 0.0 ? records / elapsed : 0.0;
    line = GroupDigits(records) + " records read, " + GroupDigits(std::lround(rate)) +
           " records/s, " + seconds;
  } else {
    line = "criteria computed for " + GroupDigits(predictors) + " predictors, " + seconds;
  }
  err_ << "\r\033[K" << line << std::flush;
  shown_ = true;
}

void TerminalProgress::Clear() {
  if (shown_) err_ << "\r\033[K" << std::flush;
  shown_ = false;
}

int Session::Start(const std::atomic<bool>& cancel, bool progress, std::ostream& err) {
  FSSettings& settings = Settings();
  if (!algorithm) {
    FSFactory factory;
    algorithm.reset(factory.CreateFSAlgorithm(&settings));
    if (!algorithm) {
      err << "fsrank: the library could not start: " << StatusText(factory.GetStatus()) << "\n";
      return kExitLibrary;
    }
  }
  cancel_query_ = std::make_unique<FlagCancel>(cancel);
  algorithm->SetCancelPtr(cancel_query_.get());
  if (progress) {
    progress_ = std::make_unique<TerminalProgress>(err);
    algorithm->SetProgressListener(progress_.get());
    settings.SetNSkippedRecordReports(999);
    settings.SetNSkippedPredictorReports(0);
  }
  return kExitOk;
}

bool ApplyCriteria(FSSettings& settings, const std::vector<int>& requested, std::string& error) {
  if (requested.empty()) return true;
  for (const int c : requested) {
    if (!settings.SetCriterion(static_cast<RankCriteria>(c), true)) {
      error = "the criterion " + CriterionName(c) + " is not available for " +
              Combination(settings) + ": " + CriteriaRule(settings);
      return false;
    }
  }
  for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
    bool wanted = false;
    for (const int r : requested)
      wanted = wanted || r == c;
    if (!wanted && !settings.SetCriterion(static_cast<RankCriteria>(c), false)) {
      error = CriterionName(c) + " cannot be left out for " + Combination(settings) + ": " +
              CriteriaRule(settings);
      return false;
    }
  }
  return true;
}

void ApplyScreening(FSSettings& settings, const Options& options) {
  if (options.max_missing) settings.SetMaxPctMiss(*options.max_missing);
  if (options.max_single) settings.SetMaxPctSingle(*options.max_single);
  if (options.max_categories) settings.SetMaxNCatAsPct(*options.max_categories);
  if (options.min_cv) settings.SetMinVariation(*options.min_cv);
  if (options.min_sd) settings.SetMinStddev(*options.min_sd);
  if (options.no_screen) {
    // The switches, not only the skipped step: the export documents list the rules in force.
    settings.SetFlagDeleteIfManyMiss(false);
    settings.SetFlagDeleteIfManySingle(false);
    settings.SetFlagDeleteIfManyCategories(false);
    settings.SetFlagDeleteIfSmallVariation(false);
    settings.SetFlagDeleteIfSmallStddev(false);
  }
}

FSSettings MakeSettings(const ColumnSchema& schema, const Options& options) {
  std::vector<bool> types;
  for (const SchemaColumn& column : schema.predictors) {
    types.push_back(column.type == ColumnType::kCategorical);
  }
  FSSettings settings(types, schema.target.type == ColumnType::kCategorical);
  settings.SetTargetPosition(schema.TargetPosition());
  settings.SetFlagTrInput(schema.long_form);
  if (!schema.weight.empty()) {
    settings.SetWeightPosition(schema.WeightPosition());
    settings.SetWeightConv(options.weight_conversion == "asis"       ? NQFSCommon::WeightAsIs
                           : options.weight_conversion == "truncate" ? NQFSCommon::WeightTruncate
                                                                     : NQFSCommon::WeightRound);
  }
  if (!schema.id.empty()) settings.SetCaseIDPosition(schema.IdPosition());
  settings.SetFlagExactTails(!options.complement_pvalues);
  ApplyScreening(settings, options);
  return settings;
}

std::string StatusText(const NQStatus& status) {
  switch (status.GetErrorCode()) {
    case NQFeature::StatusNoValidData:
      return "no usable record: no row with a target value has a value for any predictor";
    case NQFeature::StatusNoValidWeight:
      return "no row has a usable weight (a positive number after conversion)";
    case NQFeature::StatusAllDeletedByCheck:
      return "every predictor is either all missing or constant";
    case NQFeature::StatusNoPredictorsLeft:
      return "every predictor was screened out";
    case NQFeature::StatusFewerPredictors:
      return "fewer predictors remain (" + std::to_string(status.GetDiscreteDatum(0)) +
             ") than asked for";
    case NQFeature::StatusNotRanked:
      return "nothing was ranked";
    case NQFeature::StatusBadStream:
      return "the file cannot be read";
    case NQFeature::StatusBinaryRestoreFailed:
      return "the file is damaged or not a binary state";
    case NQFeature::StatusXMLRestoreFailed:
      return "the file is damaged or not an XML state";
    case NQFeature::StatusCountOverflow:
      return "a record count would pass 2,147,483,647, the most a state can hold";
    case NQFeature::StatusNotImplemented:
      return "this build of the library cannot do that yet (status 80103)";
    default:
      return "the library reported status " + std::to_string(status.GetErrorCode());
  }
}

int WriteExport(const std::string& path, const char* what, std::ostream& err,
                const std::function<NQStatus(std::ostream&)>& write) {
  std::ofstream file(path, std::ios::out | std::ios::trunc);
  if (!file) {
    WriteError(err, path + ": cannot write the " + what + " document");
    return kExitInput;
  }
  const NQStatus status = write(file);
  file.close();
  if (status.IsError()) {
    std::remove(path.c_str());
    WriteError(err, path + ": the " + what + " document was not written: " + StatusText(status));
    return status.GetErrorCode() == NQFeature::StatusCancelled ? kExitCancelled : kExitLibrary;
  }
  if (!file) {
    WriteError(err, path + ": write error");
    return kExitInput;
  }
  return kExitOk;
}

int RestoreState(const std::string& path, const ColumnSchema& schema,
                 std::unique_ptr<IFSAlgorithm>& algorithm, std::ostream& err) {
  FSFactory factory;
  // A damaged state makes the library's readers write "Error reading <Class>!" lines to the
  // standard error stream; the message below says what is wrong in the user's terms.
  std::ostringstream library_messages;
  std::streambuf* const stderr_buffer = std::cerr.rdbuf(library_messages.rdbuf());
  if (EndsWith(path, ".xml")) {
    std::ifstream file(path, std::ios::in);
    algorithm.reset(factory.RestoreFSAlgorithmFromXML(file));
  } else {
    std::fstream file(path, std::ios::in | std::ios::binary);
    algorithm.reset(factory.RestoreFSAlgorithmFromBinary(file));
  }
  std::cerr.rdbuf(stderr_buffer);
  if (!algorithm) {
    WriteError(err, path + ": the state cannot be restored: " + StatusText(factory.GetStatus()));
    return kExitInput;
  }
  const std::string mismatch = Mismatch(schema, *algorithm);
  if (!mismatch.empty()) {
    WriteError(err,
               SidecarPath(path) + ": does not describe the state in " + path + ": " + mismatch);
    return kExitInput;
  }
  return kExitOk;
}

int SaveStateFiles(const IFSAlgorithm& algorithm, const std::string& path,
                   const ColumnSchema& schema, std::ostream& err) {
  NQStatus status;
  bool written = false;
  if (EndsWith(path, ".xml")) {
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    if (file) status = algorithm.SaveStateXML(file);
    file.close();
    written = static_cast<bool>(file);
  } else {
    std::fstream file(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (file) status = algorithm.SaveState(file);
    file.close();
    written = static_cast<bool>(file);
  }
  if (status.IsError()) {
    std::remove(path.c_str());
    WriteError(err, path + ": the state was not saved: " + StatusText(status));
    return kExitLibrary;
  }
  const std::string sidecar = SidecarPath(path);
  std::ofstream out;
  if (written) {
    out.open(sidecar, std::ios::out | std::ios::trunc);
    if (out) WriteSidecar(out, schema, FileChecksum(path));
    out.close();
  }
  if (!written || !out) {
    WriteError(err, (written ? sidecar : path) + ": cannot write the saved state");
    return kExitInput;
  }
  // A state that `resume` would refuse is no saved state: the description is read back as
  // resume reads it.
  try {
    LoadSidecar(path);
  } catch (const InputError& e) {
    std::remove(path.c_str());
    std::remove(sidecar.c_str());
    WriteError(err, path + ": the saved state cannot be read back, so it was removed: " + e.what());
    return kExitInput;
  }
  return kExitOk;
}

int PassOutcome(const NQStatus& status, const std::string& error, const RecordSource& source,
                const std::atomic<bool>& cancel, std::ostream& err) {
  if (cancel.load() || status.GetErrorCode() == NQFeature::StatusCancelled) {
    err << "fsrank: cancelled after " << source.RowsCommitted() << " records\n";
    return kExitCancelled;
  }
  if (!error.empty()) {
    WriteError(err, error);
    return kExitInput;
  }
  if (!status.IsError()) return -1;
  if (status.GetErrorCode() == NQFeature::StatusNoValidData && source.RowsCommitted() == 0) {
    WriteError(err, source.SourceName() + ": there is no data row after the header");
    return kExitInput;
  }
  err << "fsrank: " << StatusText(status) << "\n";
  const long code = status.GetErrorCode();
  return code == NQFeature::StatusNoValidData || code == NQFeature::StatusNoValidWeight
             ? kExitInput
             : kExitLibrary;
}

}  // namespace fsrank_cli
