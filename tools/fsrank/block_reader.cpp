#include "block_reader.h"

#include <fsrank/fsrank.h>
#include <sched.h>
#include <tbb/global_control.h>
#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

// oneTBB hands blocks from stage to stage inside its own library, which ThreadSanitizer does not
// see; the stages say it themselves.
#if defined(__SANITIZE_THREAD__)
#define FSRANK_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define FSRANK_TSAN 1
#endif
#endif
#ifdef FSRANK_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#define FSRANK_HANDOFF_RELEASE(p) __tsan_release(p)
#define FSRANK_HANDOFF_ACQUIRE(p) __tsan_acquire(p)
#else
#define FSRANK_HANDOFF_RELEASE(p) static_cast<void>(p)
#define FSRANK_HANDOFF_ACQUIRE(p) static_cast<void>(p)
#endif

namespace fsrank_cli {

std::uint64_t LabelTable::Key(std::string_view label) {
  std::uint64_t key = 0;
  if (label.size() <= 8) {
    for (std::size_t k = 0; k < label.size(); ++k)
      key |= std::uint64_t{static_cast<unsigned char>(label[k])} << (8 * k);
    return key;
  }
  key = 1469598103934665603ull;  // FNV-1a
  for (const char c : label)
    key = (key ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return key;
}

int LabelTable::FindLonger(std::string_view label) const {
  if (slots_.empty()) return -1;
  const std::uint64_t key = Key(label);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t k = Home(key);; k = (k + 1) & mask) {
    const Slot& slot = slots_[k];
    if (slot.code < 0) return -1;
    if (Matches(slot, key, label)) return slot.code;
  }
}

void LabelTable::Add(std::string_view label, int code) {
  ++count_;
  if (label.size() == 1) {
    if (single_.empty()) single_.assign(256, -1);
    single_[static_cast<unsigned char>(label[0])] = code;
    return;
  }
  if (count_ * 2 > slots_.size()) {
    // Grow to keep at most half the slots in use.
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot());
    shift_ = 64;
    for (std::size_t n = slots_.size(); n > 1; n >>= 1)
      --shift_;
    for (const Slot& slot : old) {
      if (slot.code < 0) continue;
      std::size_t k = Home(slot.key);
      while (slots_[k].code >= 0)
        k = (k + 1) & (slots_.size() - 1);
      slots_[k] = slot;
    }
  }
  Slot slot;
  slot.key = Key(label);
  slot.length = static_cast<std::uint32_t>(label.size());
  slot.code = code;
  if (label.size() > 8) {
    slot.text = text_.size();
    text_.append(label);
  }
  std::size_t k = Home(slot.key);
  while (slots_[k].code >= 0)
    k = (k + 1) & (slots_.size() - 1);
  slots_[k] = slot;
}

void LabelTable::Clear() {
  if (count_ == 0) return;
  if (!single_.empty()) single_.assign(256, -1);
  for (Slot& slot : slots_)
    slot.code = -1;
  count_ = 0;
  text_.clear();
}

namespace {

// The sink of SplitRows that encodes each field into the block's records.
class Encoder {
 public:
  // The block's bytes may be read up to `readable`.
  Encoder(const RowPlan& plan, ParsedBlock& block, const char* readable)
      : plan_(plan), block_(block), bytes_(block.bytes.data()), readable_(readable) {
    block_.rows = 0;
    Reserve();
  }

  void Field(std::size_t k, std::string_view text, long line) {
    if (k >= plan_.actions.size()) return;
    const ColumnAction& action = plan_.actions[k];
    double& out = row_[action.position];
    switch (action.kind) {
      case ColumnAction::kSkip:
        return;
      case ColumnAction::kNumber:
        if (plan_.missing.IsMissing(text)) {
          out = NQMV::Missing();
        } else if (!ParseNumber(text, Readable(text), out)) {
          out = NQMV::Missing();
          Note(k, text, line);
        }
        return;
      case ColumnAction::kLabel:
        out = plan_.missing.IsMissing(text)
                  ? NQMV::Missing()
                  : static_cast<double>(block_.labels[action.labels].Encode(Trim(text)));
        return;
      case ColumnAction::kId: {
        // The identifier only has to tell cases apart; text identifiers pass as missing.
        double id = NQMV::Missing();
        ParseNumber(text, Readable(text), id);
        out = id;
        return;
      }
    }
  }

  bool Row(std::size_t fields, long line) {
    if (fields != plan_.actions.size()) {
      block_.failed = true;
      block_.error_line = line;
      block_.error = FieldCountMessage(fields, plan_.actions.size());
      // Values of the bad row are not unparsable values of a row that counts.
      while (!block_.unparsable.empty() && block_.unparsable.back().row == block_.rows) {
        block_.unparsable.pop_back();
      }
      return false;
    }
    ++block_.rows;
    Reserve();
    return true;
  }

 private:
  void Reserve() {
    const std::size_t need = (block_.rows + 1) * plan_.record_size;
    if (block_.values.size() < need) {
      block_.values.resize(std::max(need, block_.values.size() * 2));
    }
    row_ = block_.values.data() + block_.rows * plan_.record_size;
  }

  // How far the bytes of `text` may be read: to the padding after the block for a field in the
  // block, to its end for a quoted field, whose text is elsewhere.
  const char* Readable(std::string_view text) const {
    const std::less_equal<const char*> before;
    return before(bytes_, text.data()) && before(text.data(), readable_)
               ? readable_
               : text.data() + text.size();
  }

  void Note(std::size_t column, std::string_view text, long line) {
    block_.unparsable.push_back({block_.rows, column});
    for (const auto& first : block_.first_unparsable) {
      if (first.column == column) return;
    }
    block_.first_unparsable.push_back({column, line, std::string(text)});
  }

  const RowPlan& plan_;
  ParsedBlock& block_;
  const char* bytes_;
  const char* readable_;
  double* row_ = nullptr;
};

}  // namespace

std::string FieldCountMessage(std::size_t fields, std::size_t header) {
  return "the row has " + std::to_string(fields) + (fields == 1 ? " field" : " fields") +
         " but the header has " + std::to_string(header);
}

void ParseBlock(const RowPlan& plan, ParsedBlock& block) {
  block.rows = 0;
  block.unparsable.clear();
  block.first_unparsable.clear();
  block.lines = 0;
  block.failed = false;
  block.error_line = 0;
  block.error.clear();
  block.labels.resize(plan.known_labels.size());
  for (std::size_t t = 0; t < block.labels.size(); ++t)
    block.labels[t].Reset(&plan.known_labels[t], plan.known_labels[t].Size());
  switch (block.cut) {
    case BlockCutter::Cut::kRows:
      break;
    case BlockCutter::Cut::kOverlong: {
      // The block holds only the start of the long row, maybe after empty lines.
      block.failed = true;
      for (std::size_t k = 0; k < block.bytes.size(); ++k) {
        const char c = block.bytes[k];
        if (c != '\n' && c != '\r') break;
        if (c == '\n' && k > 0 && block.bytes[k - 1] == '\r') continue;
        ++block.error_line;
      }
      block.error = OverlongRowMessage(plan.max_row, block.quoted_at_end);
      return;
    }
    case BlockCutter::Cut::kReadError:
      block.failed = true;
      block.error = "read error";
      return;
    case BlockCutter::Cut::kEnd:
      return;
  }
  const std::size_t size = block.bytes.size();
  // The splitter's sentinel, and room for the number parser to read eight bytes at a time.
  block.bytes.resize(size + kSplitPadding, '\n');
  Encoder encoder(plan, block, block.bytes.data() + block.bytes.size());
  long line = 0;
  const SplitEnd end = SplitRows(block.bytes.data(), block.bytes.data() + size, plan.delimiter,
                                 block.scratch, line, encoder, plan.max_row);
  block.bytes.resize(size);
  block.lines = line;
  if (end == SplitEnd::kUnclosedQuote || end == SplitEnd::kOverlong) {
    block.failed = true;
    block.error_line = line;
    block.error = end == SplitEnd::kOverlong
                      ? OverlongRowMessage(plan.max_row, false)
                      : "quoted field is not closed before the end of the file";
  }
}

int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

namespace {

int ParsingThreads(int threads) {
  return std::min(std::max(threads, 1), BlockReader::kMaxThreads);
}

// A block for each parsing thread, one more being cut, one handed out and one ready.
int BlocksInFlight(int threads) {
  return threads == 1 ? 1 : threads + 3;
}

std::size_t BlockSize(std::size_t wanted, int threads) {
  const std::size_t share =
      BlockReader::kTextInFlight / static_cast<std::size_t>(BlocksInFlight(threads));
  return std::max(std::min(std::max<std::size_t>(wanted, 1), share),
                  std::min(wanted, BlockReader::kMinBlock));
}

}  // namespace

BlockReader::BlockReader(std::istream& in, std::string_view buffered, RowPlan plan, int threads,
                         std::size_t block_size, const std::atomic<bool>* cancel,
                         AfterParse after_parse)
    : block_size_(BlockSize(block_size, ParsingThreads(threads))),
      cutter_(in, buffered, plan.delimiter, block_size_, plan.max_row),
      plan_(std::move(plan)),
      cancel_(cancel),
      after_parse_(std::move(after_parse)) {
  threads = ParsingThreads(threads);
  const int count = BlocksInFlight(threads);
  for (int k = 0; k < count; ++k) {
    blocks_.push_back(std::make_unique<ParsedBlock>());
    free_.push_back(blocks_.back().get());
  }
  if (threads > 1) {
    FSRANK_HANDOFF_RELEASE(&plan_);
    worker_ = std::thread([this, threads] { Work(threads); });
  }
}

void BlockReader::Parse(ParsedBlock& block) {
  ParseBlock(plan_, block);
  if (after_parse_ && block.cut != BlockCutter::Cut::kEnd) after_parse_(block);
}

// A block that held a long row gives its memory back, so that a few long rows do not keep
// every block at their size.
void BlockReader::Release(ParsedBlock& block) const {
  const std::size_t limit = 4 * block_size_ + (std::size_t{1} << 16);
  if (block.bytes.capacity() > limit) ByteBuffer().swap(block.bytes);
  if (block.values.capacity() * sizeof(double) > 2 * limit)
    decltype(block.values)().swap(block.values);
  if (block.scratch.capacity() > limit) std::string().swap(block.scratch);
}

BlockReader::~BlockReader() {
  if (worker_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }
}

ParsedBlock* BlockReader::Next() {
  const auto cancelled = [this] { return cancel_ != nullptr && cancel_->load(); };
  if (!worker_.joinable()) {
    if (cancelled()) return nullptr;
    ParsedBlock& block = *blocks_.front();
    Release(block);
    block.cut = cutter_.Next(block.bytes);
    if (block.cut == BlockCutter::Cut::kEnd) return nullptr;
    block.quoted_at_end = cutter_.Quoted();
    Parse(block);
    return &block;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (current_ != nullptr) {
    Release(*current_);
    free_.push_back(current_);
    current_ = nullptr;
    changed_.notify_all();
  }
  // A block can take a while to parse (one of many new labels, on a busy machine): the wait
  // looks at the cancel flag, which a signal handler cannot announce, every few milliseconds.
  while (!changed_.wait_for(lock, std::chrono::milliseconds(10),
                            [this] { return !ready_.empty() || finished_; })) {
    if (cancelled()) return nullptr;
  }
  if (cancelled()) return nullptr;
  if (ready_.empty()) {
    if (failure_) std::rethrow_exception(failure_);
    return nullptr;
  }
  current_ = ready_.front();
  ready_.pop_front();
  FSRANK_HANDOFF_ACQUIRE(current_);
  return current_;
}

ParsedBlock* BlockReader::TakeFree() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !free_.empty() || stop_; });
  if (stop_) return nullptr;
  ParsedBlock* block = free_.back();
  free_.pop_back();
  return block;
}

void BlockReader::Publish(ParsedBlock* block) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) {
      free_.push_back(block);
      return;
    }
    FSRANK_HANDOFF_RELEASE(block);
    ready_.push_back(block);
  }
  changed_.notify_all();
}

void BlockReader::Work(int threads) {
  try {
    // Without this the pool has a thread per processor; more may be asked for.
    tbb::global_control parallelism(tbb::global_control::max_allowed_parallelism,
                                    static_cast<std::size_t>(threads));
    tbb::task_arena arena(threads);
    arena.execute([&] {
      tbb::parallel_pipeline(
          blocks_.size() - 1,
          tbb::make_filter<void, ParsedBlock*>(tbb::filter_mode::serial_in_order,
                                               [&](tbb::flow_control& control) -> ParsedBlock* {
                                                 ParsedBlock* block = TakeFree();
                                                 if (block != nullptr) {
                                                   FSRANK_HANDOFF_ACQUIRE(block);
                                                   FSRANK_HANDOFF_ACQUIRE(&cutter_);
                                                   block->cut = cutter_.Next(block->bytes);
                                                   block->quoted_at_end = cutter_.Quoted();
                                                   FSRANK_HANDOFF_RELEASE(&cutter_);
                                                   if (block->cut != BlockCutter::Cut::kEnd) {
                                                     FSRANK_HANDOFF_RELEASE(block);
                                                     return block;
                                                   }
                                                   std::lock_guard<std::mutex> lock(mutex_);
                                                   free_.push_back(block);
                                                 }
                                                 control.stop();
                                                 return nullptr;
                                               }) &
              tbb::make_filter<ParsedBlock*, ParsedBlock*>(tbb::filter_mode::parallel,
                                                           [&](ParsedBlock* block) {
                                                             FSRANK_HANDOFF_ACQUIRE(&plan_);
                                                             FSRANK_HANDOFF_ACQUIRE(block);
                                                             Parse(*block);
                                                             FSRANK_HANDOFF_RELEASE(block);
                                                             return block;
                                                           }) &
              tbb::make_filter<ParsedBlock*, void>(tbb::filter_mode::serial_in_order,
                                                   [&](ParsedBlock* block) {
                                                     FSRANK_HANDOFF_ACQUIRE(block);
                                                     Publish(block);
                                                   }));
    });
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

}  // namespace fsrank_cli
