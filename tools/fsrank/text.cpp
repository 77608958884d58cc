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

std::size_t DisplayWidth(const std::string& utf8) {
  std::size_t width = 0;
  for (const char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
  }
  return width;
}

std::string FitWidth(const std::string& utf8, std::size_t width) {
  if (DisplayWidth(utf8) <= width || width == 0) return utf8;
  std::string result;
  std::size_t used = 0;
  for (std::size_t k = 0; k < utf8.size(); ++k) {
    const bool starts = (static_cast<unsigned char>(utf8[k]) & 0xC0) != 0x80;
    if (starts && ++used > width - 1) break;
    result.push_back(utf8[k]);
  }
  return result + "\xE2\x80\xA6";  // an ellipsis
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", byte);
          out += buffer;
        } else {
          out.push_back(c);
        }
    }
  }
  return out + "\"";
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
  std::string rest = text;
  std::string indent;
  while (DisplayWidth(indent + rest) > kLineWidth) {
    const std::size_t room = kLineWidth - indent.size();
    std::size_t cut = std::string::npos;
    std::size_t width = 0;
    for (std::size_t k = 0; k < rest.size() && width <= room; ++k) {
      if ((static_cast<unsigned char>(rest[k]) & 0xC0) != 0x80) ++width;
      if (rest[k] == ' ' && width <= room) cut = k;
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
