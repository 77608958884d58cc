#include "ranker.h"

#include <fsrank/fsrank.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fsrank_cli {

namespace {

using NQFeature::NQStatus;
using NQFSCommon::RankCriteria;

// Hands the encoded rows to the library one by one through a single reused record. A malformed
// row ends the pass; the error is kept for the caller, since exceptions must not cross the
// library.
class CsvRecordIterator : public NQCommon::RecordIterator {
 public:
  CsvRecordIterator(RecordSource& source, int record_size)
      : source_(source), record_(record_size) {}

  bool Next() override {
    // The library asks for the next row only once it has used the previous one.
    source_.CommitLastRow();
    if (!error_.empty()) return false;
    try {
      if (!source_.NextRow(values_)) return false;
    } catch (const InputError& e) {
      error_ = e.what();
      return false;
    }
    if (static_cast<std::size_t>(record_.Size()) < values_.size()) {
      error_ = "out of memory for a record";  // the record absorbed a failed allocation
      return false;
    }
    double* out = record_.GetAll();
    for (std::size_t k = 0; k < values_.size(); ++k)
      out[k] = values_[k];
    return true;
  }
  NQCommon::Record* GetRecord() override { return &record_; }
  const std::string& Error() const { return error_; }

 private:
  RecordSource& source_;
  NQCommon::Record record_;
  std::vector<double> values_;
  std::string error_;
};

class FlagCancel : public NQQueryCancel {
 public:
  explicit FlagCancel(const std::atomic<bool>& flag) : flag_(flag) {}
  bool IsCancelRequested() override { return flag_.load(); }

 private:
  const std::atomic<bool>& flag_;
};

// One line on the terminal, rewritten at most ten times a second from the library's reports.
class TerminalProgress : public ProgressListener {
 public:
  explicit TerminalProgress(std::ostream& err) : err_(err), start_(Clock::now()) {}
  ~TerminalProgress() override { Clear(); }

  void OnProgress(ProgressReport& report) override {
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
  void Clear() {
    if (shown_) err_ << "\r\033[K" << std::flush;
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& err_;
  Clock::time_point start_;
  Clock::time_point last_;
  bool shown_ = false;
};

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

// Switches on the requested criteria and off the others; the settings refuse combinations that
// do not fit the column types, and the refusal is explained in `error`.
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

// The screening options given on the command line; the others keep what the settings hold.
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

// The settings that describe the schema's columns, with the screening options applied.
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
  ApplyScreening(settings, options);
  return settings;
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

ScreeningThresholds Thresholds(const FSSettings& settings) {
  return {settings.GetMaxPctMiss(), settings.GetMaxPctSingle(), settings.GetMaxNCatAsPct(),
          settings.GetMinVariation(), settings.GetMinStddev()};
}

std::optional<double> Value(double x) {
  if (NQMV::IsMissing(x)) return std::nullopt;
  return x;
}

// The statistic behind a criterion value, as the predictor's accumulator reports it. Which
// accumulator a predictor has, and so which statistics it keeps, follows from the two types.
void FillStatistics(const IFSAlgorithm& algorithm, int c, int predictor, bool categorical,
                    bool catTarget, RankedPredictor& row) {
  int asked = -1;
  const char* name = "";
  if (categorical && catTarget) {
    if (c == NQFSCommon::Pearson || c == NQFSCommon::Cramer) {
      asked = NQFSCommon::Pearson;  // Cramer's V is a rescaled Pearson chi-square
      name = "X2";
    } else if (c == NQFSCommon::Likelihood) {
      asked = NQFSCommon::Likelihood;
      name = "G2";
    }
  } else if (categorical || catTarget) {
    asked = NQFSCommon::FStat;  // also behind Pearson and Likelihood of a continuous predictor
    name = "F";
  } else {
    asked = NQFSCommon::TStat;
    name = "t";
  }
  if (asked < 0) return;
  double a = 0.0, b = 0.0, s2 = 0.0, s3 = 0.0;
  if (!algorithm.GetPredictorStats(asked, predictor, a, b, s2, s3)) return;
  row.statistic_name = name;
  if (asked == NQFSCommon::TStat) {  // a = p, b = r, s2 = t, s3 = df
    row.statistic = Value(s2);
    row.df = Value(s3);
  } else if (asked == NQFSCommon::FStat) {  // a = p, b = F, s2 = df1, s3 = df2
    row.statistic = Value(b);
    row.df = Value(s2);
    row.df2 = Value(s3);
  } else {  // a = p, b = chi-square, s2 = df
    row.statistic = Value(b);
    row.df = Value(s2);
  }
}

std::string Description(int c, const FSSettings& settings) {
  const bool mixed = settings.GetTypeAllPredictors() == NQFSCommon::Mixed;
  const std::string fTest = mixed ? "; continuous predictors: F test" : "";
  switch (c) {
    case NQFSCommon::Pearson:
      return "Pearson chi-square p-value, smallest first" + fTest;
    case NQFSCommon::Likelihood:
      return "likelihood-ratio chi-square p-value, smallest first" + fTest;
    case NQFSCommon::Cramer:
      return "Cramer's V, largest first";
    case NQFSCommon::Lambda:
      return "lambda measure of association, largest first";
    case NQFSCommon::FStat:
      if (!settings.IsCatTarget() && mixed) {
        return "F test p-value, smallest first; continuous predictors: correlation t test";
      }
      return "F test p-value, smallest first";
    default:
      return "correlation t test p-value, smallest first";
  }
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
    err << "fsrank: " << path << ": cannot write the " << what << " document\n";
    return kExitInput;
  }
  const NQStatus status = write(file);
  file.close();
  if (status.IsError()) {
    std::remove(path.c_str());
    err << "fsrank: " << path << ": the " << what
        << " document was not written: " << StatusText(status) << "\n";
    return status.GetErrorCode() == NQFeature::StatusCancelled ? kExitCancelled : kExitLibrary;
  }
  if (!file) {
    err << "fsrank: " << path << ": write error\n";
    return kExitInput;
  }
  return kExitOk;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Restores the state and checks it against its description.
int RestoreState(const std::string& path, const ColumnSchema& schema,
                 std::unique_ptr<IFSAlgorithm>& algorithm, std::ostream& err) {
  FSFactory factory;
  if (EndsWith(path, ".xml")) {
    std::ifstream file(path, std::ios::in);
    algorithm.reset(factory.RestoreFSAlgorithmFromXML(file));
  } else {
    std::fstream file(path, std::ios::in | std::ios::binary);
    algorithm.reset(factory.RestoreFSAlgorithmFromBinary(file));
  }
  if (!algorithm) {
    err << "fsrank: " << path
        << ": the state cannot be restored: " << StatusText(factory.GetStatus()) << "\n";
    return kExitInput;
  }
  const std::string mismatch = Mismatch(schema, *algorithm);
  if (!mismatch.empty()) {
    err << "fsrank: " << SidecarPath(path) << ": does not describe the state in " << path << ": "
        << mismatch << "\n";
    return kExitInput;
  }
  return kExitOk;
}

// Saves the state (binary, or XML when the name ends in .xml) and its description next to it.
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
    err << "fsrank: " << path << ": the state was not saved: " << StatusText(status) << "\n";
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
    err << "fsrank: " << (written ? sidecar : path) << ": cannot write the saved state\n";
    return kExitInput;
  }
  return kExitOk;
}

// Tells what stopped a data pass, or kExitOk (-1 when it did not stop: a warning or nothing).
int PassOutcome(const NQStatus& status, const CsvRecordIterator& records,
                const RecordSource& source, const std::atomic<bool>& cancel, std::ostream& err) {
  if (cancel.load() || status.GetErrorCode() == NQFeature::StatusCancelled) {
    err << "fsrank: cancelled after " << source.RowsCommitted() << " records\n";
    return kExitCancelled;
  }
  if (!records.Error().empty()) {
    err << "fsrank: " << records.Error() << "\n";
    return kExitInput;
  }
  if (!status.IsError()) return -1;
  if (status.GetErrorCode() == NQFeature::StatusNoValidData && source.RowsCommitted() == 0) {
    err << "fsrank: " << source.SourceName() << ": there is no data row after the header\n";
    return kExitInput;
  }
  err << "fsrank: " << StatusText(status) << "\n";
  const long code = status.GetErrorCode();
  return code == NQFeature::StatusNoValidData || code == NQFeature::StatusNoValidWeight
             ? kExitInput
             : kExitLibrary;
}

}  // namespace

int RunRanking(const Options& options, ColumnSchema& schema, RecordSource* source,
               const std::atomic<bool>& cancel, bool progress, std::ostream& out,
               std::ostream& err) {
  // A new run owns its settings; a restored algorithm owns the settings it read.
  FSSettings hostSettings;
  std::unique_ptr<IFSAlgorithm> algorithm;
  if (options.command == Command::kResume) {
    const int code = RestoreState(options.state_file, schema, algorithm, err);
    if (code != kExitOk) return code;
    ApplyScreening(*algorithm->GetSettings(), options);
  } else {
    hostSettings = MakeSettings(schema, options);
  }
  FSSettings& settings = algorithm ? *algorithm->GetSettings() : hostSettings;
  const bool catTarget = settings.IsCatTarget();
  std::string error;
  if (!ApplyCriteria(settings, options.criteria, error)) {
    err << "fsrank: " << error << "\n";
    return kExitUsage;
  }
  if (options.export_criterion >= 0 &&
      !settings.GetCriterion(static_cast<RankCriteria>(options.export_criterion))) {
    std::string computed;
    for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
      if (settings.GetCriterion(static_cast<RankCriteria>(c))) {
        computed += (computed.empty() ? "" : ", ") + CriterionName(c);
      }
    }
    err << "fsrank: --criterion " << CriterionName(options.export_criterion)
        << " is not among the criteria computed (" << computed << ")\n";
    return kExitUsage;
  }
  if (!algorithm) {
    FSFactory factory;
    algorithm.reset(factory.CreateFSAlgorithm(&settings));
    if (!algorithm) {
      err << "fsrank: the library could not start: " << StatusText(factory.GetStatus()) << "\n";
      return kExitLibrary;
    }
  }

  FlagCancel cancelQuery(cancel);
  algorithm->SetCancelPtr(&cancelQuery);
  std::unique_ptr<TerminalProgress> listener;
  if (progress) {
    listener = std::make_unique<TerminalProgress>(err);
    algorithm->SetProgressListener(listener.get());
    settings.SetNSkippedRecordReports(999);
    settings.SetNSkippedPredictorReports(0);
  }

  NQStatus status = algorithm->GetStatus();
  if (source) {
    CsvRecordIterator records(*source, schema.RecordSize());
    status = algorithm->Accumulate(records, options.max_records);
    if (listener) listener->Clear();
    const int code = PassOutcome(status, records, *source, cancel, err);
    if (code >= 0) return code;
    schema.rows += static_cast<long>(source->RowsCommitted());
    schema.sources.push_back(source->SourceName());
  }
  // The state is saved right after the data pass, before anything is screened out, so that a
  // resumed run can add data and then screen and rank as one run over all of it would.
  if (!options.save_state.empty()) {
    const int code = SaveStateFiles(*algorithm, options.save_state, schema, err);
    if (code != kExitOk) return code;
  }
  // Each step stores its status in the algorithm; an error stops the chain, a warning (nothing
  // left to rank) ends it early but still gives a report.
  if (status.IsOK()) status = algorithm->CheckPredAllMissConst();
  if (status.IsOK() && !options.no_screen) status = algorithm->ScreenPredictors();
  if (status.IsOK()) status = algorithm->SortAndRank(0);
  if (listener) listener->Clear();
  if (cancel.load() || status.GetErrorCode() == NQFeature::StatusCancelled) {
    err << "fsrank: cancelled\n";
    return kExitCancelled;
  }
  if (status.IsError()) {
    err << "fsrank: " << StatusText(status) << "\n";
    return kExitLibrary;
  }

  RankingReport report;
  for (const std::string& name : schema.sources)
    report.file += (report.file.empty() ? "" : ", ") + name;
  report.target = schema.target.name;
  report.target_type = TypeName(schema.target.type);
  report.predictors = schema.predictors.size();
  report.categorical_predictors = static_cast<std::size_t>(settings.GetNCatPredictors());
  algorithm->GetNValidNExcluded(report.weighted_valid, report.weighted_excluded, report.valid,
                                report.excluded);
  report.weighted = !schema.weight.empty();
  report.skipped = schema.rows - report.valid - report.excluded;
  for (int k = 0; k < algorithm->GetNTargetCategories(); ++k) {
    int code = -1;
    std::pair<int, double> counts;
    if (!algorithm->GetTargetCategoryInfo(k, code, counts)) continue;
    report.target_categories.push_back(
        {schema.target.labels.Label(code), counts.first, counts.second});
  }

  const ScreeningThresholds thresholds = Thresholds(settings);
  const std::vector<int>& deleted = algorithm->GetIndicesDelPred();
  const std::vector<int>& reasons = algorithm->GetReasonsDelPred();
  for (std::size_t k = 0; k < deleted.size() && k < reasons.size(); ++k) {
    const SchemaColumn& col = schema.predictors[static_cast<std::size_t>(deleted[k])];
    report.screened.push_back({col.name, deleted[k], TypeName(col.type), reasons[k],
                               ReasonWord(reasons[k]), ReasonText(reasons[k], thresholds)});
  }

  const int remaining = static_cast<int>(schema.predictors.size()) - algorithm->GetNDeletedPred();
  const int shown = options.top < 0 ? settings.GetNBestPredictors(0) : options.top;
  if (status.IsWarning()) {
    report.note = "Nothing was ranked: " + StatusText(status) + ".";
  } else {
    const bool mixedContTarget = !catTarget && settings.GetTypeAllPredictors() == NQFSCommon::Mixed;
    for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
      const auto criterion = static_cast<RankCriteria>(c);
      if (!settings.GetCriterion(criterion)) continue;
      // With a continuous target and mixed predictors the F-Statistic list ranks the t tests of
      // the continuous predictors too; the t-Statistic would repeat it.
      if (c == NQFSCommon::TStat && mixedContTarget) continue;
      std::vector<int> indices;
      std::vector<double> values;
      const NQStatus top = algorithm->GetTopPredictors(criterion, indices, values, -1);
      if (top.IsError()) {
        err << "fsrank: " << CriterionName(c) << ": " << StatusText(top) << "\n";
        return kExitLibrary;
      }
      CriterionRanking ranking;
      ranking.name = CriterionName(c);
      ranking.value_label = c == NQFSCommon::Cramer   ? "V"
                            : c == NQFSCommon::Lambda ? "lambda"
                                                      : "p-value";
      ranking.description = Description(c, settings);
      ranking.ranked = indices.size();
      for (std::size_t k = 0; k < indices.size(); ++k) {
        if (shown > 0 && k >= static_cast<std::size_t>(shown)) break;
        const SchemaColumn& col = schema.predictors[static_cast<std::size_t>(indices[k])];
        RankedPredictor row;
        row.rank = static_cast<int>(k) + 1;
        row.name = col.name;
        row.index = indices[k];
        row.type = TypeName(col.type);
        row.value = Value(values[k]);
        FillStatistics(*algorithm, c, indices[k], col.type == ColumnType::kCategorical, catTarget,
                       row);
        ranking.predictors.push_back(std::move(row));
      }
      report.criteria.push_back(std::move(ranking));
    }
  }
  WriteReport(out, report, options.format);
  out.flush();

  int code = kExitOk;
  if (!options.export_one.empty()) {
    const int n = shown <= 0 || shown >= remaining ? 0 : shown;
    const auto criterion = static_cast<RankCriteria>(options.export_criterion);
    code = WriteExport(options.export_one, "FSOutputOne", err, [&](std::ostream& stream) {
      return algorithm->ExportOneXML(stream, criterion, n);
    });
  }
  if (!options.export_all.empty() && code == kExitOk) {
    code = WriteExport(options.export_all, "FSOutputAll", err,
                       [&](std::ostream& stream) { return algorithm->ExportAllXML(stream); });
  }
  return code;
}

int RunCheck(const Options& options, const ColumnSchema& schema, RecordSource& source,
             const std::atomic<bool>& cancel, bool progress, std::ostream& out, std::ostream& err) {
  // The target type is irrelevant here: the check reads no target.
  FSSettings settings = MakeSettings(schema, options);
  FSFactory factory;
  std::unique_ptr<IFSAlgorithm> algorithm(factory.CreateFSAlgorithm(&settings));
  if (!algorithm) {
    err << "fsrank: the library could not start: " << StatusText(factory.GetStatus()) << "\n";
    return kExitLibrary;
  }
  FlagCancel cancelQuery(cancel);
  algorithm->SetCancelPtr(&cancelQuery);
  std::unique_ptr<TerminalProgress> listener;
  if (progress) {
    listener = std::make_unique<TerminalProgress>(err);
    algorithm->SetProgressListener(listener.get());
    settings.SetNSkippedRecordReports(999);
    settings.SetNSkippedPredictorReports(0);
  }

  CsvRecordIterator records(source, schema.RecordSize());
  std::vector<int> indices;
  std::vector<std::vector<int>> reasons;
  const NQStatus status =
      algorithm->CheckPredictorsNoTarget(records, indices, reasons, options.max_records);
  if (listener) listener->Clear();
  // The check's statuses about unusable data are warnings; the counts below tell them apart.
  const int code = PassOutcome(status, records, source, cancel, err);
  if (code >= 0) return code;
  CheckReport report;
  report.file = source.SourceName();
  report.categorical_columns = static_cast<std::size_t>(settings.GetNCatPredictors());
  report.weighted = !schema.weight.empty();
  double valid = 0.0, excluded = 0.0;
  int nValid = 0, nExcluded = 0;
  algorithm->GetNValidNExcluded(valid, excluded, nValid, nExcluded);
  // This pass has no target to make a record valid: every record it reads counts as excluded.
  report.records = nValid + nExcluded;
  report.weighted_records = valid + excluded;
  report.skipped = static_cast<long>(source.RowsCommitted()) - report.records;
  if (source.RowsCommitted() == 0) {
    err << "fsrank: " << source.SourceName() << ": there is no data row after the header\n";
    return kExitInput;
  }
  if (report.records == 0) {
    err << "fsrank: " << StatusText(NQStatus(NQFeature::StatusNoValidWeight, true)) << "\n";
    return kExitInput;
  }
  for (std::size_t p = 0; p < schema.predictors.size(); ++p) {
    const SchemaColumn& col = schema.predictors[p];
    CheckedColumn column{col.name, static_cast<int>(p), TypeName(col.type), {}};
    for (std::size_t k = 0; k < indices.size() && k < reasons.size(); ++k) {
      if (indices[k] == static_cast<int>(p)) column.reasons = reasons[k];
    }
    report.columns.push_back(std::move(column));
  }
  WriteCheckReport(out, report, Thresholds(settings), options.format);
  out.flush();
  return kExitOk;
}

}  // namespace fsrank_cli
