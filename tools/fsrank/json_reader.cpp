#include "json_reader.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace fsrank_cli {

namespace {

constexpr int kMaxDepth = 100;

class Parser {
 public:
  explicit Parser(const std::string& text) : s_(text) {}

  Json Parse() {
    Json value = Value(0);
    Space();
    if (pos_ != s_.size()) Fail("unexpected text after the end of the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    long line = 1, column = 1;
    for (std::size_t k = 0; k < pos_ && k < s_.size(); ++k) {
      if (s_[k] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    throw JsonError("line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                    what);
  }
  void Space() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) {
      ++pos_;
    }
  }
  bool Take(char c) {
    Space();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Take(c)) Fail(std::string("expected '") + c + "'");
  }
  bool Word(const char* word) {
    const std::string w(word);
    if (s_.compare(pos_, w.size(), w) != 0) return false;
    pos_ += w.size();
    return true;
  }

  unsigned Hex4() {
    if (s_.size() - pos_ < 4) Fail("incomplete \\u escape");
    unsigned value = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = s_[pos_++];
      value <<= 4;
      if (c >= '0' && c <= '9') {
        value |= static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value |= static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        value |= static_cast<unsigned>(c - 'A' + 10);
      } else {
        Fail("bad \\u escape");
      }
    }
    return value;
  }

  static void AppendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  std::string String() {
    Expect('"');
    std::string out;
    for (;;) {
      if (pos_ >= s_.size()) Fail("the text ends inside a string");
      if (static_cast<unsigned char>(s_[pos_]) < 0x20) Fail("control character inside a string");
      const char c = s_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) Fail("the text ends inside a string");
      const char e = s_[pos_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          unsigned cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00 && s_.compare(pos_, 2, "\\u") == 0) {
            pos_ += 2;
            const unsigned low = Hex4();
            if (low < 0xDC00 || low >= 0xE000) Fail("unpaired surrogate in a \\u escape");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xD800 && cp < 0xE000) {
            Fail("unpaired surrogate in a \\u escape");
          }
          AppendUtf8(out, cp);
          break;
        }
        default:
          Fail("unknown escape in a string");
      }
    }
  }

  double Number() {
    const std::size_t start = pos_;
    auto digits = [&] {
      const std::size_t from = pos_;
      while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9')
        ++pos_;
      return pos_ > from;
    };
    if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
    if (pos_ < s_.size() && s_[pos_] == '0') {
      ++pos_;  // no leading zeros: "01" is not a number
    } else if (!digits()) {
      Fail("expected a value");
    }
    if (pos_ < s_.size() && s_[pos_] == '.') {
      ++pos_;
      if (!digits()) Fail("expected digits after the decimal point");
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
      if (!digits()) Fail("expected digits in the exponent");
    }
    double value = 0.0;
    const auto result = std::from_chars(s_.data() + start, s_.data() + pos_, value);
    if (result.ec != std::errc() || !std::isfinite(value)) Fail("number out of range");
    return value;
  }

  Json Value(int depth) {
    if (depth > kMaxDepth) Fail("nested too deeply");
    Space();
    Json v;
    if (Take('{')) {
      v.kind = Json::kObject;
      if (Take('}')) return v;
      do {
        Space();
        std::string key = String();
        Expect(':');
        v.fields[key] = Value(depth + 1);
      } while (Take(','));
      Expect('}');
    } else if (Take('[')) {
      v.kind = Json::kArray;
      if (Take(']')) return v;
      do {
        v.items.push_back(Value(depth + 1));
      } while (Take(','));
      Expect(']');
    } else if (pos_ < s_.size() && s_[pos_] == '"') {
      v.kind = Json::kString;
      v.text = String();
    } else if (Word("null")) {
      v.kind = Json::kNull;
    } else if (Word("true")) {
      v.kind = Json::kBool;
      v.boolean = true;
    } else if (Word("false")) {
      v.kind = Json::kBool;
    } else {
      v.kind = Json::kNumber;
      v.number = Number();
    }
    return v;
  }

  const std::string& s_;
  std::size_t pos_ = 0;
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
  static const Json null;
  const auto found = fields.find(key);
  return found == fields.end() ? null : found->second;
}

Json ParseJson(const std::string& text) {
  return Parser(text).Parse();
}

}  // namespace fsrank_cli
