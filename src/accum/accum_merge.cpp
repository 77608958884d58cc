// Merging accumulators: each class adds another accumulator's summary of other cases to its
// own, as if it had read those cases after its own. Weights and counts add up; weighted means
// and sums of squared deviations (and the co-moment) combine pairwise (CombineMoments), with
// this accumulator's part always first; category tables combine key by key; constancy and the
// first valid value combine in the order of the parts. Derived values (variances, the
// correlation) are left for FinishPass, which the engine runs again before it uses them.
#include "accum/cat_pair_accum.h"
#include "accum/cont_pair_accum.h"
#include "accum/single_accum.h"

namespace {

bool NoCategory(const int& category) {
  return category == -1;
}

bool NoValue(const double& value) {
  return NQMV::IsMissing(value);
}

}  // namespace

void FSCatPredictorAccum::MergeCommon(const FSCatPredictorAccum& b) {
  CombineConstancy(fbConstant, fnFirstCategory, b.fbConstant, b.fnFirstCategory, NoCategory);
  fmPredCategories.Merge(b.fmPredCategories);
  fdProcessed += b.fdProcessed;
  fdMissing += b.fdMissing;
  fnUnweightedValid += b.fnUnweightedValid;
}

void FSContPredictorAccum::MergeCommon(const FSContPredictorAccum& b) {
  CombineConstancy(fbConstant, fdFirstValue, b.fbConstant, b.fdFirstValue, NoValue);
  fdProcessed += b.fdProcessed;
  fdMissing += b.fdMissing;
}

bool FSCatAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSCatAccum*>(&other);
  if (b == nullptr) return false;
  MergeCommon(*b);
  return true;
}

bool FSContAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSContAccum*>(&other);
  if (b == nullptr) return false;
  CombineMoments(ValidWeight(), fdPredMean, fdSecondMoment, b->ValidWeight(), b->fdPredMean,
                 b->fdSecondMoment);
  MergeCommon(*b);
  return true;
}

bool FSCatPCatTAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSCatPCatTAccum*>(&other);
  if (b == nullptr) return false;
  fmTargetCategories.Merge(b->fmTargetCategories);
  fmPairs.Merge(b->fmPairs);
  MergeCommon(*b);
  return true;
}

bool FSCatPContTAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSCatPContTAccum*>(&other);
  if (b == nullptr) return false;
  CombineMeans(ValidWeight(), fdTargetMean, b->ValidWeight(), b->fdTargetMean);
  fmTargetStats.Merge(b->fmTargetStats);
  MergeCommon(*b);
  return true;
}

bool FSContPCatTAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSContPCatTAccum*>(&other);
  if (b == nullptr) return false;
  CombineMeans(ValidWeight(), fdPredMean, b->ValidWeight(), b->fdPredMean);
  fmPredStats.Merge(b->fmPredStats);
  MergeCommon(*b);
  return true;
}

bool FSContPContTAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSContPContTAccum*>(&other);
  if (b == nullptr) return false;
  const double na = ValidWeight();
  const double nb = b->ValidWeight();
  // The co-moment grows by the product of the two mean differences times na nb / n; both
  // differences are taken before either mean moves.
  const double dx = b->fdPredMean - fdPredMean;
  const double dy = b->fdTargetMean - fdTargetMean;
  const double g =
      CombineMoments(na, fdPredMean, fdPredSecondMoment, nb, b->fdPredMean, b->fdPredSecondMoment);
  CombineMoments(na, fdTargetMean, fdTargetSecondMoment, nb, b->fdTargetMean,
                 b->fdTargetSecondMoment);
  fdCrossProduct = na > 0.0 ? (fdCrossProduct + b->fdCrossProduct) + dx * (dy * g)
                            : (nb > 0.0 ? b->fdCrossProduct : fdCrossProduct);
  MergeCommon(*b);
  return true;
}
