// The cost of IFSAlgorithm::Merge: two algorithms of 1,000 categorical predictors with 100
// categories each (every category present in both), against a categorical target of 5
// categories (tables of 100 predictor and 500 pair cells per predictor) or a continuous target
// (100 category statistics per predictor). Each iteration merges the second algorithm into the
// first again; the key sets no longer change after the first merge, so every iteration does
// the same work.
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "fsrank/fsrank.h"

namespace {

constexpr int kPredictors = 1000;
constexpr int kCategories = 100;
constexpr int kRecords = 2000;

class Rows : public NQCommon::RecordIterator {
 public:
  Rows(int offset, bool catTarget)
      : fnOffset(offset), fbCatTarget(catTarget), fRecord(kPredictors + 1) {}
  bool Next() override {
    if (++fnRow >= kRecords) return false;
    const int r = fnRow + fnOffset;
    fRecord[0] = fbCatTarget ? r % 5 : 0.25 * (r % 17);
    for (int j = 0; j < kPredictors; ++j)
      fRecord[j + 1] = (r * 7 + j * 3) % kCategories;
    return true;
  }
  NQCommon::Record* GetRecord() override { return &fRecord; }

 private:
  int fnOffset;
  bool fbCatTarget;
  int fnRow = -1;
  NQCommon::Record fRecord;
};

void BM_Merge(benchmark::State& state) {
  const bool catTarget = state.range(0) != 0;
  FSSettings settings(kPredictors, true, catTarget);
  FSFactory factory;
  std::unique_ptr<IFSAlgorithm> a(factory.CreateFSAlgorithm(&settings));
  std::unique_ptr<IFSAlgorithm> b(factory.CreateFSAlgorithm(&settings));
  Rows first(0, catTarget), second(kRecords, catTarget);
  a->Accumulate(first, -1);
  b->Accumulate(second, -1);
  for (auto _ : state) {
    const NQFeature::NQStatus status = a->Merge(*b);
    if (!status.IsOK()) state.SkipWithError("merge refused");
  }
  state.SetLabel(catTarget ? "categorical target (5)" : "continuous target");
}

}  // namespace

BENCHMARK(BM_Merge)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
