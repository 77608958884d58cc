#include "schema.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "csv_reader.h"
#include "json_reader.h"
#include "text.h"

namespace fsrank_cli {

namespace {

const char* const kFormat = "fsrank columns 1";

void WriteColumn(std::ostream& out, const SchemaColumn& column) {
  out << "{\"name\": " << JsonString(column.name)
      << ", \"type\": " << JsonString(TypeName(column.type));
  if (column.type == ColumnType::kCategorical) {
    out << ", \"labels\": [";
    for (std::size_t k = 0; k < column.labels.Size(); ++k) {
      out << (k == 0 ? "" : ", ") << JsonString(column.labels.Label(static_cast<int>(k)));
    }
    out << "]";
  }
  out << "}";
}

void WriteList(std::ostream& out, const std::vector<std::string>& items) {
  out << "[";
  for (std::size_t k = 0; k < items.size(); ++k)
    out << (k == 0 ? "" : ", ") << JsonString(items[k]);
  out << "]";
}

// Reads the parts of the sidecar, naming the file and the place of any fault.
class SidecarReader {
 public:
  explicit SidecarReader(std::string name) : name_(std::move(name)) {}

  [[noreturn]] void Fail(const std::string& where, const std::string& what) const {
    throw InputError(name_ + ": " + where + ": " + what);
  }
  const Json& Member(const Json& object, const std::string& key, const std::string& where,
                     Json::Kind kind) const {
    const Json& value = object[key];
    if (value.kind != kind) {
      static const char* const kKinds[] = {"null",   "true or false", "a number",
                                           "a text", "a list",        "an object"};
      Fail(where + "\"" + key + "\"", std::string("must be ") + kKinds[kind]);
    }
    return value;
  }
  std::string Text(const Json& object, const std::string& key, const std::string& where) const {
    return Member(object, key, where, Json::kString).text;
  }
  // A column name that may be absent (null).
  std::string OptionalName(const Json& object, const std::string& key) const {
    if (object[key].IsNull()) return {};
    const std::string name = Text(object, key, "");
    if (name.empty()) Fail("\"" + key + "\"", "the column name is empty");
    return name;
  }
  std::vector<std::string> Texts(const Json& object, const std::string& key,
                                 const std::string& where) const {
    std::vector<std::string> out;
    const Json& list = Member(object, key, where, Json::kArray);
    for (std::size_t k = 0; k < list.items.size(); ++k) {
      if (list.items[k].kind != Json::kString) {
        Fail(where + "\"" + key + "\"[" + std::to_string(k) + "]", "must be a text");
      }
      out.push_back(list.items[k].text);
    }
    return out;
  }
  SchemaColumn Column(const Json& object, const std::string& where) const {
    if (object.kind != Json::kObject) Fail(where, "must be an object");
    SchemaColumn column;
    column.name = Text(object, "name", where);
    if (column.name.empty()) Fail(where + "\"name\"", "the column name is empty");
    const std::string type = Text(object, "type", where);
    if (type != "categorical" && type != "continuous") {
      Fail(where + "\"type\"", "must be \"categorical\" or \"continuous\", not \"" + type + "\"");
    }
    column.type = type == "categorical" ? ColumnType::kCategorical : ColumnType::kContinuous;
    if (column.type == ColumnType::kCategorical) {
      // A label's code is its place in the list, so each label may appear once only.
      for (const std::string& label : Texts(object, "labels", where)) {
        const std::size_t code = column.labels.Size();
        if (static_cast<std::size_t>(column.labels.Encode(label)) != code) {
          Fail(where + "\"labels\"", "the label \"" + label + "\" appears twice");
        }
      }
    }
    return column;
  }

 private:
  std::string name_;
};

ColumnSchema ParseSidecar(const std::string& text, const std::string& name, std::string& checksum) {
  SidecarReader read(name);
  Json doc;
  try {
    doc = ParseJson(text);
  } catch (const JsonError& e) {
    throw InputError(name + ": " + e.what());
  }
  if (doc.kind != Json::kObject) read.Fail("the file", "must hold a JSON object");
  if (doc["format"].kind != Json::kString || doc["format"].text != kFormat) {
    read.Fail("\"format\"", std::string("must be \"") + kFormat + "\"");
  }
  checksum = read.Text(doc, "state_checksum", "");
  ColumnSchema schema;
  const std::string form = read.Text(doc, "form", "");
  if (form != "wide" && form != "long") read.Fail("\"form\"", "must be \"wide\" or \"long\"");
  schema.long_form = form == "long";
  const std::string delimiter = read.Text(doc, "delimiter", "");
  if (delimiter.size() != 1) read.Fail("\"delimiter\"", "must be one character");
  schema.delimiter = delimiter[0];
  schema.missing = read.Texts(doc, "missing", "");
  schema.sources = read.Texts(doc, "sources", "");
  const double rows = read.Member(doc, "rows", "", Json::kNumber).number;
  if (!(rows >= 0 && rows <= 9.0e15) || rows != static_cast<double>(static_cast<long>(rows))) {
    read.Fail("\"rows\"", "must be a whole number of rows");
  }
  schema.rows = static_cast<long>(rows);
  schema.target = read.Column(read.Member(doc, "target", "", Json::kObject), "\"target\": ");
  std::vector<std::string> names = {schema.target.name};
  if (schema.long_form) {
    schema.case_column = read.OptionalName(doc, "case");
    schema.predictor_column = read.OptionalName(doc, "predictor");
    schema.value_column = read.OptionalName(doc, "value");
    if (schema.case_column.empty() || schema.predictor_column.empty() ||
        schema.value_column.empty()) {
      read.Fail("the long form", "\"case\", \"predictor\" and \"value\" must name columns");
    }
    names.insert(names.end(), {schema.case_column, schema.predictor_column, schema.value_column});
  } else {
    schema.weight = read.OptionalName(doc, "weight");
    schema.id = read.OptionalName(doc, "id");
    if (!schema.weight.empty()) names.push_back(schema.weight);
    if (!schema.id.empty()) names.push_back(schema.id);
  }
  const Json& predictors = read.Member(doc, "predictors", "", Json::kArray);
  if (predictors.items.empty()) read.Fail("\"predictors\"", "the list is empty");
  for (std::size_t k = 0; k < predictors.items.size(); ++k) {
    schema.predictors.push_back(
        read.Column(predictors.items[k], "\"predictors\"[" + std::to_string(k) + "]: "));
    // Long-form predictor names are values of a column, not columns: they only must differ
    // among themselves.
    if (!schema.long_form) names.push_back(schema.predictors.back().name);
  }
  for (std::size_t a = 0; a < names.size(); ++a) {
    for (std::size_t b = a + 1; b < names.size(); ++b) {
      if (names[a] == names[b]) read.Fail("the columns", "\"" + names[a] + "\" is named twice");
    }
  }
  if (schema.long_form) {
    for (std::size_t a = 0; a < schema.predictors.size(); ++a) {
      for (std::size_t b = a + 1; b < schema.predictors.size(); ++b) {
        if (schema.predictors[a].name == schema.predictors[b].name) {
          read.Fail("\"predictors\"", "\"" + schema.predictors[a].name + "\" is named twice");
        }
      }
    }
  }
  return schema;
}

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
  char buffer[1 << 14];
  while (in) {
    in.read(buffer, sizeof buffer);
    for (std::streamsize k = 0; k < in.gcount(); ++k) {
      hash ^= static_cast<unsigned char>(buffer[k]);
      hash *= 1099511628211ull;
    }
  }
  if (in.bad()) throw InputError(path + ": read error");
  char text[32];
  std::snprintf(text, sizeof text, "fnv1a64:%016llx", static_cast<unsigned long long>(hash));
  return text;
}

void WriteSidecar(std::ostream& out, const ColumnSchema& schema, const std::string& checksum) {
  const auto name = [](const std::string& n) { return n.empty() ? "null" : JsonString(n); };
  out << "{\n  \"format\": " << JsonString(kFormat) << ",\n";
  out << "  \"state_checksum\": " << JsonString(checksum) << ",\n";
  out << "  \"form\": " << (schema.long_form ? "\"long\"" : "\"wide\"") << ",\n";
  out << "  \"delimiter\": " << JsonString(std::string(1, schema.delimiter)) << ",\n";
  out << "  \"missing\": ";
  WriteList(out, schema.missing);
  out << ",\n  \"sources\": ";
  WriteList(out, schema.sources);
  out << ",\n  \"rows\": " << schema.rows << ",\n  \"target\": ";
  WriteColumn(out, schema.target);
  if (schema.long_form) {
    out << ",\n  \"case\": " << name(schema.case_column)
        << ",\n  \"predictor\": " << name(schema.predictor_column)
        << ",\n  \"value\": " << name(schema.value_column);
  } else {
    out << ",\n  \"weight\": " << name(schema.weight) << ",\n  \"id\": " << name(schema.id);
  }
  out << ",\n  \"predictors\": [";
  for (std::size_t k = 0; k < schema.predictors.size(); ++k) {
    out << (k == 0 ? "\n    " : ",\n    ");
    WriteColumn(out, schema.predictors[k]);
  }
  out << "\n  ]\n}\n";
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
