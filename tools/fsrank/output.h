// The outcome of one ranking run as plain data, and its three printed forms: an aligned table
// for people, CSV and JSON for programs.
#ifndef FSRANK_TOOLS_OUTPUT_H
#define FSRANK_TOOLS_OUTPUT_H

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "options.h"

namespace fsrank_cli {

struct RankedPredictor {
  int rank = 0;  // 1 for the best
  std::string name;
  int index = 0;     // the library's predictor index ("predictorIndex" in the result documents)
  std::string type;  // "categorical" or "continuous"
  std::optional<double> value;  // the criterion value; absent when undefined
  std::string statistic_name;   // "X2", "G2", "F", "t" or empty
  std::optional<double> statistic;
  std::optional<double> df;
  std::optional<double> df2;
  std::optional<double> neg_log10_p;  // -log10 of a p-value above 0; absent otherwise
};

struct CriterionRanking {
  std::string name;         // as the result documents spell it: "Pearson", "F-Statistic", ...
  std::string value_label;  // heading of the value column: "p-value", "V", "lambda"
  std::string description;
  std::size_t ranked = 0;  // predictors ranked by this criterion (may exceed those listed)
  std::vector<RankedPredictor> predictors;
  // With a selection (RankingReport::selection): how many of the first ranked are kept, and
  // where the rule cuts on the value's scale (absent when there is no line to draw). Unset
  // when the selection does not apply to this criterion.
  std::optional<std::size_t> selected;
  std::optional<double> cutoff;
};

struct ScreenedPredictor {
  std::string name;
  int index = 0;
  std::string type;
  int reason = 0;
  std::string reason_word;  // "allMissing", "manyConst", ...
  std::string reason_text;  // the reason in words
};

struct TargetCategory {
  std::string label;
  int count = 0;
  double weighted = 0.0;
};

struct RankingReport {
  std::string file;
  std::string target;
  std::string target_type;
  std::vector<TargetCategory> target_categories;  // categorical target only
  std::size_t predictors = 0;
  std::size_t categorical_predictors = 0;
  std::vector<CriterionRanking> criteria;
  std::string selection;  // the selection rule asked for, e.g. "fdr=0.05"; empty: none
  std::vector<ScreenedPredictor> screened;
  bool weighted = false;
  int valid = 0;
  int excluded = 0;
  double weighted_valid = 0.0;
  double weighted_excluded = 0.0;
  long skipped = 0;  // rows without a usable weight
  std::string note;  // e.g. why nothing was ranked
  // p-values are upper tails computed directly (0 only below the smallest normal double)
  // rather than 1 minus the lower tail (0 below about 1e-16).
  bool exact_tails = true;
};

// One column of the check without a target, with every screening rule it breaks.
struct CheckedColumn {
  std::string name;
  int index = 0;
  std::string type;
  std::vector<int> reasons;  // in rule order; empty when the column passes
};

struct CheckReport {
  std::string file;
  std::size_t categorical_columns = 0;
  std::vector<CheckedColumn> columns;  // every column checked, in file order
  bool weighted = false;
  int records = 0;  // records read (with a usable weight when weighted)
  double weighted_records = 0.0;
  long skipped = 0;  // rows without a usable weight
};

// The thresholds the reasons are worded with.
struct ScreeningThresholds {
  double max_missing_pct = 70.0;
  double max_single_pct = 95.0;
  double max_categories_pct = 90.0;
  double min_cv = 0.001;
  double min_sd = 0.0;
};

// The word the result documents use for a deletion reason, and a sentence for people.
std::string ReasonWord(int reason);
std::string ReasonText(int reason, const ScreeningThresholds& thresholds);

void WriteTable(std::ostream& out, const RankingReport& report);
void WriteCsv(std::ostream& out, const RankingReport& report);
void WriteJson(std::ostream& out, const RankingReport& report);
void WriteReport(std::ostream& out, const RankingReport& report, OutputFormat format);
void WriteCheckReport(std::ostream& out, const CheckReport& report,
                      const ScreeningThresholds& thresholds, OutputFormat format);

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_OUTPUT_H
