#include "ranker.h"

#include <fsrank/fsrank.h>

#include <algorithm>
#include <string>
#include <vector>

#include "report.h"
#include "session.h"

namespace fsrank_cli {

using NQFeature::NQStatus;
using NQFSCommon::RankCriteria;

int RunRanking(const Options& options, ColumnSchema& schema, RecordSource* source,
               const std::atomic<bool>& cancel, bool progress, std::ostream& out,
               std::ostream& err) {
  Session session;
  if (options.command == Command::kResume) {
    const int code = RestoreState(options.state_file, schema, session.algorithm, err);
    if (code != kExitOk) return code;
    ApplyScreening(session.Settings(), options);
  } else {
    session.own_settings = MakeSettings(schema, options);
  }
  FSSettings& settings = session.Settings();
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
  if (const int code = session.Start(cancel, progress, err); code != kExitOk) return code;
  IFSAlgorithm& algorithm = *session.algorithm;

  NQStatus status = algorithm.GetStatus();
  if (source) {
    CsvRecordIterator records(*source, schema);
    status = algorithm.Accumulate(records, options.max_records);
    session.ClearProgress();
    records.WriteWarnings(err);
    const int code = PassOutcome(status, records, *source, cancel, err);
    if (code >= 0) return code;
    schema.rows += static_cast<long>(source->RowsCommitted());
    schema.sources.push_back(source->SourceName());
  }
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
  WriteReport(out, report, options.format);
  out.flush();

  int code = kExitOk;
  if (!options.export_one.empty()) {
    const int remaining = static_cast<int>(schema.predictors.size()) - algorithm.GetNDeletedPred();
    const int n = shown <= 0 || shown >= remaining ? 0 : shown;
    const auto criterion = static_cast<RankCriteria>(options.export_criterion);
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
  const int code = PassOutcome(status, records, source, cancel, err);
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
    err << "fsrank: " << source.SourceName() << ": there is no data row after the header\n";
    return kExitInput;
  }
  if (report.records == 0) {
    err << "fsrank: " << StatusText(NQStatus(NQFeature::StatusNoValidWeight, true)) << "\n";
    return kExitInput;
  }
  WriteCheckReport(out, report, Thresholds(session.Settings()), options.format);
  out.flush();
  return kExitOk;
}

}  // namespace fsrank_cli
