// Turns the library's results after a run into the plain reports that output.h prints: the
// target's categories, the screened predictors with their reasons in words, and per criterion
// the ranked predictors with the statistics behind their values.
#ifndef FSRANK_TOOLS_REPORT_H
#define FSRANK_TOOLS_REPORT_H

#include <fsrank/fsrank.h>

#include <ostream>
#include <vector>

#include "output.h"
#include "schema.h"

namespace fsrank_cli {

// The thresholds in force, for wording the screening reasons.
ScreeningThresholds Thresholds(const FSSettings& settings);

// Fills `report` from a ranked (or, when `status` is a warning, unranked) algorithm, listing at
// most `shown` predictors per criterion (0: all). Returns kExitOk, or the exit code after
// saying on `err` which query failed.
int BuildRankingReport(const IFSAlgorithm& algorithm, const ColumnSchema& schema,
                       const NQFeature::NQStatus& status, int shown, RankingReport& report,
                       std::ostream& err);

// Marks in `report` how many of each criterion's whole ranked list `selection` keeps, and where
// it cuts; only criterion `only` when that is 0 or more; the criteria the rule does not fit
// (p-value rules on Cramer and Lambda) stay unmarked. Returns kExitOk, or the exit code after
// saying on `err` which query failed.
int ApplySelection(const IFSAlgorithm& algorithm, const NQFSSelect::Selection& selection, int only,
                   RankingReport& report, std::ostream& err);

// Fills `report` with every column of the check and the rules it breaks, from the pass's
// results `indices` and `reasons`. Both reports hold UTF-8 texts and finite numbers only: what
// could not be written so is replaced, with a warning on `err`.
void BuildCheckReport(const IFSAlgorithm& algorithm, const ColumnSchema& schema,
                      const std::vector<int>& indices, const std::vector<std::vector<int>>& reasons,
                      CheckReport& report, std::ostream& err);

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_REPORT_H
