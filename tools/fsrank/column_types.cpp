#include "column_types.h"

#include <fast_float/fast_float.h>

#include <cmath>
#include <cstdint>
#include <system_error>

namespace fsrank_cli {

MissingTokens::MissingTokens() : MissingTokens(std::vector<std::string>{"", "NA", "NaN", "?"}) {}

MissingTokens::MissingTokens(const std::vector<std::string>& tokens)
    : tokens_(tokens.begin(), tokens.end()) {
  for (const std::string& token : tokens_) {
    if (token.empty()) {
      has_empty_ = true;
    } else {
      first_bytes_.set(static_cast<unsigned char>(token.front()));
    }
  }
}

namespace {

// Powers of ten that a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The common short decimal (at most 19 digits, an exponent of at most three digits) as an exact
// integer times an exact power of ten, when both are exact in a double: one multiplication or
// division then gives the correctly rounded value (Clinger's fast path). False leaves the text
// to the general parser.
bool ParseShortDecimal(const char* p, const char* end, bool negative, double& value) {
  std::uint64_t mantissa = 0;
  int digits = 0;
  int scale = 0;  // digits after the point
  for (; p != end && IsDigit(*p); ++p, ++digits)
    mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
  if (p != end && *p == '.') {
    for (++p; p != end && IsDigit(*p); ++p, ++digits, ++scale)
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
  }
  if (digits == 0 || digits > 19) return false;
  int exponent = 0;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool minus = false;
    if (p != end && (*p == '-' || *p == '+')) minus = *p++ == '-';
    int length = 0;
    for (; p != end && IsDigit(*p) && length < 4; ++p, ++length)
      exponent = exponent * 10 + (*p - '0');
    if (length == 0 || length == 4) return false;
    if (minus) exponent = -exponent;
  }
  if (p != end) return false;
  exponent -= scale;
  if (mantissa > (std::uint64_t{1} << 53) || exponent < -22 || exponent > 22) return false;
  const double m = static_cast<double>(mantissa);
  const double x = exponent < 0 ? m / kExactPowers[-exponent] : m * kExactPowers[exponent];
  value = negative ? -x : x;
  return true;
}

}  // namespace

bool ParseNumber(std::string_view field, double& value) {
  const std::string_view text = Trim(field);
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool plus = p != end && *p == '+';
  if (plus) ++p;                 // the parsers below refuse '+'
  const char* const number = p;  // with its minus sign
  const bool negative = !plus && p != end && *p == '-';
  if (negative) ++p;
  // A digit or a point must follow the sign: this refuses a second sign ("+-5") and the words
  // inf and nan, which the parsers below would read.
  if (p == end || !(IsDigit(*p) || *p == '.')) return false;
  if (ParseShortDecimal(p, end, negative, value)) return true;
  double parsed = 0.0;
  const auto result = fast_float::from_chars(number, end, parsed);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

const char* TypeName(ColumnType type) {
  return type == ColumnType::kCategorical ? "categorical" : "continuous";
}

void TypeGuesser::Add(std::string_view field, const MissingTokens& missing) {
  if (missing.IsMissing(field)) return;
  ++values_;
  if (!all_numbers_) return;
  double value = 0.0;
  if (!ParseNumber(field, value)) {
    all_numbers_ = false;
    return;
  }
  if (value != std::floor(value)) all_integers_ = false;
  if (distinct_.size() <= kMaxIntegerLevels) distinct_.insert(value);
}

ColumnType TypeGuesser::Guess() const {
  if (values_ == 0) return ColumnType::kContinuous;
  if (!all_numbers_) return ColumnType::kCategorical;
  if (all_integers_ && distinct_.size() <= kMaxIntegerLevels) return ColumnType::kCategorical;
  return ColumnType::kContinuous;
}

LabelEncoder::LabelEncoder(const LabelEncoder& other) : labels_(other.labels_) {
  for (std::size_t k = 0; k < labels_.size(); ++k)
    codes_.emplace(labels_[k], static_cast<int>(k));
}

LabelEncoder& LabelEncoder::operator=(const LabelEncoder& other) {
  if (this != &other) *this = LabelEncoder(other);
  return *this;
}

int LabelEncoder::Encode(std::string_view label) {
  const auto found = codes_.find(label);
  if (found != codes_.end()) return found->second;
  const int code = static_cast<int>(labels_.size());
  labels_.emplace_back(label);
  codes_.emplace(labels_.back(), code);
  return code;
}

std::string LabelEncoder::Label(int code) const {
  if (code < 0 || static_cast<std::size_t>(code) >= labels_.size()) return {};
  return labels_[static_cast<std::size_t>(code)];
}

}  // namespace fsrank_cli
