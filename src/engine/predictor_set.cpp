#include "engine/predictor_set.h"

#include <algorithm>
#include <climits>
#include <cstddef>

#include "accum/accumulator.h"
#include "accum/cat_pair_accum.h"
#include "accum/cont_pair_accum.h"
#include "accum/maps.h"
#include "accum/single_accum.h"
#include "fsrank/missing.h"

using NQFeature::NQStatus;
using NQFSCommon::kNumCriteria;

FSPredictorSet::FSPredictorSet(FSSettings* settings, FSCancelState* cancel)
    : fpSettings(settings),
      fpCancel(cancel),
      fnPredictors(settings != nullptr ? settings->GetNPredictors() : 0),
      feSetType(settings != nullptr ? settings->GetTypeAllPredictors()
                                    : NQFSCommon::kSetTypeUnrecognized),
      feStatus(EngineInitial),
      fbMemoryAllocated(false),
      fbPassCompleted(false),
      fbNoValidData(true),
      fbNoValidWeight(true),
      fdWeightedValid(0.0),
      fdWeightedExcluded(0.0),
      fnValid(0),
      fnExcluded(0),
      fdElapsedSeconds(0.0),
      fnBestSorted(0),
      fpTargetCounts(nullptr) {
  for (int c = 0; c < kNumCriteria; ++c) {
    if (!CriterionOn(c)) continue;
    fvRanks[c].assign(static_cast<std::size_t>(fnPredictors), -1);
    fvValues[c].assign(static_cast<std::size_t>(fnPredictors), NQMV::Missing());
  }
}

FSPredictorSet::FSPredictorSet(FSCancelState* cancel) : FSPredictorSet(nullptr, cancel) {}

FSPredictorSet::~FSPredictorSet() {
  Release();
}

bool FSPredictorSet::CriterionOn(int c) const {
  return fpSettings != nullptr &&
         fpSettings->GetCriterion(static_cast<NQFSCommon::RankCriteria>(c));
}

bool FSPredictorSet::HasContinuousTarget() const {
  return fpSettings != nullptr && !fpSettings->IsCatTarget();
}

int FSPredictorSet::CountHeadroom() const {
  int most = std::max(fnValid, fnExcluded);
  if (fpTargetCounts != nullptr) most = std::max(most, fpTargetCounts->MaxCount());
  for (const IFSPredTargetAccum* accum : fvpAccum) {
    if (accum != nullptr) most = std::max(most, accum->GetUnweightedValid());
  }
  return INT_MAX - std::max(most, 0);
}

void FSPredictorSet::SettleTables() {
  for (IFSPredTargetAccum* accum : fvpAccum) {
    if (accum != nullptr) accum->SettleTables();
  }
  if (fpTargetCounts != nullptr) fpTargetCounts->Settle();
}

NQStatus FSPredictorSet::CountOverflow(int record) {
  NQStatus status(NQFeature::StatusCountOverflow, false);
  status.SetDiscreteDatum(0, record);
  return status;
}

NQStatus FSPredictorSet::ShortRecord(int record, long long needed, int size) {
  NQStatus status(NQFeature::StatusShortRecord, false);
  status.SetDiscreteDatum(0, record);
  status.SetDiscreteDatum(1, static_cast<long>(std::min<long long>(needed, INT_MAX)));
  status.SetDiscreteDatum(2, size);
  return status;
}

bool FSPredictorSet::AllocateAccumulators(bool withTarget) {
  if (fbMemoryAllocated) return false;
  const bool catTarget = fpSettings != nullptr && fpSettings->IsCatTarget();
  fvpAccum.assign(static_cast<std::size_t>(fnPredictors), nullptr);
  for (int i = 0; i < fnPredictors; ++i) {
    const bool catPred = fpSettings != nullptr && fpSettings->IsCatPredictor(i);
    IFSPredTargetAccum* accum;
    if (!withTarget) {
      accum = catPred ? static_cast<IFSPredTargetAccum*>(new FSCatAccum())
                      : static_cast<IFSPredTargetAccum*>(new FSContAccum());
    } else if (catTarget) {
      accum = catPred ? static_cast<IFSPredTargetAccum*>(new FSCatPCatTAccum())
                      : static_cast<IFSPredTargetAccum*>(new FSContPCatTAccum());
    } else {
      accum = catPred ? static_cast<IFSPredTargetAccum*>(new FSCatPContTAccum())
                      : static_cast<IFSPredTargetAccum*>(new FSContPContTAccum());
    }
    fvpAccum[static_cast<std::size_t>(i)] = accum;
  }
  if (withTarget && catTarget) fpTargetCounts = new FSMapIPCnt();
  fbMemoryAllocated = true;
  return true;
}

void FSPredictorSet::ClearSortRecords(int c) {
  std::vector<FSPredSort*>& list = SortList(c);
  for (FSPredSort* record : list)
    delete record;
  list.clear();
}

void FSPredictorSet::Release() {
  feStatus = EngineReleased;
  feSetType = NQFSCommon::kSetTypeUnrecognized;
  fnPredictors = 0;
  delete fpTargetCounts;
  fpTargetCounts = nullptr;
  for (IFSPredTargetAccum* accum : fvpAccum)
    delete accum;
  fvpAccum.clear();
  fvIndicesDel.clear();
  fvReasonsDel.clear();
  for (int c = 0; c < kNumCriteria; ++c) {
    ClearSortRecords(c);
    fvRanks[c].clear();
    fvValues[c].clear();
  }
  fbMemoryAllocated = false;
  fbPassCompleted = false;
}

std::vector<FSPredSort*>& FSPredictorSet::SortList(int c) {
  switch (c) {
    case NQFSCommon::Likelihood:
      return fvpSortLikelihood;
    case NQFSCommon::Cramer:
      return fvpSortCramer;
    case NQFSCommon::Lambda:
      return fvpSortLambda;
    case NQFSCommon::FStat:
      return fvpSortFStat;
    case NQFSCommon::TStat:
      return fvpSortTStat;
    default:
      return fvpSortPearson;
  }
}

const std::vector<FSPredSort*>& FSPredictorSet::GetSortList(NQFSCommon::RankCriteria c) const {
  return const_cast<FSPredictorSet*>(this)->SortList(c);
}

void FSPredictorSet::GetNValidNExcluded(double& wValid, double& wExcluded, int& nValid,
                                        int& nExcluded) const {
  wValid = fdWeightedValid;
  wExcluded = fdWeightedExcluded;
  nValid = fnValid;
  nExcluded = fnExcluded;
}

int FSPredictorSet::GetNTargetCategories() const {
  return fpTargetCounts == nullptr ? -1 : fpTargetCounts->Size();
}

std::pair<int, double> FSPredictorSet::GetTargetCategoryCount(int category) const {
  std::pair<int, double> result(-1, -1.0);
  if (fpTargetCounts != nullptr) fpTargetCounts->Find(category, result);
  return result;
}

bool FSPredictorSet::GetTargetCategoryInfo(int k, int& category,
                                           std::pair<int, double>& counts) const {
  category = -1;
  counts = std::pair<int, double>(-1, -1.0);
  if (fpTargetCounts == nullptr || k < 0 || k >= fpTargetCounts->Size()) return false;
  const auto entry = fpTargetCounts->At(k);
  category = entry.first;
  counts = entry.second;
  return true;
}

int FSPredictorSet::CountDeleted(bool& allDeleted) const {
  const int deleted = GetNDeletedPred();
  allDeleted = deleted == fnPredictors;
  return deleted;
}

CriterionContext FSPredictorSet::Context() const {
  const bool exact = fpSettings != nullptr && fpSettings->GetFlagExactTails();
  return CriterionContext{exact ? TailMode::Exact : TailMode::Complement, fpCancel};
}

bool FSPredictorSet::GetPredictorStats(int criterion, int predictor, double& a, double& b,
                                       double& c, double& d) const {
  a = b = c = d = NQMV::Missing();
  if (predictor < 0 || predictor >= fnPredictors ||
      static_cast<std::size_t>(predictor) >= fvpAccum.size()) {
    return false;
  }
  const IFSPredTargetAccum* accum = fvpAccum[static_cast<std::size_t>(predictor)];
  if (accum == nullptr || static_cast<unsigned int>(criterion) > 5u) return false;
  return accum->GetStats(criterion, Context(), a, b, c, d);
}
