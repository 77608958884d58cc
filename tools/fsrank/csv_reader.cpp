#include "csv_reader.h"

#include <utility>

namespace fsrank_cli {

std::string OverlongRowMessage(std::size_t max_row, bool quoted) {
  const std::size_t mib = std::size_t{1} << 20;
  const std::string limit = max_row % mib == 0 ? std::to_string(max_row / mib) + " MiB"
                                               : std::to_string(max_row) + " bytes";
  return "the row is longer than " + limit +
         (quoted ? " (a quoted field may never be closed)" : "");
}

CsvReader::CsvReader(std::istream& in, std::string source, char delimiter, std::size_t max_row)
    : in_(in),
      source_(std::move(source)),
      delimiter_(delimiter),
      max_row_(max_row),
      buffer_(kBlockSize, '\0') {
  // Spreadsheet programs like to start UTF-8 files with a byte-order mark; it is not part of
  // the first column's name. A partial mark stays data. The first block is at least three
  // bytes long unless the whole input is shorter.
  static const char kBom[] = "\xEF\xBB\xBF";
  if (Refill() && end_ >= 3 && buffer_.compare(0, 3, kBom, 3) == 0) pos_ = 3;
}

std::string CsvReader::Where(long line) const {
  return source_ + ":" + std::to_string(line) + ": ";
}

std::string_view CsvReader::TakeBuffered() {
  const std::string_view rest(buffer_.data() + pos_, end_ - pos_);
  pos_ = end_;
  return rest;
}

bool CsvReader::Refill() {
  // One formatted read per block instead of one per byte; the stream's state (end of file,
  // errors caught from its buffer) is kept as the stream reports it.
  consumed_ += end_;
  pos_ = 0;
  end_ = 0;
  if (!in_.good()) return false;
  in_.read(&buffer_[0], static_cast<std::streamsize>(buffer_.size()));
  end_ = static_cast<std::size_t>(in_.gcount());
  return end_ != 0;
}

void CsvReader::TakePlain(std::string& field) {
  for (;;) {
    std::size_t stop = pos_;
    while (stop < end_) {
      const char c = buffer_[stop];
      if (c == delimiter_ || c == '\n' || c == '\r' || c == '"') break;
      ++stop;
    }
    field.append(buffer_, pos_, stop - pos_);
    pos_ = stop;
    CheckRowLength(false);
    if (stop < end_ || !Refill()) return;
  }
}

bool CsvReader::ReadRow(std::vector<std::string>& fields) {
  std::size_t count = 0;  // fields of this row so far; fields[count] is the one being read
  auto next_field = [&]() -> std::string& {
    if (count == fields.size()) fields.emplace_back();
    std::string& field = fields[count];
    field.clear();
    return field;
  };
  int c = Get();
  // Skip empty lines.
  while (c == '\n' || c == '\r') {
    if (c == '\r' && Peek() == '\n') Get();
    c = Get();
  }
  if (c == kEof) {
    fields.clear();
    if (in_.bad()) throw InputError(Where(line_) + "read error");
    return false;
  }
  row_line_ = line_;
  row_start_ = consumed_ + pos_ - 1;
  std::string* field = &next_field();
  bool quoted = false;      // inside a quoted section
  bool was_quoted = false;  // the current field started with a quote
  for (;; c = Get()) {
    if (quoted) {
      if (c == kEof) {
        fields.resize(count + 1);
        throw InputError(Where(row_line_) +
                         "quoted field is not closed before the end of the file");
      }
      CheckRowLength(true);
      if (c == '"') {
        if (Peek() == '"') {
          Get();
          field->push_back('"');
        } else {
          quoted = false;
        }
      } else {
        field->push_back(static_cast<char>(c));
      }
      continue;
    }
    if (c == kEof || c == '\n' || c == '\r') {
      if (c == '\r' && Peek() == '\n') Get();
      fields.resize(count + 1);
      if (in_.bad()) throw InputError(Where(line_) + "read error");
      return true;
    }
    if (c == static_cast<unsigned char>(delimiter_)) {
      CheckRowLength(false);
      ++count;
      field = &next_field();
      was_quoted = false;
      continue;
    }
    if (c == '"' && field->empty() && !was_quoted) {
      quoted = true;
      was_quoted = true;
      continue;
    }
    // A quote inside an unquoted field, or text after a closing quote, is kept as it is: such
    // files are common and their meaning is plain.
    field->push_back(static_cast<char>(c));
    // The rest of an ordinary field is copied as one run.
    TakePlain(*field);
  }
}

}  // namespace fsrank_cli
