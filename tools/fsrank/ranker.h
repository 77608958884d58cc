// The one part of the program that talks to the library: it describes the columns in
// FSSettings, streams the encoded rows through a RecordIterator, runs the data pass, screening
// and ranking, and turns the results into a RankingReport.
#ifndef FSRANK_TOOLS_RANKER_H
#define FSRANK_TOOLS_RANKER_H

#include <atomic>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "data_source.h"
#include "options.h"

namespace fsrank_cli {

// Runs the ranking of the records of `source`, read as `schema` describes them, prints the
// report on `out` and writes the export documents and the saved state. When resuming, the
// algorithm is restored from the state file first and `source` (which may then be null) adds
// more data to it. New labels and the file read are added to `schema`. Messages go to `err`,
// and the progress line too when `progress` is true. `cancel` is raised by the Ctrl-C handler.
// Returns the exit code.
// With `kept` (fsrank select), the ranking is not printed; `kept` receives the predictors the
// selection keeps of its criterion instead.
struct KeptPredictors {
  std::string criterion;           // the criterion they were selected by
  std::vector<std::string> names;  // best first
  std::size_t ranked = 0;          // of how many ranked
};
int RunRanking(const Options& options, ColumnSchema& schema, RecordSource* source,
               const std::atomic<bool>& cancel, bool progress, std::ostream& out, std::ostream& err,
               KeptPredictors* kept = nullptr);

// Runs the check without a target (the schema has none) and prints which screening rules each
// column breaks; with --report, writes the HTML page too. Returns the exit code.
int RunCheck(const Options& options, const ColumnSchema& schema, RecordSource& source,
             const std::atomic<bool>& cancel, bool progress, std::ostream& out, std::ostream& err);

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_RANKER_H
