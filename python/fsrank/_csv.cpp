// A CSV block parser for fsrank.dask.rank_csv: the rows of one byte range of a file become
// columns of numbers or category codes, in one native pass with the interpreter lock released.
// Fields are split by the fsrank program's own splitter (quoted fields, doubled quotes, LF, CRLF
// or CR line ends) and its number parser. Missing values are the tokens pandas'
// read_csv takes as missing, so that a file ranks the same whether pandas or this parser reads it.
#include <fast_float/fast_float.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "column_types.h"
#include "csv_blocks.h"

namespace py = pybind11;

namespace {

// pandas' default missing-value tokens (its read_csv na_values).
bool IsMissingToken(std::string_view s) {
  static constexpr std::string_view kTokens[] = {
      "",     "#N/A",   "#N/A N/A", "#NA",  "-1.#IND", "-1.#QNAN", "-NaN",
      "-nan", "1.#IND", "1.#QNAN",  "<NA>", "N/A",     "NA",       "NULL",
      "NaN",  "None",   "n/a",      "nan",  "null"};
  if (s.size() > 8) return false;
  for (const std::string_view t : kTokens)
    if (s == t) return true;
  return false;
}

// Reads the whole field as a number; false when it is not one. A number reads as the fsrank
// program reads it; pandas also reads infinities and NaN ("inf", "-Infinity", "1e999", "nan"),
// which the program's parser refuses, so those go on to fast_float.
bool ParseNumber(std::string_view field, double& value) {
  if (fsrank_cli::ParseNumber(field, value)) return true;
  const std::string_view s = fsrank_cli::Trim(field);
  const char* p = s.data();
  const char* const end = p + s.size();
  if (p != end && *p == '+') {  // fast_float refuses a leading plus; one sign only
    ++p;
    if (p == end || *p == '-') return false;
  }
  const auto r = fast_float::from_chars(p, end, value);
  return r.ec == std::errc() && r.ptr == end;
}

// One categorical column's labels in order of first appearance in the block, and the codes.
// Few labels are searched in a line; a column of many gets a hash table.
template <class Key, class Hash = std::hash<Key>>
class Dictionary {
 public:
  template <class View>
  std::int32_t Code(const View& key) {
    if (map_.empty()) {
      for (std::size_t k = 0; k < keys_.size(); ++k)
        if (keys_[k] == key) return static_cast<std::int32_t>(k);
      return Add(key);
    }
    scratch_ = key;
    const auto it = map_.find(scratch_);
    return it != map_.end() ? it->second : Add(key);
  }
  const std::vector<Key>& Keys() const { return keys_; }

 private:
  static constexpr std::size_t kLinear = 16;
  template <class View>
  std::int32_t Add(const View& key) {
    const auto code = static_cast<std::int32_t>(keys_.size());
    keys_.emplace_back(key);
    if (keys_.size() > kLinear) {
      if (map_.empty())
        for (std::size_t k = 0; k < keys_.size(); ++k)
          map_.emplace(keys_[k], static_cast<std::int32_t>(k));
      else
        map_.emplace(keys_.back(), code);
    }
    return code;
  }
  std::vector<Key> keys_;
  std::unordered_map<Key, std::int32_t, Hash> map_;
  Key scratch_{};
};

struct ColumnOut {
  char kind = 'c';  // 'c' continuous, 'n' numeric categories, 't' text categories
  double* values = nullptr;
  std::int32_t* codes = nullptr;
  Dictionary<double> numbers;
  Dictionary<std::string> texts;
};

class Sink {
 public:
  Sink(std::vector<ColumnOut>& columns, bool header, std::size_t capacity)
      : columns_(columns), header_(header), capacity_(capacity) {}

  void Field(std::size_t k, std::string_view text, long line) {
    if (header_) {
      names_.emplace_back(text);
      return;
    }
    if (row_ >= capacity_) {
      if (error_.empty()) SetError(line, "more rows than the outputs hold");
      return;
    }
    if (k >= columns_.size()) {
      if (error_.empty()) {
        SetError(line,
                 "the row has more fields than the header's " + std::to_string(columns_.size()));
      }
      return;
    }
    ColumnOut& c = columns_[k];
    if (c.kind == 't') {
      c.codes[row_] = IsMissingToken(text) ? -1 : c.texts.Code(text);
      return;
    }
    double v = 0.0;
    const bool number = ParseNumber(text, v);
    if (c.kind == 'c') {
      // Text in a numeric column is missing, as when pandas reads it as text.
      c.values[row_] = number ? v : NAN;
      return;
    }
    if (!number && !IsMissingToken(text)) {
      if (error_.empty()) {
        SetError(line, "column " + std::to_string(k + 1) + " holds numbered categories but '" +
                           std::string(text.substr(0, 40)) + "' is not a number");
      }
      c.codes[row_] = -1;
      return;
    }
    if (!number || std::isnan(v)) {
      c.codes[row_] = -1;
      return;
    }
    c.codes[row_] = c.numbers.Code(v == 0.0 ? 0.0 : v);  // -0 and 0 are one label
  }

  bool Row(std::size_t count, long line) {
    if (header_) {
      header_ = false;
      return true;
    }
    if (row_ >= capacity_) return false;
    for (std::size_t k = count; k < columns_.size(); ++k) {  // short rows: missing values
      if (columns_[k].kind == 'c')
        columns_[k].values[row_] = NAN;
      else
        columns_[k].codes[row_] = -1;
    }
    ++row_;
    (void)line;
    return error_.empty();
  }

  void SetError(long line, std::string text) {
    error_line_ = line;
    error_ = std::move(text);
  }

  std::vector<ColumnOut>& columns_;
  bool header_;
  std::size_t capacity_;
  std::vector<std::string> names_;
  std::size_t row_ = 0;
  long error_line_ = 0;
  std::string error_;
};

// parse(buffer, size, kinds, delimiter, header, outputs) -> (names, rows, labels, line, error)
// Parses buffer[0:size), which must start at a row and be followed by a line end at
// buffer[size]. `kinds` has one character per column ('c', 'n' or 't'), `outputs` one writable
// array per column (float64 values for 'c', int32 codes with -1 missing otherwise), which the
// caller keeps from one block to the next, so that a block costs no fresh memory; rows beyond
// the shortest output are an error. With `header`, the first row is the column names. Returns
// the names (None without header), the number of rows, per column its labels in code order
// (None for a continuous one), and, when the rows are malformed, the 1-based line of the range
// and a message (the rows before it are complete).
py::tuple Parse(py::buffer buffer, std::size_t size, const std::string& kinds, char delimiter,
                bool header, const py::list& outputs) {
  const py::buffer_info info = buffer.request();
  if (info.ndim != 1 || info.itemsize != 1 || static_cast<std::size_t>(info.size) <= size) {
    throw std::invalid_argument("the buffer must hold size bytes and a line end after them");
  }
  const char* data = static_cast<const char*>(info.ptr);
  if (data[size] != '\n') throw std::invalid_argument("the buffer must end with a line end");
  if (outputs.size() != kinds.size()) throw std::invalid_argument("one output per column");
  std::size_t capacity = static_cast<std::size_t>(-1);
  std::vector<ColumnOut> columns(kinds.size());
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    columns[k].kind = kinds[k];
    const bool values = kinds[k] == 'c';
    py::array a = outputs[k].cast<py::array>();  // no conversion: the array itself, or a refusal
    const bool fits = values ? a.dtype().equal(py::dtype::of<double>())
                             : a.dtype().equal(py::dtype::of<std::int32_t>());
    if (!fits || a.ndim() != 1 || !a.writeable() || !(a.flags() & py::array::c_style)) {
      throw std::invalid_argument("output " + std::to_string(k) + " is not a writable " +
                                  (values ? "float64" : "int32") + " array");
    }
    capacity = std::min(capacity, static_cast<std::size_t>(a.shape(0)));
    if (values)
      columns[k].values = static_cast<double*>(a.mutable_data());
    else
      columns[k].codes = static_cast<std::int32_t*>(a.mutable_data());
  }
  Sink sink(columns, header, capacity);
  fsrank_cli::SplitEnd end;
  long line = 1;
  {
    py::gil_scoped_release release;
    std::string scratch;
    end = fsrank_cli::SplitRows(data, data + size, delimiter, scratch, line, sink);
  }
  if (sink.error_.empty() && end == fsrank_cli::SplitEnd::kUnclosedQuote) {
    sink.SetError(line, "a quoted field is never closed");
  } else if (sink.error_.empty() && end == fsrank_cli::SplitEnd::kOverlong) {
    sink.SetError(line, "the row is longer than 16 MiB");
  }
  py::list labels;
  for (const ColumnOut& c : columns) {
    if (c.kind == 'c') {
      labels.append(py::none());
      continue;
    }
    py::list out;
    if (c.kind == 'n') {
      for (double v : c.numbers.Keys())
        out.append(v);
    } else {
      for (const std::string& s : c.texts.Keys()) {
        PyObject* text =
            PyUnicode_DecodeUTF8(s.data(), static_cast<py::ssize_t>(s.size()), "surrogateescape");
        if (text == nullptr) throw py::error_already_set();
        out.append(py::reinterpret_steal<py::object>(text));
      }
    }
    labels.append(out);
  }
  py::object names = py::none();
  if (header) {
    py::list n;
    for (const std::string& s : sink.names_)
      n.append(py::str(s));
    names = n;
  }
  return py::make_tuple(names, sink.row_, labels, sink.error_line_, sink.error_);
}

}  // namespace

PYBIND11_MODULE(_csv, m) {
  m.doc() = "fsrank's CSV block parser for fsrank.dask.rank_csv";
  m.def("parse", &Parse, py::arg("buffer"), py::arg("size"), py::arg("kinds"), py::arg("delimiter"),
        py::arg("header"), py::arg("outputs"));
}
