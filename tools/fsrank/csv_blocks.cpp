#include "csv_blocks.h"

#include <string.h>  // memrchr

#include <algorithm>

namespace fsrank_cli {

BlockCutter::BlockCutter(std::istream& in, std::string_view buffered, char delimiter,
                         std::size_t block_size, std::size_t max_row)
    : in_(in),
      delimiter_(delimiter),
      block_size_(std::max<std::size_t>(block_size, 1)),
      max_row_(max_row),
      carry_(buffered.begin(), buffered.end()) {}

void BlockCutter::NoteLineEnd(const char* data, std::size_t from, std::size_t to,
                              std::size_t size) {
  std::size_t end = to;
  while (end > from) {
    const auto* lf = static_cast<const char*>(memrchr(data + from, '\n', end - from));
    const auto* cr = static_cast<const char*>(memrchr(data + from, '\r', end - from));
    const char* last = std::max(lf ? lf : data, cr ? cr : data);
    if (lf == nullptr && cr == nullptr) return;
    const std::size_t at = static_cast<std::size_t>(last - data);
    // A CR whose LF follows is not the end yet: the LF is.
    if (*last == '\r' && at + 1 < size && data[at + 1] == '\n') {
      end = at;
      continue;
    }
    cut_ = at + 1;
    return;
  }
}

void BlockCutter::Scan(const char* data, std::size_t size) {
  // The last byte waits for more input unless the input has ended: what it means may depend on
  // the byte after it (a doubled quote, CRLF).
  const std::size_t limit = eof_ ? size : (size == 0 ? 0 : size - 1);
  std::size_t pos = scanned_;
  while (pos < limit) {
    const auto* quote = static_cast<const char*>(std::memchr(data + pos, '"', limit - pos));
    const std::size_t at = quote ? static_cast<std::size_t>(quote - data) : limit;
    if (!quoted_) {
      NoteLineEnd(data, pos, at, size);
      if (quote == nullptr) {
        pos = limit;
        break;
      }
      quoted_ = FieldStart(data, at);
      pos = at + 1;
    } else if (quote == nullptr) {
      pos = limit;
    } else if (at + 1 < size && data[at + 1] == '"') {
      pos = at + 2;
    } else {
      quoted_ = false;
      pos = at + 1;
    }
  }
  scanned_ = std::max(scanned_, pos);
}

BlockCutter::Cut BlockCutter::Next(ByteBuffer& block) {
  block.clear();
  if (done_) return Cut::kEnd;
  block.swap(carry_);
  for (;;) {
    Scan(block.data(), block.size());
    // No row boundary in more than a row's length: the row is too long (the splitter finds
    // the long rows that do end, this only keeps an endless one from filling the memory). A row
    // of exactly the limit may have its CR scanned while its LF waits as the last byte.
    if (cut_ == 0 && scanned_ > max_row_ + 1) {
      done_ = true;
      return Cut::kOverlong;
    }
    if (eof_) break;
    if (cut_ > 0 && block.size() >= block_size_) break;
    const std::size_t want = block.size() < block_size_ ? block_size_ - block.size() : block_size_;
    const std::size_t old = block.size();
    // The parser pads the block: room for that too, so that it does not move the block.
    block.reserve(old + want + kSplitPadding);
    block.resize(old + want);
    in_.read(block.data() + old, static_cast<std::streamsize>(want));
    const auto got = static_cast<std::size_t>(in_.gcount());
    block.resize(old + got);
    if (in_.bad()) {
      done_ = true;
      block.clear();
      return Cut::kReadError;
    }
    if (got < want) eof_ = true;  // a read comes up short only at the end
  }
  if (eof_) {
    done_ = true;
    return block.empty() ? Cut::kEnd : Cut::kRows;
  }
  carry_.assign(block.begin() + static_cast<std::ptrdiff_t>(cut_), block.end());
  block.resize(cut_);
  scanned_ -= cut_;
  cut_ = 0;
  return Cut::kRows;
}

}  // namespace fsrank_cli
