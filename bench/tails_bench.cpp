// Cost of one p-value: the upper tail as 1 minus the lower tail (complement) next to the upper
// tail computed directly (exact), at the degrees of freedom of the criteria step's usual tests
// (2,000 cases; a target or predictor of 2, 3, 4 or 5 categories) and statistics spread over
// the distribution's body, where most predictors' statistics fall.
#include <vector>

#include <benchmark/benchmark.h>

#include "stats/distributions.h"

namespace {

constexpr int kPoints = 64;

// Statistics from 0 up to about the 0.1 percent point, scaled by `spread`.
std::vector<double> Statistics(double spread) {
  std::vector<double> values;
  for (int i = 0; i < kPoints; ++i)
    values.push_back(spread * (i + 0.5) / kPoints);
  return values;
}

void BM_ChiSquare(benchmark::State& state, bool exact) {
  const double df = static_cast<double>(state.range(0));
  const std::vector<double> xs = Statistics(4 * df + 20);
  for (auto _ : state) {
    for (double x : xs)
      benchmark::DoNotOptimize(exact ? ChiSquareUpper(x, df) : 1 - ChiSquareCdf(x, df));
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_F(benchmark::State& state, bool exact) {
  const double d1 = static_cast<double>(state.range(0));
  const double d2 = 2000 - d1 - 1;
  const std::vector<double> fs = Statistics(8);
  for (auto _ : state) {
    for (double f : fs)
      benchmark::DoNotOptimize(exact ? FUpper(f, d1, d2) : 1 - FCdf(f, d1, d2));
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_T(benchmark::State& state, bool exact) {
  const double df = static_cast<double>(state.range(0));
  const std::vector<double> ts = Statistics(4);
  for (auto _ : state) {
    for (double t : ts)
      benchmark::DoNotOptimize(exact ? TTwoSidedUpper(t, df) : 2 * (1 - TCdf(t, df)));
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

}  // namespace

BENCHMARK_CAPTURE(BM_ChiSquare, complement, false)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Arg(8);
BENCHMARK_CAPTURE(BM_ChiSquare, exact, true)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Arg(8);
BENCHMARK_CAPTURE(BM_F, complement, false)->Arg(1)->Arg(2)->Arg(3)->Arg(4);
BENCHMARK_CAPTURE(BM_F, exact, true)->Arg(1)->Arg(2)->Arg(3)->Arg(4);
BENCHMARK_CAPTURE(BM_T, complement, false)->Arg(1998);
BENCHMARK_CAPTURE(BM_T, exact, true)->Arg(1998);

BENCHMARK_MAIN();
