// The tests read the program's JSON through this small view over nlohmann::json: members by
// name (null when absent), items, texts and numbers, and a parse that throws JsonError.
#ifndef FSRANK_TOOLS_TESTS_JSON_READER_H
#define FSRANK_TOOLS_TESTS_JSON_READER_H

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace fsrank_cli {

class JsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Json {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  bool boolean = false;
  double number = 0.0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> fields;

  const Json& operator[](const std::string& key) const {
    static const Json kNullValue;
    const auto found = fields.find(key);
    return found == fields.end() ? kNullValue : found->second;
  }
  const Json& operator[](std::size_t k) const { return items.at(k); }
  bool IsNull() const { return kind == kNull; }
};

inline Json FromNlohmann(const nlohmann::json& value) {
  Json out;
  if (value.is_boolean()) {
    out.kind = Json::kBool;
    out.boolean = value.get<bool>();
  } else if (value.is_number()) {
    out.kind = Json::kNumber;
    out.number = value.get<double>();
  } else if (value.is_string()) {
    out.kind = Json::kString;
    out.text = value.get<std::string>();
  } else if (value.is_array()) {
    out.kind = Json::kArray;
    for (const auto& item : value)
      out.items.push_back(FromNlohmann(item));
  } else if (value.is_object()) {
    out.kind = Json::kObject;
    for (const auto& [key, item] : value.items())
      out.fields[key] = FromNlohmann(item);
  }
  return out;
}

// Parses one complete JSON text; throws JsonError when it is not valid JSON.
inline Json ParseJson(const std::string& text) {
  try {
    return FromNlohmann(nlohmann::json::parse(text));
  } catch (const nlohmann::json::exception& e) {
    throw JsonError(e.what());
  }
}

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_TESTS_JSON_READER_H
