// The algorithm facade: a thin layer over one predictor-set engine that adds the sticky status,
// the cancellation protocol, the accumulated and ranked flags and the precondition checks.
#ifndef FSRANK_API_FS_ALGORITHM_H
#define FSRANK_API_FS_ALGORITHM_H

#include "core/cancel_state.h"
#include "engine/predictor_set.h"
#include "fsrank/algorithm.h"

class FSAlgorithm final : public IFSAlgorithm {
 public:
  // The settings are the host's; they must outlive the algorithm.
  explicit FSAlgorithm(FSSettings* settings);
  // Restore a saved algorithm (state_files.cpp): it owns the settings it reads and has no
  // progress listener or cancel object. Failures leave the status StatusBinaryRestoreFailed or
  // StatusXMLRestoreFailed.
  // The binary state from any stream (a file, or a string's bytes); the XML state from a file.
  explicit FSAlgorithm(std::istream& stream);
  explicit FSAlgorithm(std::ifstream& stream);
  ~FSAlgorithm() override;
  FSAlgorithm(const FSAlgorithm&) = delete;
  FSAlgorithm& operator=(const FSAlgorithm&) = delete;

  std::string GetComponentVersion() const override;
  NQFeature::NQStatus GetStatus() const override { return fStatus; }
  NQFeature::NQStatus Accumulate(NQCommon::RecordIterator& it, int maxRecords) override;
  void GetNValidNExcluded(double& weightedValid, double& weightedExcluded, int& nValid,
                          int& nExcluded) const override;
  int GetNTargetCategories() const override;
  std::pair<int, double> GetTargetCategoryCount(int category) const override;
  bool GetTargetCategoryInfo(int k, int& category, std::pair<int, double>& counts) const override;
  NQFeature::NQStatus CheckPredAllMissConst() override;
  NQFeature::NQStatus ScreenPredictors() override;
  int GetNDeletedPred() const override;
  const std::vector<int>& GetIndicesDelPred() const override;
  const std::vector<int>& GetReasonsDelPred() const override;
  NQFeature::NQStatus SortAndRank(int n) override;
  NQFeature::NQStatus AccumulateAndRank(NQCommon::RecordIterator& it, int maxRecords, bool screen,
                                        int n) override;
  NQFeature::NQStatus CheckPredictorsNoTarget(NQCommon::RecordIterator& it,
                                              std::vector<int>& indices,
                                              std::vector<std::vector<int>>& reasons,
                                              int maxRecords) override;
  NQFeature::NQStatus ExportOneXML(std::ostream& stream, NQFSCommon::RankCriteria c,
                                   int n) const override;
  bool GetPredictorStats(int criterion, int predictor, double& a, double& b, double& c,
                         double& d) const override;
  NQFeature::NQStatus ExportAllXML(std::ostream& stream) const override;
  NQFeature::NQStatus SaveState(std::fstream& stream) const override;
  NQFeature::NQStatus SaveStateXML(std::ostream& stream) const override;
  NQFeature::NQStatus SaveStateToString(std::string& bytes) const override;
  NQFeature::NQStatus Merge(const IFSAlgorithm& other) override;
  void Cancel() override { fCancel.Cancel(); }
  void SetProgressListener(ProgressListener* listener) override;
  void SetCancelPtr(NQQueryCancel* cancel) override;
  FSSettings* GetSettings() override { return fpSettings; }
  const FSSettings* GetSettings() const override { return fpSettings; }
  const std::vector<int>& GetRanks(NQFSCommon::RankCriteria c) const override;
  const std::vector<double>& GetCriterionValues(NQFSCommon::RankCriteria c) const override;
  NQFeature::NQStatus GetTopPredictors(NQFSCommon::RankCriteria c, std::vector<int>& indices,
                                       std::vector<double>& values, int n) const override;
  bool IsDataAccumulated() const override { return fbAccumulated; }
  bool ArePredictorsRanked() const override { return fbRanked; }
  void Display(std::ostream& stream) const override;

 private:
  // The empty algorithm that the restoring constructors fill (state_files.cpp).
  struct Restoring {};
  explicit FSAlgorithm(Restoring);
  // Runs one state-changing operation with the shared pattern: a stored error is returned
  // unchanged; the work runs only without cancellation; a cancellation seen afterwards frees
  // the engine's data; the result is stored.
  template <typename Work>
  NQFeature::NQStatus RunStateChanging(Work work);
  // The status of a read-only operation (export, save, top predictors) when the stored status
  // is an error or a cancellation is pending; OK when the operation may proceed.
  NQFeature::NQStatus BlockedReadStatus(bool needsRanking) const;
  // BlockedReadStatus, then the refusals of a read of criterion c's ranking: not ranked, or c
  // not selected; OK when the read may proceed.
  NQFeature::NQStatus RankedReadStatus(NQFSCommon::RankCriteria c) const;
  // result, or when it is OK and fewer than n (> 0) predictors remain, StatusFewerPredictors
  // (a warning or an error) telling how many remain.
  NQFeature::NQStatus FewerPredictorsStatus(const NQFeature::NQStatus& result, int n,
                                            bool isWarning) const;
  // The binary state: header, settings, engine and the two flags.
  void WriteBinaryState(std::ostream& stream) const;

  FSSettings* fpSettings;
  bool fbOwnsSettings;
  mutable FSCancelState fCancel;  // the cancel check may ask the host, also from const queries
  NQFeature::NQStatus fStatus;
  FSPredictorSet fEngine;
  bool fbAccumulated;
  bool fbRanked;
};

#endif  // FSRANK_API_FS_ALGORITHM_H
