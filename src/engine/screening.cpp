// Deleting unusable predictors (all missing or constant; the configurable screening rules) and
// the no-target check that only reports which rules each predictor breaks.
//
// All three need the accumulators of a data pass. Called before any pass they answer
// StatusNoDataPass (error) and change nothing.
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "accum/accumulator.h"
#include "core/progress_ticker.h"
#include "engine/predictor_set.h"

using NQFeature::NQStatus;

NQStatus FSPredictorSet::CheckPredAllMissConst() {
  return DeletePredictors(true);
}

NQStatus FSPredictorSet::ScreenPredictors() {
  return DeletePredictors(false);
}

NQStatus FSPredictorSet::DeletePredictors(bool allMissConst) {
  if (!fbMemoryAllocated) return NQStatus(NQFeature::StatusNoDataPass, false);
  NQStatus result;
  if (!fbPassCompleted) FinishDataPass();
  // Timed after finishing the pass, which adds its own time.
  const std::clock_t start = std::clock();

  bool allDeleted = false;
  const int before = CountDeleted(allDeleted);
  if (allDeleted) {
    result = NQStatus(NQFeature::StatusNoPredictorsLeft, true);
  } else {
    for (int i = 0; i < fnPredictors; ++i) {
      if (Cancelled()) break;
      if (static_cast<std::size_t>(i) >= fvpAccum.size()) break;
      IFSPredTargetAccum*& accum = fvpAccum[static_cast<std::size_t>(i)];
      if (accum == nullptr) continue;
      int reason;
      if (allMissConst) {
        reason = accum->IsAllMissing() ? ReasonAllMissing
                                       : (accum->IsConstant() ? ReasonAllConst : ReasonNone);
      } else {
        reason = accum->Screen(fpSettings);
      }
      if (reason == ReasonNone) continue;
      delete accum;
      accum = nullptr;
      fvIndicesDel.push_back(i);
      fvReasonsDel.push_back(reason);
    }
    const int after = CountDeleted(allDeleted);
    if (allDeleted) {
      result = NQStatus(
          allMissConst ? NQFeature::StatusAllDeletedByCheck : NQFeature::StatusNoPredictorsLeft,
          true);
    }
    if (after > before) {
      std::vector<std::pair<int, int>> pairs;
      pairs.reserve(fvIndicesDel.size());
      for (std::size_t j = 0; j < fvIndicesDel.size(); ++j)
        pairs.emplace_back(fvIndicesDel[j], fvReasonsDel[j]);
      std::sort(pairs.begin(), pairs.end());
      for (std::size_t j = 0; j < pairs.size(); ++j) {
        fvIndicesDel[j] = pairs[j].first;
        fvReasonsDel[j] = pairs[j].second;
      }
    }
  }
  feStatus = EngineChecked;
  fdElapsedSeconds += SecondsSince(start);
  return result;
}

NQStatus FSPredictorSet::ScreenPredictorsNoTarget(std::vector<int>& indices,
                                                  std::vector<std::vector<int>>& reasons) {
  if (!fbMemoryAllocated) return NQStatus(NQFeature::StatusNoDataPass, false);
  NQStatus result;
  // The two lists are parallel: both start empty.
  indices.clear();
  for (std::vector<int>& inner : reasons)
    inner.clear();
  reasons.clear();
  if (!fbPassCompleted) FinishDataPass();
  const std::clock_t start = std::clock();

  int flagged = 0;
  std::vector<int> list;
  for (int i = 0; i < fnPredictors; ++i) {
    if (Cancelled()) break;
    const IFSPredTargetAccum* accum = static_cast<std::size_t>(i) < fvpAccum.size()
                                          ? fvpAccum[static_cast<std::size_t>(i)]
                                          : nullptr;
    if (accum == nullptr) {
      ++flagged;
      continue;
    }
    if (accum->ScreenAll(fpSettings, list) > 0) {
      ++flagged;
      indices.push_back(i);
      reasons.push_back(list);
    }
  }
  if (flagged == fnPredictors) result = NQStatus(NQFeature::StatusNoPredictorsLeft, true);
  fdElapsedSeconds += SecondsSince(start);
  return result;
}
