#include "column_filter.h"

#include <utility>

#include "csv_reader.h"

namespace fsrank_cli {

namespace {

constexpr int kEof = -1;

// Bytes of the input one at a time, read in blocks, counting lines for messages.
class ByteSource {
 public:
  explicit ByteSource(std::istream& in) : in_(in), buffer_(std::size_t{1} << 16, '\0') {}
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
  long Line() const { return line_; }
  bool Bad() const { return in_.bad(); }

 private:
  bool Refill() {
    pos_ = end_ = 0;
    if (!in_.good()) return false;
    in_.read(&buffer_[0], static_cast<std::streamsize>(buffer_.size()));
    end_ = static_cast<std::size_t>(in_.gcount());
    return end_ != 0;
  }

  std::istream& in_;
  std::string buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  long line_ = 1;
};

}  // namespace

long CopyColumns(std::istream& in, const std::string& source, char delimiter,
                 const std::vector<std::size_t>& keep, std::ostream& out) {
  ByteSource bytes(in);
  const auto where = [&](long line) { return source + ":" + std::to_string(line) + ": "; };
  // The byte-order mark CsvReader skips belongs to the file, not to the first name: keep it.
  static const char kBom[] = "\xEF\xBB\xBF";
  std::string start;
  while (start.size() < 3 && bytes.Peek() == static_cast<unsigned char>(kBom[start.size()])) {
    start.push_back(static_cast<char>(bytes.Get()));
  }
  if (start.size() == 3) out << start;
  std::string raw;                                          // the row's fields, without delimiters
  std::vector<std::pair<std::size_t, std::size_t>> fields;  // [begin, end) in raw
  long rows = -1;                                           // the header is not counted
  // A partial mark is data of the first field.
  bool pending = start.size() != 3 && !start.empty();
  for (;;) {
    int c = pending ? static_cast<unsigned char>(start[0]) : bytes.Get();
    std::size_t replay = pending ? 1 : 0;  // the next byte of a partial mark to hand out
    const auto next = [&]() -> int {
      if (pending) {
        if (replay < start.size()) return static_cast<unsigned char>(start[replay++]);
        pending = false;
      }
      return bytes.Get();
    };
    const auto peek = [&]() -> int {
      if (pending && replay < start.size()) return static_cast<unsigned char>(start[replay]);
      return bytes.Peek();
    };
    while (c == '\n' || (c == '\r' && peek() == '\n')) {
      if (c == '\r') next();
      c = next();
    }
    if (c == kEof) break;
    const long row_line = bytes.Line();
    raw.clear();
    fields.clear();
    std::size_t begin = 0;
    bool quoted = false, was_quoted = false, empty = true;
    const char* ending = "";
    for (;; c = next()) {
      if (quoted) {
        if (c == kEof) {
          throw InputError(where(row_line) +
                           "quoted field is not closed before the end of the file");
        }
        raw.push_back(static_cast<char>(c));
        if (c == '"') {
          if (peek() == '"') {
            raw.push_back(static_cast<char>(next()));
            empty = false;
          } else {
            quoted = false;
          }
        } else {
          empty = false;
        }
        continue;
      }
      if (c == kEof || c == '\n' || (c == '\r' && (peek() == '\n' || peek() == kEof))) {
        if (c == '\n') ending = "\n";
        if (c == '\r') ending = next() == '\n' ? "\r\n" : "\r";
        break;
      }
      if (c == static_cast<unsigned char>(delimiter)) {
        fields.emplace_back(begin, raw.size());
        begin = raw.size();
        was_quoted = false;
        empty = true;
        continue;
      }
      if (c == '"' && empty && !was_quoted) {
        quoted = was_quoted = true;
      } else {
        empty = false;
      }
      raw.push_back(static_cast<char>(c));
    }
    fields.emplace_back(begin, raw.size());
    if (bytes.Bad()) throw InputError(where(bytes.Line()) + "read error");
    for (std::size_t k = 0; k < keep.size(); ++k) {
      if (keep[k] >= fields.size()) {
        throw InputError(where(row_line) + "the row has " + std::to_string(fields.size()) +
                         " fields; column " + std::to_string(keep[k] + 1) + " is missing");
      }
      if (k > 0) out.put(delimiter);
      out.write(raw.data() + fields[keep[k]].first,
                static_cast<std::streamsize>(fields[keep[k]].second - fields[keep[k]].first));
    }
    out << ending;
    ++rows;
  }
  return rows < 0 ? 0 : rows;
}

}  // namespace fsrank_cli
