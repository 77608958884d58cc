// The five selection rules over a ranked list. The arithmetic follows scikit-learn and numpy
// operation for operation (the same double divisions, products and interpolation), so that a
// list gives the same count here as there, including at ties and rounding edges.
#include "fsrank/selection.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <system_error>

#include "fsrank/missing.h"

using NQFeature::NQStatus;

namespace NQFSSelect {

namespace {

bool IsAbsent(double x) {
  return NQMV::IsMissing(x) || std::isnan(x);
}

// The largest k: the count is an int.
constexpr double kMaxK = static_cast<double>(std::numeric_limits<int>::max());

bool ValueInRange(Rule rule, double v) {
  if (!std::isfinite(v) || v < 0.0) return false;
  switch (rule) {
    case Rule::KBest:
      return v <= kMaxK && v == std::floor(v);
    case Rule::Percentile:
      return v <= 100.0;
    default:
      return v <= 1.0;
  }
}

const char* RangeText(Rule rule) {
  switch (rule) {
    case Rule::KBest:
      return "a whole number from 0";
    case Rule::Percentile:
      return "a number from 0 to 100";
    default:
      return "a level from 0 to 1";
  }
}

// scikit-learn's score of an entry: -p for a p-value, the value itself otherwise; an absent
// entry gets the lowest double, as scikit-learn's NaN cleaning gives it.
double Score(double x, bool pValues) {
  if (IsAbsent(x)) return -std::numeric_limits<double>::max();
  return pValues ? -x : x;
}

// SelectPercentile's count. The scores ascend from the end of the ranked list to its start.
int PercentileCount(double percentile, bool pValues, const std::vector<double>& ranked) {
  const std::size_t n = ranked.size();
  if (percentile == 100.0) return static_cast<int>(n);
  if (percentile == 0.0 || n == 0) return 0;
  auto ascending = [&](std::size_t i) { return Score(ranked[n - 1 - i], pValues); };
  // numpy.percentile(scores, 100 - P), method "linear".
  const double q = (100.0 - percentile) / 100.0;
  const double virtualIndex = static_cast<double>(n - 1) * q;
  double threshold;
  if (virtualIndex >= static_cast<double>(n - 1)) {
    threshold = ascending(n - 1);
  } else {
    const double previous = std::floor(virtualIndex);
    const double gamma = virtualIndex - previous;
    const std::size_t i = static_cast<std::size_t>(previous);
    const double a = ascending(i);
    const double b = ascending(i + 1);
    const double diff = b - a;
    threshold = gamma >= 0.5 ? b - diff * (1.0 - gamma) : a + diff * gamma;
  }
  long above = 0;
  long ties = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const double s = Score(ranked[j], pValues);
    if (s > threshold) {
      ++above;
    } else if (s == threshold) {
      ++ties;
    }
  }
  if (ties == 0) return static_cast<int>(above);
  // ties[:maxFeatures - above], a Python slice: a negative end counts from the back.
  const long maxFeatures = static_cast<long>(static_cast<double>(n) * percentile / 100.0);
  const long end = maxFeatures - above;
  long keptTies = end >= 0 ? (end < ties ? end : ties) : (ties + end > 0 ? ties + end : 0);
  return static_cast<int>(above + keptTies);
}

// Entries with p < limit, from the start of the list.
int CountBelow(double limit, const std::vector<double>& ranked) {
  int kept = 0;
  for (double p : ranked) {
    if (IsAbsent(p) || !(p < limit)) break;
    ++kept;
  }
  return kept;
}

int FdrCount(double alpha, const std::vector<double>& ranked) {
  const std::size_t m = ranked.size();
  if (m == 0) return 0;
  const double step = alpha / static_cast<double>(m);
  // The largest p(i) with p(i) <= step * i; the ranked p-values ascend, absent ones last.
  bool found = false;
  double largest = 0.0;
  for (std::size_t i = 0; i < m; ++i) {
    const double p = ranked[i];
    if (IsAbsent(p)) break;
    if (p <= step * static_cast<double>(i + 1)) largest = p, found = true;
  }
  if (!found) return 0;
  int kept = 0;
  for (double p : ranked) {
    if (IsAbsent(p) || !(p <= largest)) break;
    ++kept;
  }
  return kept;
}

}  // namespace

const char* RuleName(Rule rule) {
  switch (rule) {
    case Rule::KBest:
      return "k";
    case Rule::Percentile:
      return "percentile";
    case Rule::Fpr:
      return "fpr";
    case Rule::Fdr:
      return "fdr";
    case Rule::Fwe:
      return "fwe";
  }
  return "?";
}

bool RuleNeedsPValues(Rule rule) {
  return rule == Rule::Fpr || rule == Rule::Fdr || rule == Rule::Fwe;
}

bool CriterionHasPValues(NQFSCommon::RankCriteria criterion) {
  return criterion != NQFSCommon::Cramer && criterion != NQFSCommon::Lambda;
}

bool ParseSelection(const std::string& text, Selection& out, std::string& error) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) {
    error = "selection '" + text + "' is not RULE=VALUE (k=10, percentile=20, fpr=0.05, " +
            "fdr=0.05 or fwe=0.05)";
    return false;
  }
  const std::string name = text.substr(0, eq);
  Selection parsed;
  static const Rule kRules[] = {Rule::KBest, Rule::Percentile, Rule::Fpr, Rule::Fdr, Rule::Fwe};
  bool known = false;
  for (Rule r : kRules) {
    if (name == RuleName(r)) parsed.rule = r, known = true;
  }
  if (!known) {
    error = "unknown selection rule '" + name + "' in '" + text +
            "': use k, percentile, fpr, fdr or fwe";
    return false;
  }
  const char* first = text.data() + eq + 1;
  const char* last = text.data() + text.size();
  double value = 0.0;
  const std::from_chars_result r = std::from_chars(first, last, value);
  if (first == last || r.ec != std::errc() || r.ptr != last) {
    error = "selection '" + text + "': the value of " + name + " is not a number";
    return false;
  }
  if (!ValueInRange(parsed.rule, value)) {
    error = "selection '" + text + "': " + name + " must be " + RangeText(parsed.rule);
    return false;
  }
  parsed.value = value;
  out = parsed;
  return true;
}

std::string FormatSelection(const Selection& selection) {
  char buffer[64];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, selection.value);
  return std::string(RuleName(selection.rule)) + "=" + std::string(buffer, r.ptr);
}

NQStatus CheckSelection(const Selection& selection, bool valuesArePValues) {
  if (RuleNeedsPValues(selection.rule) && !valuesArePValues) {
    NQStatus status(NQFeature::StatusSelectionNotApplicable, false);
    status.SetDiscreteDatum(0, static_cast<long>(selection.rule));
    return status;
  }
  if (!ValueInRange(selection.rule, selection.value)) {
    NQStatus status(NQFeature::StatusSelectionValueInvalid, false);
    status.SetScaleDatum(0, selection.value);
    return status;
  }
  return NQStatus();
}

NQStatus CountSelected(const Selection& selection, bool valuesArePValues,
                       const std::vector<double>& rankedValues, int& kept) {
  kept = 0;
  const NQStatus status = CheckSelection(selection, valuesArePValues);
  if (!status.IsOK()) return status;
  const std::size_t m = rankedValues.size();
  switch (selection.rule) {
    case Rule::KBest:
      kept = selection.value >= static_cast<double>(m) ? static_cast<int>(m)
                                                       : static_cast<int>(selection.value);
      break;
    case Rule::Percentile:
      kept = PercentileCount(selection.value, valuesArePValues, rankedValues);
      break;
    case Rule::Fpr:
      kept = CountBelow(selection.value, rankedValues);
      break;
    case Rule::Fdr:
      kept = FdrCount(selection.value, rankedValues);
      break;
    case Rule::Fwe:
      kept = m == 0 ? 0 : CountBelow(selection.value / static_cast<double>(m), rankedValues);
      break;
  }
  return status;
}

double SelectionCutOff(const Selection& selection, bool valuesArePValues,
                       const std::vector<double>& rankedValues, int kept) {
  const double none = std::numeric_limits<double>::quiet_NaN();
  const std::size_t m = rankedValues.size();
  if (!CheckSelection(selection, valuesArePValues).IsOK() || m == 0) return none;
  const double step = selection.value / static_cast<double>(m);
  switch (selection.rule) {
    case Rule::Fpr:
      return selection.value;
    case Rule::Fwe:
      return step;
    case Rule::Fdr:
      return step * static_cast<double>(kept > 0 ? kept : 1);
    default:
      if (kept < 1 || static_cast<std::size_t>(kept) > m) return none;
      return IsAbsent(rankedValues[static_cast<std::size_t>(kept) - 1])
                 ? none
                 : rankedValues[static_cast<std::size_t>(kept) - 1];
  }
}

}  // namespace NQFSSelect
