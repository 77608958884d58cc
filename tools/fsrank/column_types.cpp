#include "column_types.h"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// The number parser's pieces are called for every field: their calls would cost more than they do.
#if defined(__GNUC__)
#define FSRANK_INLINE [[gnu::always_inline]] inline
#else
#define FSRANK_INLINE inline
#endif

// Powers of ten that a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__

constexpr std::uint64_t kTenPowers[] = {1,      10,      100,      1000,     10000,
                                        100000, 1000000, 10000000, 100000000};

// `word` is eight bytes of text, the first in its lowest byte, each XORed with '0' so that
// digits are 0..9. How many digits lead it (0 to 8): bit 7 of (x + 0x76) | x is set exactly for
// the bytes that are not 0..9; a carry out of a byte only reaches bytes after a non-digit.
FSRANK_INLINE int LeadingDigits(std::uint64_t word) {
  const std::uint64_t flags = ((word + 0x7676767676767676ull) | word) & 0x8080808080808080ull;
  return flags == 0 ? 8 : __builtin_ctzll(flags) >> 3;
}

// The value of the first `n` (1 to 8) digits of `word` (as for LeadingDigits): the bytes after
// them are shifted out, leaving leading zeros, and pairs, quads and octets are combined by
// multiplication.
FSRANK_INLINE std::uint64_t DigitsValue(std::uint64_t word, int n) {
  std::uint64_t x = word << (8 * (8 - n));
  x = x * 10 + (x >> 8);
  return (((x & 0x000000FF000000FFull) * 0x000F424000000064ull) +
          (((x >> 16) & 0x000000FF000000FFull) * 0x0000271000000001ull)) >>
         32;
}

#endif

// Takes the run of digits at p (not beyond `end`): eight at a time while eight bytes can be read
// before `readable` (on little-endian machines), then one at a time.
FSRANK_INLINE const char* TakeDigits(const char* p, const char* end, const char* readable,
                                     std::uint64_t& mantissa, int& digits) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  while (readable - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    word ^= 0x3030303030303030ull;
    const int n = static_cast<int>(std::min<std::ptrdiff_t>(LeadingDigits(word), end - p));
    if (n == 0) return p;
    mantissa = mantissa * kTenPowers[n] + DigitsValue(word, n);
    digits += n;
    p += n;
    if (n < 8) return p;
  }
#else
  static_cast<void>(readable);
#endif
  for (; p != end && IsDigit(*p); ++p, ++digits)
    mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
  return p;
}

// The common short decimal (at most 19 digits, an exponent of at most three digits) as an exact
// integer times an exact power of ten, when both are exact in a double: one multiplication or
// division then gives the correctly rounded value (Clinger's fast path). False leaves the text
// to the general parser. Bytes up to `readable` (at or after `end`) may be read. The mantissa
// wraps harmlessly past 19 digits, which are refused.
FSRANK_INLINE bool ParseShortDecimal(const char* p, const char* end, const char* readable,
                                     bool negative, double& value) {
  std::uint64_t mantissa = 0;
  int digits = 0;
  p = TakeDigits(p, end, readable, mantissa, digits);
  int scale = 0;  // digits after the point
  if (p != end && *p == '.') {
    const int before = digits;
    p = TakeDigits(p + 1, end, readable, mantissa, digits);
    scale = digits - before;
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
  // Times -1 flips the sign bit alone (zero too), without a branch on the sign.
  constexpr double kSigns[2] = {1.0, -1.0};
  value = x * kSigns[negative];
  return true;
}

}  // namespace

bool ParseNumber(std::string_view field, double& value) {
  return ParseNumber(field, field.data() + field.size(), value);
}

bool ParseNumber(std::string_view field, const char* readable, double& value) {
  const std::string_view text = Trim(field);
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool plus = p != end && *p == '+';
  if (plus) ++p;                 // the parsers below refuse '+'
  const char* const number = p;  // with its minus sign
  const bool negative = !plus && p != end && *p == '-';
  p += negative;  // signs come in any order: no branch to mispredict
  // A digit or a point must follow the sign: this refuses a second sign ("+-5") and the words
  // inf and nan, which the parsers below would read.
  if (p == end || !(IsDigit(*p) || *p == '.')) return false;
  if (ParseShortDecimal(p, end, readable, negative, value)) return true;
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
