// Criterion values, sorting and ranks.
//
// ComputeCriteria needs the accumulators of a data pass: called before any pass it answers
// StatusNoDataPass (error) and changes nothing. Called again after the same (or a later)
// pass, it first deletes the records and resets the ranks (-1) and values (missing) of the
// switched-on criteria, so that a list never holds two records of one predictor.
#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "accum/accumulator.h"
#include "core/progress_ticker.h"
#include "engine/predictor_set.h"
#include "fsrank/missing.h"

using NQFeature::NQStatus;
using NQFSCommon::kNumCriteria;
using NQFSCommon::RankCriteria;

namespace {

// One criterion result: the value and the two tie-breaking values.
struct Triple {
  double value = NQMV::Missing();
  double tieBreak1 = NQMV::Missing();
  double tieBreak2 = NQMV::Missing();
};

Triple Compute(const IFSPredTargetAccum* accum, int criterion, const CriterionContext& context) {
  Triple t;
  double extra1 = NQMV::Missing();
  double extra2 = NQMV::Missing();
  accum->ComputeCriterion(criterion, context, t.value, t.tieBreak1, t.tieBreak2, extra1, extra2);
  return t;
}

}  // namespace

NQStatus FSPredictorSet::ComputeCriteria() {
  if (!fbMemoryAllocated) return NQStatus(NQFeature::StatusNoDataPass, false);
  if (!fbPassCompleted) FinishDataPass();
  const std::clock_t start = std::clock();
  const std::size_t n = static_cast<std::size_t>(fnPredictors);

  bool on[kNumCriteria];
  for (int c = 0; c < kNumCriteria; ++c) {
    on[c] = CriterionOn(c);
    if (!on[c]) continue;
    ClearSortRecords(c);
    fvRanks[c].assign(n, -1);
    fvValues[c].assign(n, NQMV::Missing());
    SortList(c).reserve(n);
  }
  const bool mixed = feSetType == NQFSCommon::Mixed;
  const bool catTarget = !HasContinuousTarget();
  // In a mixed set the continuous predictors answer Pearson, Likelihood and (with a
  // categorical target) FStat with one and the same F test: compute it once.
  const bool reusePearson = on[NQFSCommon::Pearson] && mixed;
  const bool reuseChiFamily = (on[NQFSCommon::Pearson] || on[NQFSCommon::Likelihood]) && mixed;

  const CriterionContext context = Context();
  FSProgressTicker ticker(fpSettings->GetProgressListener(),
                          fpSettings->GetNSkippedPredictorReports(),
                          FSProgressTicker::Measure::Predictors, fdElapsedSeconds);
  std::size_t nextDelPos = 0;
  int nextDel = fvIndicesDel.empty() ? -1 : fvIndicesDel[0];
  for (int i = 0; i < fnPredictors; ++i) {
    if (Cancelled()) break;
    const std::size_t slot = static_cast<std::size_t>(i);
    const IFSPredTargetAccum* accum = slot < fvpAccum.size() ? fvpAccum[slot] : nullptr;
    if (i == nextDel || accum == nullptr) {
      // Deleted (or never created): no value and no record for any criterion.
      for (int c = 0; c < kNumCriteria; ++c) {
        if (on[c]) fvValues[c][slot] = NQMV::Missing();
      }
      if (i == nextDel) {
        ++nextDelPos;
        nextDel = nextDelPos < fvIndicesDel.size() ? fvIndicesDel[nextDelPos] : -1;
      }
    } else {
      const bool catPred = fpSettings->IsCatPredictor(i);
      Triple pearson;
      Triple latest;  // the latest result of the chi-square family for this predictor
      bool haveLatest = false;
      for (int c = 0; c < kNumCriteria; ++c) {
        if (!on[c]) continue;
        Triple t;
        bool record = true;
        switch (c) {
          case NQFSCommon::Pearson:
            t = pearson = Compute(accum, c, context);
            latest = t, haveLatest = true;
            break;
          case NQFSCommon::Likelihood:
            t = (reusePearson && !catPred) ? pearson : Compute(accum, c, context);
            latest = t, haveLatest = true;
            break;
          case NQFSCommon::Cramer:
          case NQFSCommon::Lambda:
            t = Compute(accum, c, context);
            break;
          case NQFSCommon::FStat:
            if (catTarget && catPred) {
              record = false;
            } else if (catTarget && reuseChiFamily && haveLatest) {
              t = latest;
              t.tieBreak2 = -t.tieBreak2;
            } else {
              t = Compute(accum, c, context);
            }
            break;
          default:  // TStat
            if (!catTarget && feSetType == NQFSCommon::AllContinuous) {
              t = Compute(accum, c, context);
            } else {
              record = false;
            }
            break;
        }
        if (record) SortList(c).push_back(new FSPredSort(t.value, t.tieBreak1, t.tieBreak2, i));
        fvValues[c][slot] = t.value;
      }
    }
    ticker.Tick(i + 1);
  }
  feStatus = EngineCriteriaComputed;
  fdElapsedSeconds += SecondsSince(start);
  return NQStatus();
}

template <class Step>
NQStatus FSPredictorSet::ForEachSortList(int done, Step step) {
  const std::clock_t start = std::clock();
  for (int c = 0; c < kNumCriteria; ++c) {
    if (!CriterionOn(c)) continue;
    if (Cancelled()) break;
    step(c, SortList(c));
  }
  feStatus = done;
  fdElapsedSeconds += SecondsSince(start);
  return NQStatus();
}

NQStatus FSPredictorSet::SortAll() {
  return ForEachSortList(EngineSortedAll, [](int c, std::vector<FSPredSort*>& list) {
    if (!list.empty()) std::stable_sort(list.begin(), list.end(), FSPredSortOrder(c));
  });
}

NQStatus FSPredictorSet::SortBest(int n) {
  int k = n < 1 ? GetNRemaining() : n;
  if (k < 0) k = 0;
  const NQStatus status =
      ForEachSortList(EngineSortedBest, [&k](int c, std::vector<FSPredSort*>& list) {
        if (list.empty()) return;
        // A shorter list lowers k for the criteria that follow as well.
        if (static_cast<std::size_t>(k) > list.size()) k = static_cast<int>(list.size());
        std::partial_sort(list.begin(), list.begin() + k, list.end(), FSPredSortOrder(c));
      });
  fnBestSorted = k;
  return status;
}

NQStatus FSPredictorSet::RankFirst(std::size_t count) {
  return ForEachSortList(EngineRanked, [this, count](int c, std::vector<FSPredSort*>& list) {
    std::vector<int>& ranks = fvRanks[c];
    for (std::size_t j = 0; j < list.size() && j < count; ++j) {
      const int index = list[j]->fnIndex;
      if (index >= 0 && static_cast<std::size_t>(index) < ranks.size()) {
        ranks[static_cast<std::size_t>(index)] = static_cast<int>(j);
      }
    }
  });
}

NQStatus FSPredictorSet::RankAll() {
  return RankFirst(std::numeric_limits<std::size_t>::max());
}

NQStatus FSPredictorSet::RankBest() {
  return RankFirst(fnBestSorted > 0 ? static_cast<std::size_t>(fnBestSorted) : 0);
}

int FSPredictorSet::StoredCriterion(RankCriteria c) const {
  const unsigned int u = static_cast<unsigned int>(c);
  if (u > 5u) return NQFSCommon::Pearson;
  if (u == NQFSCommon::TStat && feSetType == NQFSCommon::Mixed && HasContinuousTarget()) {
    return NQFSCommon::FStat;
  }
  return static_cast<int>(u);
}

const std::vector<int>& FSPredictorSet::GetRanks(RankCriteria c) const {
  return fvRanks[StoredCriterion(c)];
}

const std::vector<double>& FSPredictorSet::GetCriterionValues(RankCriteria c) const {
  return fvValues[StoredCriterion(c)];
}

NQStatus FSPredictorSet::GetTopPredictors(RankCriteria c, int n, std::vector<int>& indices,
                                          std::vector<double>& values) const {
  if (fpSettings == nullptr || !fpSettings->GetCriterion(c)) {
    indices.clear();
    values.clear();
    return NQStatus(NQFeature::StatusCriterionNotSelected, false);
  }
  const int remaining = std::max(GetNRemaining(), 0);
  int k = n == 0 ? fnBestSorted : n;
  if (fnBestSorted >= 1 && fnBestSorted < k) k = fnBestSorted;
  if (k == 0 || static_cast<unsigned int>(k) > static_cast<unsigned int>(remaining)) {
    k = remaining;
  }
  indices.clear();
  values.clear();
  indices.reserve(static_cast<std::size_t>(k));
  values.reserve(static_cast<std::size_t>(k));
  const unsigned int u = static_cast<unsigned int>(c);
  if (u > 5u) return NQStatus();
  const std::vector<FSPredSort*>& list =
      (u == NQFSCommon::TStat && feSetType == NQFSCommon::Mixed) ? fvpSortFStat : GetSortList(c);
  for (std::size_t j = 0; j < static_cast<std::size_t>(k) && j < list.size(); ++j) {
    indices.push_back(list[j]->fnIndex);
    values.push_back(list[j]->fdValue);
  }
  return NQStatus();
}
