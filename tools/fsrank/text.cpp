#include "text.h"

#include <algorithm>
#include <cstdio>

namespace fsrank_cli {

std::string GroupDigits(long n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  for (int k = static_cast<int>(digits.size()) - 3; k > 0; k -= 3) {
    digits.insert(static_cast<std::size_t>(k), ",");
  }
  return (n < 0 ? "-" : "") + digits;
}

namespace {

// Decodes the code point at `k` and moves `k` past it; a byte that starts no well-formed
// sequence is taken alone, as U+FFFD.
char32_t NextCodePoint(const std::string& text, std::size_t& k) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char b = byte(k);
  std::size_t length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
  if (length == 0 || k + length > text.size()) {
    ++k;
    return length == 1 ? b : 0xFFFD;
  }
  char32_t cp = length == 1 ? b : b & (0x7F >> length);
  for (std::size_t j = 1; j < length; ++j) {
    if ((byte(k + j) & 0xC0) != 0x80) {
      ++k;
      return 0xFFFD;
    }
    cp = (cp << 6) | (byte(k + j) & 0x3F);
  }
  k += length;
  return cp;
}

// The columns a terminal gives a code point: none for combining marks and zero-width
// characters, two for the wide and fullwidth East Asian ranges and emoji, one otherwise.
std::size_t CodePointWidth(char32_t cp) {
  static const std::pair<char32_t, char32_t> kZero[] = {
      {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD},  {0x0610, 0x061A}, {0x064B, 0x065F},
      {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},  {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
      {0x200B, 0x200F}, {0x2028, 0x202E}, {0x2060, 0x2064},  {0x20D0, 0x20FF}, {0xFE00, 0xFE0F},
      {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF}};
  static const std::pair<char32_t, char32_t> kWide[] = {
      {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
      {0x2614, 0x2615},   {0x2648, 0x2653},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},
      {0x26C4, 0x26C5},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
      {0x274C, 0x274C},   {0x2753, 0x2755},   {0x2795, 0x2797},   {0x2B1B, 0x2B1C},
      {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
      {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
      {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
      {0x16FE0, 0x16FE4}, {0x17000, 0x18AFF}, {0x1B000, 0x1B16F}, {0x1F004, 0x1F004},
      {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F251},
      {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB}, {0x1F900, 0x1F9FF},
      {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
  const auto in = [cp](const auto& ranges) {
    for (const auto& [low, high] : ranges) {
      if (cp >= low && cp <= high) return true;
    }
    return false;
  };
  if (in(kZero)) return 0;
  return in(kWide) ? 2 : 1;
}

}  // namespace

std::size_t DisplayWidth(const std::string& utf8) {
  std::size_t width = 0;
  for (std::size_t k = 0; k < utf8.size();)
    width += CodePointWidth(NextCodePoint(utf8, k));
  return width;
}

std::string FitWidth(const std::string& utf8, std::size_t width) {
  if (DisplayWidth(utf8) <= width || width == 0) return utf8;
  std::size_t used = 0;
  std::size_t k = 0;
  while (k < utf8.size()) {
    std::size_t next = k;
    const std::size_t w = CodePointWidth(NextCodePoint(utf8, next));
    if (used + w > width - 1) break;  // room for the ellipsis
    used += w;
    k = next;
  }
  return utf8.substr(0, k) + "\xE2\x80\xA6";  // an ellipsis
}

namespace {

// The length of the well-formed UTF-8 sequence at `k`, or 0 when there is none.
std::size_t SequenceLength(const std::string& text, std::size_t k) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char b = byte(k);
  if (b < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;   // overlong
    if (b == 0xED) high = 0x9F;  // surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;   // overlong
    if (b == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (k + length > text.size()) return 0;
  if (byte(k + 1) < low || byte(k + 1) > high) return 0;
  for (std::size_t j = 2; j < length; ++j) {
    if ((byte(k + j) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

std::string Printable(const std::string& text) {
  std::string out;
  for (std::size_t k = 0; k < text.size();) {
    const std::size_t start = k;
    if (SequenceLength(text, k) == 0) {
      // A byte of no well-formed UTF-8 sequence (Latin-1 text, say) shows as its value.
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(text[k]));
      out += escape;
      ++k;
      continue;
    }
    const char32_t cp = NextCodePoint(text, k);
    if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\r') {
      out += "\\r";
    } else if (cp == '\t') {
      out += "\\t";
    } else if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(cp));
      out += escape;
    } else {
      out.append(text, start, k - start);
    }
  }
  return out;
}

void WriteWarning(std::ostream& err, const std::string& message) {
  err << "fsrank: warning: " << Printable(message) << '\n';
}

void WriteError(std::ostream& err, const std::string& message) {
  err << "fsrank: " << Printable(message) << '\n';
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

std::string Pad(const std::string& text, std::size_t width, bool right) {
  const std::size_t used = DisplayWidth(text);
  if (used >= width) return text;
  const std::string fill(width - used, ' ');
  return right ? fill + text : text + fill;
}

void WriteWrapped(std::ostream& out, const std::string& text) {
  std::string rest = Printable(text);
  std::string indent;
  while (DisplayWidth(indent + rest) > kLineWidth) {
    const std::size_t room = kLineWidth - indent.size();
    std::size_t cut = std::string::npos;
    std::size_t width = 0;
    for (std::size_t k = 0; k < rest.size() && width <= room;) {
      if (rest[k] == ' ') cut = k;
      width += CodePointWidth(NextCodePoint(rest, k));
    }
    if (cut == std::string::npos || cut == 0) break;
    out << indent << rest.substr(0, cut) << '\n';
    rest = rest.substr(cut + 1);
    indent = "  ";
  }
  out << indent << rest << '\n';
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return GroupDigits(static_cast<long>(n)) + " " + (n == 1 ? one : many);
}

Table::Table(std::vector<std::pair<std::string, bool>> columns) : columns_(std::move(columns)) {
  for (const auto& column : columns_)
    widths_.push_back(DisplayWidth(column.first));
}

void Table::Add(std::vector<std::string> cells) {
  for (std::string& cell : cells)
    cell = Printable(cell);
  for (std::size_t k = 0; k < cells.size() && k < widths_.size(); ++k) {
    widths_[k] = std::max(widths_[k], DisplayWidth(cells[k]));
  }
  rows_.push_back(std::move(cells));
}

void Table::Write(std::ostream& out, const std::string& indent) const {
  std::vector<std::string> heading;
  for (const auto& column : columns_)
    heading.push_back(column.first);
  WriteRow(out, indent, heading);
  for (const auto& row : rows_)
    WriteRow(out, indent, row);
}

void Table::WriteRow(std::ostream& out, const std::string& indent,
                     const std::vector<std::string>& cells) const {
  std::string line = indent;
  for (std::size_t k = 0; k < cells.size(); ++k) {
    const bool last = k + 1 == cells.size();
    if (k > 0) line += "  ";
    line += last && !columns_[k].second ? cells[k] : Pad(cells[k], widths_[k], columns_[k].second);
  }
  out << line << '\n';
}

bool IsValidUtf8(const std::string& text) {
  for (std::size_t k = 0; k < text.size();) {
    const std::size_t length = SequenceLength(text, k);
    if (length == 0) return false;
    k += length;
  }
  return true;
}

std::string ToValidUtf8(const std::string& text, bool& replaced) {
  if (IsValidUtf8(text)) return text;
  replaced = true;
  std::string out;
  for (std::size_t k = 0; k < text.size();) {
    const std::size_t length = SequenceLength(text, k);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++k;
    } else {
      out.append(text, k, length);
      k += length;
    }
  }
  return out;
}

}  // namespace fsrank_cli
