// A small JSON reader: enough to read back what the program writes (its JSON report and the
// column description saved next to a state file). Any text may arrive here, edited by hand or
// damaged, so every fault becomes a JsonError naming the line and column.
#ifndef FSRANK_TOOLS_JSON_READER_H
#define FSRANK_TOOLS_JSON_READER_H

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

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

  // The member of that name, or a null value when there is none (or this is not an object).
  const Json& operator[](const std::string& key) const;
  // The k-th item; throws std::out_of_range beyond the end.
  const Json& operator[](std::size_t k) const { return items.at(k); }
  bool IsNull() const { return kind == kNull; }
};

// Parses one complete JSON text (RFC 8259); nesting deeper than 100 levels is refused.
Json ParseJson(const std::string& text);

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_JSON_READER_H
