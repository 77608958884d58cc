// The data rows of a wide file encoded into records by several threads: one thread cuts the
// stream into blocks of whole rows, the others parse and encode blocks side by side, and the
// blocks come out in file order. Memory stays bounded: a fixed number of blocks is in flight.
// The result does not depend on the number of threads: each block encodes categorical labels
// with codes of its own, in order of first appearance, and the caller maps them to the file's
// codes block by block, in file order.
#ifndef FSRANK_TOOLS_BLOCK_READER_H
#define FSRANK_TOOLS_BLOCK_READER_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <istream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "column_types.h"
#include "csv_blocks.h"

namespace fsrank_cli {

// Labels and their codes, looked up without hashing the text twice or comparing it byte by byte
// when it is short (up to 8 bytes, as most labels are).
class LabelTable {
 public:
  // The code of `label`, or -1.
  int Find(std::string_view label) const {
    if (label.size() == 1) {
      return single_.empty() ? -1 : single_[static_cast<unsigned char>(label[0])];
    }
    return FindLonger(label);
  }
  // Adds a label that is not there yet.
  void Add(std::string_view label, int code);
  void Clear();
  std::size_t Size() const { return count_; }

 private:
  struct Slot {
    std::uint64_t key = 0;  // short labels: their bytes; longer ones: a hash
    std::uint32_t length = 0;
    std::int32_t code = -1;  // -1: empty
    std::size_t text = 0;    // longer labels: where their bytes are in text_
  };
  int FindLonger(std::string_view label) const;
  static std::uint64_t Key(std::string_view label);
  std::size_t Home(std::uint64_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  bool Matches(const Slot& slot, std::uint64_t key, std::string_view label) const {
    return slot.key == key && slot.length == label.size() &&
           (label.size() <= 8 || text_.compare(slot.text, label.size(), label) == 0);
  }

  std::vector<Slot> slots_;
  int shift_ = 64;
  std::size_t count_ = 0;
  std::string text_;
  // Labels of one byte (the codes of most integer-coded columns) by that byte, without the slots;
  // empty until there is one.
  std::vector<std::int32_t> single_;
};

// A column's labels in one block: those the file had when the reading began keep their codes;
// new ones get the codes after them, in order of first appearance in the block.
class BlockLabels {
 public:
  void Reset(const LabelTable* known, std::size_t known_count) {
    known_ = known;
    known_count_ = known_count;
    fresh_.Clear();
    fresh_labels_.clear();
  }
  int Encode(std::string_view label) {
    const int code = known_->Find(label);
    if (code >= 0) return code;
    const int fresh = fresh_.Find(label);
    if (fresh >= 0) return fresh;
    const int added = static_cast<int>(known_count_ + fresh_labels_.size());
    fresh_.Add(label, added);
    fresh_labels_.emplace_back(label);
    return added;
  }
  std::size_t KnownCount() const { return known_count_; }
  // The new labels in order; label k has the code KnownCount() + k.
  const std::vector<std::string>& Fresh() const { return fresh_labels_; }

 private:
  const LabelTable* known_ = nullptr;
  std::size_t known_count_ = 0;
  LabelTable fresh_;
  std::vector<std::string> fresh_labels_;
};

// What happens to each column of the file.
struct ColumnAction {
  enum Kind : unsigned char {
    kSkip,
    kNumber,  // a number; other text is missing and reported
    kLabel,   // a categorical label
    kId       // a number; other text is missing silently
  };
  Kind kind = kSkip;
  std::size_t position = 0;  // in the record
  std::size_t labels = 0;    // kLabel: which of the block's label tables
};

struct RowPlan {
  char delimiter = ',';
  MissingTokens missing;
  std::size_t record_size = 0;
  std::vector<ColumnAction> actions;  // one per column of the header: a row has that many fields
  // Per kLabel column, the labels the file had when the reading began (their codes are final).
  std::vector<LabelTable> known_labels;
  std::size_t max_row = kMaxRowBytes;
};

// "the row has N fields but the header has M"
std::string FieldCountMessage(std::size_t fields, std::size_t header);

// What the consumer makes of a block in the thread that parsed it (BlockReader's `after_parse`),
// kept with the block until it is handed out.
struct BlockWork {
  virtual ~BlockWork() = default;
};

struct ParsedBlock {
  ByteBuffer bytes;
  BlockCutter::Cut cut = BlockCutter::Cut::kEnd;
  bool quoted_at_end = false;  // kOverlong: the row ends inside a quoted field
  std::string scratch;         // the parser's

  // The rows that parsed, encoded one after the other (record_size values each).
  std::size_t rows = 0;
  std::vector<double, UninitializedAllocator<double>> values;  // grown without zeros first
  // Per label column, the labels new in the block; the values of the column are codes as
  // BlockLabels gives them.
  std::vector<BlockLabels> labels;
  // Values of kNumber columns that are neither numbers nor missing, in row order, and the first
  // of each column with its line and text.
  struct Unparsable {
    std::size_t row;
    std::size_t column;
  };
  std::vector<Unparsable> unparsable;
  struct FirstUnparsable {
    std::size_t column;
    long line;
    std::string text;
  };
  std::vector<FirstUnparsable> first_unparsable;
  long lines = 0;  // lines the block spans: its first row starts that many lines before the next
  // A malformed row after the `rows` good ones ends the input: its line (counted from the
  // block's first, 0) and what is wrong with it.
  bool failed = false;
  long error_line = 0;
  std::string error;
  // Made by `after_parse`; left in place for the next use of the block, which may reuse it.
  std::unique_ptr<BlockWork> work;
};

// Splits and encodes `block.bytes` as `plan` says.
void ParseBlock(const RowPlan& plan, ParsedBlock& block);

// The number of processors this process may run on (at least 1).
int UsableProcessors();

// Called for each block right after it is parsed, in the parsing thread.
using AfterParse = std::function<void(ParsedBlock&)>;

class BlockReader {
 public:
  // At most this many threads parse; more would only add blocks in flight.
  static constexpr int kMaxThreads = 8;
  // The blocks in flight hold about this many bytes of text together (each block at least
  // kMinBlock, more when a row is longer); their records take about as much again.
  static constexpr std::size_t kTextInFlight = std::size_t{8} << 20;
  static constexpr std::size_t kMinBlock = std::size_t{64} << 10;

  // Reads `in` after the `buffered` bytes. With one thread everything happens in the caller's
  // thread, in Next. Blocks are about `block_size` bytes, less with many threads. Once `cancel`
  // (when given) is set, Next ends the blocks within a few milliseconds instead of waiting for
  // the next one to be parsed.
  BlockReader(std::istream& in, std::string_view buffered, RowPlan plan, int threads,
              std::size_t block_size = std::size_t{1} << 20,
              const std::atomic<bool>* cancel = nullptr, AfterParse after_parse = nullptr);
  ~BlockReader();
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // The next block in file order, or null after the last. The block returned before is given
  // back. Rethrows what stopped the workers (such as std::bad_alloc) once the blocks before it
  // are handed out.
  ParsedBlock* Next();

 private:
  void Work(int threads);
  ParsedBlock* TakeFree();
  void Publish(ParsedBlock* block);
  void Parse(ParsedBlock& block);
  void Release(ParsedBlock& block) const;

  std::size_t block_size_;
  BlockCutter cutter_;
  RowPlan plan_;
  const std::atomic<bool>* cancel_;
  AfterParse after_parse_;
  std::vector<std::unique_ptr<ParsedBlock>> blocks_;
  ParsedBlock* current_ = nullptr;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ParsedBlock*> free_;
  std::deque<ParsedBlock*> ready_;
  bool stop_ = false;
  bool finished_ = false;
  std::exception_ptr failure_;
  std::thread worker_;
};

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_BLOCK_READER_H
