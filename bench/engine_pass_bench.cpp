// End-to-end record pass: records x predictors accumulator updates through the engine, over
// an in-memory iterator that hands out a small pool of records again and again (so the
// benchmark's own memory stays constant and the figures show the engine's).
//
// Size: FSRANK_BENCH_RECORDS (default 100000) records of FSRANK_BENCH_PREDICTORS (default
// 100) predictors. The reference figures use FSRANK_BENCH_RECORDS=1000000.
// Counters: time_per_value (CPU time per predictor value) and peak_rss_MB (the process's peak
// resident memory after the run, getrusage).
//
// BM_Criteria times the criteria step alone (ComputeCriteria) on FSRANK_BENCH_CRITERIA_PREDICTORS
// (default 1000) predictors after a pass of 2000 records, with p-values as 1 minus the lower
// tail (complement) and as upper tails computed directly (exact).
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/cancel_state.h"
#include "engine/predictor_set.h"
#include "fsrank/fsrank.h"

namespace {

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  if (v == nullptr) return fallback;
  const int n = std::atoi(v);
  return n > 0 ? n : fallback;
}

enum class Kind { Continuous, Categorical, Mixed };

constexpr int kPool = 512;

class PoolIterator : public NQCommon::RecordIterator {
 public:
  PoolIterator(const std::vector<NQCommon::Record>& pool, long long total)
      : fPool(pool), fnTotal(total) {}
  bool Next() override { return ++fnPos < fnTotal; }
  NQCommon::Record* GetRecord() override {
    return const_cast<NQCommon::Record*>(&fPool[static_cast<size_t>(fnPos % kPool)]);
  }

 private:
  const std::vector<NQCommon::Record>& fPool;
  long long fnTotal;
  long long fnPos = -1;
};

bool IsCat(Kind kind, int j) {
  return kind == Kind::Categorical || (kind == Kind::Mixed && j % 2 == 0);
}

// Target in column 0, predictors in columns 1..P; about 2 percent missing values.
std::vector<NQCommon::Record> MakePool(Kind kind, bool catTarget, int predictors) {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) / 9007199254740992.0;  // [0, 1)
  };
  std::vector<NQCommon::Record> pool;
  pool.reserve(kPool);
  for (int r = 0; r < kPool; ++r) {
    pool.emplace_back(predictors + 1);
    NQCommon::Record& rec = pool.back();
    rec[0] = catTarget ? static_cast<double>(static_cast<int>(next() * 3)) : next() * 10.0 - 5.0;
    for (int j = 0; j < predictors; ++j) {
      const double u = next();
      double x = IsCat(kind, j) ? static_cast<double>(static_cast<int>(u * 5)) : u * 100.0 - 50.0;
      if (next() < 0.02) x = NQMV::Missing();
      rec[j + 1] = x;
    }
  }
  return pool;
}

void BM_RecordPass(benchmark::State& state, Kind kind, bool catTarget) {
  const int records = EnvInt("FSRANK_BENCH_RECORDS", 100000);
  const int predictors = EnvInt("FSRANK_BENCH_PREDICTORS", 100);
  std::vector<bool> types(static_cast<size_t>(predictors));
  for (int j = 0; j < predictors; ++j)
    types[static_cast<size_t>(j)] = IsCat(kind, j);
  FSSettings settings(types, catTarget);
  settings.SetTargetPosition(0);
  const std::vector<NQCommon::Record> pool = MakePool(kind, catTarget, predictors);
  for (auto _ : state) {
    FSCancelState cancel;
    FSPredictorSet engine(&settings, &cancel);
    PoolIterator it(pool, records);
    const NQFeature::NQStatus status = engine.AccumulateRecords(it, -1);
    if (!status.IsOK()) state.SkipWithError("the pass failed");
    benchmark::DoNotOptimize(engine.GetNRemaining());
  }
  const double values = static_cast<double>(records) * predictors;
  state.counters["time_per_value"] = benchmark::Counter(
      values, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_Criteria(benchmark::State& state, Kind kind, bool catTarget, bool exactTails) {
  const int predictors = EnvInt("FSRANK_BENCH_CRITERIA_PREDICTORS", 1000);
  std::vector<bool> types(static_cast<size_t>(predictors));
  for (int j = 0; j < predictors; ++j)
    types[static_cast<size_t>(j)] = IsCat(kind, j);
  FSSettings settings(types, catTarget);
  settings.SetTargetPosition(0);
  settings.SetFlagExactTails(exactTails);
  const std::vector<NQCommon::Record> pool = MakePool(kind, catTarget, predictors);
  FSCancelState cancel;
  FSPredictorSet engine(&settings, &cancel);
  PoolIterator it(pool, 2000);
  if (!engine.AccumulateRecords(it, -1).IsOK()) state.SkipWithError("the pass failed");
  for (auto _ : state) {
    if (!engine.ComputeCriteria().IsOK()) state.SkipWithError("the criteria failed");
  }
}

}  // namespace

#define FSRANK_CRITERIA_BENCH(name, kind, catTarget)                        \
  BENCHMARK_CAPTURE(BM_Criteria, name##_complement, kind, catTarget, false) \
      ->Unit(benchmark::kMicrosecond);                                      \
  BENCHMARK_CAPTURE(BM_Criteria, name##_exact, kind, catTarget, true)->Unit(benchmark::kMicrosecond)
FSRANK_CRITERIA_BENCH(continuous_cat_target, Kind::Continuous, true);
FSRANK_CRITERIA_BENCH(categorical5_cat_target, Kind::Categorical, true);
FSRANK_CRITERIA_BENCH(continuous_cont_target, Kind::Continuous, false);
FSRANK_CRITERIA_BENCH(categorical5_cont_target, Kind::Categorical, false);

BENCHMARK_CAPTURE(BM_RecordPass, continuous_cat_target, Kind::Continuous, true)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK_CAPTURE(BM_RecordPass, categorical5_cat_target, Kind::Categorical, true)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK_CAPTURE(BM_RecordPass, mixed_cat_target, Kind::Mixed, true)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK_CAPTURE(BM_RecordPass, continuous_cont_target, Kind::Continuous, false)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK_CAPTURE(BM_RecordPass, categorical5_cont_target, Kind::Categorical, false)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK_CAPTURE(BM_RecordPass, mixed_cont_target, Kind::Mixed, false)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);

BENCHMARK_MAIN();
