// Streaming reader of delimiter-separated text with a header row (RFC 4180): quoted fields,
// doubled quotes inside them, delimiters and line breaks inside quotes, LF or CRLF line ends.
// It reads one row at a time and never holds more than the current row.
#ifndef FSRANK_TOOLS_CSV_READER_H
#define FSRANK_TOOLS_CSV_READER_H

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
  bool ReadRow(std::vector<std::string>& fields);

  // The 1-based line on which the row last read starts (a quoted field may span lines).
  long RowLine() const { return row_line_; }
  const std::string& Source() const { return source_; }
  // "source:line: " for messages about the row last read.
  std::string Where() const { return Where(row_line_); }
  std::string Where(long line) const;

 private:
  int Get();

  std::istream& in_;
  std::string source_;
  char delimiter_;
  long line_ = 1;  // line of the next character
  long row_line_ = 0;
};

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_CSV_READER_H
