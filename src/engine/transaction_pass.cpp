// The transaction-form data pass: one case arrives as several four-field records
// (transaction id, predictor index, value, target), one per predictor present in the case;
// the predictors a case does not mention are missing for it.
//
// A record with fewer than four fields is never read: it ends the pass as the end of the
// data does (the open transaction is closed and counted, state 2, time added) and the result
// is StatusShortRecord with data (1-based number of the record in this pass, 4, its size).
// Closing rather than dropping the open transaction keeps every accumulator at exactly one
// call per counted transaction. A transaction that could make an int count pass the int range
// ends the pass before its first record, with StatusCountOverflow.
#include <climits>
#include <cmath>
#include <cstddef>

#include "accum/accumulator.h"
#include "accum/maps.h"
#include "core/progress_ticker.h"
#include "engine/pass_util.h"
#include "engine/predictor_set.h"

using NQFeature::NQStatus;

namespace {

constexpr int kTransactionFields = 4;

// The predictor index of a record: the field plus 0.5, truncated toward zero. Saturates at
// the int range; a NaN field counts as the largest index, which is out of range.
int TransactionIndex(double field) {
  return fsengine::TruncateSaturated(field + 0.5);
}

}  // namespace

void FSPredictorSet::CloseTransaction(int lastIndex, bool noValidValue, double target) {
  for (int j = lastIndex + 1; j < fnPredictors; ++j) {
    IFSPredTargetAccum* accum = fvpAccum[static_cast<std::size_t>(j)];
    if (accum != nullptr) accum->AddMissing(1.0);
  }
  if (noValidValue) {
    ++fnExcluded;
    fdWeightedExcluded += 1.0;
  } else {
    ++fnValid;
    fdWeightedValid += 1.0;
    if (fpTargetCounts != nullptr) fpTargetCounts->Add(TruncateToCategory(target), 1.0);
  }
}

// Whatever ends the pass (an error status or an exception of the host's iterator included),
// the tables are settled before the results can be read.
NQStatus FSPredictorSet::AccumulateTransactions(NQCommon::RecordIterator& it) {
  NQStatus result;
  try {
    result = RunTransactionPass(it);
  } catch (...) {
    SettleTables();
    throw;
  }
  SettleTables();
  return result;
}

NQStatus FSPredictorSet::RunTransactionPass(NQCommon::RecordIterator& it) {
  NQStatus result;
  AllocateAccumulators(true);
  fbPassCompleted = false;
  const bool catTarget = fpSettings == nullptr || fpSettings->IsCatTarget();
  std::vector<char> categorical(static_cast<std::size_t>(fnPredictors), 0);
  for (int i = 0; i < fnPredictors; ++i)
    categorical[static_cast<std::size_t>(i)] =
        fpSettings != nullptr && fpSettings->IsCatPredictor(i);
  FSProgressTicker ticker(fpSettings != nullptr ? fpSettings->GetProgressListener() : nullptr,
                          fpSettings != nullptr ? fpSettings->GetNSkippedRecordReports() : 0,
                          FSProgressTicker::Measure::Records, fdElapsedSeconds);

  bool first = true;
  double currentId = 0.0;
  double currentTarget = 0.0;
  bool open = false;
  int lastIndex = -1;
  bool noValidValue = true;
  int transactions = 0;
  int obtained = 0;
  // Each transaction adds at most 1 to each int count.
  const int headroom = CountHeadroom();

  if (it.Next()) {
    for (;;) {
      if (Cancelled()) break;
      const NQCommon::Record* record = it.GetRecord();
      if (record == nullptr) break;
      if (obtained < INT_MAX) ++obtained;
      if (record->Size() < kTransactionFields) {
        result = ShortRecord(obtained, kTransactionFields, record->Size());
        break;
      }
      const double* fields = record->GetAll();

      bool process = open;
      bool began = false;
      if (first || fields[0] != currentId) {
        first = false;
        if (open) CloseTransaction(lastIndex, noValidValue, currentTarget);
        open = false;
        if (transactions >= headroom) {
          result = CountOverflow(obtained);
          break;
        }
        currentId = fields[0];
        currentTarget = fields[3];
        if (transactions < INT_MAX) ++transactions;
        lastIndex = -1;
        noValidValue = true;
        if (NQMV::IsMissing(currentTarget) ||
            (catTarget && fsengine::TruncatesToMinusOne(currentTarget))) {
          ++fnExcluded;
          fdWeightedExcluded += 1.0;
          process = false;
        } else {
          open = true;
          process = true;
          began = true;
        }
      }

      if (process) {
        const int k = TransactionIndex(fields[1]);
        if (static_cast<long long>(k) - lastIndex > 1) {
          // Missing for the predictors the transaction skipped (only those that exist).
          const int from = lastIndex + 1 < 0 ? 0 : lastIndex + 1;
          const int to = k - 1 < fnPredictors - 1 ? k - 1 : fnPredictors - 1;
          for (int j = from; j <= to; ++j) {
            IFSPredTargetAccum* accum = fvpAccum[static_cast<std::size_t>(j)];
            if (accum != nullptr) accum->AddMissing(1.0);
          }
        } else if (k <= lastIndex) {
          NQStatus error(NQFeature::StatusTransactionOrder, false);
          error.SetDiscreteDatum(0, lastIndex);
          error.SetDiscreteDatum(1, k);
          error.SetDiscreteDatum(2, fsengine::TruncateSaturated(currentId));
          return error;
        }
        lastIndex = k;
        if (k < 0 || k >= fnPredictors) {
          NQStatus error(NQFeature::StatusTransactionIndex, false);
          error.SetDiscreteDatum(0, k);
          error.SetDiscreteDatum(1, fnPredictors);
          error.SetDiscreteDatum(2, fsengine::TruncateSaturated(currentId));
          return error;
        }
        IFSPredTargetAccum* accum = fvpAccum[static_cast<std::size_t>(k)];
        if (accum != nullptr) {
          const double x = fields[2];
          if (NQMV::IsMissing(x) || (categorical[static_cast<std::size_t>(k)] && x == -1.0)) {
            accum->AddMissing(1.0);
          } else {
            fbNoValidData = false;
            noValidValue = false;
            accum->AddValue(x, currentTarget, 1.0, 1);
          }
        }
        if (began) ticker.Tick(transactions);
      }
      if (!it.Next()) break;
    }
  }

  // End of the data, a null record, a cancellation or a short record.
  if (open) CloseTransaction(lastIndex, noValidValue, currentTarget);
  feStatus = EngineAccumulated;
  if (result.IsOK() && fbNoValidData) result = NQStatus(NQFeature::StatusNoValidData, false);
  fdElapsedSeconds += ticker.Elapsed();
  return result;
}
