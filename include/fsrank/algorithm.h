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

// Deletion reasons, as GetReasonsDelPred and CheckPredictorsNoTarget report them (the result
// documents use the names in quotes):
//   1 "allMissing"   every value of the predictor is missing (CheckPredAllMissConst)
//   2 "allConst"     every valid value is the same (CheckPredAllMissConst)
//   3 "manyMissing"  missing weight / processed weight > GetMaxPctMiss()          (screening)
//   4 "manyConst"    categorical: largest category / valid weight > GetMaxPctSingle()
//   5 "manyCategs"   categorical: categories / unweighted valid count > GetMaxNCatAsPct()
//   6 "smallStdDev"  continuous: standard deviation < GetMinStddev()
//   7 "smallVar"     continuous: standard deviation 0, or |standard deviation / mean| <
//                    GetMinVariation()
// Each screening rule applies only when its flag is on and its threshold below 100% (rules 3
// to 5) or above 0 (rules 6 and 7); a predictor within a relative 2^-52 of threshold 6 or 7
// is kept.
//
// Status conventions. Every call that returns NQStatus returns StatusOK (0) on success. A
// state-changing call (Accumulate, CheckPredAllMissConst, ScreenPredictors, SortAndRank,
// AccumulateAndRank, CheckPredictorsNoTarget) stores its status, which GetStatus() returns
// until the next one; a stored error is sticky: every later state-changing call returns it
// without doing anything, and the results, exports and saves refuse with it. Warnings are
// stored too but block nothing. A cancellation (Cancel, or the host's NQQueryCancel answering
// true) ends the running call with StatusCancelled, frees the data the passes built, and is
// itself sticky. The data of a status (GetDiscreteDatum) is named beside its code in status.h.
//
// Obtain instances from FSFactory and destroy them through this interface. One thread at a
// time may call an algorithm, except Cancel().
class FSRANK_API IFSAlgorithm {
 public:
  virtual ~IFSAlgorithm();
  // "fsrank feature selection, version 1.0. " followed by the copyright notice.
  virtual std::string GetComponentVersion() const = 0;
  // The status the last state-changing call stored (StatusOK before the first).
  virtual NQFeature::NQStatus GetStatus() const = 0;

  // ---- Data passes -----------------------------------------------------------------------------
  // One pass over it. Record input (GetFlagTrInput() false): one case per record, its columns
  // laid out by the settings (target, case id and weight at their positions, the predictors in
  // order in the other columns), at most maxRecords records with a usable weight
  // (maxRecords < 0: no limit). Transaction input: four fields per record (case id, predictor
  // index, value, target), records of one case consecutive with ascending predictor indices;
  // maxRecords is ignored. Passes add up: a second pass continues the sums of the first.
  // Returns, besides StatusOK and StatusCancelled:
  //   StatusNoTargetColumn   record input and the settings have no target (nothing read)
  //   StatusShortRecord      a record has fewer values than the layout needs (the pass stops
  //                          before it; data: record number, values needed, values present)
  //   StatusNoValidWeight    a weight column is set and no record had a usable weight
  //   StatusNoValidData      no case had both a usable target and a valid predictor value
  //   StatusTransactionOrder a predictor index not above the previous one in its case
  //   StatusTransactionIndex a predictor index outside 0 to predictors - 1
  //   StatusCountOverflow    a record count would pass 2147483647 (the pass stops before the
  //                          record that could; data: record number)
  // All of them are errors.
  virtual NQFeature::NQStatus Accumulate(NQCommon::RecordIterator& it, int maxRecords) = 0;
  // The cases counted so far: weighted and unweighted counts of valid cases (usable target and
  // at least one valid predictor value) and of excluded ones (the others with a usable weight).
  virtual void GetNValidNExcluded(double& weightedValid, double& weightedExcluded, int& nValid,
                                  int& nExcluded) const = 0;
  // The number of distinct target categories seen in valid cases; -1 without a categorical
  // target or before the first pass.
  virtual int GetNTargetCategories() const = 0;
  // (unweighted, weighted) count of valid cases in a target category; (-1, -1.0) for a
  // category never seen, without a categorical target or before the first pass.
  virtual std::pair<int, double> GetTargetCategoryCount(int category) const = 0;
  // The k-th target category in ascending order (k from 0 to GetNTargetCategories() - 1) and
  // its counts as above; false, with category -1 and counts (-1, -1.0), for any other k.
  virtual bool GetTargetCategoryInfo(int k, int& category,
                                     std::pair<int, double>& counts) const = 0;

  // ---- Screening -------------------------------------------------------------------------------
  // Deletes the predictors whose values are all missing (reason 1) or all the same (reason 2).
  // Returns StatusAllDeletedByCheck (warning) when this leaves no predictor,
  // StatusNoPredictorsLeft (warning) when none was left before it. Before any data pass:
  // StatusNoDataPass (error), not stored.
  virtual NQFeature::NQStatus CheckPredAllMissConst() = 0;
  // Deletes the predictors that break a screening rule that is switched on (reasons 3 to 7;
  // the first rule broken is the reason). StatusNoPredictorsLeft (warning) when no predictor
  // is left; StatusNoDataPass (error, not stored) before any data pass.
  virtual NQFeature::NQStatus ScreenPredictors() = 0;
  // The deleted predictors so far: their number, their indices in ascending order, and the
  // reason of each (the same position in both lists). Deleted predictors take no further part.
  virtual int GetNDeletedPred() const = 0;
  virtual const std::vector<int>& GetIndicesDelPred() const = 0;
  virtual const std::vector<int>& GetReasonsDelPred() const = 0;

  // ---- Ranking ---------------------------------------------------------------------------------
  // Computes every switched-on criterion for every remaining predictor, sorts the predictors
  // of each criterion best first and ranks them (0 = best). n = 0: every predictor is sorted
  // and ranked. n > 0: only the best n of each criterion are sorted and ranked (the others
  // keep rank -1); if fewer than n predictors remain, StatusFewerPredictors (error, data 0 =
  // predictors remaining) is returned and stored after the ranking. n < 0: the best of all
  // remaining predictors, sorted and ranked like n = number remaining.
  // Best first: Pearson and Likelihood by ascending p-value, then descending statistic, then
  // ascending degrees of freedom; FStat by ascending p-value, descending F, descending valid
  // weight; TStat by ascending p-value, descending r squared, descending degrees of freedom;
  // Cramer by descending V, then descending chi-square; Lambda by descending lambda, then
  // fewer predictor categories. Predictors without a value come last.
  // Other statuses: StatusCancelled; StatusNoDataPass (error, not stored) before any pass.
  virtual NQFeature::NQStatus SortAndRank(int n) = 0;
  // Accumulate, CheckPredAllMissConst, ScreenPredictors when screen is true, then
  // SortAndRank(n), each only while the previous returned StatusOK; returns the status of the
  // last that ran (a warning therefore stops the sequence).
  virtual NQFeature::NQStatus AccumulateAndRank(NQCommon::RecordIterator& it, int maxRecords,
                                                bool screen, int n) = 0;
  // The check without target: sets the settings' target position to -1, runs one record pass
  // (at most maxRecords records with a usable weight; < 0: no limit) and lists, without
  // deleting anything, every predictor that breaks a switched-on screening rule: indices in
  // ascending order and, at the same position in reasons, every rule it breaks (reasons 3 to
  // 7 in that order). Both lists are emptied first. Statuses: StatusNoPredictorsLeft (warning)
  // when every predictor is listed; StatusShortRecord (error, as for Accumulate; nothing is
  // listed); StatusCancelled.
  virtual NQFeature::NQStatus CheckPredictorsNoTarget(NQCommon::RecordIterator& it,
                                                      std::vector<int>& indices,
                                                      std::vector<std::vector<int>>& reasons,
                                                      int maxRecords) = 0;

  // ---- Results ---------------------------------------------------------------------------------
  // The results below read what the last SortAndRank produced. Their refusals: a stored error
  // (StatusNotRanked instead when nothing was ranked yet) or StatusCancelled; StatusNotRanked
  // before ranking; StatusCriterionNotSelected for a criterion that is switched off. A
  // refused call leaves its outputs as they were.

  // The "FSOutputOne" XML document of criterion c: its predictors in rank order, at most n of
  // them (n = 0 or n >= predictors: all that were ranked). When n > 0 and fewer than n
  // predictors remain the document is still written, with every one there is, and
  // StatusFewerPredictors (error, data 0 = predictors remaining) is returned.
  virtual NQFeature::NQStatus ExportOneXML(std::ostream& stream, NQFSCommon::RankCriteria c,
                                           int n) const = 0;
  // The statistics behind predictor's value under criterion (0 to 5, whether switched on or
  // not), once a data pass has run. By the predictor's and the target's kinds:
  //   categorical, categorical  Pearson, Likelihood: a = p-value, b = chi-square (Pearson) or
  //                             likelihood-ratio statistic, c = degrees of freedom
  //                             (r - 1)(k - 1), r and k the predictor's and the target's
  //                             categories; with fewer than two of either a = 1, b = c = 0.
  //                             Cramer: a = Cramer's V, b = the chi-square statistic.
  //                             Lambda: a = Goodman and Kruskal's lambda (target dependent),
  //                             b = number of predictor categories.
  //   categorical, continuous   FStat (one-way analysis of variance of the target over the
  //   continuous, categorical   predictor's categories, or of the predictor over the target's):
  //                             a = p-value, b = F, c = numerator degrees of freedom (groups
  //                             - 1), d = denominator degrees of freedom (valid weight -
  //                             groups).
  //   continuous, continuous    TStat (correlation t test): a = two-sided p-value, b = Pearson
  //                             correlation r, c = t, d = degrees of freedom (valid weight -
  //                             2).
  // Outputs not listed, and those that cannot be computed (no variation, too few cases), are
  // the missing value. Returns false, with all four missing, when the predictor is outside 0
  // to predictors - 1, was deleted, has no accumulator (before a pass, after a cancellation),
  // or the criterion does not apply to its kinds.
  virtual bool GetPredictorStats(int criterion, int predictor, double& a, double& b, double& c,
                                 double& d) const = 0;
  // The "FSOutputAll" XML document: the deleted predictors with their reasons and, once
  // ranked, every remaining predictor's value and rank under every switched-on criterion.
  // Available from the first screening call (CheckPredAllMissConst or ScreenPredictors) on;
  // before that StatusNotRanked. Refused on a stored error or StatusCancelled.
  virtual NQFeature::NQStatus ExportAllXML(std::ostream& stream) const = 0;

  // ---- Saved state -----------------------------------------------------------------------------
  // The whole algorithm (settings, data, deletions, ranking, flags) in the binary or XML
  // form that FSFactory restores. Refused, writing nothing, on a stored error (returned) or a
  // cancellation (StatusCancelled); otherwise the stored status is returned. The progress
  // listener and cancel object are not saved.
  virtual NQFeature::NQStatus SaveState(std::fstream& stream) const = 0;
  virtual NQFeature::NQStatus SaveStateXML(std::ostream& stream) const = 0;
  // The binary state in memory: bytes := exactly what SaveState writes to a file, for hosts
  // that ship partial states between processes or machines (FSFactory::
  // RestoreFSAlgorithmFromString reads it back). Refused like SaveState (a stored error or a
  // pending cancellation is returned and bytes is left as it was); otherwise the stored status.
  virtual NQFeature::NQStatus SaveStateToString(std::string& bytes) const = 0;

  // ---- Merging ---------------------------------------------------------------------------------
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
  // StatusMergeOtherError, StatusCountOverflow) changes neither algorithm and is not stored.
  // An other that counted no record changes nothing and gives OK. other is never changed, so
  // it must not be in use by another thread during the call. The thresholds and criteria are
  // this algorithm's.
  virtual NQFeature::NQStatus Merge(const IFSAlgorithm& other) = 0;

  // ---- Control ---------------------------------------------------------------------------------
  // Safe to call from another thread; the running operation stops at its next check and
  // returns StatusCancelled, and so does every later state-changing call.
  virtual void Cancel() = 0;
  // Replace the listener told of progress and the host's cancel object (null: none); both
  // are kept in the settings.
  virtual void SetProgressListener(ProgressListener* listener) = 0;
  virtual void SetCancelPtr(NQQueryCancel* cancel) = 0;
  // The settings the algorithm reads at every operation (for a restored algorithm, its own).
  virtual FSSettings* GetSettings() = 0;
  virtual const FSSettings* GetSettings() const = 0;

  // ---- Ranks and values (no status checks: they read what is there) ----------------------------
  // Per predictor index: its rank under c (0 = best; -1 when deleted, beyond the best n of
  // SortAndRank(n), or c does not apply to it) and its criterion value (the p-value of a test,
  // Cramer's V, lambda; the missing value when there is none). Empty until a SortAndRank with
  // c switched on, and again after a cancellation. TStat
  // on a mixed set with a continuous target reads the FStat list (the set's t and F tests are
  // ranked together there); a criterion outside 0 to 5 reads Pearson's.
  virtual const std::vector<int>& GetRanks(NQFSCommon::RankCriteria c) const = 0;
  virtual const std::vector<double>& GetCriterionValues(NQFSCommon::RankCriteria c) const = 0;
  // The best predictors under c, best first: their indices and criterion values. n = 0: as
  // many as the last SortAndRank sorted (all remaining after SortAndRank(0)); n > 0: at most
  // n and no more than were sorted; n < 0: all remaining. When n > 0 and fewer than n remain,
  // every one is returned with StatusFewerPredictors (warning, data 0 = predictors
  // remaining). Refusals as for the other results.
  virtual NQFeature::NQStatus GetTopPredictors(NQFSCommon::RankCriteria c,
                                               std::vector<int>& indices,
                                               std::vector<double>& values, int n) const = 0;
  // Whether Accumulate (or CheckPredictorsNoTarget) has run, and whether SortAndRank (or
  // AccumulateAndRank, whatever its outcome) has.
  virtual bool IsDataAccumulated() const = 0;
  virtual bool ArePredictorsRanked() const = 0;
  // A readable dump of the flags, the settings and the engine, for diagnosis; its format may
  // change.
  virtual void Display(std::ostream& stream) const = 0;
};

#endif  // FSRANK_ALGORITHM_H
