// The predictor set engine: it owns one accumulator per predictor and the target category
// counts, runs the data passes (record form, transaction form, no target), screens the
// predictors, computes the ranking criteria, sorts and ranks. The algorithm facade holds one
// by value and forwards every data operation to it.
#ifndef FSRANK_ENGINE_PREDICTOR_SET_H
#define FSRANK_ENGINE_PREDICTOR_SET_H

#include <array>
#include <cstddef>
#include <ostream>
#include <utility>
#include <vector>

#include "core/cancel_state.h"
#include "engine/pred_sort.h"
#include "fsrank/enums.h"
#include "fsrank/record.h"
#include "fsrank/settings.h"
#include "fsrank/status.h"

class IFSPredTargetAccum;
struct CriterionContext;
class FSMapIPCnt;
namespace NQFeatureXML {
class XMLElement;
}

// Engine states (feStatus).
enum FSEngineState {
  EngineReleased = 0,
  EngineInitial = 1,
  EngineAccumulated = 2,
  EngineChecked = 3,
  EngineCriteriaComputed = 4,
  EngineSortedAll = 5,
  EngineSortedBest = 6,
  EngineRanked = 7,
};

class FSPredictorSet {
 public:
  // A new engine for the given settings (state 1, nothing allocated).
  FSPredictorSet(FSSettings* settings, FSCancelState* cancel);
  // An empty engine for the state reader to fill: no settings, no predictors, set type 3.
  explicit FSPredictorSet(FSCancelState* cancel);
  FSPredictorSet(const FSPredictorSet&) = delete;
  FSPredictorSet& operator=(const FSPredictorSet&) = delete;
  ~FSPredictorSet();

  // ---- Data passes (record_pass.cpp, transaction_pass.cpp) -------------------------------
  // Creates the accumulators (with or without target); false when they already exist.
  bool AllocateAccumulators(bool withTarget);
  // One case per record; at most maxRecords counted records (negative: no limit).
  NQFeature::NQStatus AccumulateRecords(NQCommon::RecordIterator& it, int maxRecords);
  // Four fields per record: transaction id, predictor index, value, target.
  NQFeature::NQStatus AccumulateTransactions(NQCommon::RecordIterator& it);
  // The pass of the no-target check: single-variable accumulators, every record excluded.
  NQFeature::NQStatus AccumulateNoTarget(NQCommon::RecordIterator& it, int maxRecords);
  // Lets the accumulators turn their sums into statistics; later stages call it lazily.
  NQFeature::NQStatus FinishDataPass();
  // Frees everything the passes and the ranking built; the counts and flags stay.
  void Release();

  // ---- Merging (merge.cpp) ---------------------------------------------------------------
  // Whether other (another engine over other records) can be merged into this one: OK, or
  // StatusMergeFieldsDiffer when the settings describe other fields or the accumulators are of
  // other classes, StatusMergeState when either engine is not right after its data passes
  // (see status.h for the data), or StatusCountOverflow when a count would pass the int range. An
  // engine that counted no record may be in any state: merging it changes nothing. Changes nothing.
  NQFeature::NQStatus CheckMerge(const FSPredictorSet& other) const;
  // True when no record was counted, valid or excluded.
  bool HasNoRecords() const { return fnValid == 0 && fnExcluded == 0; }
  // Adds other's data (CheckMerge said OK): afterwards this engine holds what one engine
  // reading its own records and then other's would hold. The pass is left unfinished, so the
  // derived values are computed afresh before they are used.
  void Merge(const FSPredictorSet& other);

  // ---- Screening (screening.cpp) ---------------------------------------------------------
  NQFeature::NQStatus CheckPredAllMissConst();
  NQFeature::NQStatus ScreenPredictors();
  NQFeature::NQStatus ScreenPredictorsNoTarget(std::vector<int>& indices,
                                               std::vector<std::vector<int>>& reasons);

  // ---- Criteria, sorting and ranking (ranking.cpp) ---------------------------------------
  NQFeature::NQStatus ComputeCriteria();
  NQFeature::NQStatus SortAll();
  NQFeature::NQStatus SortBest(int n);
  NQFeature::NQStatus RankAll();
  NQFeature::NQStatus RankBest();
  NQFeature::NQStatus GetTopPredictors(NQFSCommon::RankCriteria c, int n, std::vector<int>& indices,
                                       std::vector<double>& values) const;
  // TStat on a mixed set with a continuous target answers with the FStat vector; a criterion
  // outside 0 to 5 with the Pearson vector.
  const std::vector<int>& GetRanks(NQFSCommon::RankCriteria c) const;
  const std::vector<double>& GetCriterionValues(NQFSCommon::RankCriteria c) const;

  // ---- Result documents (xml/result_documents.cpp) -------------------------------------
  // "FSOutputOne": the predictors of criterion c's list in rank order, at most n of them (0:
  // as many as were ranked). StatusCancelled or StatusNotRanked (before ranking) write
  // nothing. c must be a criterion that is switched on.
  NQFeature::NQStatus ExportOne(std::ostream& stream, NQFSCommon::RankCriteria c, int n) const;
  // "FSOutputAll": the screening outcome and, once ranked, every kept predictor under every
  // applicable criterion. StatusCancelled or StatusNotRanked (before screening) write nothing.
  NQFeature::NQStatus ExportAll(std::ostream& stream) const;

  // ---- Queries ---------------------------------------------------------------------------
  int GetStatus() const { return feStatus; }
  void GetNValidNExcluded(double& wValid, double& wExcluded, int& nValid, int& nExcluded) const;
  int GetNTargetCategories() const;
  std::pair<int, double> GetTargetCategoryCount(int category) const;
  bool GetTargetCategoryInfo(int k, int& category, std::pair<int, double>& counts) const;
  const std::vector<int>& GetIndicesDelPred() const { return fvIndicesDel; }
  const std::vector<int>& GetReasonsDelPred() const { return fvReasonsDel; }
  int GetNDeletedPred() const { return static_cast<int>(fvIndicesDel.size()); }
  int GetNRemaining() const { return fnPredictors - GetNDeletedPred(); }
  int CountDeleted(bool& allDeleted) const;
  bool GetPredictorStats(int criterion, int predictor, double& a, double& b, double& c,
                         double& d) const;

  // Read access for persistence, display and export.
  FSSettings* GetSettings() const { return fpSettings; }
  FSCancelState* GetCancelState() const { return fpCancel; }
  int GetNPredictors() const { return fnPredictors; }
  int GetSetType() const { return feSetType; }
  int GetNBestSorted() const { return fnBestSorted; }
  double GetElapsedSeconds() const { return fdElapsedSeconds; }
  bool IsMemoryAllocated() const { return fbMemoryAllocated; }
  bool IsPassCompleted() const { return fbPassCompleted; }
  bool IsNoValidData() const { return fbNoValidData; }
  bool IsNoValidWeight() const { return fbNoValidWeight; }
  const FSMapIPCnt* GetTargetCounts() const { return fpTargetCounts; }
  const std::vector<IFSPredTargetAccum*>& GetAccumulators() const { return fvpAccum; }
  // The sort records of criterion c (0 to 5; any other value gives the Pearson list).
  const std::vector<FSPredSort*>& GetSortList(NQFSCommon::RankCriteria c) const;

  // ---- Saved state and display (engine_persistence.cpp, engine_display.cpp) --------------
  // The "PRSET" binary chunk (returns its bytes) and the "FSPredictorSet" XML object at level 1
  // (returns its elements). A reader replaces the whole engine by the stored one, checked to be
  // consistent with the given settings, which the engine then reads; on any failure it writes
  // "Error reading FSPredictorSet!\n" (or the failing nested object's message) to the standard
  // error stream, leaves the engine released and throws a new NQFeature::IOException by
  // pointer.
  int WriteObject(std::ostream& stream) const;
  int ReadObject(std::istream& stream, FSSettings* settings);
  int WriteObjectXML(std::ostream& stream) const;
  int ReadObjectXML(std::ifstream& stream, FSSettings* settings);
  // The additions saved after the whole state, where readers that predate them stop: the
  // unweighted number of valid values of each categorical predictor, which the accumulators'
  // own chunks leave out. They are written only when one of them is not 0, so that any other
  // state keeps the older layout byte for byte, and a state without them reads with every
  // count 0, as it always did. Binary: the tag "EXTRA", the number of bytes that follow (a
  // later layout may append to them; this reader skips what it does not know), the slot count
  // and one count per accumulator slot (0 for an empty slot or a continuous predictor). XML:
  // an object "FSStateExtra" after the algorithm's own object, holding the slot count and the
  // counts. The readers run after the engine's own and check the counts against the
  // accumulators read; on failure "Error reading FSStateExtra!\n" and an IOException, with
  // nothing changed.
  int WriteAdditions(std::ostream& stream) const;
  void ReadAdditions(std::istream& stream);
  int WriteAdditionsXML(std::ostream& stream) const;
  void ReadAdditionsXML(std::ifstream& stream);
  // The diagnostic dump. Polls the cancel check (the host's cancel object) once.
  void Display(std::ostream& stream) const;
  friend struct FSPredictorSetFields;

 private:
  // Unit tests place sort records directly, without accumulators behind them.
  friend class FSPredictorSetTestAccess;

  std::vector<FSPredSort*>& SortList(int c);
  // Right after data passes: accumulators of every predictor, nothing checked or ranked.
  bool IsOnlyAccumulated() const;
  // How many more records a pass may count before one of the int counts it adds 1 to per
  // record (valid, excluded, a target category's, a predictor's valid values) could pass the
  // int range.
  int CountHeadroom() const;
  // Settles every category table (the accumulators' and the target counts) once a pass ends,
  // so that the const reads of the results never change them and may run on several threads.
  void SettleTables();
  // StatusCountOverflow with data 0 = record.
  static NQFeature::NQStatus CountOverflow(int record);
  // StatusShortRecord with data 0 = record, 1 = the fields needed (at most INT_MAX), 2 = the
  // record's size.
  static NQFeature::NQStatus ShortRecord(int record, long long needed, int size);
  // Whether every int count stays within the int range when other's are added (merge.cpp).
  bool CountsAddUp(const FSPredictorSet& other) const;
  // The host's cancel object is not part of the engine's state, so const operations poll it too.
  bool Cancelled() const { return fpCancel != nullptr && fpCancel->IsCancelled(); }
  // How the criteria are computed under the current settings.
  CriterionContext Context() const;
  bool CriterionOn(int c) const;
  bool HasContinuousTarget() const;
  // The shared body of the two deleting checks.
  NQFeature::NQStatus DeletePredictors(bool allMissConst);
  // The shared body of the record-form passes.
  NQFeature::NQStatus RunRecordPass(NQCommon::RecordIterator& it, int maxRecords, bool withTarget);
  // The transaction pass without settling the tables at its end.
  NQFeature::NQStatus RunTransactionPass(NQCommon::RecordIterator& it);
  void CloseTransaction(int lastIndex, bool noValidValue, double target);
  void ClearSortRecords(int c);
  // The frame of the sorting and ranking steps: step(c, list) on the sort list of every
  // switched-on criterion in order until a cancel is pending; then the state done and the time
  // taken.
  template <class Step>
  NQFeature::NQStatus ForEachSortList(int done, Step step);
  // Ranks the first count records of every switched-on list (RankAll, RankBest).
  NQFeature::NQStatus RankFirst(std::size_t count);
  // The criterion whose ranks and values answer for c: Pearson's for an unknown one, FStat's
  // for TStat in a mixed set with a continuous target (where one test serves both).
  int StoredCriterion(NQFSCommon::RankCriteria c) const;
  // Parts of the result documents: one "CriterionAndRank" child of parent for predictor i
  // under c (false and nothing added when c is switched off), and the "ExcludedPredictors"
  // block.
  bool AppendCriterionAndRank(NQFeatureXML::XMLElement& parent, int i,
                              NQFSCommon::RankCriteria c) const;
  void AppendExcludedPredictors(NQFeatureXML::XMLElement& parent) const;

  FSSettings* fpSettings;
  FSCancelState* fpCancel;
  int fnPredictors;
  int feSetType;
  int feStatus;
  bool fbMemoryAllocated;
  bool fbPassCompleted;
  bool fbNoValidData;
  bool fbNoValidWeight;
  double fdWeightedValid;
  double fdWeightedExcluded;
  int fnValid;
  int fnExcluded;
  double fdElapsedSeconds;
  int fnBestSorted;
  FSMapIPCnt* fpTargetCounts;
  std::vector<IFSPredTargetAccum*> fvpAccum;
  std::vector<int> fvIndicesDel;
  std::vector<int> fvReasonsDel;
  std::vector<FSPredSort*> fvpSortPearson;
  std::vector<FSPredSort*> fvpSortLikelihood;
  std::vector<FSPredSort*> fvpSortCramer;
  std::vector<FSPredSort*> fvpSortLambda;
  std::vector<FSPredSort*> fvpSortFStat;
  std::vector<FSPredSort*> fvpSortTStat;
  std::array<std::vector<int>, NQFSCommon::kNumCriteria> fvRanks;
  std::array<std::vector<double>, NQFSCommon::kNumCriteria> fvValues;
};

#endif  // FSRANK_ENGINE_PREDICTOR_SET_H
