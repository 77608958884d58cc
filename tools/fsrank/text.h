// Text helpers shared by every printed form and the progress line: display widths of UTF-8
// text, padding, an aligned table, wrapping of prose, digit grouping, CSV quoting and UTF-8
// repair. (JSON is written with nlohmann-json.)
#ifndef FSRANK_TOOLS_TEXT_H
#define FSRANK_TOOLS_TEXT_H

#include <cstddef>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace fsrank_cli {

// Lines of prose are wrapped to this width.
constexpr std::size_t kLineWidth = 100;

std::string GroupDigits(long n);  // 1234567 -> "1,234,567"
// The columns a terminal gives the text: wide East Asian characters and emoji take two,
// combining marks none.
std::size_t DisplayWidth(const std::string& utf8);
std::string FitWidth(const std::string& utf8, std::size_t width);  // cut with an ellipsis
// The text with its control characters (line ends, tabs, escape, ...) written as \n, \r,
// \t and \xHH, and each byte that is not part of well-formed UTF-8 as \xHH, so that a name
// from a file can neither move the cursor nor break a table's line or the terminal's
// encoding. Tables, errors and warnings pass every text through it.
std::string Printable(const std::string& text);
// Writes "fsrank: warning: " and the Printable message as one line.
void WriteWarning(std::ostream& err, const std::string& message);
// Writes "fsrank: " and the Printable message as one line: for every message that holds a
// path or another text the user gave.
void WriteError(std::ostream& err, const std::string& message);
// text padded with spaces to `width` display columns, on the left when `right`.
std::string Pad(const std::string& text, std::size_t width, bool right);
// "1 predictor", "1,234 predictors".
std::string Plural(std::size_t n, const char* one, const char* many);

// Whether the text is well-formed UTF-8 (no overlong forms, surrogates or code points beyond
// U+10FFFF).
bool IsValidUtf8(const std::string& text);

// The text with every byte that is not part of a well-formed UTF-8 sequence replaced by U+FFFD;
// `replaced` is set when one was.
std::string ToValidUtf8(const std::string& text, bool& replaced);

std::string CsvField(const std::string& text);

// Writes a line of prose, broken at spaces so that it fits kLineWidth; continuation lines are
// indented by two spaces.
void WriteWrapped(std::ostream& out, const std::string& text);

// An aligned table: the columns' widths come from their widest cell.
class Table {
 public:
  // The columns' headings, each with whether it is right-aligned.
  explicit Table(std::vector<std::pair<std::string, bool>> columns);
  void Add(std::vector<std::string> cells);
  void Write(std::ostream& out, const std::string& indent) const;

 private:
  void WriteRow(std::ostream& out, const std::string& indent,
                const std::vector<std::string>& cells) const;

  std::vector<std::pair<std::string, bool>> columns_;  // heading, right-aligned
  std::vector<std::size_t> widths_;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_TEXT_H
