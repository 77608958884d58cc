// matrix_host: the C++ side of bench/python_bench.py. A host of the exported interface that
// loads a matrix of float64 values (row-major; column 0 the categorical target, the others
// continuous predictors) into memory and times one AccumulateAndRank over its rows: the time a
// C++ program with the data already in memory takes, next to fsrank.rank on the same values.
// Its records come out of the matrix through the Python binding's record iterator (NaN read as
// missing), which copies each row of neighbouring float64 fields at once.
//
//   matrix_host FILE ROWS COLUMNS   prints "seconds S cpu C" (wall-clock and processor time)
#include <fsrank/fsrank.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "fsrank/column_records.h"

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
  const std::clock_t cpu = std::clock();
  FSSettings settings(columns - 1, false, true);
  settings.SetTargetPosition(0);
  // fsrank.rank computes exact p-value tails by default; so does this host.
  fsrank_columns::SetExactTails(settings, true);
  FSFactory factory;
  std::unique_ptr<IFSAlgorithm> algorithm(factory.CreateFSAlgorithm(&settings));
  std::vector<fsrank_columns::Column> fields(static_cast<std::size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    fields[static_cast<std::size_t>(c)].data = reinterpret_cast<const char*>(values.data() + c);
    fields[static_cast<std::size_t>(c)].step =
        static_cast<std::ptrdiff_t>(sizeof(double)) * columns;
  }
  fsrank_columns::ColumnRecords it(std::move(fields), static_cast<std::size_t>(rows));
  if (!algorithm || algorithm->AccumulateAndRank(it, -1, true, 0).IsError()) return 1;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("seconds %.4f cpu %.4f\n", seconds,
              static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC);
  return 0;
}
