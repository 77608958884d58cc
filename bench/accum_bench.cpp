// The cost per value of the accumulator updates and of the map insertions behind them.
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

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
  FSCatAccum accum;
  size_t i = 0;
  for (auto _ : state) {
    accum.AddValueNoTarget(xs[i], 1.0, true);
    i = (i + 1) & (kValues - 1);
  }
  benchmark::DoNotOptimize(accum.GetProcessed());
}
BENCHMARK(BM_CatAccum_AddValueNoTarget)->Arg(2)->Arg(20)->Arg(2000);

void BM_ContAccum_AddValueNoTarget(benchmark::State& state) {
  const std::vector<double> xs = Normals(2);
  FSContAccum accum;
  size_t i = 0;
  for (auto _ : state) {
    accum.AddValueNoTarget(xs[i], 1.0, true);
    i = (i + 1) & (kValues - 1);
  }
  benchmark::DoNotOptimize(accum.GetMean());
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

}  // namespace

BENCHMARK_MAIN();
