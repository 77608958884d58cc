// Selection over a ranked algorithm: the whole ranked list of one criterion through the
// exported interface, then the rule of stats/selection.cpp.
#include "fsrank/algorithm.h"
#include "fsrank/selection.h"

using NQFeature::NQStatus;

namespace NQFSSelect {

NQStatus SelectPredictors(const IFSAlgorithm& algorithm, NQFSCommon::RankCriteria criterion,
                          const Selection& selection, std::vector<int>& indices,
                          std::vector<double>& values) {
  const bool pValues = CriterionHasPValues(criterion);
  NQStatus status = CheckSelection(selection, pValues);
  if (status.IsOK()) status = algorithm.GetTopPredictors(criterion, indices, values, 0);
  int kept = 0;
  if (!status.IsError()) status = CountSelected(selection, pValues, values, kept);
  if (status.IsError()) kept = 0;
  indices.resize(static_cast<std::size_t>(kept));
  values.resize(static_cast<std::size_t>(kept));
  return status;
}

}  // namespace NQFSSelect
