// The wide file's data rows read in blocks, so that several threads can parse them: a sequential
// cutter splits the stream into blocks that end at row boundaries, and a splitter turns the rows
// of one block into fields with the same rules as CsvReader (quoted fields, doubled quotes,
// delimiters and line breaks inside quotes, LF, CRLF or CR line ends, empty lines skipped).
#ifndef FSRANK_TOOLS_CSV_BLOCKS_H
#define FSRANK_TOOLS_CSV_BLOCKS_H

#include <cstddef>
#include <cstring>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "csv_reader.h"

namespace fsrank_cli {

// Bytes that are read into right after: growing it does not write zeros first.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  UninitializedAllocator() = default;
  template <class U>
  UninitializedAllocator(const UninitializedAllocator<U>&) {}
  template <class U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using ByteBuffer = std::vector<char, UninitializedAllocator<char>>;

// Cuts a stream into blocks of whole rows. It finds the row boundaries by following the quotes
// alone: outside quotes, a quote opens a quoted field only at the start of a field (after a
// delimiter or a line end), as CsvReader reads it; inside, a doubled quote is text and a single
// one closes the field. A line end outside quotes ends a row; a CR and the LF after it are never
// cut apart. Only this scan runs in the reading thread; the splitting is left to the parsers.
class BlockCutter {
 public:
  enum class Cut {
    kEnd,       // no more data: the block is empty
    kRows,      // whole rows (the last may lack its line end at the end of the input)
    kOverlong,  // the rest of the input starts with a row longer than the limit; the block holds
                // its first bytes and nothing follows
    kReadError  // the stream failed; the block is empty and nothing follows
  };

  // `buffered`: bytes already taken from the stream (by the reader of the header) that come
  // first. Blocks are about `block_size` bytes long, longer when a row needs it, up to
  // `max_row` bytes for one row.
  BlockCutter(std::istream& in, std::string_view buffered, char delimiter, std::size_t block_size,
              std::size_t max_row = kMaxRowBytes);

  // Replaces the contents of `block` with the next block.
  Cut Next(ByteBuffer& block);
  // After kOverlong: the long row ends inside a quoted field.
  bool Quoted() const { return quoted_; }

 private:
  void Scan(const char* data, std::size_t size);
  void NoteLineEnd(const char* data, std::size_t from, std::size_t to, std::size_t size);
  bool FieldStart(const char* data, std::size_t at) const {
    if (at == 0) return true;  // a block starts with a row
    const char before = data[at - 1];
    return before == delimiter_ || before == '\n' || before == '\r';
  }

  std::istream& in_;
  char delimiter_;
  std::size_t block_size_;
  std::size_t max_row_;
  ByteBuffer carry_;         // bytes after the last cut
  std::size_t scanned_ = 0;  // bytes of the current block already scanned
  std::size_t cut_ = 0;      // the last row boundary found in them (0: none)
  bool quoted_ = false;      // the scan position is inside a quoted field
  bool eof_ = false;
  bool done_ = false;
};

// How SplitRows ended.
enum class SplitEnd { kDone, kStopped, kUnclosedQuote, kOverlong };

// Splits the rows of [p, end), which must start at a row and be followed by a readable LF (a
// sentinel that keeps the field scan free of bounds checks). For each field of a row it calls
// sink.Field(k, text, line) with k counting from 0 and the row's first line, then
// sink.Row(fields, line); `line` counts the line ends passed (LF, CRLF or a lone CR, inside quotes
// too). A false from Row stops the split. A quoted field still open at `end` stops it with
// kUnclosedQuote, a row longer than `max_row` bytes with kOverlong, both with `line` at the row's
// first line. `scratch` holds the text of quoted fields.
template <class Sink>
SplitEnd SplitRows(const char* p, const char* end, char delimiter, std::string& scratch, long& line,
                   Sink& sink, std::size_t max_row = kMaxRowBytes) {
  // Bytes that end an unquoted field; `end` itself is found by the position test.
  bool stops[256] = {};
  stops[static_cast<unsigned char>(delimiter)] = true;
  stops[static_cast<unsigned char>('\n')] = true;
  stops[static_cast<unsigned char>('\r')] = true;
  while (p < end) {
    if (*p == '\n' || *p == '\r') {  // an empty line
      if (*p++ == '\r' && p < end && *p == '\n') ++p;
      ++line;
      continue;
    }
    const long row_line = line;
    const char* const row_start = p;
    std::size_t count = 0;
    for (;;) {
      std::string_view text;
      if (p < end && *p == '"') {
        scratch.clear();
        ++p;
        for (;;) {
          const char* quote = static_cast<const char*>(std::memchr(p, '"', end - p));
          if (quote == nullptr) {
            line = row_line;
            return SplitEnd::kUnclosedQuote;
          }
          for (const char* s = p; s < quote; ++s) {
            if (*s == '\n' || (*s == '\r' && s[1] != '\n')) ++line;
          }
          scratch.append(p, quote);
          if (quote + 1 < end && quote[1] == '"') {
            scratch.push_back('"');
            p = quote + 2;
            continue;
          }
          p = quote + 1;
          break;
        }
        // Text after the closing quote belongs to the field as it is.
        const char* stop = p;
        while (!stops[static_cast<unsigned char>(*stop)])
          ++stop;
        scratch.append(p, stop);
        p = stop;
        text = scratch;
      } else {
        const char* stop = p;
        while (!stops[static_cast<unsigned char>(*stop)])
          ++stop;
        text = std::string_view(p, static_cast<std::size_t>(stop - p));
        p = stop;
      }
      sink.Field(count++, text, row_line);
      if (p < end && *p == delimiter) {
        ++p;
        continue;
      }
      break;  // at a line end or the end of the input
    }
    if (static_cast<std::size_t>(p - row_start) > max_row) {
      line = row_line;
      return SplitEnd::kOverlong;
    }
    if (p < end) {
      if (*p++ == '\r' && p < end && *p == '\n') ++p;
      ++line;
    }
    if (!sink.Row(count, row_line)) return SplitEnd::kStopped;
  }
  return SplitEnd::kDone;
}

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_CSV_BLOCKS_H
