#include "engine/pred_sort.h"

#include <cmath>

#include "fsrank/enums.h"
#include "fsrank/missing.h"

namespace {

// -1 when a comes first, 1 when b comes first, 0 when the field does not decide.
int CompareField(double a, double b, bool ascending) {
  const bool aNaN = std::isnan(a);
  const bool bNaN = std::isnan(b);
  if (aNaN || bNaN) return aNaN == bNaN ? 0 : (aNaN ? 1 : -1);
  if (a == b) return 0;
  return (a < b) == ascending ? -1 : 1;
}

}  // namespace

FSPredSortOrder::FSPredSortOrder(int criterion) {
  using namespace NQFSCommon;
  switch (criterion) {
    case Cramer:
      fbValueAscending = false, fbTie1Ascending = false, fbUseTie2 = false;
      fbTie2Ascending = false;
      break;
    case Lambda:
      fbValueAscending = false, fbTie1Ascending = true, fbUseTie2 = false;
      fbTie2Ascending = false;
      break;
    case FStat:
    case TStat:
      fbValueAscending = true, fbTie1Ascending = false, fbUseTie2 = true;
      fbTie2Ascending = false;
      break;
    default:  // Pearson, Likelihood
      fbValueAscending = true, fbTie1Ascending = false, fbUseTie2 = true;
      fbTie2Ascending = true;
      break;
  }
}

bool FSPredSortOrder::operator()(const FSPredSort* a, const FSPredSort* b) const {
  if (NQMV::IsMissing(a->fdValue)) return false;
  if (NQMV::IsMissing(b->fdValue)) return true;
  int order = CompareField(a->fdValue, b->fdValue, fbValueAscending);
  if (order == 0) order = CompareField(a->fdTieBreak1, b->fdTieBreak1, fbTie1Ascending);
  if (order == 0 && fbUseTie2) {
    order = CompareField(a->fdTieBreak2, b->fdTieBreak2, fbTie2Ascending);
  }
  return order < 0;
}
