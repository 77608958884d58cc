// What each column of the data file is, and how its text becomes the numbers the library reads:
// missing-value tokens, number parsing, type inference from a sample of rows, and the
// re-encoding of categorical labels.
#ifndef FSRANK_TOOLS_COLUMN_TYPES_H
#define FSRANK_TOOLS_COLUMN_TYPES_H

#include <bitset>
#include <cstddef>
#include <deque>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fsrank_cli {

// The text with spaces and tabs removed at both ends.
inline std::string_view Trim(std::string_view text) {
  // Called for every field of the file: a plain loop, not find_first_not_of's search.
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && (text[first] == ' ' || text[first] == '\t'))
    ++first;
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
    --last;
  return text.substr(first, last - first);
}

// The tokens that stand for a missing value. A field matches when its trimmed text equals a
// token exactly; the empty token makes empty fields missing.
class MissingTokens {
 public:
  MissingTokens();  // empty, NA, NaN and ?
  explicit MissingTokens(const std::vector<std::string>& tokens);
  bool IsMissing(std::string_view field) const {
    const std::string_view text = Trim(field);
    if (text.empty()) return has_empty_;
    // Most fields are numbers and no token starts like one: one bit test settles them.
    if (!first_bytes_.test(static_cast<unsigned char>(text.front()))) return false;
    return tokens_.find(text) != tokens_.end();
  }
  std::vector<std::string> Tokens() const { return {tokens_.begin(), tokens_.end()}; }

 private:
  std::set<std::string, std::less<>> tokens_;
  bool has_empty_ = false;
  std::bitset<256> first_bytes_;  // the first bytes of the non-empty tokens
};

// Parses a whole trimmed field as a finite decimal number (locale independent), correctly
// rounded; a value too small for a double is 0, as strtod reads it. One leading sign is taken;
// infinities, NaN, hexadecimal, a second sign and trailing text are refused.
bool ParseNumber(std::string_view field, double& value);
// The same for a field inside a buffer whose bytes may be read up to `readable` (at or after the
// field's end): with eight bytes to spare it takes the digits eight at a time.
bool ParseNumber(std::string_view field, const char* readable, double& value);

enum class ColumnType { kCategorical, kContinuous };
const char* TypeName(ColumnType type);  // "categorical" or "continuous"

// Watches the values of one column in the sample and proposes a type: text makes a column
// categorical, and so do integers with only a few distinct values; other numbers are continuous.
class TypeGuesser {
 public:
  // Integer columns with at most this many distinct values in the sample are categorical.
  static constexpr std::size_t kMaxIntegerLevels = 10;

  void Add(std::string_view field, const MissingTokens& missing);
  ColumnType Guess() const;
  bool SawValue() const { return values_ > 0; }

 private:
  std::size_t values_ = 0;
  bool all_numbers_ = true;
  bool all_integers_ = true;
  std::set<double> distinct_;  // capped just beyond kMaxIntegerLevels
};

// Gives categorical labels the codes 0, 1, 2, ... in the order they first appear. The library
// reads a categorical value as its integer part and treats -1 as invalid, so labels such as
// "-1" or "2.5" must never reach it as they are.
class LabelEncoder {
 public:
  LabelEncoder() = default;
  // A copy gets its own keys: the copied ones would view the other encoder's labels.
  LabelEncoder(const LabelEncoder& other);
  LabelEncoder& operator=(const LabelEncoder& other);
  // Moving a deque keeps its elements where they are, so the keys stay valid.
  LabelEncoder(LabelEncoder&&) = default;
  LabelEncoder& operator=(LabelEncoder&&) = default;

  int Encode(std::string_view label);
  std::size_t Size() const { return labels_.size(); }
  void Clear() {
    codes_.clear();
    labels_.clear();
  }
  // The label of a code, or the empty text for an unknown code.
  std::string Label(int code) const;

 private:
  // The keys view the labels, which a deque never moves, so a lookup needs no copy of the text.
  std::unordered_map<std::string_view, int> codes_;
  std::deque<std::string> labels_;
};

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_COLUMN_TYPES_H
