#include "options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <map>

#ifndef FSRANK_VERSION
#define FSRANK_VERSION "unknown"
#endif

namespace fsrank_cli {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

const char* const kFooter =
    R"(Column types are guessed from the first --sample rows: text, or integers with at
most 10 distinct values, make a column categorical; other numbers make it
continuous. Categorical labels are renumbered 0, 1, 2, ... in order of first
appearance. A value in a continuous column that is not a number counts as
missing and is reported on standard error.

Criteria (--criteria, --criterion): Pearson, Likelihood, Cramer, Lambda,
F-Statistic, t-Statistic (any letter case; short forms F, t, chi2, LR, V).
The defaults follow the column types.

Exit codes:
  0    success
  1    usage error: bad option, or a combination of criteria that is refused
  2    input error: unreadable or malformed file (with file name and line),
       unknown column, ragged row, no usable data, unwritable output file
  3    the library reported an error
  130  cancelled by Ctrl-C)";

// Reads the delimiter: one character, or "tab" / "\t" for a tab.
std::string CheckDelimiter(const std::string& text) {
  if (text.size() == 1 || text == "tab" || text == "\\t") return {};
  return "the delimiter must be one character (or \"tab\")";
}

char DelimiterChar(const std::string& text) {
  return text == "tab" || text == "\\t" ? '\t' : text[0];
}

}  // namespace

std::string CriterionName(int criterion) {
  static const char* const kNames[] = {"Pearson", "Likelihood",  "Cramer",
                                       "Lambda",  "F-Statistic", "t-Statistic"};
  return criterion >= 0 && criterion < 6 ? kNames[criterion] : "";
}

int ParseCriterionName(const std::string& text) {
  static const std::map<std::string, int> kNames = {
      {"pearson", 0}, {"chi2", 0},        {"chisq", 0},    {"likelihood", 1}, {"lr", 1},
      {"g2", 1},      {"cramer", 2},      {"cramer v", 2}, {"cramerv", 2},    {"v", 2},
      {"lambda", 3},  {"f-statistic", 4}, {"f", 4},        {"fstat", 4},      {"f-stat", 4},
      {"f-test", 4},  {"t-statistic", 5}, {"t", 5},        {"tstat", 5},      {"t-stat", 5},
      {"t-test", 5}};
  const auto found = kNames.find(Lower(text));
  return found == kNames.end() ? -1 : found->second;
}

int ParseCommandLine(int argc, const char* const* argv, Options& options, std::ostream& out,
                     std::ostream& err) {
  CLI::App app{"fsrank: rank the columns of a data file as predictors of a target column",
               "fsrank"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("fsrank ") + FSRANK_VERSION);
  app.footer(kFooter);

  CLI::App* rank = app.add_subcommand(
      "rank", "Rank the columns of DATA (CSV with a header row) as predictors of --target");
  rank->add_option("DATA", options.data_file, "CSV file with a header row")
      ->required()
      ->type_name("FILE");
  rank->add_option("--target", options.target, "Column to predict")->required()->type_name("COL");

  std::string delimiter = ",";
  rank->add_option("--delimiter", delimiter, "Field delimiter: one character, or tab")
      ->check(CheckDelimiter)
      ->type_name("CHAR")
      ->capture_default_str();
  rank->add_option("--sample", options.sample, "Rows read to guess the column types")
      ->check(CLI::PositiveNumber.description(""))
      ->type_name("N")
      ->capture_default_str();
  rank->add_option("--categorical", options.categorical, "Columns to treat as categorical")
      ->delimiter(',')
      ->type_name("COLS");
  rank->add_option("--continuous", options.continuous, "Columns to treat as continuous")
      ->delimiter(',')
      ->type_name("COLS");
  CLI::Option* na = rank->add_option(
      "--na", options.na,
      "Missing-value tokens, replacing the defaults (empty, NA, NaN, ?); repeat --na '' to keep "
      "empty fields missing");
  na->delimiter(',')->type_name("TOKENS");

  CLI::Option* weight =
      rank->add_option("--weight", options.weight, "Column of frequency weights")->type_name("COL");
  rank->add_option("--weight-conversion", options.weight_conversion,
                   "How a weight becomes a frequency")
      ->check(CLI::IsMember({"round", "truncate", "asis"}).description(""))
      ->type_name("round|truncate|asis")
      ->needs(weight)
      ->capture_default_str();
  rank->add_option("--id", options.id, "Column of case identifiers (not ranked)")->type_name("COL");
  rank->add_option("--top", options.top,
                   "Predictors listed per criterion (0: all; default: the library's suggestion)")
      ->check(CLI::NonNegativeNumber.description(""))
      ->type_name("N");

  std::vector<std::string> criteria;
  rank->add_option("--criteria", criteria, "Criteria to compute (default: by column types)")
      ->delimiter(',')
      ->type_name("LIST")
      ->check([](const std::string& name) {
        return ParseCriterionName(name) < 0 ? "unknown criterion \"" + name + "\"" : std::string();
      });

  rank->add_option("--max-missing", options.max_missing,
                   "Screen out predictors with more than PCT% missing values (default 70)")
      ->check(CLI::Range(0.0, 100.0).description(""))
      ->type_name("PCT");
  rank->add_option("--max-single", options.max_single,
                   "Screen out categorical predictors whose largest category exceeds PCT% "
                   "(default 95)")
      ->check(CLI::Range(0.0, 100.0).description(""))
      ->type_name("PCT");
  rank->add_option("--max-categories", options.max_categories,
                   "Screen out categorical predictors with more categories than PCT% of their "
                   "values (default 90)")
      ->check(CLI::Range(0.0, 100.0).description(""))
      ->type_name("PCT");
  rank->add_option("--min-cv", options.min_cv,
                   "Screen out continuous predictors with a coefficient of variation below V "
                   "(default 0.001)")
      ->check(CLI::NonNegativeNumber.description(""))
      ->type_name("V");
  rank->add_option("--min-sd", options.min_sd,
                   "Screen out continuous predictors with a standard deviation below V "
                   "(default 0: off)")
      ->check(CLI::NonNegativeNumber.description(""))
      ->type_name("V");
  rank->add_flag("--no-screen", options.no_screen,
                 "Skip the screening rules (all-missing and constant predictors still go)");
  rank->add_option("--max-records", options.max_records, "Read at most N records")
      ->check(CLI::NonNegativeNumber.description(""))
      ->type_name("N");

  CLI::Option* export_one = rank->add_option("--export-one", options.export_one,
                                             "Write the FSOutputOne XML document of --criterion")
                                ->type_name("FILE");
  std::string export_criterion;
  CLI::Option* criterion =
      rank->add_option("--criterion", export_criterion, "Criterion of --export-one")
          ->type_name("C")
          ->check([](const std::string& name) {
            return ParseCriterionName(name) < 0 ? "unknown criterion \"" + name + "\""
                                                : std::string();
          });
  export_one->needs(criterion);
  criterion->needs(export_one);
  rank->add_option("--export-all", options.export_all,
                   "Write the FSOutputAll XML document (screening and every criterion)")
      ->type_name("FILE");

  std::string format = "table";
  rank->add_option("--format", format, "Output format")
      ->check(CLI::IsMember({"table", "csv", "json"}).description(""))
      ->type_name("table|csv|json")
      ->capture_default_str();
  rank->add_flag("--quiet,-q", options.quiet, "No progress line");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? kExitOk : kExitUsage;
  }

  options.delimiter = DelimiterChar(delimiter);
  options.na_given = na->count() > 0;
  options.criteria.clear();
  for (const std::string& name : criteria) {
    const int c = ParseCriterionName(name);
    if (std::find(options.criteria.begin(), options.criteria.end(), c) == options.criteria.end()) {
      options.criteria.push_back(c);
    }
  }
  options.export_criterion = export_criterion.empty() ? -1 : ParseCriterionName(export_criterion);
  options.format = format == "csv"    ? OutputFormat::kCsv
                   : format == "json" ? OutputFormat::kJson
                                      : OutputFormat::kTable;
  return -1;
}

}  // namespace fsrank_cli
