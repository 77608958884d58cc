#include "ranker.h"

#include <fsrank/fsrank.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "html_report.h"
#include "parallel_pass.h"
#include "report.h"
#include "session.h"
#include "text.h"

#ifndef FSRANK_VERSION
#define FSRANK_VERSION "unknown"
#endif

namespace fsrank_cli {

using NQFeature::NQStatus;
using NQFSCommon::RankCriteria;

namespace {

using Clock = std::chrono::steady_clock;

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

RunFacts Facts(const Options& options, const FSSettings& settings, const std::string& started,
               Clock::time_point start) {
  static const char* const kCommands[] = {"rank", "check", "resume", "select"};
  RunFacts facts;
  facts.command = kCommands[static_cast<int>(options.command)];
  facts.started = started;
  facts.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  facts.version = FSRANK_VERSION;
  facts.thresholds = Thresholds(settings);
  facts.screening = !options.no_screen;
  return facts;
}

// The criterion `fsrank select` keeps predictors by: --criterion, or the first criterion
// computed that the rule fits. -1, said on `err`, when there is none.
int SelectionCriterion(const Options& options, const FSSettings& settings,
                       const NQFSSelect::Selection& selection, std::ostream& err) {
  const bool needsP = NQFSSelect::RuleNeedsPValues(selection.rule);
  if (options.criterion >= 0) {
    if (needsP && !NQFSSelect::CriterionHasPValues(static_cast<RankCriteria>(options.criterion))) {
      WriteError(err, "--select " + options.select + " tests p-values, and " +
                          CriterionName(options.criterion) +
                          " has none: use k= or percentile=, or a criterion with p-values");
      return -1;
    }
    return options.criterion;
  }
  if (options.command != Command::kSelect) return -1;  // every criterion the rule fits
  for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
    const auto criterion = static_cast<RankCriteria>(c);
    if (settings.GetCriterion(criterion) &&
        (!needsP || NQFSSelect::CriterionHasPValues(criterion))) {
      return c;
    }
  }
  WriteError(err, "--select " + options.select +
                      " tests p-values, and none of the criteria computed has them");
  return -1;
}

}  // namespace

int RunRanking(const Options& options, ColumnSchema& schema, RecordSource* source,
               const std::atomic<bool>& cancel, bool progress, std::ostream& out, std::ostream& err,
               KeptPredictors* kept) {
  const Clock::time_point start = Clock::now();
  const std::string started = UtcNow();
  NQFSSelect::Selection selection;
  if (!options.select.empty()) {
    std::string error;
    if (!NQFSSelect::ParseSelection(options.select, selection, error)) {
      WriteError(err, "--select: " + error);
      return kExitUsage;
    }
  }
  Session session;
  if (!options.state_file.empty()) {
    const int code = RestoreState(options.state_file, schema, session.algorithm, err);
    if (code != kExitOk) return code;
    ApplyScreening(session.Settings(), options);
  } else {
    session.own_settings = MakeSettings(schema, options);
  }
  FSSettings& settings = session.Settings();
  // Not part of a saved state: set again after a restore.
  settings.SetFlagExactTails(!options.complement_pvalues);
  std::string error;
  if (!ApplyCriteria(settings, options.criteria, error)) {
    WriteError(err, error);
    return kExitUsage;
  }
  if (options.criterion >= 0 &&
      !settings.GetCriterion(static_cast<RankCriteria>(options.criterion))) {
    std::string computed;
    for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
      if (settings.GetCriterion(static_cast<RankCriteria>(c))) {
        computed += (computed.empty() ? "" : ", ") + CriterionName(c);
      }
    }
    err << "fsrank: --criterion " << CriterionName(options.criterion)
        << " is not among the criteria computed (" << computed << ")\n";
    return kExitUsage;
  }
  int selectBy = -1;
  if (!options.select.empty()) {
    selectBy = SelectionCriterion(options, settings, selection, err);
    if (selectBy < 0 && (options.criterion >= 0 || options.command == Command::kSelect)) {
      return kExitUsage;
    }
  }
  if (const int code = session.Start(cancel, progress, err); code != kExitOk) return code;

  NQStatus status = session.algorithm->GetStatus();
  if (source) {
    auto* wide = dynamic_cast<CsvDataSource*>(source);
    std::string error;
    if (wide != nullptr && wide->Threads() > 1) {
      ParallelPass pass =
          AccumulateInParallel(session.algorithm, *wide, schema, options.max_records, cancel);
      if (pass.adopted_settings) session.adopted_settings = std::move(pass.adopted_settings);
      status = pass.status;
      error = pass.error;
      session.ClearProgress();
      pass.guard->WriteWarnings(err, source->SourceName());
    } else {
      CsvRecordIterator records(*source, schema);
      status = session.algorithm->Accumulate(records, options.max_records);
      session.ClearProgress();
      records.WriteWarnings(err);
      error = records.Error();
    }
    const int code = PassOutcome(status, error, *source, cancel, err);
    if (code >= 0) return code;
    schema.rows += static_cast<long>(source->RowsCommitted());
    schema.sources.push_back(source->SourceName());
  }
  IFSAlgorithm& algorithm = *session.algorithm;
  // The state is saved right after the data pass, before anything is screened out, so that a
  // resumed run can add data and then screen and rank as one run over all of it would.
  if (!options.save_state.empty()) {
    const int code = SaveStateFiles(algorithm, options.save_state, schema, err);
    if (code != kExitOk) return code;
  }
  // Each step stores its status in the algorithm; an error stops the chain, a warning (nothing
  // left to rank) ends it early but still gives a report.
  if (status.IsOK()) status = algorithm.CheckPredAllMissConst();
  if (status.IsOK() && !options.no_screen) status = algorithm.ScreenPredictors();
  if (status.IsOK()) status = algorithm.SortAndRank(0);
  session.ClearProgress();
  if (cancel.load() || status.GetErrorCode() == NQFeature::StatusCancelled) {
    err << "fsrank: cancelled\n";
    return kExitCancelled;
  }
  if (status.IsError()) {
    err << "fsrank: " << StatusText(status) << "\n";
    return kExitLibrary;
  }

  const int shown = options.top < 0 ? settings.GetNBestPredictors(0) : options.top;
  RankingReport report;
  if (const int code = BuildRankingReport(algorithm, schema, status, shown, report, err);
      code != kExitOk) {
    return code;
  }
  if (!options.select.empty()) {
    if (const int code = ApplySelection(algorithm, selection, selectBy, report, err);
        code != kExitOk) {
      return code;
    }
  }
  if (kept) {
    // The names of the kept predictors, from the criterion's whole list.
    kept->criterion = CriterionName(selectBy);
    for (const CriterionRanking& ranking : report.criteria) {
      if (ranking.name != kept->criterion || !ranking.selected) continue;
      std::vector<int> indices;
      std::vector<double> values;
      algorithm.GetTopPredictors(static_cast<RankCriteria>(selectBy), indices, values, -1);
      kept->ranked = indices.size();
      for (std::size_t k = 0; k < *ranking.selected && k < indices.size(); ++k) {
        kept->names.push_back(schema.predictors[static_cast<std::size_t>(indices[k])].name);
      }
    }
  } else {
    WriteReport(out, report, options.format);
    out.flush();
  }
  if (!options.report.empty()) {
    // The page lists every ranked predictor.
    RankingReport full;
    int code = BuildRankingReport(algorithm, schema, status, 0, full, err);
    if (code == kExitOk && !options.select.empty()) {
      code = ApplySelection(algorithm, selection, selectBy, full, err);
    }
    if (code == kExitOk) {
      const RunFacts facts = Facts(options, settings, started, start);
      code = WriteExport(options.report, "HTML report", err, [&](std::ostream& stream) {
        WriteHtmlReport(stream, full, facts);
        return NQStatus();
      });
    }
    if (code != kExitOk) return code;
  }

  int code = kExitOk;
  if (!options.export_one.empty()) {
    const int remaining = static_cast<int>(schema.predictors.size()) - algorithm.GetNDeletedPred();
    const int n = shown <= 0 || shown >= remaining ? 0 : shown;
    const auto criterion = static_cast<RankCriteria>(options.criterion);
    code = WriteExport(options.export_one, "FSOutputOne", err, [&](std::ostream& stream) {
      return algorithm.ExportOneXML(stream, criterion, n);
    });
  }
  if (!options.export_all.empty() && code == kExitOk) {
    code = WriteExport(options.export_all, "FSOutputAll", err,
                       [&](std::ostream& stream) { return algorithm.ExportAllXML(stream); });
  }
  return code;
}

int RunCheck(const Options& options, const ColumnSchema& schema, RecordSource& source,
             const std::atomic<bool>& cancel, bool progress, std::ostream& out, std::ostream& err) {
  const Clock::time_point start = Clock::now();
  const std::string started = UtcNow();
  // The target type is irrelevant here: the check reads no target.
  Session session;
  session.own_settings = MakeSettings(schema, options);
  if (const int code = session.Start(cancel, progress, err); code != kExitOk) return code;
  IFSAlgorithm& algorithm = *session.algorithm;

  CsvRecordIterator records(source, schema);
  std::vector<int> indices;
  std::vector<std::vector<int>> reasons;
  const NQStatus status =
      algorithm.CheckPredictorsNoTarget(records, indices, reasons, options.max_records);
  session.ClearProgress();
  records.WriteWarnings(err);
  // The check's statuses about unusable data are warnings; the counts below tell them apart.
  const int code = PassOutcome(status, records.Error(), source, cancel, err);
  if (code >= 0) return code;
  // The pass lists the screening rules each column breaks; a column with every value missing
  // or with one value only is what the check that runs before them finds, and deletes here
  // only to report it.
  algorithm.CheckPredAllMissConst();
  const std::vector<int>& deleted = algorithm.GetIndicesDelPred();
  const std::vector<int>& why = algorithm.GetReasonsDelPred();
  for (std::size_t d = 0; d < deleted.size() && d < why.size(); ++d) {
    const auto at = std::find(indices.begin(), indices.end(), deleted[d]);
    if (at == indices.end()) {
      indices.push_back(deleted[d]);
      reasons.push_back({why[d]});
    } else {
      std::vector<int>& list = reasons[static_cast<std::size_t>(at - indices.begin())];
      list.insert(list.begin(), why[d]);
    }
  }
  CheckReport report;
  report.file = source.SourceName();
  BuildCheckReport(algorithm, schema, indices, reasons, report, err);
  report.skipped = static_cast<long>(source.RowsCommitted()) - report.records;
  if (source.RowsCommitted() == 0) {
    WriteError(err, source.SourceName() + ": there is no data row after the header");
    return kExitInput;
  }
  if (report.records == 0) {
    err << "fsrank: " << StatusText(NQStatus(NQFeature::StatusNoValidWeight, true)) << "\n";
    return kExitInput;
  }
  WriteCheckReport(out, report, Thresholds(session.Settings()), options.format);
  out.flush();
  if (!options.report.empty()) {
    const RunFacts facts = Facts(options, session.Settings(), started, start);
    return WriteExport(options.report, "HTML report", err, [&](std::ostream& stream) {
      WriteHtmlCheckReport(stream, report, facts);
      return NQStatus();
    });
  }
  return kExitOk;
}

}  // namespace fsrank_cli
