// The data pass over a wide file read by several threads: each thread that parses a block feeds
// its rows to an algorithm of the block's own, and the main thread merges those algorithms, in
// file order, into the one that ranks. For a given number of threads (which sets the size of
// the blocks) the outcome is the same from run to run; it differs from reading with one
// algorithm only by the rounding of the merged sums.
#ifndef FSRANK_TOOLS_PARALLEL_PASS_H
#define FSRANK_TOOLS_PARALLEL_PASS_H

#include <fsrank/fsrank.h>

#include <atomic>
#include <memory>
#include <string>

#include "data_source.h"
#include "value_guard.h"

namespace fsrank_cli {

struct ParallelPass {
  NQFeature::NQStatus status;         // as IFSAlgorithm::Accumulate's
  std::string error;                  // a fault of the file (a malformed row), said in words
  std::unique_ptr<ValueGuard> guard;  // the values replaced, for the warnings
  // Settings of an algorithm of a block that became the one that ranks (when the rows before
  // it had no valid data): they must live as long as it.
  std::unique_ptr<FSSettings> adopted_settings;
};

// Runs the data pass of `algorithm` (new or restored, with its cancel query and progress
// listener attached) over the rows of `source` (its plan set, with more than one thread),
// read as `schema` describes, counting at most `max_records` records with a usable weight
// (< 0: all). `algorithm` may be replaced by a block's, which then takes over the listener.
ParallelPass AccumulateInParallel(std::unique_ptr<IFSAlgorithm>& algorithm, CsvDataSource& source,
                                  const ColumnSchema& schema, int max_records,
                                  const std::atomic<bool>& cancel);

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_PARALLEL_PASS_H
