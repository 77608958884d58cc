// matrix_host: the C++ side of bench/python_bench.py. A host of the exported interface that
// loads a matrix of float64 values (row-major; column 0 the categorical target, the others
// continuous predictors) into memory and times one AccumulateAndRank over its rows: the time a
// C++ program with the data already in memory takes, next to fsrank.rank on the same values.
//
//   matrix_host FILE ROWS COLUMNS   prints "seconds S"
#include <fsrank/fsrank.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

class Rows : public NQCommon::RecordIterator {
 public:
  Rows(const std::vector<double>& values, long rows, int columns)
      : values_(values), rows_(rows), columns_(columns), record_(columns) {}
  bool Next() override {
    if (next_ == rows_) return false;
    std::memcpy(record_.GetAll(), &values_[static_cast<std::size_t>(next_ * columns_)],
                sizeof(double) * static_cast<std::size_t>(columns_));
    ++next_;
    return true;
  }
  NQCommon::Record* GetRecord() override { return &record_; }

 private:
  const std::vector<double>& values_;
  long rows_;
  long columns_;
  long next_ = 0;
  NQCommon::Record record_;
};

// fsrank.rank computes exact p-value tails by default; so does this host, in a library that
// has them.
template <class S, class = void>
struct HasExactTails : std::false_type {};
template <class S>
struct HasExactTails<S, std::void_t<decltype(std::declval<S&>().SetFlagExactTails(true))>>
    : std::true_type {};

template <class S>
void SetExactTails(S& settings) {
  if constexpr (HasExactTails<S>::value) settings.SetFlagExactTails(true);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: matrix_host FILE ROWS COLUMNS\n");
    return 1;
  }
  const long rows = std::atol(argv[2]);
  const int columns = std::atoi(argv[3]);
  std::vector<double> values(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr ||
      std::fread(values.data(), sizeof(double), values.size(), file) != values.size()) {
    std::fprintf(stderr, "matrix_host: cannot read %s\n", argv[1]);
    return 1;
  }
  std::fclose(file);

  const auto start = std::chrono::steady_clock::now();
  FSSettings settings(columns - 1, false, true);
  settings.SetTargetPosition(0);
  SetExactTails(settings);
  FSFactory factory;
  std::unique_ptr<IFSAlgorithm> algorithm(factory.CreateFSAlgorithm(&settings));
  Rows it(values, rows, columns);
  if (!algorithm || algorithm->AccumulateAndRank(it, -1, true, 0).IsError()) return 1;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("seconds %.4f\n", seconds);
  return 0;
}
