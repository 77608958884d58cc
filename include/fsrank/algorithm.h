// The algorithm a host drives: data passes, screening, ranking, results, saved state.
#ifndef FSRANK_ALGORITHM_H
#define FSRANK_ALGORITHM_H

#include <fstream>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "fsrank/enums.h"
#include "fsrank/export.h"
#include "fsrank/progress.h"
#include "fsrank/record.h"
#include "fsrank/settings.h"
#include "fsrank/status.h"

// Every state-changing operation stores its status; a stored error is sticky: later
// state-changing operations return it without doing anything. Obtain instances from FSFactory
// and destroy them through this interface.
class FSRANK_API IFSAlgorithm {
 public:
  virtual ~IFSAlgorithm();
  virtual std::string GetComponentVersion() const = 0;
  virtual NQFeature::NQStatus GetStatus() const = 0;
  // One data pass; maxRecords < 0 reads everything (ignored for transaction input).
  virtual NQFeature::NQStatus Accumulate(NQCommon::RecordIterator& it, int maxRecords) = 0;
  virtual void GetNValidNExcluded(double& weightedValid, double& weightedExcluded, int& nValid,
                                  int& nExcluded) const = 0;
  virtual int GetNTargetCategories() const = 0;
  virtual std::pair<int, double> GetTargetCategoryCount(int category) const = 0;
  virtual bool GetTargetCategoryInfo(int k, int& category,
                                     std::pair<int, double>& counts) const = 0;
  virtual NQFeature::NQStatus CheckPredAllMissConst() = 0;
  virtual NQFeature::NQStatus ScreenPredictors() = 0;
  virtual int GetNDeletedPred() const = 0;
  virtual const std::vector<int>& GetIndicesDelPred() const = 0;
  virtual const std::vector<int>& GetReasonsDelPred() const = 0;
  // n = 0 sorts and ranks all predictors, otherwise the best n (n < 0: the best of all).
  virtual NQFeature::NQStatus SortAndRank(int n) = 0;
  virtual NQFeature::NQStatus AccumulateAndRank(NQCommon::RecordIterator& it, int maxRecords,
                                                bool screen, int n) = 0;
  virtual NQFeature::NQStatus CheckPredictorsNoTarget(NQCommon::RecordIterator& it,
                                                      std::vector<int>& indices,
                                                      std::vector<std::vector<int>>& reasons,
                                                      int maxRecords) = 0;
  virtual NQFeature::NQStatus ExportOneXML(std::ostream& stream, NQFSCommon::RankCriteria c,
                                           int n) const = 0;
  virtual bool GetPredictorStats(int criterion, int predictor, double& a, double& b, double& c,
                                 double& d) const = 0;
  virtual NQFeature::NQStatus ExportAllXML(std::ostream& stream) const = 0;
  virtual NQFeature::NQStatus SaveState(std::fstream& stream) const = 0;
  virtual NQFeature::NQStatus SaveStateXML(std::ostream& stream) const = 0;
  // The binary state in memory: bytes := exactly what SaveState writes to a file, for hosts
  // that ship partial states between processes or machines (FSFactory::
  // RestoreFSAlgorithmFromString reads it back). Refused like SaveState (a stored error or a
  // pending cancellation is returned and bytes is left as it was); otherwise the stored status.
  virtual NQFeature::NQStatus SaveStateToString(std::string& bytes) const = 0;
  // Adds other's data to this algorithm: afterwards it holds what one algorithm reading its own
  // records and then other's would hold (counts and category tables exactly, means and sums of
  // squares to rounding), and it goes on like any other (more data passes, checks, screening,
  // ranking, exports, saves, further merges). This lets one algorithm per thread, process or
  // machine read a part of the data, with the parts combined in any order or tree shape.
  // Both must describe the same fields (number and types of predictors, target type and
  // presence, weight and case-id positions, weight conversion, input form) and be after their
  // data passes (record or transaction form) and before any check, screening or ranking. A
  // stored error of this algorithm is returned (sticky, as for every state-changing call).
  // Otherwise a refusal (StatusMergeFieldsDiffer, StatusMergeState, StatusMergeSelf,
  // StatusMergeOtherError) changes neither algorithm and is not stored. An other that counted
  // no record changes nothing and gives OK. other is never changed, so it must not be in use by
  // another thread during the call. The thresholds and criteria are this algorithm's.
  virtual NQFeature::NQStatus Merge(const IFSAlgorithm& other) = 0;
  // Safe to call from another thread; the running operation stops at its next check.
  virtual void Cancel() = 0;
  virtual void SetProgressListener(ProgressListener* listener) = 0;
  virtual void SetCancelPtr(NQQueryCancel* cancel) = 0;
  virtual FSSettings* GetSettings() = 0;
  virtual const FSSettings* GetSettings() const = 0;
  virtual const std::vector<int>& GetRanks(NQFSCommon::RankCriteria c) const = 0;
  virtual const std::vector<double>& GetCriterionValues(NQFSCommon::RankCriteria c) const = 0;
  virtual NQFeature::NQStatus GetTopPredictors(NQFSCommon::RankCriteria c,
                                               std::vector<int>& indices,
                                               std::vector<double>& values, int n) const = 0;
  virtual bool IsDataAccumulated() const = 0;
  virtual bool ArePredictorsRanked() const = 0;
  virtual void Display(std::ostream& stream) const = 0;
};

#endif  // FSRANK_ALGORITHM_H
