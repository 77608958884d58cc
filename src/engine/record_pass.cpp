// The record-form data pass, its no-target variant, and the end of a pass.
//
// Choices where the caller can get things wrong:
// - A record shorter than the columns the settings imply (the largest of the special positions
//   and the predictor columns, plus one) is never read: the pass stops before it with
//   StatusShortRecord (data: 1-based number of the record in this pass, skipped records
//   included; values needed; the record's size). Everything accumulated before stays, the
//   state becomes 2 and the time is added as at a normal end. A record that could make an int
//   count pass the int range ends the pass the same way, with StatusCountOverflow.
// - A record pass on settings without a target column returns StatusNoTargetColumn without
//   touching the iterator or the engine. An engine without settings knows no columns and
//   answers the same.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <memory>
#include <vector>

#include "accum/accumulator.h"
#include "accum/maps.h"
#include "core/progress_ticker.h"
#include "engine/pass_util.h"
#include "engine/predictor_set.h"
#include "engine/record_kernels.h"

using NQFeature::NQStatus;

NQStatus FSPredictorSet::AccumulateRecords(NQCommon::RecordIterator& it, int maxRecords) {
  if (fpSettings == nullptr || fpSettings->GetTargetPosition() < 0) {
    return NQStatus(NQFeature::StatusNoTargetColumn, false);
  }
  return RunRecordPass(it, maxRecords, true);
}

NQStatus FSPredictorSet::AccumulateNoTarget(NQCommon::RecordIterator& it, int maxRecords) {
  if (fpSettings == nullptr) return NQStatus(NQFeature::StatusNoTargetColumn, false);
  return RunRecordPass(it, maxRecords, false);
}

NQStatus FSPredictorSet::RunRecordPass(NQCommon::RecordIterator& it, int maxRecords,
                                       bool withTarget) {
  NQStatus result;
  AllocateAccumulators(withTarget);
  fbPassCompleted = false;
  if (!withTarget) {
    fnValid = 0;
    fdWeightedValid = 0.0;
    fnExcluded = 0;
    fdWeightedExcluded = 0.0;
  }
  const int limit = maxRecords < 0 ? INT_MAX : maxRecords;
  // Each counted record adds at most 1 to each int count.
  const int headroom = CountHeadroom();

  // Everything the loop needs, read once.
  const int targetPos = withTarget ? fpSettings->GetTargetPosition() : -1;
  const int caseIdPos = fpSettings->GetCaseIDPosition();
  const int weightPos = fpSettings->GetWeightPosition();
  const int weightConv = fpSettings->GetWeightConv();
  const bool catTarget = fpSettings->IsCatTarget();
  std::vector<FSRecordKernels::Predictor> slots;
  slots.reserve(static_cast<std::size_t>(fnPredictors));
  long long needed = std::max({targetPos, caseIdPos, weightPos}) + 1LL;
  {
    int column = 0;
    for (int i = 0; i < fnPredictors; ++i) {
      while (column == targetPos || column == caseIdPos || column == weightPos)
        ++column;
      IFSPredTargetAccum* accum = fvpAccum[static_cast<std::size_t>(i)];
      if (accum != nullptr) slots.push_back({accum, column, fpSettings->IsCatPredictor(i)});
      ++column;
    }
    needed = std::max(needed, static_cast<long long>(column));
  }
  FSProgressTicker ticker(fpSettings->GetProgressListener(), fpSettings->GetNSkippedRecordReports(),
                          FSProgressTicker::Measure::Records, fdElapsedSeconds);

  int n = 0;             // counted records (usable weight)
  int obtained = 0;      // every record the iterator handed out
  bool stopped = false;  // before a short record, or one that could overflow a count
  // With a target, the kernels hold the accumulators' state while the loop runs; whatever
  // ends the loop, it goes back into the accumulators.
  std::unique_ptr<FSRecordKernels> kernels;
  if (withTarget) kernels = std::make_unique<FSRecordKernels>(slots);
  try {
    if (it.Next()) {
      for (;;) {
        if (n >= limit || Cancelled()) break;
        const NQCommon::Record* record = it.GetRecord();
        if (record == nullptr) break;
        if (obtained < INT_MAX) ++obtained;
        if (record->Size() < needed) {
          result = ShortRecord(obtained, needed, record->Size());
          stopped = true;
          break;
        }
        const double* values = record->GetAll();

        double w = 1.0;
        bool usable = true;
        if (weightPos >= 0) {
          usable = fsengine::ConvertWeight(values[weightPos], weightConv, w);
          if (usable) fbNoValidWeight = false;
        }
        if (usable) {
          if (n >= headroom) {
            result = CountOverflow(obtained);
            stopped = true;
            break;
          }
          ++n;
          if (withTarget) {
            const double t = values[targetPos];
            if (NQMV::IsMissing(t) || (catTarget && fsengine::TruncatesToMinusOne(t))) {
              // An unusable target: excluded, and no progress step.
              ++fnExcluded;
              fdWeightedExcluded += w;
            } else {
              if (kernels->AddRecord(values, t, w)) {
                fbNoValidData = false;
                ++fnValid;
                fdWeightedValid += w;
                if (fpTargetCounts != nullptr) fpTargetCounts->Add(TruncateToCategory(t), w);
              } else {
                ++fnExcluded;
                fdWeightedExcluded += w;
              }
              ticker.Tick(n);
            }
          } else {
            for (const FSRecordKernels::Predictor& slot : slots) {
              const double x = values[slot.column];
              if (NQMV::IsMissing(x) || (slot.categorical && fsengine::TruncatesToMinusOne(x))) {
                slot.accum->AddMissing(w);
              } else {
                fbNoValidData = false;
                slot.accum->AddValueNoTarget(x, w, true);
              }
            }
            ++fnExcluded;
            fdWeightedExcluded += w;
            ticker.Tick(n);
          }
        }
        if (!it.Next()) break;
      }
    }
  } catch (...) {
    if (kernels != nullptr) kernels->Flush();
    SettleTables();
    throw;
  }
  if (kernels != nullptr) kernels->Flush();
  SettleTables();

  feStatus = EngineAccumulated;
  if (!stopped) {
    const bool warn = !withTarget;
    if (weightPos >= 0 && fbNoValidWeight) {
      result = NQStatus(NQFeature::StatusNoValidWeight, warn);
    } else if (fbNoValidData) {
      result = NQStatus(NQFeature::StatusNoValidData, warn);
    }
  }
  fdElapsedSeconds += ticker.Elapsed();
  return result;
}

NQStatus FSPredictorSet::FinishDataPass() {
  const std::clock_t start = std::clock();
  const bool catTarget = fpSettings == nullptr || fpSettings->IsCatTarget();
  if (feSetType == NQFSCommon::AllContinuous || feSetType == NQFSCommon::Mixed || !catTarget) {
    for (IFSPredTargetAccum* accum : fvpAccum) {
      if (accum != nullptr) accum->FinishPass();
    }
  }
  fbPassCompleted = true;
  fdElapsedSeconds += SecondsSince(start);
  return NQStatus();
}
