// The interface every per-predictor accumulator implements, and the deletion reasons that
// screening reports.
#ifndef FSRANK_ACCUM_ACCUMULATOR_H
#define FSRANK_ACCUM_ACCUMULATOR_H

#include <fstream>
#include <istream>
#include <ostream>
#include <vector>

#include "core/cancel_state.h"
#include "fsrank/settings.h"

// Why a predictor was deleted; 0 means it stays.
enum DeletionReason {
  ReasonNone = 0,
  ReasonAllMissing = 1,   // "allMissing"
  ReasonAllConst = 2,     // "allConst"
  ReasonManyMissing = 3,  // "manyMissing"  (screening rule 1)
  ReasonManyConst = 4,    // "manyConst"    (rule 2: one category dominates)
  ReasonManyCategs = 5,   // "manyCategs"   (rule 3)
  ReasonSmallStdDev = 6,  // "smallStdDev"  (rule 4)
  ReasonSmallVar = 7,     // "smallVar"     (rule 5: small coefficient of variation)
};

// The export word of a reason; empty for any other code.
const char* DeletionReasonName(int reason);

// How a test turns its statistic into a p-value: as 1 minus its lower-tail probability (the
// documented computation, the default), or as its upper tail computed directly, with the
// missing value for a test that is not defined.
enum class TailMode { Complement, Exact };

// What a criterion computation takes beyond the accumulator: how its p-value is formed, and
// the cancel check that a long computation polls (none when null).
struct CriterionContext {
  TailMode tails = TailMode::Complement;
  FSCancelState* cancel = nullptr;

  bool Cancelled() const { return cancel != nullptr && cancel->IsCancelled(); }
};

// A streaming summary of one predictor, alone or against the target. The virtual operations
// keep this order (the slot order is part of the design); classes that do not need one leave
// it empty.
class IFSPredTargetAccum {
 public:
  virtual ~IFSPredTargetAccum() = default;
  // One case with a valid predictor value and a usable target (pair classes). flag is always 1.
  virtual void AddValue(double x, double target, double weight, int flag) = 0;
  virtual void AddMissing(double weight) = 0;
  // One case with a valid value and no target (single-variable classes).
  virtual void AddValueNoTarget(double x, double weight, bool keep) = 0;
  virtual bool IsAllMissing() const = 0;
  virtual bool IsConstant() const = 0;
  // The first deletion reason that applies, 0 when none.
  virtual int Screen(const FSSettings* settings) const = 0;
  // Empties reasons, appends every reason that applies in rule order, returns how many.
  virtual int ScreenAll(const FSSettings* settings, std::vector<int>& reasons) const = 0;
  virtual void FinishPass() = 0;
  virtual void ComputeCriterion(int criterion, const CriterionContext& context, double& value,
                                double& tieBreak1, double& tieBreak2, double& extra1,
                                double& extra2) const = 0;
  virtual bool GetStats(int criterion, const CriterionContext& context, double& a, double& b,
                        double& c, double& d) const = 0;
  virtual bool IsCategorical() const = 0;
  virtual int WriteObject(std::ostream& stream) const = 0;
  virtual int ReadObject(std::istream& stream) = 0;
  virtual int WriteObjectXML(std::ostream& stream) const = 0;
  virtual int ReadObjectXML(std::ifstream& stream) = 0;
  virtual void Display(std::ostream& stream) const = 0;
  // Adds what other, an accumulator of the same class over other cases, summarises: afterwards
  // this holds what one accumulator reading this one's cases and then other's would hold
  // (counts exactly, moments to rounding; derived values wait for FinishPass). False, with
  // nothing changed, when other is of another class.
  virtual bool Merge(const IFSPredTargetAccum& other) = 0;
  // The unweighted number of valid values that the many-categories rule divides by; 0 for a
  // continuous predictor. It is not in the accumulator's own chunk: the saved state carries it
  // after everything else (FSPredictorSet::WriteAdditions), where older readers do not look.
  virtual int GetUnweightedValid() const { return 0; }
  virtual void SetUnweightedValid(int /*count*/) {}
  // Merges in the keys its category tables held apart while a pass ran, so that later const
  // reads change nothing (FSSortedTable); nothing for an accumulator without tables.
  virtual void SettleTables() {}
};

#endif  // FSRANK_ACCUM_ACCUMULATOR_H
