#include "report.h"

#include <cmath>
#include <optional>
#include <set>
#include <string>

#include "options.h"
#include "session.h"
#include "text.h"

namespace fsrank_cli {

using NQFeature::NQStatus;
using NQFSCommon::RankCriteria;

namespace {

std::optional<double> Value(double x) {
  if (NQMV::IsMissing(x)) return std::nullopt;
  return x;
}

// The statistic behind a criterion value, as the predictor's accumulator reports it. Which
// accumulator a predictor has, and so which statistics it keeps, follows from the two types.
void FillStatistics(const IFSAlgorithm& algorithm, int c, int predictor, bool categorical,
                    bool catTarget, RankedPredictor& row) {
  int asked = -1;
  const char* name = "";
  if (categorical && catTarget) {
    if (c == NQFSCommon::Pearson || c == NQFSCommon::Cramer) {
      asked = NQFSCommon::Pearson;  // Cramer's V is a rescaled Pearson chi-square
      name = "X2";
    } else if (c == NQFSCommon::Likelihood) {
      asked = NQFSCommon::Likelihood;
      name = "G2";
    }
  } else if (categorical || catTarget) {
    asked = NQFSCommon::FStat;  // also behind Pearson and Likelihood of a continuous predictor
    name = "F";
  } else {
    asked = NQFSCommon::TStat;
    name = "t";
  }
  if (asked < 0) return;
  double a = 0.0, b = 0.0, s2 = 0.0, s3 = 0.0;
  if (!algorithm.GetPredictorStats(asked, predictor, a, b, s2, s3)) return;
  row.statistic_name = name;
  if (asked == NQFSCommon::TStat) {  // a = p, b = r, s2 = t, s3 = df
    row.statistic = Value(s2);
    row.df = Value(s3);
  } else if (asked == NQFSCommon::FStat) {  // a = p, b = F, s2 = df1, s3 = df2
    row.statistic = Value(b);
    row.df = Value(s2);
    row.df2 = Value(s3);
  } else {  // a = p, b = chi-square, s2 = df
    row.statistic = Value(b);
    row.df = Value(s2);
  }
}

std::string Description(int c, const FSSettings& settings) {
  const bool mixed = settings.GetTypeAllPredictors() == NQFSCommon::Mixed;
  const std::string fTest = mixed ? "; continuous predictors: F test" : "";
  switch (c) {
    case NQFSCommon::Pearson:
      return "Pearson chi-square p-value, smallest first" + fTest;
    case NQFSCommon::Likelihood:
      return "likelihood-ratio chi-square p-value, smallest first" + fTest;
    case NQFSCommon::Cramer:
      return "Cramer's V, largest first";
    case NQFSCommon::Lambda:
      return "lambda measure of association, largest first";
    case NQFSCommon::FStat:
      if (!settings.IsCatTarget() && mixed) {
        return "F test p-value, smallest first; continuous predictors: correlation t test";
      }
      return "F test p-value, smallest first";
    default:
      return "correlation t test p-value, smallest first";
  }
}

// What every output form needs of the report's texts and numbers: names, labels and file
// names in UTF-8 (they are the file's bytes, which may be Latin-1, say: each invalid byte
// becomes U+FFFD) and finite numbers (a statistic that overflowed is missing), with a warning
// for each such text or value.
class ForOutput {
 public:
  explicit ForOutput(std::ostream& err) : err_(err) {}

  void Text(std::string& text, const char* what) {
    bool replaced = false;
    std::string valid = ToValidUtf8(text, replaced);
    if (replaced && warned_.insert(text).second) {
      WriteWarning(err_, std::string("the ") + what + " \"" + valid +
                             "\" is not UTF-8; each invalid byte is written as U+FFFD");
    }
    text = std::move(valid);
  }
  void Number(std::optional<double>& value, const std::string& criterion, const std::string& name,
              const char* what) {
    if (!value || std::isfinite(*value)) return;
    value.reset();
    WriteWarning(err_, criterion + ": predictor \"" + name + "\": the " + what +
                           " cannot be represented (it overflowed) and is missing");
  }

 private:
  std::ostream& err_;
  std::set<std::string> warned_;
};

void PrepareForOutput(RankingReport& report, std::ostream& err) {
  ForOutput out(err);
  out.Text(report.file, "file name");
  out.Text(report.target, "column name");
  for (TargetCategory& category : report.target_categories)
    out.Text(category.label, "category");
  for (ScreenedPredictor& row : report.screened)
    out.Text(row.name, "column name");
  for (CriterionRanking& criterion : report.criteria) {
    for (RankedPredictor& row : criterion.predictors) {
      out.Text(row.name, "column name");
      out.Number(row.value, criterion.name, row.name, "criterion value");
      out.Number(row.statistic, criterion.name, row.name, "statistic");
      out.Number(row.df, criterion.name, row.name, "degrees of freedom");
      out.Number(row.df2, criterion.name, row.name, "degrees of freedom");
    }
  }
}

}  // namespace

ScreeningThresholds Thresholds(const FSSettings& settings) {
  return {settings.GetMaxPctMiss(), settings.GetMaxPctSingle(), settings.GetMaxNCatAsPct(),
          settings.GetMinVariation(), settings.GetMinStddev()};
}

int BuildRankingReport(const IFSAlgorithm& algorithm, const ColumnSchema& schema,
                       const NQStatus& status, int shown, RankingReport& report,
                       std::ostream& err) {
  const FSSettings& settings = *algorithm.GetSettings();
  const bool catTarget = settings.IsCatTarget();
  for (const std::string& name : schema.sources)
    report.file += (report.file.empty() ? "" : ", ") + name;
  report.target = schema.target.name;
  report.target_type = TypeName(schema.target.type);
  report.predictors = schema.predictors.size();
  report.categorical_predictors = static_cast<std::size_t>(settings.GetNCatPredictors());
  algorithm.GetNValidNExcluded(report.weighted_valid, report.weighted_excluded, report.valid,
                               report.excluded);
  report.weighted = !schema.weight.empty();
  report.skipped = schema.rows - report.valid - report.excluded;
  for (int k = 0; k < algorithm.GetNTargetCategories(); ++k) {
    int code = -1;
    std::pair<int, double> counts;
    if (!algorithm.GetTargetCategoryInfo(k, code, counts)) continue;
    report.target_categories.push_back(
        {schema.target.labels.Label(code), counts.first, counts.second});
  }

  report.exact_tails = settings.GetFlagExactTails();
  const ScreeningThresholds thresholds = Thresholds(settings);
  const std::vector<int>& deleted = algorithm.GetIndicesDelPred();
  const std::vector<int>& reasons = algorithm.GetReasonsDelPred();
  for (std::size_t k = 0; k < deleted.size() && k < reasons.size(); ++k) {
    const SchemaColumn& col = schema.predictors[static_cast<std::size_t>(deleted[k])];
    report.screened.push_back({col.name, deleted[k], TypeName(col.type), reasons[k],
                               ReasonWord(reasons[k]), ReasonText(reasons[k], thresholds)});
  }

  if (status.IsWarning()) {
    report.note = "Nothing was ranked: " + StatusText(status) + ".";
  } else {
    const bool mixedContTarget = !catTarget && settings.GetTypeAllPredictors() == NQFSCommon::Mixed;
    for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
      const auto criterion = static_cast<RankCriteria>(c);
      if (!settings.GetCriterion(criterion)) continue;
      // With a continuous target and mixed predictors the F-Statistic list ranks the t tests of
      // the continuous predictors too; the t-Statistic would repeat it.
      if (c == NQFSCommon::TStat && mixedContTarget) continue;
      std::vector<int> indices;
      std::vector<double> values;
      const NQStatus top = algorithm.GetTopPredictors(criterion, indices, values, -1);
      if (top.IsError()) {
        err << "fsrank: " << CriterionName(c) << ": " << StatusText(top) << "\n";
        return kExitLibrary;
      }
      CriterionRanking ranking;
      ranking.name = CriterionName(c);
      ranking.value_label = c == NQFSCommon::Cramer   ? "V"
                            : c == NQFSCommon::Lambda ? "lambda"
                                                      : "p-value";
      ranking.description = Description(c, settings);
      ranking.ranked = indices.size();
      for (std::size_t k = 0; k < indices.size(); ++k) {
        if (shown > 0 && k >= static_cast<std::size_t>(shown)) break;
        const SchemaColumn& col = schema.predictors[static_cast<std::size_t>(indices[k])];
        RankedPredictor row;
        row.rank = static_cast<int>(k) + 1;
        row.name = col.name;
        row.index = indices[k];
        row.type = TypeName(col.type);
        row.value = Value(values[k]);
        if (ranking.value_label == "p-value" && row.value && *row.value > 0.0) {
          const double e = -std::log10(*row.value);
          row.neg_log10_p = e > 0.0 ? e : 0.0;  // 0, not -0 (printed "-0.00"), for p = 1
        }
        FillStatistics(algorithm, c, indices[k], col.type == ColumnType::kCategorical, catTarget,
                       row);
        ranking.predictors.push_back(std::move(row));
      }
      report.criteria.push_back(std::move(ranking));
    }
  }
  PrepareForOutput(report, err);
  return kExitOk;
}

int ApplySelection(const IFSAlgorithm& algorithm, const NQFSSelect::Selection& selection, int only,
                   RankingReport& report, std::ostream& err) {
  report.selection = NQFSSelect::FormatSelection(selection);
  for (CriterionRanking& ranking : report.criteria) {
    const int c = ParseCriterionName(ranking.name);
    const auto criterion = static_cast<RankCriteria>(c);
    const bool pValues = NQFSSelect::CriterionHasPValues(criterion);
    if ((only >= 0 && c != only) || !NQFSSelect::CheckSelection(selection, pValues).IsOK()) {
      continue;
    }
    std::vector<int> indices;
    std::vector<double> values;
    NQStatus status = algorithm.GetTopPredictors(criterion, indices, values, -1);
    int kept = 0;
    if (!status.IsError()) status = NQFSSelect::CountSelected(selection, pValues, values, kept);
    if (status.IsError()) {
      err << "fsrank: " << ranking.name << ": " << StatusText(status) << "\n";
      return kExitLibrary;
    }
    ranking.selected = static_cast<std::size_t>(kept);
    const double cut = NQFSSelect::SelectionCutOff(selection, pValues, values, kept);
    if (!std::isnan(cut)) ranking.cutoff = cut;
  }
  return kExitOk;
}

void BuildCheckReport(const IFSAlgorithm& algorithm, const ColumnSchema& schema,
                      const std::vector<int>& indices, const std::vector<std::vector<int>>& reasons,
                      CheckReport& report, std::ostream& err) {
  const FSSettings& settings = *algorithm.GetSettings();
  report.categorical_columns = static_cast<std::size_t>(settings.GetNCatPredictors());
  report.weighted = !schema.weight.empty();
  double valid = 0.0, excluded = 0.0;
  int nValid = 0, nExcluded = 0;
  algorithm.GetNValidNExcluded(valid, excluded, nValid, nExcluded);
  // This pass has no target to make a record valid: every record it reads counts as excluded.
  report.records = nValid + nExcluded;
  report.weighted_records = valid + excluded;
  for (std::size_t p = 0; p < schema.predictors.size(); ++p) {
    const SchemaColumn& col = schema.predictors[p];
    CheckedColumn column{col.name, static_cast<int>(p), TypeName(col.type), {}};
    for (std::size_t k = 0; k < indices.size() && k < reasons.size(); ++k) {
      if (indices[k] == static_cast<int>(p)) column.reasons = reasons[k];
    }
    report.columns.push_back(std::move(column));
  }
  ForOutput out(err);
  out.Text(report.file, "file name");
  for (CheckedColumn& column : report.columns)
    out.Text(column.name, "column name");
}

}  // namespace fsrank_cli
