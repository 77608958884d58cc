// The one part of the program that talks to the library: it describes the columns in
// FSSettings, streams the encoded rows through a RecordIterator, runs the data pass, screening
// and ranking, and turns the results into a RankingReport.
#ifndef FSRANK_TOOLS_RANKER_H
#define FSRANK_TOOLS_RANKER_H

#include <atomic>
#include <ostream>

#include "data_source.h"
#include "options.h"

namespace fsrank_cli {

// Runs the ranking of `source` (whose plan is set), prints the report on `out` and writes the
// export documents. Messages go to `err`, and the progress line too when `progress` is true.
// `cancel` is raised by the Ctrl-C handler. Returns the exit code.
int RunRanking(const Options& options, CsvDataSource& source, const std::atomic<bool>& cancel,
               bool progress, std::ostream& out, std::ostream& err);

// Runs the check without a target over `source` (whose plan has no target) and prints which
// screening rules each column breaks. Returns the exit code.
int RunCheck(const Options& options, CsvDataSource& source, const std::atomic<bool>& cancel,
             bool progress, std::ostream& out, std::ostream& err);

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_RANKER_H
