#include "column_types.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace fsrank_cli {

std::string_view Trim(std::string_view text) {
  // Called for every field of the file: a plain loop, not find_first_not_of's search.
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && (text[first] == ' ' || text[first] == '\t'))
    ++first;
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
    --last;
  return text.substr(first, last - first);
}

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

bool MissingTokens::IsMissing(std::string_view field) const {
  const std::string_view text = Trim(field);
  if (text.empty()) return has_empty_;
  // Most fields are numbers and no token starts like one: one bit test settles them.
  if (!first_bytes_.test(static_cast<unsigned char>(text.front()))) return false;
  return tokens_.find(text) != tokens_.end();
}

bool ParseNumber(std::string_view field, double& value) {
  std::string_view text = Trim(field);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);  // from_chars refuses '+'
  if (text.empty()) return false;
  // from_chars also reads "inf" and "nan": only digits, signs, a point and exponents pass here.
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) {
      return false;
    }
  }
  double parsed = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
  if (!std::isfinite(parsed)) return false;
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
