// Merging two engines that read different records with the same settings. Everything a data
// pass leaves is a sum over records, so the union is built from the two parts: the counts and
// weights add, each accumulator merges with its counterpart (accum_merge.cpp) and the target
// category counts merge key by key. The engine merged into is always the first part. A merge
// whose int counts would pass the int range is refused (StatusCountOverflow) before anything
// changes.
#include <climits>
#include <cstddef>
#include <typeinfo>

#include "accum/accumulator.h"
#include "accum/maps.h"
#include "engine/predictor_set.h"

using NQFeature::NQStatus;

namespace {

NQStatus FieldsDiffer(int what, int predictor = 0) {
  NQStatus status(NQFeature::StatusMergeFieldsDiffer, false);
  status.SetDiscreteDatum(0, what);
  status.SetDiscreteDatum(1, predictor);
  return status;
}

NQStatus WrongState(int which, int why) {
  NQStatus status(NQFeature::StatusMergeState, false);
  status.SetDiscreteDatum(0, which);
  status.SetDiscreteDatum(1, why);
  return status;
}

// The fields the two settings describe (the numbering is StatusMergeFieldsDiffer's); the
// thresholds and criteria are the merged algorithm's own and may differ.
NQStatus CompareFields(const FSSettings* a, const FSSettings* b) {
  if (a == nullptr || b == nullptr) return a == b ? NQStatus() : FieldsDiffer(1);
  if (a->GetNPredictors() != b->GetNPredictors()) return FieldsDiffer(1);
  for (int i = 0; i < a->GetNPredictors(); ++i) {
    if (a->IsCatPredictor(i) != b->IsCatPredictor(i)) return FieldsDiffer(2, i);
  }
  if (a->IsCatTarget() != b->IsCatTarget()) return FieldsDiffer(3);
  if ((a->GetTargetPosition() >= 0) != (b->GetTargetPosition() >= 0)) return FieldsDiffer(4);
  if (a->GetWeightPosition() != b->GetWeightPosition()) return FieldsDiffer(5);
  if (a->GetCaseIDPosition() != b->GetCaseIDPosition()) return FieldsDiffer(6);
  if (a->GetWeightConv() != b->GetWeightConv()) return FieldsDiffer(7);
  if (a->GetFlagTrInput() != b->GetFlagTrInput()) return FieldsDiffer(8);
  return NQStatus();
}

}  // namespace

bool FSPredictorSet::IsOnlyAccumulated() const {
  if (!fbMemoryAllocated || feStatus != EngineAccumulated || !fvIndicesDel.empty()) return false;
  if (fvpAccum.size() != static_cast<std::size_t>(fnPredictors)) return false;
  for (const IFSPredTargetAccum* accum : fvpAccum) {
    if (accum == nullptr) return false;
  }
  for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
    if (!GetSortList(static_cast<NQFSCommon::RankCriteria>(c)).empty()) return false;
  }
  return true;
}

NQStatus FSPredictorSet::CheckMerge(const FSPredictorSet& other) const {
  const NQStatus fields = CompareFields(fpSettings, other.fpSettings);
  if (!fields.IsOK()) return fields;
  if (!fbMemoryAllocated) return WrongState(0, 1);
  if (!IsOnlyAccumulated()) return WrongState(0, 2);
  if (other.HasNoRecords()) return NQStatus();
  if (!other.fbMemoryAllocated) return WrongState(1, 1);
  if (!other.IsOnlyAccumulated()) return WrongState(1, 2);
  if (fnPredictors != other.fnPredictors ||
      (fpTargetCounts == nullptr) != (other.fpTargetCounts == nullptr)) {
    return FieldsDiffer(9);
  }
  for (std::size_t i = 0; i < fvpAccum.size(); ++i) {
    const IFSPredTargetAccum& mine = *fvpAccum[i];
    const IFSPredTargetAccum& theirs = *other.fvpAccum[i];
    if (typeid(mine) != typeid(theirs)) return FieldsDiffer(9);
  }
  if (!CountsAddUp(other)) return NQStatus(NQFeature::StatusCountOverflow, false);
  return NQStatus();
}

bool FSPredictorSet::CountsAddUp(const FSPredictorSet& other) const {
  const auto fits = [](int a, int b) { return static_cast<long long>(a) + b <= INT_MAX; };
  if (!fits(fnValid, other.fnValid) || !fits(fnExcluded, other.fnExcluded)) return false;
  for (std::size_t i = 0; i < fvpAccum.size(); ++i) {
    if (!fits(fvpAccum[i]->GetUnweightedValid(), other.fvpAccum[i]->GetUnweightedValid()))
      return false;
  }
  return fpTargetCounts == nullptr || fpTargetCounts->MergeFits(*other.fpTargetCounts);
}

void FSPredictorSet::Merge(const FSPredictorSet& other) {
  if (other.HasNoRecords()) return;
  for (std::size_t i = 0; i < fvpAccum.size(); ++i)
    fvpAccum[i]->Merge(*other.fvpAccum[i]);
  if (fpTargetCounts != nullptr) fpTargetCounts->Merge(*other.fpTargetCounts);
  fnValid += other.fnValid;
  fnExcluded += other.fnExcluded;
  fdWeightedValid += other.fdWeightedValid;
  fdWeightedExcluded += other.fdWeightedExcluded;
  fbNoValidData = fbNoValidData && other.fbNoValidData;
  fbNoValidWeight = fbNoValidWeight && other.fbNoValidWeight;
  fdElapsedSeconds += other.fdElapsedSeconds;
  fbPassCompleted = false;
}
