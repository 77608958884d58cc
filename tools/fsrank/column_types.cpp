#include "column_types.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace fsrank_cli {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

MissingTokens::MissingTokens() : tokens_{"", "NA", "NaN", "?"} {}

MissingTokens::MissingTokens(const std::vector<std::string>& tokens)
    : tokens_(tokens.begin(), tokens.end()) {}

bool MissingTokens::IsMissing(std::string_view field) const {
  return tokens_.find(Trim(field)) != tokens_.end();
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

int LabelEncoder::Encode(std::string_view label) {
  const std::string key(label);
  const auto found = codes_.find(key);
  if (found != codes_.end()) return found->second;
  const int code = static_cast<int>(labels_.size());
  codes_.emplace(key, code);
  labels_.push_back(key);
  return code;
}

std::string LabelEncoder::Label(int code) const {
  if (code < 0 || static_cast<std::size_t>(code) >= labels_.size()) return {};
  return labels_[static_cast<std::size_t>(code)];
}

}  // namespace fsrank_cli
