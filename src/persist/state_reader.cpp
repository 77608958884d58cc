#include "persist/state_reader.h"

#include <climits>
#include <cstring>
#include <locale>
#include <sstream>
#include <string_view>

#include "fsrank/missing.h"
#include "persist/state_writer.h"

namespace NQFeatureXML {

namespace {

// Delimiter sets. Each line kind is split with the set its writer's layout calls for.
constexpr std::string_view kHeaderDelims(" \t\r\n<>=\"", 9);  // document header
constexpr std::string_view kObjDelims(" \t\r\n<=\"", 8);      // "Obj" and "name"
constexpr std::string_view kQuoteDelims("\"", 1);             // the object name
constexpr std::string_view kValueDelims(" \t\r\n=<\"", 8);    // element and value text
constexpr std::string_view kAttributeDelims("=\"", 2);        // the attribute name
constexpr std::string_view kEndDelims(" \t\r\n<>", 6);        // "/Obj"

// One line of at most kMaxStateLine characters, or nothing when the read fails.
class LineBuffer {
 public:
  bool Read(std::istream& stream) {
    fBuffer[0] = '\0';
    stream.getline(fBuffer, sizeof fBuffer);
    return !stream.fail();
  }
  // Up to the first NUL, as the tokenizer of a C buffer would see it.
  std::string_view Text() const { return std::string_view(fBuffer, std::strlen(fBuffer)); }

 private:
  char fBuffer[kMaxStateLine + 1];
};

// Splits a line the way strtok does, without its hidden static state: each step skips
// leading delimiters, cuts the token at the next delimiter, and the next step continues after
// that delimiter. Each step may use a different delimiter set.
class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : fRest(text) {}

  // False when only delimiters (or nothing) remain.
  bool Next(std::string_view delims, std::string_view& token) {
    const std::string_view::size_type start = fRest.find_first_not_of(delims);
    if (start == std::string_view::npos) {
      fRest = std::string_view();
      return false;
    }
    fRest.remove_prefix(start);
    const std::string_view::size_type end = fRest.find_first_of(delims);
    if (end == std::string_view::npos) {
      token = fRest;
      fRest = std::string_view();
    } else {
      token = fRest.substr(0, end);
      fRest.remove_prefix(end + 1);
    }
    return true;
  }

  bool NextIs(std::string_view delims, std::string_view expected) {
    std::string_view token;
    return Next(delims, token) && token == expected;
  }

 private:
  std::string_view fRest;
};

bool FirstTokenIs(std::istream& stream, std::string_view delims, std::string_view expected) {
  LineBuffer line;
  if (!line.Read(stream)) return false;
  return Tokenizer(line.Text()).NextIs(delims, expected);
}

// Reads a value line of the given element kind and hands back its value text.
bool ReadValueText(std::istream& stream, std::string_view element, std::string& text) {
  LineBuffer line;
  if (!line.Read(stream)) return false;
  Tokenizer tokens(line.Text());
  std::string_view value;
  if (!tokens.NextIs(kValueDelims, element)) return false;
  if (!tokens.NextIs(kAttributeDelims, "value")) return false;
  if (!tokens.Next(kValueDelims, value)) return false;
  text.assign(value.data(), value.size());
  return true;
}

// atoi's reading: optional white space, an optional sign, then decimal digits up to the first
// other character; 0 when there are none. Saturates instead of overflowing.
int LeadingInteger(std::string_view text) {
  std::string_view::size_type i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long magnitude = 0;
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > limit) {
      magnitude = limit;
      break;
    }
  }
  return static_cast<int>(negative ? -magnitude : magnitude);
}

}  // namespace

bool ReadDocumentHeader(std::istream& stream) {
  return FirstTokenIs(stream, kHeaderDelims, "?xml") &&
         FirstTokenIs(stream, kHeaderDelims, "!DOCTYPE") &&
         FirstTokenIs(stream, kHeaderDelims, kStateRootName);
}

bool ReadObjBegin(std::istream& stream, const std::string& expectedName) {
  LineBuffer line;
  if (!line.Read(stream)) return false;
  if (line.Text().empty() && !line.Read(stream)) return false;
  Tokenizer tokens(line.Text());
  return tokens.NextIs(kObjDelims, "Obj") && tokens.NextIs(kObjDelims, "name") &&
         tokens.NextIs(kQuoteDelims, expectedName);
}

bool NextIsObjBegin(std::istream& stream, const std::string& name) {
  const std::ios::iostate state = stream.rdstate();
  const std::streampos here = stream.tellg();
  if (here == std::streampos(-1)) {
    stream.clear(state);
    return false;
  }
  const bool found = ReadObjBegin(stream, name);
  stream.clear(state);
  stream.seekg(here);
  return found;
}

bool ReadInt(std::istream& stream, int& out) {
  std::string text;
  if (!ReadValueText(stream, "Int", text)) return false;
  out = LeadingInteger(text);
  return true;
}

bool ReadDouble(std::istream& stream, double& out) {
  std::string text;
  if (!ReadValueText(stream, "Double", text)) return false;
  if (text == "Missing") {
    out = NQMV::Missing();
    return true;
  }
  std::istringstream number(text);
  number.imbue(std::locale::classic());
  double value = 0.0;
  number >> value;
  if (!number.fail()) out = value;
  return true;
}

bool ReadObjEnd(std::istream& stream) {
  return FirstTokenIs(stream, kEndDelims, "/Obj");
}

}  // namespace NQFeatureXML
