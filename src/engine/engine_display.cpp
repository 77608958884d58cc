// The diagnostic dumps of the predictor set and of one sort record.
#include <cstddef>
#include <ostream>
#include <string>

#include "accum/accumulator.h"
#include "accum/maps.h"
#include "core/display.h"
#include "engine/predictor_set.h"

using NQFSCommon::kNumCriteria;
using NQFSCommon::RankCriteria;

namespace {

// The criteria as the dump names them, in RankCriteria order.
constexpr const char* kCriterionNames[kNumCriteria] = {"Pearson", "Likelihood", "Cramer",
                                                       "Lambda",  "FStat",      "TStat"};

// The engine-state text of states 1 to 7 ("Unrecognized" otherwise), then a newline.
void DisplayEngineState(std::ostream& os, int state) {
  static const char* const kTexts[] = {"Initial",
                                       "Counts and statistics accumulated",
                                       "Predictors checked for deletion",
                                       "Ranking criteria computed",
                                       "Predictors sorted (all)",
                                       "Predictors sorted (best)",
                                       "Predictors ranked"};
  os << (state >= 1 && state <= 7 ? kTexts[state - 1] : "Unrecognized") << '\n';
}

}  // namespace

void FSPredSort::Display(std::ostream& stream) const {
  stream << std::endl << "Start of FSPredSort display" << std::endl << std::endl;
  DisplayNamedValue(stream, "Criterion value", fdValue);
  DisplayNamedValue(stream, "1st tie-breaking value", fdTieBreak1);
  DisplayNamedValue(stream, "2nd tie-breaking value", fdTieBreak2);
  stream << std::endl << "End of FSPredSort display" << std::endl;
}

void FSPredictorSet::Display(std::ostream& stream) const {
  stream << std::endl << "Start of FSPredictorSet display" << std::endl << std::endl;
  stream << "Total elapsed time " << fdElapsedSeconds << " seconds." << std::endl;
  const bool cancelled = fpCancel != nullptr && fpCancel->IsCancelled();
  stream << (cancelled ? "cancel has been called" : "cancel has not been called") << std::endl;
  stream << "Number of predictors = " << fnPredictors << std::endl;
  stream << "Number of best predictors sorted with SortBest() = " << fnBestSorted << std::endl
         << std::endl;

  stream << "Predictor set type = ";
  DisplaySetType(stream, feSetType);
  stream << std::endl;
  stream << "Predictor set status = ";
  DisplayEngineState(stream, feStatus);
  stream << std::endl;

  stream << (fbMemoryAllocated ? "Memory for accumulation allocated"
                               : "Memory for accumulation not allocated")
         << std::endl;
  stream << (fbPassCompleted ? "Data pass completed" : "Data pass not completed") << std::endl;
  stream << (fbNoValidData ? "No valid data found" : "Valid data found") << std::endl;
  stream << (fbNoValidWeight ? "No records with valid weight found"
                             : "Records with valid weight found")
         << std::endl;
  stream << "Weighted number of valid records = " << fdWeightedValid << std::endl;
  stream << "Weighted number of excluded records = " << fdWeightedExcluded << std::endl
         << std::endl;
  stream << "Unweighted number of valid records = " << fnValid << std::endl;
  stream << "Unweighted number of excluded records = " << fnExcluded << std::endl << std::endl;

  if (fpTargetCounts != nullptr) {
    stream << "Target data accumulation:" << std::endl;
    fpTargetCounts->Display(stream);
  } else {
    stream << "Target data accumulation object not allocated" << std::endl;
  }
  stream << std::endl;

  stream << "Vector fvpAccum:" << std::endl;
  for (std::size_t i = 0; i < fvpAccum.size(); ++i) {
    stream << std::endl << "Predictor index = " << i << std::endl;
    if (fvpAccum[i] != nullptr) fvpAccum[i]->Display(stream);
  }

  DisplayVector(stream, "Indices of deleted predictors", fvIndicesDel);
  stream << std::endl;
  DisplayVector(stream, "Reasons for deletion of deleted predictors", fvReasonsDel);

  for (int c = 0; c < kNumCriteria; ++c) {
    const std::vector<FSPredSort*>& list = GetSortList(static_cast<RankCriteria>(c));
    if (list.empty()) continue;
    stream << std::endl << "Vector fvpSort" << kCriterionNames[c] << ":" << std::endl;
    for (std::size_t j = 0; j < list.size(); ++j) {
      stream << std::endl << "Predictor index = " << j << std::endl;
      list[j]->Display(stream);
    }
  }
  for (int c = 0; c < kNumCriteria; ++c) {
    const std::vector<int>& ranks = fvRanks[static_cast<std::size_t>(c)];
    if (!ranks.empty()) {
      DisplayVector(stream, std::string("Ranks based on ") + kCriterionNames[c], ranks);
    }
  }
  for (int c = 0; c < kNumCriteria; ++c) {
    const std::vector<double>& values = fvValues[static_cast<std::size_t>(c)];
    if (!values.empty()) {
      DisplayVector(
          stream,
          std::string("Criterion values in original order of predictors for ") + kCriterionNames[c],
          values);
    }
  }
  stream << std::endl << "End of FSPredictorSet display" << std::endl;
}
