// The inner loop of the record pass with a target. Predictors are grouped by accumulator class
// and each group keeps the state of its accumulators in a layout made for the loop while the
// pass runs; at the end of the pass (Flush) the state goes back into the accumulators.
//
// Results are those of calling AddValue or AddMissing on every accumulator, record by record:
// each accumulator still sees its values in record order, and each of its fields goes through
// the same floating-point operations in the same order. What changes is only where the state
// lives and how much work is shared:
// - Continuous predictors are held in structure-of-arrays form and updated four at a time
//   (vector lanes doing the same IEEE operations in the same order as the scalar code), with
//   AVX2 when the processor has it and the portable baseline otherwise.
// - Within one record the weight w is the same for every predictor, and so is the valid weight
//   W of every predictor that has had no missing value so far: the divisions w / (W + w) and
//   (W + w) / w are computed once per record and used by every lane whose W equals it. Every
//   predictor adds w to its processed weight at every record, so predictors that began the
//   pass with the same one keep one running sum between them.
// - Categorical predictors with small non-negative category codes keep their category tables
//   as dense arrays indexed by category instead of sorted maps; a predictor whose codes leave
//   that range goes back to its maps and to the plain interface for the rest of the pass.
// - Anything else (an accumulator of another class, maps that cannot be made dense) is fed
//   through the IFSPredTargetAccum interface as before.
#ifndef FSRANK_ENGINE_RECORD_KERNELS_H
#define FSRANK_ENGINE_RECORD_KERNELS_H

#include <memory>
#include <vector>

class IFSPredTargetAccum;

class FSRecordKernels {
 public:
  // One predictor of the pass: its accumulator (not null), its record column, its type.
  struct Predictor {
    IFSPredTargetAccum* accum;
    int column;
    bool categorical;
  };

  // Instruction sets the continuous kernels can run with.
  enum class Isa { Baseline, Avx2 };
  // The best instruction set this processor supports (used unless a test chooses).
  static Isa BestIsa();
  // Chooses the instruction set of the kernels created from now on; false (nothing changed)
  // when the processor lacks it. For tests of both code paths.
  static bool UseIsa(Isa isa);

  // Takes over the state of the accumulators it has a fast path for.
  explicit FSRecordKernels(const std::vector<Predictor>& predictors);
  FSRecordKernels(const FSRecordKernels&) = delete;
  FSRecordKernels& operator=(const FSRecordKernels&) = delete;
  ~FSRecordKernels();

  // Adds one record whose target is usable: every predictor's value, or a missing case when
  // the value is missing (or, for a categorical predictor, truncates to -1). w > 0. True when
  // some predictor value was valid.
  bool AddRecord(const double* values, double target, double w);

  // Writes the state back into the accumulators and frees the kernels' tables as it goes (so
  // that the tables and the maps they turn back into are not all held at once). The last call:
  // no record may be added afterwards. While the pass runs, the accumulators' maps hold nothing;
  // their entries are in the tables.
  void Flush();

 private:
  struct LaneGroup;
  struct CatSlot;
  struct CatGroup;
  struct ContContGroup;
  struct ContCatGroup;
  struct CatCatGroup;
  struct CatContGroup;

  bool AddGeneric(const double* values, double target, double w);

  std::vector<Predictor> fvGeneric;
  std::unique_ptr<ContContGroup> fpContCont;
  std::unique_ptr<ContCatGroup> fpContCat;
  std::unique_ptr<CatCatGroup> fpCatCat;
  std::unique_ptr<CatContGroup> fpCatCont;
};

#endif  // FSRANK_ENGINE_RECORD_KERNELS_H
