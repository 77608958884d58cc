// Choosing the predictors to keep from a criterion's ranked list: the k best, a percentile, or
// the predictors whose p-value passes a false-positive-rate, false-discovery-rate
// (Benjamini-Hochberg) or family-wise-error (Bonferroni) test. Every host (the command-line
// program, the Python package) selects through these calls, so that one rule means one thing.
//
// The rules count as scikit-learn's SelectKBest, SelectPercentile, SelectFpr, SelectFdr and
// SelectFwe (version 1.2) do on the same scores and p-values, where a p-value list has the
// scores -p and a missing value (the library's missing value, or a NaN) has the lowest score
// and no p-value. The kept predictors are always the first ones of the ranked list. Ties at the
// cut-off: the rule fixes how many are kept; which of several predictors with equal values
// fall above the cut-off follows the order of the ranking (its tie-breaking values), where
// scikit-learn would follow the column order.
//   k=K          the K best; K above the list's length keeps all.
//   percentile=P as SelectPercentile: the threshold is numpy's linear percentile 100 - P of the
//                scores; the predictors above it are kept, then as many of those equal to it as
//                bring the count to floor(m * P / 100). P = 0 keeps none, P = 100 all.
//   fpr=A        p < A.
//   fdr=A        Benjamini-Hochberg at level A: with the p-values sorted, p(1) <= ... <= p(m),
//                the largest p(i) <= A / m * i; every predictor with p <= that value is kept.
//   fwe=A        p < A / m (Bonferroni).
// m is the length of the ranked list: the criterion's non-screened predictors, those with a
// missing p-value included (so they make the tests stricter, as in scikit-learn). A missing
// p-value is never kept by fpr, fdr or fwe.
#ifndef FSRANK_SELECTION_H
#define FSRANK_SELECTION_H

#include <string>
#include <vector>

#include "fsrank/algorithm.h"
#include "fsrank/enums.h"
#include "fsrank/export.h"
#include "fsrank/status.h"

namespace NQFSSelect {

enum class Rule { KBest, Percentile, Fpr, Fdr, Fwe };

// A rule and its value: K (a whole number from 0), P (0 to 100) or the level A (0 to 1).
struct Selection {
  Rule rule = Rule::KBest;
  double value = 0.0;
};

// Reads "k=10", "percentile=20", "fpr=0.05", "fdr=0.05" or "fwe=0.05" (rule names in lower
// case, no spaces; the value a decimal number). On success fills out and returns true; otherwise
// leaves out unchanged, puts a one-line message naming the fault into error and returns false.
FSRANK_API bool ParseSelection(const std::string& text, Selection& out, std::string& error);

// The text ParseSelection reads back into the same selection, e.g. "fdr=0.05".
FSRANK_API std::string FormatSelection(const Selection& selection);

// The rule's name as ParseSelection reads it: "k", "percentile", "fpr", "fdr", "fwe".
FSRANK_API const char* RuleName(Rule rule);

// True for fpr, fdr and fwe, which test p-values and so need a criterion that has them.
FSRANK_API bool RuleNeedsPValues(Rule rule);

// True for the criteria whose ranked values are p-values (Pearson, Likelihood, FStat, TStat);
// false for Cramer's V and lambda, whose lists hold the measures themselves, best first.
FSRANK_API bool CriterionHasPValues(NQFSCommon::RankCriteria criterion);

// Whether the selection can apply to a list of the given kind. Errors:
// StatusSelectionNotApplicable when a p-value rule meets a list of values (discrete datum 0:
// the rule as an int); StatusSelectionValueInvalid when the value is outside its range, or not
// a whole number for k (scale datum 0: the value).
FSRANK_API NQFeature::NQStatus CheckSelection(const Selection& selection, bool valuesArePValues);

// How many of the first entries of rankedValues the selection keeps. rankedValues is a
// criterion's whole ranked list, best first, as GetTopPredictors(c, ..., 0) gives it after a
// full ranking: p-values (smallest first) when valuesArePValues, otherwise the criterion's
// values (largest first); missing values last. Errors as CheckSelection; kept is then 0.
FSRANK_API NQFeature::NQStatus CountSelected(const Selection& selection, bool valuesArePValues,
                                             const std::vector<double>& rankedValues, int& kept);

// Where the selection cuts, on the criterion's own scale, for drawing it: for fpr the level A,
// for fwe A / m, for fdr the Benjamini-Hochberg bound A / m * kept (A / m when nothing is
// kept); for k and percentile the value of the last kept entry. NaN when there is nothing to
// draw (k or percentile keeping nothing, an empty list, a selection CheckSelection refuses).
FSRANK_API double SelectionCutOff(const Selection& selection, bool valuesArePValues,
                                  const std::vector<double>& rankedValues, int kept);

// The selected predictors of one criterion of a ranked algorithm: their indices and values,
// best first. Needs the whole list ranked (SortAndRank(0) or AccumulateAndRank(..., 0)); after
// ranking only the best n, the rules see only those n. Errors: those of GetTopPredictors (not
// ranked, criterion not selected) and of CheckSelection; the vectors are then empty.
FSRANK_API NQFeature::NQStatus SelectPredictors(const IFSAlgorithm& algorithm,
                                                NQFSCommon::RankCriteria criterion,
                                                const Selection& selection,
                                                std::vector<int>& indices,
                                                std::vector<double>& values);

}  // namespace NQFSSelect

#endif  // FSRANK_SELECTION_H
