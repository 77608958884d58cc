#include "csv_reader.h"

#include <utility>

namespace fsrank_cli {

CsvReader::CsvReader(std::istream& in, std::string source, char delimiter)
    : in_(in), source_(std::move(source)), delimiter_(delimiter) {
  // Spreadsheet programs like to start UTF-8 files with a byte-order mark; it is not part of
  // the first column's name.
  static const char kBom[] = "\xEF\xBB\xBF";
  int matched = 0;
  while (matched < 3 && in_.peek() == static_cast<unsigned char>(kBom[matched])) {
    in_.get();
    ++matched;
  }
  if (matched != 0 && matched != 3) {
    // A partial mark: put the bytes back so they stay data.
    for (int k = matched - 1; k >= 0; --k)
      in_.putback(kBom[k]);
  }
}

std::string CsvReader::Where(long line) const {
  return source_ + ":" + std::to_string(line) + ": ";
}

int CsvReader::Get() {
  const int c = in_.get();
  if (c == '\n') ++line_;
  return c;
}

bool CsvReader::ReadRow(std::vector<std::string>& fields) {
  fields.clear();
  constexpr int kEof = std::char_traits<char>::eof();
  int c = Get();
  // Skip empty lines (a lone CR counts as the end of an empty CRLF line).
  while (c == '\n' || (c == '\r' && in_.peek() == '\n')) {
    if (c == '\r') Get();
    c = Get();
  }
  if (c == kEof) {
    if (in_.bad()) throw InputError(Where(line_) + "read error");
    return false;
  }
  row_line_ = line_;
  std::string field;
  bool quoted = false;      // inside a quoted section
  bool was_quoted = false;  // the current field started with a quote
  for (;; c = Get()) {
    if (quoted) {
      if (c == kEof) {
        throw InputError(Where(row_line_) +
                         "quoted field is not closed before the end of the file");
      }
      if (c == '"') {
        if (in_.peek() == '"') {
          Get();
          field.push_back('"');
        } else {
          quoted = false;
        }
      } else {
        field.push_back(static_cast<char>(c));
      }
      continue;
    }
    if (c == kEof || c == '\n' || (c == '\r' && (in_.peek() == '\n' || in_.peek() == kEof))) {
      if (c == '\r') Get();
      fields.push_back(std::move(field));
      if (in_.bad()) throw InputError(Where(line_) + "read error");
      return true;
    }
    if (c == delimiter_) {
      fields.push_back(std::move(field));
      field.clear();
      was_quoted = false;
      continue;
    }
    if (c == '"' && field.empty() && !was_quoted) {
      quoted = true;
      was_quoted = true;
      continue;
    }
    // A quote inside an unquoted field, or text after a closing quote, is kept as it is: such
    // files are common and their meaning is plain.
    field.push_back(static_cast<char>(c));
  }
}

}  // namespace fsrank_cli
