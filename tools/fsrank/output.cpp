#include "output.h"

#include "text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace fsrank_cli {

namespace {

// Predictor names longer than this are shortened in the table so that it stays readable in a
// terminal of 100 columns.
constexpr std::size_t kMaxNameWidth = 30;

std::string Printf(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// The shortest text that reads back as the same double, for programs.
std::string Exact(double value) {
  if (!std::isfinite(value)) return "";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

using Json = nlohmann::ordered_json;

// A number for programs: null when missing, and, though the reports hold finite numbers only,
// null rather than an invalid token for any other.
Json Number(const std::optional<double>& value) {
  return value && std::isfinite(*value) ? Json(*value) : Json();
}

// The texts are UTF-8 already (report.h); should one not be, its bytes become U+FFFD rather
// than invalid JSON.
void WriteJsonDocument(std::ostream& out, const Json& doc) {
  out << doc.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

// Four significant digits: enough to compare p-values and association measures by eye.
std::string Brief(const std::optional<double>& value) {
  if (!value) return "-";
  return Printf("%.4g", *value);
}

// A p-value of exactly 0 is below what its computation can represent, not impossible: below
// the smallest normal double for an upper tail computed directly, below machine precision for
// one minus the lower tail.
std::string PValue(const std::optional<double>& value, bool exactTails) {
  if (value && *value == 0.0) return exactTails ? "<2.2e-308" : "<2.2e-16";
  return Brief(value);
}

// -log10 p with two decimals; above 307.65 for a p-value of 0 from an upper tail.
std::string NegLog10P(const RankedPredictor& row) {
  if (row.neg_log10_p) return Printf("%.2f", *row.neg_log10_p);
  return row.value && *row.value == 0.0 ? ">307.65" : "-";
}

// Statistics read best with two decimals unless they are huge or tiny.
std::string Statistic(double value) {
  const double magnitude = std::fabs(value);
  if (magnitude >= 1e7) return Printf("%.3e", value);
  if (magnitude != 0.0 && magnitude < 0.01) return Printf("%.2g", value);
  return Printf("%.2f", value);
}

std::string Degrees(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e15) return Printf("%.0f", value);
  return Printf("%.4g", value);
}

std::string DfText(const RankedPredictor& row) {
  if (!row.df) return "-";
  std::string text = Degrees(*row.df);
  if (row.df2) text += ", " + Degrees(*row.df2);
  return text;
}

std::string StatisticText(const RankedPredictor& row) {
  if (!row.statistic || row.statistic_name.empty()) return "-";
  return row.statistic_name + " " + Statistic(*row.statistic);
}

std::string TargetSummary(const RankingReport& report) {
  std::string text = report.target + ", " + report.target_type;
  if (!report.target_categories.empty()) {
    text += " (";
    const std::size_t shown = std::min<std::size_t>(report.target_categories.size(), 6);
    for (std::size_t k = 0; k < shown; ++k) {
      const TargetCategory& category = report.target_categories[k];
      text += (k == 0 ? "" : ", ") + category.label + ": " + GroupDigits(category.count);
    }
    if (shown < report.target_categories.size()) {
      text += ", ... " + GroupDigits(static_cast<long>(report.target_categories.size())) +
              " categories";
    }
    text += ")";
  }
  return text;
}

bool Kept(const CriterionRanking& criterion, const RankedPredictor& row) {
  return criterion.selected && static_cast<std::size_t>(row.rank) <= *criterion.selected;
}

// "Selected by fdr=0.05: 12 of 19 by Pearson, ...", and the criteria the rule does not fit.
std::string SelectionLine(const RankingReport& report) {
  std::string kept, refused;
  for (const CriterionRanking& criterion : report.criteria) {
    if (criterion.selected) {
      kept += (kept.empty() ? "" : ", ") + std::to_string(*criterion.selected) + " of " +
              std::to_string(criterion.ranked) + " by " + criterion.name;
    } else {
      refused += (refused.empty() ? "" : ", ") + criterion.name;
    }
  }
  std::string line = "Selected by " + report.selection + ": " + (kept.empty() ? "none" : kept);
  if (!refused.empty()) line += " (not applied to " + refused + ")";
  return line;
}

}  // namespace

std::string ReasonWord(int reason) {
  static const char* const kWords[] = {"",          "allMissing", "allConst",    "manyMissing",
                                       "manyConst", "manyCategs", "smallStdDev", "smallVar"};
  return reason >= 1 && reason <= 7 ? kWords[reason] : "";
}

std::string ReasonText(int reason, const ScreeningThresholds& t) {
  const auto number = [](double v) { return Printf("%g", v); };
  switch (reason) {
    case 1:
      return "every value is missing";
    case 2:
      return "constant: every value is the same";
    case 3:
      return "more than " + number(t.max_missing_pct) + "% of the values are missing";
    case 4:
      return "one category holds more than " + number(t.max_single_pct) + "% of the values";
    case 5:
      return "too many categories: more than " + number(t.max_categories_pct) +
             "% of the number of values";
    case 6:
      return "standard deviation below " + number(t.min_sd);
    case 7:
      return "coefficient of variation below " + number(t.min_cv);
    default:
      return "unknown reason " + std::to_string(reason);
  }
}

void WriteTable(std::ostream& out, const RankingReport& report) {
  const std::size_t continuous = report.predictors - report.categorical_predictors;
  WriteWrapped(out, "Ranking of " + Plural(report.predictors, "predictor", "predictors") + " (" +
                        GroupDigits(static_cast<long>(report.categorical_predictors)) +
                        " categorical, " + GroupDigits(static_cast<long>(continuous)) +
                        " continuous) in " + report.file);
  WriteWrapped(out, "Target: " + TargetSummary(report));
  for (const CriterionRanking& criterion : report.criteria) {
    std::string heading = criterion.name;
    if (criterion.predictors.size() < criterion.ranked) {
      heading += " (best " + GroupDigits(static_cast<long>(criterion.predictors.size())) + " of " +
                 GroupDigits(static_cast<long>(criterion.ranked)) + ")";
    }
    out << "\n";
    WriteWrapped(out, heading + ": " + criterion.description);
    if (criterion.predictors.empty()) {
      out << "  no predictor is ranked by this criterion\n";
      continue;
    }
    // Upper tails computed directly get a -log10 p column: easier to compare by eye than
    // exponents.
    const bool pValue = criterion.value_label == "p-value";
    const bool logColumn = pValue && report.exact_tails;
    std::vector<std::pair<std::string, bool>> columns = {
        {"Rank", true}, {"Predictor", false}, {"Type", false}, {criterion.value_label, true}};
    if (logColumn) columns.push_back({"-log10 p", true});
    columns.push_back({"Statistic", true});
    columns.push_back({"df", true});
    if (criterion.selected) columns.push_back({"Kept", false});
    Table table(columns);
    for (const RankedPredictor& row : criterion.predictors) {
      std::vector<std::string> cells = {
          std::to_string(row.rank), FitWidth(row.name, kMaxNameWidth), row.type,
          pValue ? PValue(row.value, report.exact_tails) : Brief(row.value)};
      if (logColumn) cells.push_back(NegLog10P(row));
      cells.push_back(StatisticText(row));
      cells.push_back(DfText(row));
      if (criterion.selected) cells.push_back(Kept(criterion, row) ? "yes" : "");
      table.Add(std::move(cells));
    }
    table.Write(out, "  ");
  }
  if (!report.note.empty()) {
    out << "\n";
    WriteWrapped(out, report.note);
  }
  out << "\n";
  if (report.screened.empty()) {
    out << "Screened out: none\n";
  } else {
    out << "Screened out: " << Plural(report.screened.size(), "predictor", "predictors") << "\n";
    Table table({{"Predictor", false}, {"Type", false}, {"Reason", false}});
    for (const ScreenedPredictor& row : report.screened) {
      table.Add({FitWidth(row.name, kMaxNameWidth), row.type, row.reason_text});
    }
    table.Write(out, "  ");
  }
  out << "\nRecords: " << GroupDigits(report.valid) << " valid, " << GroupDigits(report.excluded)
      << " excluded (target missing, or no predictor value)";
  if (report.weighted) {
    out << "\nWeighted: " << Printf("%.6g", report.weighted_valid) << " valid, "
        << Printf("%.6g", report.weighted_excluded) << " excluded; "
        << Plural(static_cast<std::size_t>(report.skipped), "row", "rows")
        << " skipped for a missing or non-positive weight";
  }
  out << "\n";
  if (!report.selection.empty()) WriteWrapped(out, SelectionLine(report));
}

void WriteCsv(std::ostream& out, const RankingReport& report) {
  // With a selection a last column tells whether the row's predictor is kept (true or false;
  // empty where the rule does not apply).
  const bool selecting = !report.selection.empty();
  out << "section,criterion,rank,predictor,index,type,value,neg_log10_p,statistic,"
         "statistic_value,df,df2,reason,reason_text"
      << (selecting ? ",selected\n" : "\n");
  const auto opt = [](const std::optional<double>& v) { return v ? Exact(*v) : std::string(); };
  for (const CriterionRanking& criterion : report.criteria) {
    for (const RankedPredictor& row : criterion.predictors) {
      out << "ranked," << CsvField(criterion.name) << ',' << row.rank << ',' << CsvField(row.name)
          << ',' << row.index << ',' << row.type << ',' << opt(row.value) << ','
          << opt(row.neg_log10_p) << ',' << row.statistic_name << ',' << opt(row.statistic) << ','
          << opt(row.df) << ',' << opt(row.df2) << ",,";
      if (selecting) {
        out << ',' << (criterion.selected ? (Kept(criterion, row) ? "true" : "false") : "");
      }
      out << '\n';
    }
  }
  for (const ScreenedPredictor& row : report.screened) {
    out << "screened,,," << CsvField(row.name) << ',' << row.index << ',' << row.type << ",,,,,,,"
        << row.reason_word << ',' << CsvField(row.reason_text) << (selecting ? ",\n" : "\n");
  }
}

void WriteJson(std::ostream& out, const RankingReport& report) {
  Json target = {{"name", report.target}, {"type", report.target_type}};
  if (report.target_type == "categorical") {
    Json categories = Json::array();
    for (const TargetCategory& category : report.target_categories) {
      categories.push_back(
          {{"label", category.label}, {"count", category.count}, {"weighted", category.weighted}});
    }
    target["categories"] = std::move(categories);
  }
  Json records = {{"valid", report.valid}, {"excluded", report.excluded}};
  if (report.weighted) {
    records["weighted_valid"] = report.weighted_valid;
    records["weighted_excluded"] = report.weighted_excluded;
    records["skipped"] = report.skipped;
  }
  Json criteria = Json::array();
  for (const CriterionRanking& criterion : report.criteria) {
    Json predictors = Json::array();
    for (const RankedPredictor& row : criterion.predictors) {
      Json entry = {{"rank", row.rank},
                    {"name", row.name},
                    {"index", row.index},
                    {"type", row.type},
                    {"value", Number(row.value)},
                    {"neg_log10_p", Number(row.neg_log10_p)},
                    {"statistic", row.statistic_name.empty() ? Json() : Json(row.statistic_name)},
                    {"statistic_value", Number(row.statistic)},
                    {"df", Number(row.df)},
                    {"df2", Number(row.df2)}};
      if (criterion.selected) entry["selected"] = Kept(criterion, row);
      predictors.push_back(std::move(entry));
    }
    Json entry = {{"name", criterion.name},
                  {"value", criterion.value_label},
                  {"description", criterion.description},
                  {"ranked", criterion.ranked}};
    if (!report.selection.empty()) {
      entry["selected"] = criterion.selected ? Json(*criterion.selected) : Json();
    }
    entry["predictors"] = std::move(predictors);
    criteria.push_back(std::move(entry));
  }
  Json screened = Json::array();
  for (const ScreenedPredictor& row : report.screened) {
    screened.push_back({{"name", row.name},
                        {"index", row.index},
                        {"type", row.type},
                        {"reason", row.reason_word},
                        {"description", row.reason_text}});
  }
  const std::size_t continuous = report.predictors - report.categorical_predictors;
  Json doc = {{"file", report.file},
              {"target", std::move(target)},
              {"predictors",
               {{"total", report.predictors},
                {"categorical", report.categorical_predictors},
                {"continuous", continuous}}},
              {"records", std::move(records)}};
  if (!report.selection.empty()) doc["selection"] = report.selection;
  doc["criteria"] = std::move(criteria);
  doc["screened"] = std::move(screened);
  if (!report.note.empty()) doc["note"] = report.note;
  WriteJsonDocument(out, doc);
}

void WriteReport(std::ostream& out, const RankingReport& report, OutputFormat format) {
  switch (format) {
    case OutputFormat::kTable:
      WriteTable(out, report);
      break;
    case OutputFormat::kCsv:
      WriteCsv(out, report);
      break;
    case OutputFormat::kJson:
      WriteJson(out, report);
      break;
  }
}

namespace {

void WriteCheckTable(std::ostream& out, const CheckReport& report,
                     const ScreeningThresholds& thresholds) {
  const std::size_t n = report.columns.size();
  WriteWrapped(out, "Check of " + Plural(n, "column", "columns") + " (" +
                        GroupDigits(static_cast<long>(report.categorical_columns)) +
                        " categorical, " +
                        GroupDigits(static_cast<long>(n - report.categorical_columns)) +
                        " continuous) in " + report.file + ", without a target");
  std::size_t flagged = 0;
  Table table({{"Column", false}, {"Type", false}, {"Rule broken", false}});
  for (const CheckedColumn& column : report.columns) {
    if (column.reasons.empty()) continue;
    ++flagged;
    for (std::size_t k = 0; k < column.reasons.size(); ++k) {
      // The name and type only on the first line of a column that breaks several rules.
      table.Add({k == 0 ? FitWidth(column.name, kMaxNameWidth) : "", k == 0 ? column.type : "",
                 ReasonText(column.reasons[k], thresholds)});
    }
  }
  out << "\n";
  if (flagged == 0) {
    out << "Every column passes every screening rule.\n";
  } else {
    out << Plural(flagged, "column breaks", "columns break") << " screening rules:\n";
    table.Write(out, "  ");
    if (flagged < n)
      out << Plural(n - flagged, "other column passes", "other columns pass") << " every rule\n";
  }
  out << "\nRecords: " << GroupDigits(report.records) << " read";
  if (report.weighted) {
    out << " (weighted " << Printf("%.6g", report.weighted_records) << "); "
        << Plural(static_cast<std::size_t>(report.skipped), "row", "rows")
        << " skipped for a missing or non-positive weight";
  }
  out << "\n";
}

void WriteCheckCsv(std::ostream& out, const CheckReport& report,
                   const ScreeningThresholds& thresholds) {
  out << "column,index,type,reason,reason_text\n";
  for (const CheckedColumn& column : report.columns) {
    const std::string lead =
        CsvField(column.name) + ',' + std::to_string(column.index) + ',' + column.type + ',';
    if (column.reasons.empty()) out << lead << ",\n";
    for (const int reason : column.reasons) {
      out << lead << ReasonWord(reason) << ',' << CsvField(ReasonText(reason, thresholds)) << '\n';
    }
  }
}

void WriteCheckJson(std::ostream& out, const CheckReport& report,
                    const ScreeningThresholds& thresholds) {
  Json records = {{"read", report.records}};
  if (report.weighted) {
    records["weighted"] = report.weighted_records;
    records["skipped"] = report.skipped;
  }
  Json columns = Json::array();
  for (const CheckedColumn& column : report.columns) {
    Json reasons = Json::array();
    for (const int reason : column.reasons) {
      reasons.push_back(
          {{"reason", ReasonWord(reason)}, {"description", ReasonText(reason, thresholds)}});
    }
    columns.push_back({{"name", column.name},
                       {"index", column.index},
                       {"type", column.type},
                       {"reasons", std::move(reasons)}});
  }
  WriteJsonDocument(
      out,
      {{"file", report.file}, {"records", std::move(records)}, {"columns", std::move(columns)}});
}

}  // namespace

void WriteCheckReport(std::ostream& out, const CheckReport& report,
                      const ScreeningThresholds& thresholds, OutputFormat format) {
  switch (format) {
    case OutputFormat::kTable:
      WriteCheckTable(out, report, thresholds);
      break;
    case OutputFormat::kCsv:
      WriteCheckCsv(out, report, thresholds);
      break;
    case OutputFormat::kJson:
      WriteCheckJson(out, report, thresholds);
      break;
  }
}

}  // namespace fsrank_cli
