// Records out of columns that lie where their owner put them: the record iterator of the
// Python binding (numpy arrays, pandas frames) and of bench/matrix_host (a row-major matrix).
// Only the exported interface is used, so a host linking the shared library includes it too.
//
// NaN becomes the library's missing value, and so does a negative code in a column of category
// codes. Columns that are neighbours in memory (float64 fields of one row-major array, as a
// pandas frame built from a 2-D array holds them) are copied straight into each record; any
// other column is read down a block of rows at a time into a row-major buffer, from which each
// record copies its values.
#ifndef FSRANK_PYTHON_COLUMN_RECORDS_H
#define FSRANK_PYTHON_COLUMN_RECORDS_H

#include <fsrank/fsrank.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

namespace fsrank_columns {

// One input column: a one-dimensional buffer of numpy type character `kind`, `step` bytes from
// one row to the next. Floating-point NaN is missing; in a column of category codes a negative
// code is missing.
struct Column {
  const char* data = nullptr;
  std::ptrdiff_t step = 0;
  char kind = 'd';
  bool codes = false;
};

// The numpy type characters a Column may have.
inline bool Supported(char kind) {
  return kind != 0 && std::strchr("dfbhilqBHILQ?", kind) != nullptr;
}

namespace detail {

template <class T>
T At(const char* base, std::ptrdiff_t step, std::size_t r) {
  T v;
  std::memcpy(&v, base + static_cast<std::ptrdiff_t>(r) * step, sizeof v);
  return v;
}

// NaN as missing. An infinity is only noted, in `inf` (nonzero), without a branch or a
// floating-point comparison that would keep the compiler from vectorising the loops around it;
// the caller finds the infinity when there was one.
inline double Value(double v, std::uint64_t& inf) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  // Zero exactly for +-infinity: the magnitude's bits equal the infinity's.
  inf |= (((bits & 0x7fffffffffffffffULL) ^ 0x7ff0000000000000ULL) - 1) >> 63;
  return v != v ? gMissingValue : v;
}

template <class T>
void ConvertInts(const char* src, std::ptrdiff_t step, std::size_t n, double* out,
                 std::size_t stride, bool codes) {
  for (std::size_t r = 0; r < n; ++r) {
    const T v = At<T>(src, step, r);
    out[r * stride] = (codes && v < 0) ? gMissingValue : static_cast<double>(v);
  }
}

template <class T>
bool ConvertFloats(const char* src, std::ptrdiff_t step, std::size_t n, double* out,
                   std::size_t stride) {
  std::uint64_t inf = 0;
  for (std::size_t r = 0; r < n; ++r) {
    out[r * stride] = Value(static_cast<double>(At<T>(src, step, r)), inf);
  }
  return inf != 0;
}

// count neighbouring float64 values (of an aligned row) into a record; true on an infinity.
inline bool CopyRow(const double* src, std::size_t count, double* out) {
  std::uint64_t inf = 0;
  for (std::size_t k = 0; k < count; ++k)
    out[k] = Value(src[k], inf);
  return inf != 0;
}

// Columns are converted into the block kGroup at a time when they are aligned float64 ones:
// each row of the group then fills whole cache lines of the block.
constexpr std::size_t kGroup = 8;

inline bool ConvertGroup(const double* const* src, const std::ptrdiff_t* step, std::size_t n,
                         double* out, std::size_t stride) {
  std::uint64_t inf = 0;
  for (std::size_t r = 0; r < n; ++r) {
    double* to = out + r * stride;
    for (std::size_t j = 0; j < kGroup; ++j) {
      to[j] = Value(src[j][static_cast<std::ptrdiff_t>(r) * step[j]], inf);
    }
  }
  return inf != 0;
}

// One column, rows n from src, into every stride-th value of out; true when it met an infinity.
inline bool ConvertColumn(const Column& col, const char* src, std::size_t n, double* out,
                          std::size_t stride) {
  switch (col.kind) {
    case 'd':
      return ConvertFloats<double>(src, col.step, n, out, stride);
    case 'f':
      return ConvertFloats<float>(src, col.step, n, out, stride);
    case 'b':
      ConvertInts<std::int8_t>(src, col.step, n, out, stride, col.codes);
      break;
    case 'h':
      ConvertInts<std::int16_t>(src, col.step, n, out, stride, col.codes);
      break;
    case 'i':
      ConvertInts<std::int32_t>(src, col.step, n, out, stride, col.codes);
      break;
    case 'l':
    case 'q':
      ConvertInts<std::int64_t>(src, col.step, n, out, stride, col.codes);
      break;
    case 'B':
    case '?':
      ConvertInts<std::uint8_t>(src, col.step, n, out, stride, false);
      break;
    case 'H':
      ConvertInts<std::uint16_t>(src, col.step, n, out, stride, false);
      break;
    case 'I':
      ConvertInts<std::uint32_t>(src, col.step, n, out, stride, false);
      break;
    default:  // 'L', 'Q'
      ConvertInts<std::uint64_t>(src, col.step, n, out, stride, false);
      break;
  }
  return false;
}

}  // namespace detail

// Hands the rows of the columns (in record order) to the library. A pass stops at the first
// row holding an infinite value, before handing it over: BadColumn() and BadRow() then name
// the leftmost one, or are -1.
class ColumnRecords : public NQCommon::RecordIterator {
 public:
  ColumnRecords(std::vector<Column> columns, std::size_t rows)
      : columns_(std::move(columns)),
        rows_(rows),
        width_(columns_.size()),
        record_(static_cast<int>(columns_.size())) {
    for (std::size_t c = 0; c < width_; ++c) {
      const Column& col = columns_[c];
      const bool aligned = col.kind == 'd' &&
                           reinterpret_cast<std::uintptr_t>(col.data) % alignof(double) == 0 &&
                           col.step % static_cast<std::ptrdiff_t>(alignof(double)) == 0;
      aligned_.push_back(aligned);
      if (!segments_.empty()) {
        Segment& last = segments_.back();
        const Column& prev = columns_[c - 1];
        if (aligned && last.row && col.step == prev.step &&
            col.data == prev.data + sizeof(double)) {
          ++last.count;
          continue;
        }
      }
      segments_.push_back(Segment{c, 1, aligned});
    }
    // A lone column is read down into the block; a row of neighbours straight into records.
    std::vector<Segment> merged;
    for (Segment s : segments_) {
      s.row = s.row && s.count > 1;
      if (!merged.empty() && !merged.back().row && !s.row) {
        merged.back().count += s.count;
      } else {
        merged.push_back(s);
      }
      if (!s.row) block_.resize(block_capacity_ * width_);
    }
    segments_ = std::move(merged);
  }

  bool Next() override {
    if (row_ >= rows_ || bad_column_ >= 0) return false;
    if (!block_.empty() && row_ >= block_start_ + block_rows_) Fill(row_);
    double* record = record_.GetAll();
    const double* block = block_.data() + (row_ - block_start_) * width_;
    bool inf = row_ == block_inf_row_;
    for (const Segment& s : segments_) {
      if (s.row) {
        const Column& col = columns_[s.first];
        const auto* src = reinterpret_cast<const double*>(
            col.data + static_cast<std::ptrdiff_t>(row_) * col.step);
        inf |= detail::CopyRow(src, s.count, record + s.first);
      } else {
        std::memcpy(record + s.first, block + s.first, s.count * sizeof(double));
      }
    }
    if (inf) {
      bad_row_ = static_cast<long>(row_);
      bad_column_ = static_cast<long>(
          std::find_if(record, record + width_, [](double v) { return std::isinf(v); }) - record);
      return false;
    }
    ++row_;
    return true;
  }
  NQCommon::Record* GetRecord() override { return row_ == 0 ? nullptr : &record_; }

  long BadColumn() const { return bad_column_; }
  long BadRow() const { return bad_row_; }

 private:
  // Columns first to first + count - 1: read row by row from the source (row), or from the
  // block.
  struct Segment {
    std::size_t first;
    std::size_t count;
    bool row;
  };

  // Converts the next block of rows of the block's columns, and notes the first row holding
  // an infinity.
  void Fill(std::size_t start) {
    block_start_ = start;
    block_rows_ = std::min(block_capacity_, rows_ - start);
    bool inf = false;
    for (const Segment& s : segments_) {
      if (s.row) continue;
      for (std::size_t c = s.first; c < s.first + s.count;) {
        if (c + detail::kGroup <= s.first + s.count &&
            std::all_of(&aligned_[c], &aligned_[c] + detail::kGroup,
                        [](char a) { return a != 0; })) {
          const double* src[detail::kGroup];
          std::ptrdiff_t step[detail::kGroup];
          for (std::size_t j = 0; j < detail::kGroup; ++j) {
            step[j] = columns_[c + j].step / static_cast<std::ptrdiff_t>(sizeof(double));
            src[j] = reinterpret_cast<const double*>(columns_[c + j].data) +
                     static_cast<std::ptrdiff_t>(start) * step[j];
          }
          inf |= detail::ConvertGroup(src, step, block_rows_, block_.data() + c, width_);
          c += detail::kGroup;
          continue;
        }
        const Column& col = columns_[c];
        const char* src = col.data + static_cast<std::ptrdiff_t>(start) * col.step;
        inf |= detail::ConvertColumn(col, src, block_rows_, block_.data() + c, width_);
        ++c;
      }
    }
    if (!inf) return;
    for (std::size_t i = 0; i < block_rows_ * width_; ++i) {
      if (std::isinf(block_[i])) {
        block_inf_row_ = start + i / width_;
        return;
      }
    }
  }

  std::vector<Column> columns_;
  std::vector<Segment> segments_;
  std::vector<char> aligned_;  // per column: float64, aligned
  std::size_t rows_;
  std::size_t width_;
  // Rows of the block: about 128 KiB of it, which stays in the second-level cache while a
  // group of columns is written across it.
  std::size_t block_capacity_ = std::clamp<std::size_t>(
      (std::size_t{128} << 10) / sizeof(double) / std::max<std::size_t>(width_, 1), 32, 256);
  std::vector<double> block_;  // its rows of width_ values, when a segment is read from it
  std::size_t block_start_ = 0;
  std::size_t block_rows_ = 0;
  std::size_t block_inf_row_ = static_cast<std::size_t>(-1);
  std::size_t row_ = 0;
  NQCommon::Record record_;
  long bad_column_ = -1;
  long bad_row_ = -1;
};

// Exact upper tails for the p-values, in a library that has them (FSSettings::
// SetFlagExactTails): true when the setting took. The flag is not saved with a state, so a
// host sets it before every ranking.
template <class S, class = void>
struct HasExactTails : std::false_type {};
template <class S>
struct HasExactTails<S, std::void_t<decltype(std::declval<S&>().SetFlagExactTails(true))>>
    : std::true_type {};

template <class S>
bool SetExactTails(S& settings, bool on) {
  if constexpr (HasExactTails<S>::value) {
    settings.SetFlagExactTails(on);
    return true;
  } else {
    (void)settings;
    return !on;
  }
}

}  // namespace fsrank_columns

#endif  // FSRANK_PYTHON_COLUMN_RECORDS_H
