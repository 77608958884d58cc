// The cost per value of the accumulator updates and of the map insertions behind them.
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "accum/cat_pair_accum.h"
#include "accum/cont_pair_accum.h"
#include "accum/maps.h"
#include "accum/single_accum.h"

namespace {

constexpr int kValues = 1 << 16;  // a repeating block of prepared inputs

// Category values 0 .. n-1 in random order, as doubles (the accumulators truncate them).
std::vector<double> Categories(int n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> pick(0, n - 1);
  std::vector<double> v(kValues);
  for (double& x : v)
    x = pick(gen) + 0.25;
  return v;
}

std::vector<double> Normals(uint32_t seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> normal(10.0, 3.0);
  std::vector<double> v(kValues);
  for (double& x : v)
    x = normal(gen);
  return v;
}

void BM_CatAccum_AddValueNoTarget(benchmark::State& state) {
  const std::vector<double> xs = Categories(static_cast<int>(state.range(0)), 1);
  std::unique_ptr<FSCatAccum> accum(new FSCatAccum);
  size_t i = 0;
  for (auto _ : state) {
    accum->AddValueNoTarget(xs[i], 1.0, true);
    benchmark::ClobberMemory();
    i = (i + 1) & (kValues - 1);
  }
}
BENCHMARK(BM_CatAccum_AddValueNoTarget)->Arg(2)->Arg(20)->Arg(2000);

void BM_ContAccum_AddValueNoTarget(benchmark::State& state) {
  const std::vector<double> xs = Normals(2);
  std::unique_ptr<FSContAccum> accum(new FSContAccum);
  size_t i = 0;
  for (auto _ : state) {
    accum->AddValueNoTarget(xs[i], 1.0, true);
    benchmark::ClobberMemory();
    i = (i + 1) & (kValues - 1);
  }
}
BENCHMARK(BM_ContAccum_AddValueNoTarget);

void BM_MapICnt_Add(benchmark::State& state) {
  const std::vector<double> xs = Categories(static_cast<int>(state.range(0)), 3);
  std::vector<int> keys(xs.begin(), xs.end());
  FSMapICnt map;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(map.Add(keys[i], 1.0));
    i = (i + 1) & (kValues - 1);
  }
}
BENCHMARK(BM_MapICnt_Add)->Arg(2)->Arg(20)->Arg(2000);

void BM_MapIStat_Add(benchmark::State& state) {
  const std::vector<double> xs = Categories(static_cast<int>(state.range(0)), 4);
  const std::vector<double> ys = Normals(5);
  std::vector<int> keys(xs.begin(), xs.end());
  FSMapIStat map;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(map.Add(keys[i], ys[i], 1.0));
    i = (i + 1) & (kValues - 1);
  }
}
BENCHMARK(BM_MapIStat_Add)->Arg(2)->Arg(20)->Arg(2000);

void BM_MapPiCnt_Add(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> xs = Categories(n, 6);
  const std::vector<double> ys = Categories(n, 7);
  FSMapPiCnt map;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(map.Add(static_cast<int>(xs[i]), static_cast<int>(ys[i]), 1.0));
    i = (i + 1) & (kValues - 1);
  }
}
BENCHMARK(BM_MapPiCnt_Add)->Arg(2)->Arg(20)->Arg(2000);

// One case of each pair class. A categorical predictor has range(0) categories; a categorical
// target range(1) (range(0) when the predictor is continuous); a continuous target loosely
// follows the predictor. The accumulator lives on the heap and its state is written back after
// every case, as in the engine's pass.
template <class Accum, bool kCatPred, bool kCatTarget>
void BM_PairAddValue(benchmark::State& state) {
  const int nPred = static_cast<int>(state.range(0));
  const int nTarget = static_cast<int>(kCatPred ? state.range(1) : state.range(0));
  const std::vector<double> xs = kCatPred ? Categories(nPred, 8) : Normals(8);
  std::vector<double> ys = kCatTarget ? Categories(nTarget, 9) : Normals(9);
  if (!kCatTarget) {
    for (size_t i = 0; i < ys.size(); ++i)
      ys[i] += 0.5 * xs[i];
  }
  std::unique_ptr<Accum> accum(new Accum);
  size_t i = 0;
  for (auto _ : state) {
    accum->AddValue(xs[i], ys[i], 1.0, 1);
    benchmark::ClobberMemory();
    i = (i + 1) & (kValues - 1);
  }
}
BENCHMARK(BM_PairAddValue<FSCatPCatTAccum, true, true>)
    ->Args({2, 2})
    ->Args({10, 10})
    ->Args({1000, 10})
    ->Args({1000, 1000});
BENCHMARK(BM_PairAddValue<FSCatPContTAccum, true, false>)
    ->Args({2, 0})
    ->Args({10, 0})
    ->Args({1000, 0});
BENCHMARK(BM_PairAddValue<FSContPCatTAccum, false, true>)->Arg(2)->Arg(10)->Arg(1000);
BENCHMARK(BM_PairAddValue<FSContPContTAccum, false, false>)->Arg(0);

// The criteria of a filled table: the cell walk over r x c cells without a dense table.
void BM_CatPCatT_Criteria(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> xs = Categories(n, 10);
  const std::vector<double> ys = Categories(n, 11);
  FSCatPCatTAccum accum;
  for (int i = 0; i < kValues; ++i)
    accum.AddValue(xs[i], ys[i], 1.0, 1);
  for (auto _ : state) {
    double v, t1, t2, e1, e2;
    accum.ComputeCriterion(NQFSCommon::Pearson, CriterionContext{}, v, t1, t2, e1, e2);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_CatPCatT_Criteria)->Arg(2)->Arg(10)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
