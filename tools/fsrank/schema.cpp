#include "schema.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "csv_reader.h"
#include "text.h"

namespace fsrank_cli {

namespace {

using Json = nlohmann::ordered_json;

// Version 2 added the sidecar's own checksum and, for the long form, the cases read so far.
const char* const kFormat = "fsrank columns 2";
const char* const kOwnChecksum = "columns_checksum";

std::uint64_t Fnv1a(const std::string& bytes, std::uint64_t hash = 14695981039346656037ull) {
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string Hex64(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// Names and labels are the file's bytes, which need not be UTF-8 (a Latin-1 file, say); JSON
// texts must be. Those that are not are kept byte for byte as {"bytes": "<hex>"}, so that a
// resumed run gives the same label the same code.
Json Text(const std::string& bytes) {
  if (IsValidUtf8(bytes)) return bytes;
  std::string hex;
  for (const char c : bytes)
    hex += Hex64(static_cast<unsigned char>(c)).substr(14);
  return Json{{"bytes", hex}};
}

Json ColumnJson(const SchemaColumn& column) {
  Json out = {{"name", Text(column.name)}, {"type", TypeName(column.type)}};
  if (column.type == ColumnType::kCategorical) {
    Json labels = Json::array();
    for (std::size_t k = 0; k < column.labels.Size(); ++k)
      labels.push_back(Text(column.labels.Label(static_cast<int>(k))));
    out["labels"] = std::move(labels);
  }
  return out;
}

Json TextList(const std::vector<std::string>& items) {
  Json out = Json::array();
  for (const std::string& item : items)
    out.push_back(Text(item));
  return out;
}

Json OptionalName(const std::string& name) {
  return name.empty() ? Json() : Text(name);
}

// Reads the parts of the sidecar, naming the file and the place of any fault.
class SidecarReader {
 public:
  explicit SidecarReader(std::string name) : name_(std::move(name)) {}

  [[noreturn]] void Fail(const std::string& where, const std::string& what) const {
    throw InputError(name_ + ": " + where + ": " + what);
  }
  const Json& Member(const Json& object, const std::string& key, const std::string& where,
                     Json::value_t kind, const char* what) const {
    const auto found = object.find(key);
    if (found == object.end() || found->type() != kind) {
      Fail(where + "\"" + key + "\"", std::string("must be ") + what);
    }
    return *found;
  }
  // A text, or the {"bytes": hex} form of a text that is not UTF-8.
  std::string Bytes(const Json& value, const std::string& where) const {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_object() && value.size() == 1 && value.contains("bytes") &&
        value["bytes"].is_string()) {
      const std::string& hex = value["bytes"].get_ref<const std::string&>();
      std::string out;
      for (std::size_t k = 0; k + 1 < hex.size(); k += 2) {
        const int high = HexDigit(hex[k]), low = HexDigit(hex[k + 1]);
        if (high < 0 || low < 0) break;
        out.push_back(static_cast<char>(high * 16 + low));
      }
      if (out.size() * 2 == hex.size()) return out;
    }
    Fail(where, "must be a text");
  }
  std::string Text(const Json& object, const std::string& key, const std::string& where) const {
    const auto found = object.find(key);
    if (found == object.end()) Fail(where + "\"" + key + "\"", "must be a text");
    return Bytes(*found, where + "\"" + key + "\"");
  }
  // A column name that may be absent (null).
  std::string OptionalName(const Json& object, const std::string& key) const {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return {};
    const std::string name = Bytes(*found, "\"" + key + "\"");
    if (name.empty()) Fail("\"" + key + "\"", "the column name is empty");
    return name;
  }
  std::vector<std::string> Texts(const Json& object, const std::string& key,
                                 const std::string& where) const {
    std::vector<std::string> out;
    const Json& list = Member(object, key, where, Json::value_t::array, "a list");
    for (std::size_t k = 0; k < list.size(); ++k) {
      out.push_back(Bytes(list[k], where + "\"" + key + "\"[" + std::to_string(k) + "]"));
    }
    return out;
  }
  SchemaColumn Column(const Json& object, const std::string& where) const {
    if (!object.is_object()) Fail(where, "must be an object");
    SchemaColumn column;
    column.name = Text(object, "name", where);
    if (column.name.empty()) Fail(where + "\"name\"", "the column name is empty");
    const std::string type = Text(object, "type", where);
    if (type != "categorical" && type != "continuous") {
      Fail(where + "\"type\"", "must be \"categorical\" or \"continuous\"");
    }
    column.type = type == "categorical" ? ColumnType::kCategorical : ColumnType::kContinuous;
    if (column.type == ColumnType::kCategorical) {
      // A label's code is its place in the list, so each label may appear once only.
      for (const std::string& label : Texts(object, "labels", where)) {
        const std::size_t code = column.labels.Size();
        if (static_cast<std::size_t>(column.labels.Encode(label)) != code) {
          Fail(where + "\"labels\"", "a label appears twice");
        }
      }
    }
    return column;
  }
  long Count(const Json& object, const std::string& key, const std::string& what) const {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number_unsigned() ||
        found->get<std::uint64_t>() > 9000000000000000ull) {
      Fail("\"" + key + "\"", "must be a whole number of " + what);
    }
    return static_cast<long>(found->get<std::uint64_t>());
  }

 private:
  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  }
  std::string name_;
};

// The sidecar's own checksum covers everything else in it, in the order written, so that any
// edit of a name, label or role is refused (a change of spacing only is not an edit).
std::string OwnChecksum(Json doc) {
  doc.erase(kOwnChecksum);
  return "fnv1a64:" + Hex64(Fnv1a(doc.dump()));
}

// Deeper nesting than the sidecar's own is refused while parsing, before it costs anything.
constexpr int kMaxDepth = 8;

}  // namespace

ColumnSchema ParseSidecar(const std::string& text, const std::string& name, std::string& checksum,
                          SidecarCheck check) {
  SidecarReader read(name);
  Json doc;
  try {
    doc = Json::parse(text, [](int depth, Json::parse_event_t, Json&) {
      if (depth > kMaxDepth) throw InputError("nested too deeply");
      return true;
    });
  } catch (const Json::exception& e) {
    // The library's messages name the byte where the parse failed.
    throw InputError(name + ": not valid JSON: " + e.what());
  } catch (const InputError& e) {
    throw InputError(name + ": not a column description: " + e.what());
  }
  if (!doc.is_object()) read.Fail("the file", "must hold a JSON object");
  if (!doc.contains("format") || doc["format"] != kFormat) {
    read.Fail("\"format\"", std::string("must be \"") + kFormat + "\"");
  }
  if (check == SidecarCheck::kAll && read.Text(doc, kOwnChecksum, "") != OwnChecksum(doc)) {
    read.Fail("the file",
              "was edited after it was written (its checksum differs): the column "
              "description must stay as the run that saved the state wrote it");
  }
  checksum = read.Text(doc, "state_checksum", "");
  ColumnSchema schema;
  const std::string form = read.Text(doc, "form", "");
  if (form != "wide" && form != "long") read.Fail("\"form\"", "must be \"wide\" or \"long\"");
  schema.long_form = form == "long";
  const std::string delimiter = read.Text(doc, "delimiter", "");
  if (delimiter.size() != 1 || !IsUsableDelimiter(delimiter[0])) {
    read.Fail("\"delimiter\"", "must be one character other than a quote or a line end");
  }
  schema.delimiter = delimiter[0];
  schema.missing = read.Texts(doc, "missing", "");
  schema.sources = read.Texts(doc, "sources", "");
  schema.rows = read.Count(doc, "rows", "rows");
  schema.target = read.Column(read.Member(doc, "target", "", Json::value_t::object, "an object"),
                              "\"target\": ");
  if (schema.long_form) {
    schema.case_column = read.OptionalName(doc, "case");
    schema.predictor_column = read.OptionalName(doc, "predictor");
    schema.value_column = read.OptionalName(doc, "value");
    if (schema.case_column.empty() || schema.predictor_column.empty() ||
        schema.value_column.empty()) {
      read.Fail("the long form", "\"case\", \"predictor\" and \"value\" must name columns");
    }
    const long cases = read.Count(doc, "cases", "cases");
    const std::string hashes = read.Text(doc, "case_hashes", "");
    if (hashes.size() != static_cast<std::size_t>(cases) * 16) {
      read.Fail("\"case_hashes\"", "must hold 16 hexadecimal digits per case");
    }
    for (std::size_t k = 0; k < hashes.size(); k += 16) {
      std::uint64_t hash = 0;
      for (std::size_t d = k; d < k + 16; ++d) {
        const char c = hashes[d];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) read.Fail("\"case_hashes\"", "must hold hexadecimal digits");
        hash = hash * 16 + static_cast<std::uint64_t>(digit);
      }
      schema.case_hashes.insert(hash);
    }
    if (schema.case_hashes.size() != static_cast<std::size_t>(cases)) {
      read.Fail("\"case_hashes\"", "a case is listed twice");
    }
    schema.last_case = read.Text(doc, "last_case", "");
  } else {
    schema.weight = read.OptionalName(doc, "weight");
    schema.id = read.OptionalName(doc, "id");
  }
  const Json& predictors = read.Member(doc, "predictors", "", Json::value_t::array, "a list");
  if (predictors.empty()) read.Fail("\"predictors\"", "the list is empty");
  for (std::size_t k = 0; k < predictors.size(); ++k) {
    schema.predictors.push_back(
        read.Column(predictors[k], "\"predictors\"[" + std::to_string(k) + "]: "));
  }
  const std::string names = CheckColumnNames(schema);
  if (!names.empty()) read.Fail("the columns", names);
  return schema;
}

namespace {

std::string ReadWholeFile(const std::string& path, const std::string& why) {
  std::ifstream in(path, std::ios::in | std::ios::binary);
  if (!in) throw InputError(path + ": cannot open: " + std::strerror(errno) + why);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw InputError(path + ": read error");
  return text.str();
}

}  // namespace

std::string SidecarPath(const std::string& state_path) {
  return state_path + ".columns.json";
}

std::string FileChecksum(const std::string& path) {
  std::ifstream in(path, std::ios::in | std::ios::binary);
  if (!in) throw InputError(path + ": cannot open: " + std::strerror(errno));
  std::uint64_t hash = 14695981039346656037ull;
  std::string buffer(std::size_t{1} << 14, '\0');
  while (in) {
    in.read(&buffer[0], static_cast<std::streamsize>(buffer.size()));
    hash = Fnv1a(buffer.substr(0, static_cast<std::size_t>(in.gcount())), hash);
  }
  if (in.bad()) throw InputError(path + ": read error");
  return "fnv1a64:" + Hex64(hash);
}

void WriteSidecar(std::ostream& out, const ColumnSchema& schema, const std::string& checksum) {
  Json doc = {{"format", kFormat},
              {"state_checksum", checksum},
              {"form", schema.long_form ? "long" : "wide"},
              {"delimiter", Text(std::string(1, schema.delimiter))},
              {"missing", TextList(schema.missing)},
              {"sources", TextList(schema.sources)},
              {"rows", schema.rows},
              {"target", ColumnJson(schema.target)}};
  if (schema.long_form) {
    doc["case"] = OptionalName(schema.case_column);
    doc["predictor"] = OptionalName(schema.predictor_column);
    doc["value"] = OptionalName(schema.value_column);
    doc["cases"] = schema.case_hashes.size();
    std::string hashes;
    for (const std::uint64_t hash : schema.case_hashes)
      hashes += Hex64(hash);
    doc["case_hashes"] = hashes;
    doc["last_case"] = Text(schema.last_case);
  } else {
    doc["weight"] = OptionalName(schema.weight);
    doc["id"] = OptionalName(schema.id);
  }
  Json predictors = Json::array();
  for (const SchemaColumn& column : schema.predictors)
    predictors.push_back(ColumnJson(column));
  doc["predictors"] = std::move(predictors);
  doc[kOwnChecksum] = OwnChecksum(doc);
  out << doc.dump(2) << "\n";
}

bool IsUsableDelimiter(char c) {
  return c != '"' && c != '\n' && c != '\r' && c != '\0';
}

std::uint64_t CaseHash(const std::string& id) {
  return Fnv1a(id);
}

std::string NameFault(const std::vector<std::string>& names, const std::string& what) {
  std::unordered_map<std::string, std::size_t> seen;
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (names[k].empty()) return what + " " + std::to_string(k + 1) + " has no name";
    const auto [at, added] = seen.emplace(names[k], k);
    if (!added) {
      return what + "s " + std::to_string(at->second + 1) + " and " + std::to_string(k + 1) +
             " have the same name \"" + names[k] + "\"";
    }
  }
  return {};
}

std::string CheckColumnNames(const ColumnSchema& schema) {
  std::vector<std::string> columns;
  if (schema.HasTarget()) columns.push_back(schema.target.name);
  std::vector<std::string> predictors;
  for (const SchemaColumn& column : schema.predictors)
    predictors.push_back(column.name);
  if (schema.long_form) {
    // Long-form predictor names are values of a column, not columns: they only must differ
    // among themselves.
    columns.insert(columns.end(),
                   {schema.case_column, schema.predictor_column, schema.value_column});
    const std::string fault = NameFault(columns, "role column");
    return fault.empty() ? NameFault(predictors, "predictor") : fault;
  }
  if (!schema.weight.empty()) columns.push_back(schema.weight);
  if (!schema.id.empty()) columns.push_back(schema.id);
  columns.insert(columns.end(), predictors.begin(), predictors.end());
  return NameFault(columns, "column");
}

ColumnSchema LoadSidecar(const std::string& state_path) {
  const std::string checksum = FileChecksum(state_path);
  const std::string name = SidecarPath(state_path);
  const std::string text = ReadWholeFile(
      name, " (resuming needs the description of the columns written next to the state)");
  std::string written;
  ColumnSchema schema = ParseSidecar(text, name, written);
  if (written != checksum) {
    throw InputError(name + ": was not written with " + state_path +
                     " (the state's checksum differs): the state and its column description must "
                     "come from the same run");
  }
  return schema;
}

}  // namespace fsrank_cli
