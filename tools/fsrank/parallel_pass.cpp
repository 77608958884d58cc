#include "parallel_pass.h"

#include <algorithm>
#include <climits>
#include <new>
#include <utility>
#include <vector>

namespace fsrank_cli {

using NQFeature::NQStatus;

namespace {

bool NoValidRecords(const NQStatus& status) {
  return status.IsError() && (status.GetErrorCode() == NQFeature::StatusNoValidData ||
                              status.GetErrorCode() == NQFeature::StatusNoValidWeight);
}

// Records counted by the library's limit: those with a usable weight.
long Counted(const IFSAlgorithm& algorithm) {
  double valid = 0.0, excluded = 0.0;
  int n_valid = 0, n_excluded = 0;
  algorithm.GetNValidNExcluded(valid, excluded, n_valid, n_excluded);
  return static_cast<long>(n_valid) + n_excluded;
}

// The rows of a block as the library's records, each guarded as it is handed out. A row counts
// as used once the library asks for the next (as CsvRecordIterator has it).
class BlockRecords : public NQCommon::RecordIterator {
 public:
  BlockRecords(const ParsedBlock& block, std::size_t size, ValueGuard& guard)
      : block_(block), size_(size), guard_(guard), record_(static_cast<int>(size)) {}

  bool Next() override {
    if (pending_) {
      pending_ = false;
      ++used_;
    }
    if (next_ == block_.rows || static_cast<std::size_t>(record_.Size()) < size_) return false;
    double* out = record_.GetAll();
    std::copy_n(block_.values.data() + next_ * size_, size_, out);
    guard_.Apply(out, size_, ++next_);
    pending_ = true;
    return true;
  }
  NQCommon::Record* GetRecord() override { return &record_; }
  std::size_t Used() const { return used_; }
  std::size_t Taken() const { return next_; }

 private:
  const ParsedBlock& block_;
  std::size_t size_;
  ValueGuard& guard_;
  NQCommon::Record record_;
  std::size_t next_ = 0;
  std::size_t used_ = 0;
  bool pending_ = false;
};

// A block's rows in an algorithm of their own.
struct BlockPart : BlockWork {
  std::unique_ptr<FSSettings> settings;
  std::unique_ptr<IFSAlgorithm> algorithm;
  std::unique_ptr<ValueGuard> guard;
  NQStatus status;
  std::size_t used = 0;   // rows the pass used
  std::size_t taken = 0;  // rows handed to it (one more than used when it stopped at a limit)
};

// What every block's algorithm starts from: settings without the progress listener (which only
// the main thread may call) and a guard that has replaced nothing.
struct PartPrototype {
  FSSettings settings;
  ValueGuard guard;
  std::size_t record_size;
};

void Feed(const PartPrototype& prototype, const ParsedBlock& block, int limit, BlockPart& part) {
  part.settings = std::make_unique<FSSettings>(prototype.settings);
  FSFactory factory;
  part.algorithm.reset(factory.CreateFSAlgorithm(part.settings.get()));
  if (!part.algorithm) throw std::bad_alloc();
  part.guard = std::make_unique<ValueGuard>(prototype.guard);
  BlockRecords records(block, prototype.record_size, *part.guard);
  part.status = part.algorithm->Accumulate(records, limit);
  part.used = records.Used();
  part.taken = records.Taken();
}

// The pass's first records: the sample's rows, then the blocks' rows as long as their own
// algorithms found no valid record (so that the algorithm merged into holds at most the one
// error that says so). It stops before the first block with a valid record, which it keeps.
class LeadingRecords : public NQCommon::RecordIterator {
 public:
  LeadingRecords(CsvDataSource& source, const ColumnSchema& schema, ValueGuard& guard)
      : source_(source), guard_(guard), record_(schema.RecordSize()) {}

  bool Next() override {
    if (in_block_) {
      if (pending_) source_.CommitBlockRows(1);
    } else {
      source_.CommitLastRow();
    }
    pending_ = false;
    if (!error_.empty() || held_ != nullptr) return false;
    try {
      if (!in_block_) {
        if (source_.NextRow(values_)) return Hand(values_.data(), values_.size());
        in_block_ = true;
      }
      while (block_ == nullptr || row_ == block_->rows) {
        bool recoded = false;
        block_ = source_.NextBlock(recoded);
        row_ = 0;
        if (block_ == nullptr) return false;
        const auto* part = static_cast<const BlockPart*>(block_->work.get());
        if (part != nullptr && part->algorithm && !part->status.IsError()) {
          held_ = block_;
          held_recoded_ = recoded;
          return false;
        }
      }
    } catch (const std::exception&) {
      error_ = ReadFailure(source_);
      return false;
    }
    const std::size_t size = static_cast<std::size_t>(record_.Size());
    const double* row = block_->values.data() + row_ * size;
    ++row_;
    values_.assign(row, row + size);
    return Hand(values_.data(), size);
  }
  NQCommon::Record* GetRecord() override { return &record_; }

  const std::string& Error() const { return error_; }
  std::size_t Taken() const { return taken_; }
  // The block it stopped before, and whether its codes changed from the block's own.
  ParsedBlock* Held(bool& recoded) const {
    recoded = held_recoded_;
    return held_;
  }

 private:
  bool Hand(double* values, std::size_t size) {
    if (static_cast<std::size_t>(record_.Size()) < size) {
      error_ = "out of memory for a record";  // the record absorbed a failed allocation
      return false;
    }
    guard_.Apply(values, size, ++taken_);
    std::copy_n(values, size, record_.GetAll());
    pending_ = true;
    return true;
  }

  CsvDataSource& source_;
  ValueGuard& guard_;
  NQCommon::Record record_;
  std::vector<double> values_;
  bool in_block_ = false;
  bool pending_ = false;
  ParsedBlock* block_ = nullptr;
  std::size_t row_ = 0;
  ParsedBlock* held_ = nullptr;
  bool held_recoded_ = false;
  std::size_t taken_ = 0;
  std::string error_;
};

void Report(const IFSAlgorithm& algorithm, long counted) {
  ProgressListener* listener = algorithm.GetSettings()->GetProgressListener();
  if (listener == nullptr) return;
  FSReporter report(static_cast<int>(std::min<long>(counted, INT_MAX)), -1, 0.0);
  listener->OnProgress(report);
}

}  // namespace

ParallelPass AccumulateInParallel(std::unique_ptr<IFSAlgorithm>& algorithm, CsvDataSource& source,
                                  const ColumnSchema& schema, int max_records,
                                  const std::atomic<bool>& cancel) {
  ParallelPass pass;
  pass.guard = std::make_unique<ValueGuard>(schema);
  PartPrototype prototype{*algorithm->GetSettings(), ValueGuard(schema),
                          static_cast<std::size_t>(schema.RecordSize())};
  prototype.settings.SetProgressListener(nullptr);
  // The workers stop before anything they use goes.
  struct Stop {
    CsvDataSource& source;
    ~Stop() { source.StopReading(); }
  } stop{source};
  source.SetBlockWork([&prototype](ParsedBlock& block) {
    if (!block.work) block.work = std::make_unique<BlockPart>();
    auto& part = static_cast<BlockPart&>(*block.work);
    part.algorithm.reset();
    if (block.rows > 0) Feed(prototype, block, -1, part);
  });
  source.StopAtBlocks(true);

  const long before = Counted(*algorithm);
  LeadingRecords leading(source, schema, *pass.guard);
  pass.status = algorithm->Accumulate(leading, max_records);
  if (!leading.Error().empty()) {
    pass.error = leading.Error();
    return pass;
  }
  std::size_t taken = leading.Taken();
  long counted = Counted(*algorithm) - before;
  bool recoded = false;
  ParsedBlock* block = leading.Held(recoded);
  BlockPart again;
  while (block != nullptr && !cancel.load() &&
         (!pass.status.IsError() || NoValidRecords(pass.status)) &&
         (max_records < 0 || counted < max_records)) {
    auto* part = static_cast<BlockPart*>(block->work.get());
    if (part != nullptr && part->algorithm) {
      // Fed again here when its codes were not the file's, or when the limit falls inside it.
      const long room = max_records < 0 ? -1 : max_records - counted;
      if (recoded || (room >= 0 && Counted(*part->algorithm) >= room)) {
        Feed(prototype, *block, static_cast<int>(room), again);
        part = &again;
      }
      const long part_counted = Counted(*part->algorithm);
      if (NoValidRecords(pass.status)) {
        // Only the leading records were read, and none was valid: the block takes them in.
        const NQStatus merged = part->algorithm->Merge(*algorithm);
        if (!merged.IsOK()) {
          pass.status = merged;
          break;
        }
        ProgressListener* listener = algorithm->GetSettings()->GetProgressListener();
        algorithm = std::move(part->algorithm);
        pass.adopted_settings = std::move(part->settings);
        algorithm->SetProgressListener(listener);
      } else {
        const NQStatus merged = algorithm->Merge(*part->algorithm);
        if (!merged.IsOK()) {
          pass.status = merged;
          break;
        }
      }
      pass.status = algorithm->GetStatus();
      pass.guard->Merge(*part->guard, taken);
      taken += part->taken;
      counted += part_counted;
      source.CommitBlockRows(part->used);
      part->algorithm.reset();  // its memory goes back now, not when the block is parsed again
      Report(*algorithm, counted);
    }
    try {
      block = source.NextBlock(recoded);
    } catch (const std::exception&) {
      pass.error = ReadFailure(source);
      break;
    }
  }
  if (cancel.load()) pass.status = NQStatus(NQFeature::StatusCancelled, false);
  return pass;
}

}  // namespace fsrank_cli
