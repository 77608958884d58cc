// Status values returned by every operation that can fail, the status codes, and the exception
// type that the state readers throw internally.
#ifndef FSRANK_STATUS_H
#define FSRANK_STATUS_H

#include <cstdint>

#include "fsrank/export.h"

namespace NQFeature {

// Status codes. The numbers are part of the interface; IFSAlgorithm and FSFactory name the
// calls that return each. "data i" is GetDiscreteDatum(i).
constexpr long StatusOK = 0;
// The operation was cancelled (IFSAlgorithm::Cancel, the host's NQQueryCancel, or
// FSFactory::Cancel); sticky on an algorithm.
constexpr long StatusCancelled = 1;
// A result was asked for before any ranking (or a result document before any screening).
constexpr long StatusNotRanked = 6;
// A restore was given a stream not in a good state; nothing was read.
constexpr long StatusBadStream = 80003;
// A saved state could not be restored: damaged, truncated, or not a state of this library.
constexpr long StatusBinaryRestoreFailed = 80004;
constexpr long StatusXMLRestoreFailed = 80005;
// A result was asked for under a criterion that is switched off in the settings.
constexpr long StatusCriterionNotSelected = 80006;
// Transaction input: a predictor index not above the previous one of the same case.
// Data: 0 = previous index, 1 = index, 2 = case id (truncated to int).
constexpr long StatusTransactionOrder = 80007;
// Transaction input: a predictor index outside 0 to predictors - 1.
// Data: 0 = index, 1 = number of predictors, 2 = case id (truncated to int).
constexpr long StatusTransactionIndex = 80008;
// No case had a usable target together with a valid predictor value.
constexpr long StatusNoValidData = 80009;
// Warning: the all-missing / constant check deleted every remaining predictor.
constexpr long StatusAllDeletedByCheck = 80010;
// Warning: no predictor is left (all deleted, or all flagged by the check without target).
constexpr long StatusNoPredictorsLeft = 80011;
// Fewer predictors remain than the n asked for. Data: 0 = number of remaining predictors.
constexpr long StatusFewerPredictors = 80012;
// A weight column is set and no record had a usable weight.
constexpr long StatusNoValidWeight = 80013;

// Codes of this library beyond the historical table start at 80100.
// A record holds fewer values than the columns the settings imply. The pass stops before
// reading it; everything accumulated before stays. Data: 0 = 1-based number of the record in
// this pass (skipped records included), 1 = number of values needed, 2 = the record's size.
constexpr long StatusShortRecord = 80100;
// A record pass (Accumulate with record input) was asked for with settings that define no
// target column.
constexpr long StatusNoTargetColumn = 80101;
// Screening, checking or ranking was asked for before any data pass created the accumulators.
constexpr long StatusNoDataPass = 80102;
// The operation is not available in this build of the library.
constexpr long StatusNotImplemented = 80103;
// Merging (IFSAlgorithm::Merge); a refused merge changes neither algorithm and is not stored.
// The two algorithms describe different fields. Data 0 = what differs: 0 the other algorithm
// is not one of this library, 1 the number of predictors, 2 a predictor's type (data 1 = its
// 0-based index), 3 the target's type, 4 the target's presence, 5 the weight position, 6 the
// case-id position, 7 the weight conversion, 8 the input form (records or transactions), 9 the
// accumulators (one read with a target and the other without).
constexpr long StatusMergeFieldsDiffer = 80104;
// An algorithm is not in a state to merge: both must be after their data passes and before
// any check, screening or ranking. Data 0 = 0 for the algorithm merged into, 1 for the other;
// data 1 = 1 when it had no data pass, 2 when its predictors were already checked, screened
// or ranked.
constexpr long StatusMergeState = 80105;
// An algorithm cannot be merged into itself.
constexpr long StatusMergeSelf = 80106;
// The other algorithm holds an error (data 0 = its code). StatusNoValidData and
// StatusNoValidWeight do not count: their counts are exact and merge like any others.
constexpr long StatusMergeOtherError = 80107;
// A selection rule that tests p-values (fpr, fdr, fwe) was asked of a criterion whose ranked
// values are not p-values (Cramer's V, lambda). Data: 0 = the rule (NQFSSelect::Rule as int).
constexpr long StatusSelectionNotApplicable = 80108;
// A selection rule's value is outside its range: k not a whole number from 0, a percentile
// outside 0 to 100, a level outside 0 to 1, or not a number. Scale data: 0 = the value.
constexpr long StatusSelectionValueInvalid = 80109;
// A count of records (valid, excluded, of one target category, or of one predictor's valid
// values) would pass the largest int, 2147483647. A data pass stops before the record (in
// transaction form, before the first record of the transaction) that could pass it;
// everything accumulated before stays. Data: 0 = 1-based number of that record in this pass
// (skipped records included). A merge whose sums would pass it is refused and changes neither
// algorithm (data 0 = 0).
constexpr long StatusCountOverflow = 80110;

// The outcome of an operation: a code and a severity (0 success, negative error, positive
// warning), with three integer and three floating-point data slots whose meaning the code
// gives (unused slots hold 0).
class FSRANK_API NQStatus {
 public:
  NQStatus();
  NQStatus(long code, bool isWarning);

  bool IsOK() const { return fnSeverity == 0; }
  bool IsError() const { return fnSeverity < 0; }
  bool IsWarning() const { return fnSeverity > 0; }
  long GetErrorCode() const { return fnCode; }
  short GetSeverity() const { return fnSeverity; }

  // Slots 0, 1 and 2; the caller stays within them.
  long GetDiscreteDatum(unsigned int i) const { return fnDiscrete[i]; }
  void SetDiscreteDatum(unsigned int i, long v) { fnDiscrete[i] = static_cast<std::int32_t>(v); }
  double GetScaleDatum(unsigned int i) const { return fdScale[i]; }
  void SetScaleDatum(unsigned int i, double v) { fdScale[i] = v; }

  bool operator==(const NQStatus& other) const;
  bool operator!=(const NQStatus& other) const { return !(*this == other); }

 private:
  std::int32_t fnCode;
  std::int16_t fnSeverity;
  std::int32_t fnDiscrete[3];
  double fdScale[3];
};

// Thrown by pointer (a new object the catcher deletes) inside the state readers only.
class FSRANK_API IOException {};

}  // namespace NQFeature

#endif  // FSRANK_STATUS_H
