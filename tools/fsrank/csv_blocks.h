// The wide file's data rows read in blocks, so that several threads can parse them: a sequential
// cutter splits the stream into blocks that end at row boundaries, and a splitter turns the rows
// of one block into fields with the same rules as CsvReader (quoted fields, doubled quotes,
// delimiters and line breaks inside quotes, LF, CRLF or CR line ends, empty lines skipped).
#ifndef FSRANK_TOOLS_CSV_BLOCKS_H
#define FSRANK_TOOLS_CSV_BLOCKS_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "csv_reader.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fsrank_cli {

// Buffers that are written right after: growing them does not write zeros first. Large ones (a
// block of text, its records) are asked for in 2 MiB pages where Linux offers them: a block
// touches every page it gets, and on a virtual machine each first touch of a 4 KiB page costs
// microseconds (two threads on the 300 MB benchmark file: 7,300 page faults down to 1,400).
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
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  static constexpr std::size_t kHuge = std::size_t{2} << 20;
  static constexpr std::size_t kLarge = std::size_t{1} << 20;
  T* allocate(std::size_t n) {
    if (n > std::size_t(-1) / sizeof(T) - kHuge) throw std::bad_alloc();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kLarge) return std::allocator<T>::allocate(n);
    const std::size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
    void* p = std::aligned_alloc(kHuge, rounded);
    if (p == nullptr) throw std::bad_alloc();
    madvise(p, rounded, MADV_HUGEPAGE);  // a hint: without it the pages are small
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) {
    if (n * sizeof(T) < kLarge) return std::allocator<T>::deallocate(p, n);
    std::free(p);
  }
#endif
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

// Bytes that ParseBlock puts after a block (line ends): the splitter's sentinel and room for
// reading a field's digits eight at a time.
constexpr std::size_t kSplitPadding = 64;

// Finds the bytes that end an unquoted field (the delimiter, CR, LF) in [begin, end) followed by
// a readable LF: sixty-four bytes at a time as a bit mask where the window lies before `end`,
// byte by byte in the last ones, where the LF after `end` stops the search.
class FieldEnds {
 public:
  FieldEnds(const char* begin, const char* end, char delimiter)
      : begin_(begin), end_(end), delimiter_(delimiter) {
    stops_[static_cast<unsigned char>(delimiter)] = true;
    stops_[static_cast<unsigned char>('\n')] = true;
    stops_[static_cast<unsigned char>('\r')] = true;
  }

  // The first field end at or after p (at most `end`'s LF).
  const char* Find(const char* p) {
    for (;;) {
      const std::size_t offset = static_cast<std::size_t>(p - begin_) - window_;
      if (offset < 64) {
        const std::uint64_t rest = mask_ >> offset;
        if (rest != 0) return p + __builtin_ctzll(rest);
        p += 64 - offset;
      }
      if (end_ - p < 64) break;
      window_ = static_cast<std::size_t>(p - begin_);
      mask_ = Mask(p);
    }
    while (!stops_[static_cast<unsigned char>(*p)])
      ++p;
    return p;
  }

 private:
  std::uint64_t Mask(const char* p) const {
    std::uint64_t mask = 0;
#if defined(__SSE2__)
    const __m128i delimiter = _mm_set1_epi8(delimiter_);
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (int k = 0; k < 4; ++k) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
      const __m128i hits =
          _mm_or_si128(_mm_cmpeq_epi8(bytes, delimiter),
                       _mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr)));
      mask |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(hits))} << (16 * k);
    }
#else
    for (int k = 0; k < 64; ++k)
      mask |= std::uint64_t{stops_[static_cast<unsigned char>(p[k])]} << k;
#endif
    return mask;
  }

  const char* begin_;
  const char* end_;
  char delimiter_;
  bool stops_[256] = {};
  std::size_t window_ = std::size_t{1} << 62;  // where the mask's window starts (none yet)
  std::uint64_t mask_ = 0;
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
  FieldEnds field_ends(p, end, delimiter);
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
        const char* stop = field_ends.Find(p);
        scratch.append(p, stop);
        p = stop;
        text = scratch;
      } else {
        const char* stop = field_ends.Find(p);
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
