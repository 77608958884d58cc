#include "api/fs_algorithm.h"

#include "core/version.h"

using NQFeature::NQStatus;
using NQFSCommon::RankCriteria;

IFSAlgorithm::~IFSAlgorithm() = default;

FSAlgorithm::FSAlgorithm(FSSettings* settings)
    : fpSettings(settings),
      fbOwnsSettings(false),
      fCancel(settings != nullptr ? settings->GetCancelPointer() : nullptr),
      fStatus(),
      fEngine(settings, &fCancel),
      fbAccumulated(false),
      fbRanked(false) {}

FSAlgorithm::~FSAlgorithm() {
  // The engine is destroyed after this body runs; it never reads the settings while it is
  // destroyed, so deleting owned settings first is safe.
  if (fbOwnsSettings) delete fpSettings;
}

std::string FSAlgorithm::GetComponentVersion() const {
  return ComponentVersionText();
}

template <typename Work>
NQStatus FSAlgorithm::RunStateChanging(Work work) {
  NQStatus result = fStatus;
  if (!fStatus.IsError() && !fCancel.IsCancelled()) result = work();
  if (fCancel.IsCancelled()) {
    fEngine.Release();
    result = NQStatus(NQFeature::StatusCancelled, false);
  }
  fStatus = result;
  return result;
}

NQStatus FSAlgorithm::Accumulate(NQCommon::RecordIterator& it, int maxRecords) {
  return RunStateChanging([&] {
    const NQStatus pass = fpSettings->GetFlagTrInput() ? fEngine.AccumulateTransactions(it)
                                                       : fEngine.AccumulateRecords(it, maxRecords);
    fbAccumulated = true;
    return pass;
  });
}

// Checking, screening and ranking work on the accumulators that only a data pass creates.
// Asked for before any pass they answer StatusNoDataPass without storing it, so a call made too
// early does not end the algorithm's useful life.
NQStatus FSAlgorithm::CheckPredAllMissConst() {
  if (!fbAccumulated && !fStatus.IsError()) return NQStatus(NQFeature::StatusNoDataPass, false);
  return RunStateChanging([&] { return fEngine.CheckPredAllMissConst(); });
}

NQStatus FSAlgorithm::ScreenPredictors() {
  if (!fbAccumulated && !fStatus.IsError()) return NQStatus(NQFeature::StatusNoDataPass, false);
  return RunStateChanging([&] { return fEngine.ScreenPredictors(); });
}

NQStatus FSAlgorithm::SortAndRank(int n) {
  if (!fbAccumulated && !fStatus.IsError()) return NQStatus(NQFeature::StatusNoDataPass, false);
  return RunStateChanging([&] {
    NQStatus result = fEngine.ComputeCriteria();
    if (!result.IsError() && !fCancel.IsCancelled()) {
      result = n == 0 ? fEngine.SortAll() : fEngine.SortBest(n);
    }
    if (!result.IsError() && !fCancel.IsCancelled()) {
      result = n == 0 ? fEngine.RankAll() : fEngine.RankBest();
    }
    fbRanked = true;
    if (fCancel.IsCancelled()) return result;
    return FewerPredictorsStatus(result, n, false);
  });
}

NQStatus FSAlgorithm::AccumulateAndRank(NQCommon::RecordIterator& it, int maxRecords, bool screen,
                                        int n) {
  return RunStateChanging([&] {
    IFSAlgorithm& self = *this;
    NQStatus result = self.Accumulate(it, maxRecords);
    if (result.IsOK() && !fCancel.IsCancelled()) result = self.CheckPredAllMissConst();
    if (screen && result.IsOK() && !fCancel.IsCancelled()) result = self.ScreenPredictors();
    if (result.IsOK() && !fCancel.IsCancelled()) result = self.SortAndRank(n);
    fbRanked = true;
    return result;
  });
}

NQStatus FSAlgorithm::CheckPredictorsNoTarget(NQCommon::RecordIterator& it,
                                              std::vector<int>& indices,
                                              std::vector<std::vector<int>>& reasons,
                                              int maxRecords) {
  indices.clear();
  reasons.clear();
  fpSettings->SetTargetPosition(-1);
  return RunStateChanging([&] {
    NQStatus result = fEngine.AccumulateNoTarget(it, maxRecords);
    fbAccumulated = true;
    if (!result.IsError() && !fCancel.IsCancelled()) {
      result = fEngine.ScreenPredictorsNoTarget(indices, reasons);
    }
    return result;
  });
}

// The refusals are answered without storing them, so a merge asked for at the wrong time, or
// of the wrong algorithm, does not end this one's useful life.
NQStatus FSAlgorithm::Merge(const IFSAlgorithm& other) {
  if (fStatus.IsError()) return fStatus;
  if (&other == this) return NQStatus(NQFeature::StatusMergeSelf, false);
  const auto* b = dynamic_cast<const FSAlgorithm*>(&other);
  if (b == nullptr) return NQStatus(NQFeature::StatusMergeFieldsDiffer, false);
  const long otherCode = b->fStatus.GetErrorCode();
  if (b->fStatus.IsError() && otherCode != NQFeature::StatusNoValidData &&
      otherCode != NQFeature::StatusNoValidWeight) {
    NQStatus refused(NQFeature::StatusMergeOtherError, false);
    refused.SetDiscreteDatum(0, otherCode);
    return refused;
  }
  NQStatus check = fEngine.CheckMerge(b->fEngine);
  if (check.IsOK() && (!fbAccumulated || fbRanked)) {
    check = NQStatus(NQFeature::StatusMergeState, false);
    check.SetDiscreteDatum(1, fbAccumulated ? 2 : 1);
  } else if (check.IsOK() && b->fbRanked && !b->fEngine.HasNoRecords()) {
    check = NQStatus(NQFeature::StatusMergeState, false);
    check.SetDiscreteDatum(0, 1);
    check.SetDiscreteDatum(1, 2);
  }
  if (!check.IsOK() || b->fEngine.HasNoRecords()) return check;
  return RunStateChanging([&] {
    fEngine.Merge(b->fEngine);
    return NQStatus();
  });
}

NQStatus FSAlgorithm::BlockedReadStatus(bool needsRanking) const {
  if (!fStatus.IsError() && !fCancel.IsCancelled()) return NQStatus();
  if (needsRanking && !fbRanked) return NQStatus(NQFeature::StatusNotRanked, false);
  if (fCancel.IsCancelled()) return NQStatus(NQFeature::StatusCancelled, false);
  return fStatus;
}

NQStatus FSAlgorithm::RankedReadStatus(RankCriteria c) const {
  const NQStatus blocked = BlockedReadStatus(true);
  if (!blocked.IsOK()) return blocked;
  if (!fbRanked) return NQStatus(NQFeature::StatusNotRanked, false);
  if (!fpSettings->GetCriterion(c)) return NQStatus(NQFeature::StatusCriterionNotSelected, false);
  return blocked;
}

NQStatus FSAlgorithm::FewerPredictorsStatus(const NQStatus& result, int n, bool isWarning) const {
  if (result.IsOK() && n > 0) {
    const int remaining = fEngine.GetNRemaining();
    if (remaining < n) {
      NQStatus fewer(NQFeature::StatusFewerPredictors, isWarning);
      fewer.SetDiscreteDatum(0, remaining);
      return fewer;
    }
  }
  return result;
}

NQStatus FSAlgorithm::GetTopPredictors(RankCriteria c, std::vector<int>& indices,
                                       std::vector<double>& values, int n) const {
  NQStatus result = RankedReadStatus(c);
  if (result.IsOK()) result = fEngine.GetTopPredictors(c, n, indices, values);
  return FewerPredictorsStatus(result, n, true);
}

// The document is written before the count check, so a request for more predictors than
// remain still gets every one there is, with the error telling how many that was.
NQStatus FSAlgorithm::ExportOneXML(std::ostream& stream, RankCriteria c, int n) const {
  NQStatus result = RankedReadStatus(c);
  if (result.IsOK()) result = fEngine.ExportOne(stream, c, n);
  return FewerPredictorsStatus(result, n, false);
}

// No ranked-flag check: after screening the document already tells which predictors were
// excluded, and the engine itself refuses before that.
NQStatus FSAlgorithm::ExportAllXML(std::ostream& stream) const {
  NQStatus result = BlockedReadStatus(false);
  if (!result.IsOK()) return result;
  return fEngine.ExportAll(stream);
}

void FSAlgorithm::GetNValidNExcluded(double& weightedValid, double& weightedExcluded, int& nValid,
                                     int& nExcluded) const {
  fEngine.GetNValidNExcluded(weightedValid, weightedExcluded, nValid, nExcluded);
}

int FSAlgorithm::GetNTargetCategories() const {
  return fEngine.GetNTargetCategories();
}

std::pair<int, double> FSAlgorithm::GetTargetCategoryCount(int category) const {
  return fEngine.GetTargetCategoryCount(category);
}

bool FSAlgorithm::GetTargetCategoryInfo(int k, int& category,
                                        std::pair<int, double>& counts) const {
  return fEngine.GetTargetCategoryInfo(k, category, counts);
}

int FSAlgorithm::GetNDeletedPred() const {
  return fEngine.GetNDeletedPred();
}

const std::vector<int>& FSAlgorithm::GetIndicesDelPred() const {
  return fEngine.GetIndicesDelPred();
}

const std::vector<int>& FSAlgorithm::GetReasonsDelPred() const {
  return fEngine.GetReasonsDelPred();
}

bool FSAlgorithm::GetPredictorStats(int criterion, int predictor, double& a, double& b, double& c,
                                    double& d) const {
  return fEngine.GetPredictorStats(criterion, predictor, a, b, c, d);
}

const std::vector<int>& FSAlgorithm::GetRanks(RankCriteria c) const {
  return fEngine.GetRanks(c);
}

const std::vector<double>& FSAlgorithm::GetCriterionValues(RankCriteria c) const {
  return fEngine.GetCriterionValues(c);
}

void FSAlgorithm::SetProgressListener(ProgressListener* listener) {
  fpSettings->SetProgressListener(listener);
}

void FSAlgorithm::SetCancelPtr(NQQueryCancel* cancel) {
  fpSettings->SetCancelPointer(cancel);
  fCancel.SetQuery(cancel);
}

void FSAlgorithm::Display(std::ostream& stream) const {
  stream << "\nStart of FSAlgorithm display\n";
  stream << "Data accumulated? " << (fbAccumulated ? "Yes.  " : "No.  ");
  stream << "Predictors ranked? " << (fbRanked ? "Yes.\n" : "No.\n");
  stream << "\nSettings:\n";
  if (fpSettings != nullptr) fpSettings->Display(stream);
  stream << "\nPredictor set:\n";
  fEngine.Display(stream);
  stream << "End of FSAlgorithm display\n";
}
