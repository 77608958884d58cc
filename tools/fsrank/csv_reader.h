// Streaming reader of delimiter-separated text with a header row (RFC 4180): quoted fields,
// doubled quotes inside them, delimiters and line breaks inside quotes, LF, CRLF or CR line ends.
// It reads the input in blocks of a fixed size and never holds more than one block and the
// current row, which may be at most kMaxRowBytes long.
#ifndef FSRANK_TOOLS_CSV_READER_H
#define FSRANK_TOOLS_CSV_READER_H

#include <cstddef>
#include <istream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fsrank_cli {

// A malformed input; the message already names the file and the line.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The longest row the readers take: beyond it a file is not a table (a stream of zeros, a
// quote that is never closed) and holding it would only exhaust the memory.
constexpr std::size_t kMaxRowBytes = std::size_t{16} << 20;

// "the row is longer than ..." for both readers; `quoted`: it ends inside a quoted field.
std::string OverlongRowMessage(std::size_t max_row, bool quoted);

class CsvReader {
 public:
  // `source` names the input in messages (usually the file name). A UTF-8 byte-order mark at
  // the very start is skipped.
  CsvReader(std::istream& in, std::string source, char delimiter = ',',
            std::size_t max_row = kMaxRowBytes);

  // Reads the next row into `fields`; false at the end of the input. Lines that are completely
  // empty are skipped. Throws InputError for a quoted field that never ends, a row longer than
  // the limit or a read error.
  // The strings already in `fields` are reused, so passing the same vector every time saves
  // their allocations.
  bool ReadRow(std::vector<std::string>& fields);

  // The 1-based line on which the row last read starts (a quoted field may span lines).
  long RowLine() const { return row_line_; }
  const std::string& Source() const { return source_; }
  // "source:line: " for messages about the row last read.
  std::string Where() const { return Where(row_line_); }
  std::string Where(long line) const;

  // Hands over what the reader has buffered beyond the rows read so far, for a reader of the rest
  // of the stream (which starts on line NextLine()); the reader itself is then at its end.
  std::string_view TakeBuffered();
  long NextLine() const { return line_; }

 private:
  static constexpr int kEof = -1;
  static constexpr std::size_t kBlockSize = std::size_t{1} << 16;

  // The next byte (as unsigned char) or kEof, without and with consuming it.
  int Peek() {
    if (pos_ == end_ && !Refill()) return kEof;
    return static_cast<unsigned char>(buffer_[pos_]);
  }
  int Get() {
    if (pos_ == end_ && !Refill()) return kEof;
    const char c = buffer_[pos_++];
    // LF, CRLF and a lone CR each end one line.
    if (c == '\r' || (c == '\n' && !after_cr_)) ++line_;
    after_cr_ = c == '\r';
    return static_cast<unsigned char>(c);
  }
  bool Refill();
  // Throws once the current row is longer than the limit.
  void CheckRowLength(bool quoted) const {
    if (consumed_ + pos_ - row_start_ > max_row_) {
      throw InputError(Where(row_line_) + OverlongRowMessage(max_row_, quoted));
    }
  }
  // Appends the run of ordinary bytes of an unquoted field that starts at the current position.
  void TakePlain(std::string& field);

  std::istream& in_;
  std::string source_;
  char delimiter_;
  std::size_t max_row_;
  std::string buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::size_t consumed_ = 0;   // bytes of the blocks before the current one
  std::size_t row_start_ = 0;  // offset of the current row in the input
  long line_ = 1;              // line of the next character
  bool after_cr_ = false;      // the last character was a CR
  long row_line_ = 0;
};

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_CSV_READER_H
