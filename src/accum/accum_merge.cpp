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

bool FSCatAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSCatAccum*>(&other);
  if (b == nullptr) return false;
  CombineConstancy(fbConstant, fnFirstCategory, b->fbConstant, b->fnFirstCategory, NoCategory);
  fmCategories.Merge(b->fmCategories);
  fdProcessed += b->fdProcessed;
  fdMissing += b->fdMissing;
  fnUnweightedValid += b->fnUnweightedValid;
  return true;
}

bool FSContAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSContAccum*>(&other);
  if (b == nullptr) return false;
  CombineConstancy(fbConstant, fdFirstValue, b->fbConstant, b->fdFirstValue, NoValue);
  CombineMoments(fdProcessed - fdMissing, fdMean, fdSecondMoment, b->fdProcessed - b->fdMissing,
                 b->fdMean, b->fdSecondMoment);
  fdProcessed += b->fdProcessed;
  fdMissing += b->fdMissing;
  return true;
}

bool FSCatPCatTAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSCatPCatTAccum*>(&other);
  if (b == nullptr) return false;
  CombineConstancy(fbConstant, fnFirstCategory, b->fbConstant, b->fnFirstCategory, NoCategory);
  fmPredCategories.Merge(b->fmPredCategories);
  fmTargetCategories.Merge(b->fmTargetCategories);
  fmPairs.Merge(b->fmPairs);
  fdProcessed += b->fdProcessed;
  fdMissing += b->fdMissing;
  fnUnweightedValid += b->fnUnweightedValid;
  return true;
}

bool FSCatPContTAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSCatPContTAccum*>(&other);
  if (b == nullptr) return false;
  CombineConstancy(fbConstant, fnFirstCategory, b->fbConstant, b->fnFirstCategory, NoCategory);
  CombineMeans(fdProcessed - fdMissing, fdTargetMean, b->fdProcessed - b->fdMissing,
               b->fdTargetMean);
  fmPredCategories.Merge(b->fmPredCategories);
  fmTargetStats.Merge(b->fmTargetStats);
  fdProcessed += b->fdProcessed;
  fdMissing += b->fdMissing;
  fnUnweightedValid += b->fnUnweightedValid;
  return true;
}

bool FSContPCatTAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSContPCatTAccum*>(&other);
  if (b == nullptr) return false;
  CombineConstancy(fbConstant, fdFirstValue, b->fbConstant, b->fdFirstValue, NoValue);
  CombineMeans(fdProcessed - fdMissing, fdPredMean, b->fdProcessed - b->fdMissing, b->fdPredMean);
  fmPredStats.Merge(b->fmPredStats);
  fdProcessed += b->fdProcessed;
  fdMissing += b->fdMissing;
  return true;
}

bool FSContPContTAccum::Merge(const IFSPredTargetAccum& other) {
  const auto* b = dynamic_cast<const FSContPContTAccum*>(&other);
  if (b == nullptr) return false;
  CombineConstancy(fbConstant, fdFirstValue, b->fbConstant, b->fdFirstValue, NoValue);
  const double na = fdProcessed - fdMissing;
  const double nb = b->fdProcessed - b->fdMissing;
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
  fdProcessed += b->fdProcessed;
  fdMissing += b->fdMissing;
  return true;
}
