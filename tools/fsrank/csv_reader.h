// Streaming reader of delimiter-separated text with a header row (RFC 4180): quoted fields,
// doubled quotes inside them, delimiters and line breaks inside quotes, LF or CRLF line ends.
// It reads the input in blocks of a fixed size and never holds more than one block and the
// current row.
#ifndef FSRANK_TOOLS_CSV_READER_H
#define FSRANK_TOOLS_CSV_READER_H

#include <cstddef>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fsrank_cli {

// A malformed input; the message already names the file and the line.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CsvReader {
 public:
  // `source` names the input in messages (usually the file name). A UTF-8 byte-order mark at
  // the very start is skipped.
  CsvReader(std::istream& in, std::string source, char delimiter = ',');

  // Reads the next row into `fields`; false at the end of the input. Lines that are completely
  // empty are skipped. Throws InputError for a quoted field that never ends or a read error.
  // The strings already in `fields` are reused, so passing the same vector every time saves
  // their allocations.
  bool ReadRow(std::vector<std::string>& fields);

  // The 1-based line on which the row last read starts (a quoted field may span lines).
  long RowLine() const { return row_line_; }
  const std::string& Source() const { return source_; }
  // "source:line: " for messages about the row last read.
  std::string Where() const { return Where(row_line_); }
  std::string Where(long line) const;

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
    if (c == '\n') ++line_;
    return static_cast<unsigned char>(c);
  }
  bool Refill();
  // Appends the run of ordinary bytes of an unquoted field that starts at the current position.
  void TakePlain(std::string& field);

  std::istream& in_;
  std::string source_;
  char delimiter_;
  std::string buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  long line_ = 1;  // line of the next character
  long row_line_ = 0;
};

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_CSV_READER_H
