#include "options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <locale>
#include <map>
#include <sstream>
#include <tuple>

#include "schema.h"
#include "text.h"

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

`fsrank check DATA` reads every column as a predictor, without a target, and
lists every screening rule each one breaks (--max-missing and the other
thresholds apply); it ranks nothing.

`fsrank rank --save-state FILE` saves the library's state after the data pass,
before screening, and the columns (names, types, category labels and their
codes, delimiter, missing-value tokens) next to it in FILE.columns.json.
`fsrank resume FILE` restores both and screens and ranks again, with new
screening, criteria or output options if given; `--more DATA` first adds the
rows of DATA (same columns), as if both files had been read in one run.

`--select RULE=VALUE` marks the predictors a rule keeps: k=K (the K best),
percentile=P, fpr=A (p < A), fdr=A (Benjamini-Hochberg at level A), fwe=A
(p < A / number ranked); fpr, fdr and fwe need p-values, so not Cramer or
Lambda. It applies to every criterion, or to --criterion only.
`fsrank select DATA --target T --select RULE=VALUE --output OUT.csv` ranks,
then writes the target, weight and id columns and the kept predictors of
--criterion (default: the first criterion computed) to OUT.csv (- for
standard output), each field byte for byte as in DATA; `--from-state FILE`
ranks a saved state instead of DATA, which is then only copied.
`--report FILE.html` writes a page with charts of the evidence.

`fsrank rank --long` reads a file with one row per case and predictor (columns
named by --case, --predictor, --value and --target). A first pass finds the
predictors (in order of first appearance) and guesses their types from all
their values; the rows of each case must be consecutive, in any order.

p-values are upper tails computed directly, accurate to 12 digits down to
2.2e-308; a smaller one is 0 (shown as <2.2e-308) and its predictors are ranked
by the test statistic. --complement-pvalues forms them as 1 minus the lower
tail instead, the library's default, which rounds to 0 below about 1e-16
(shown as <2.2e-16).

Criteria (--criteria, --criterion): Pearson, Likelihood, Cramer, Lambda,
F-Statistic, t-Statistic (any letter case; short forms F, t, chi2, LR, V).
The defaults follow the column types.

Exit codes:
  0    success
  1    usage error: bad option, or a combination of criteria that is refused
  2    input error: unreadable or malformed file (with file name and line),
       unknown column, ragged row, no usable data, unwritable output file,
       a saved state or its .columns.json that is missing, damaged or does
       not match the other
  3    the library reported an error
  130  cancelled by Ctrl-C)";

// Reads the delimiter: one character, or "tab" / "\t" for a tab.
std::string CheckDelimiter(const std::string& text) {
  if (text == "tab" || text == "\\t") return {};
  if (text.size() != 1) return "the delimiter must be one character (or \"tab\")";
  if (!IsUsableDelimiter(text[0])) return "the delimiter cannot be a quote, a line end or NUL";
  return {};
}

// The checks of numeric options, with messages in the user's terms (CLI11's own would print
// the largest double as a range end, and let a NaN through a range check).
CLI::Validator NumberCheck(double low, double high, const std::string& what, bool whole = false) {
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        std::istringstream in(text);
        in.imbue(std::locale::classic());
        double value = 0.0;
        if (!(in >> value) || !(in >> std::ws).eof() || !(value >= low && value <= high) ||
            (whole && value != std::floor(value))) {
          return "must be " + what + ", not \"" + text + "\"";
        }
        return {};
      },
      "");
}
CLI::Validator Count(double low) {
  return NumberCheck(low, 2147483647.0, low > 0 ? "a whole number from 1" : "a whole number from 0",
                     true);
}

// Column names and file names: an empty one names nothing.
const CLI::Validator kNonEmpty(
    [](std::string& text) {
      return text.empty() ? std::string("must not be empty") : std::string();
    },
    "");

// An option that names a file or a column: never empty, its kind (FILE, COL) shown in the help.
CLI::Option* AddName(CLI::App* cmd, const std::string& name, std::string& value,
                     const std::string& what, const std::string& kind) {
  return cmd->add_option(name, value, what)->check(kNonEmpty)->type_name(kind);
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

namespace {

// Values that need converting after the parse, shared by the subcommands (only one of them is
// parsed).
struct Raw {
  std::string delimiter = ",";
  std::vector<std::string> criteria;
  std::string criterion;
  std::string format = "table";
  std::vector<CLI::Option*> na;
};

// The items of a comma-separated value, empty ones included: "a," has two, "a" and "".
std::vector<std::string> ListItems(const std::string& text) {
  std::vector<std::string> items;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

// A list of names (columns, criteria). Each item names one, so an empty item, as in "a," or
// "a,,b", is a mistake to report rather than skip; `item` checks the others.
CLI::Validator NameList(std::string (*item)(const std::string&) = nullptr) {
  return CLI::Validator(
      [item](std::string& text) {
        if (text.empty()) return std::string("must not be empty");
        for (const std::string& name : ListItems(text)) {
          if (name.empty()) {
            return "has an empty item in \"" + text + "\" (items are separated by commas)";
          }
          if (item != nullptr) {
            if (std::string fault = item(name); !fault.empty()) return fault;
          }
        }
        return std::string();
      },
      "");
}

// Every occurrence of a list option split into its items.
std::vector<std::string> Items(const std::vector<std::string>& occurrences) {
  std::vector<std::string> items;
  for (const std::string& text : occurrences) {
    for (std::string& item : ListItems(text))
      items.push_back(std::move(item));
  }
  return items;
}

std::string UnknownCriterion(const std::string& name) {
  return ParseCriterionName(name) < 0 ? "unknown criterion \"" + name + "\"" : std::string();
}

CLI::Validator CriterionCheck() {
  return CLI::Validator([](std::string& name) { return UnknownCriterion(name); }, "");
}

// How the text of a data file is read and typed.
void AddReading(CLI::App* cmd, Options& options, Raw& raw) {
  cmd->add_option("--delimiter", raw.delimiter, "Field delimiter: one character, or tab")
      ->check(CheckDelimiter)
      ->type_name("CHAR")
      ->capture_default_str();
  cmd->add_option("--sample", options.sample, "Rows read to guess the column types")
      ->check(Count(1))
      ->type_name("N")
      ->capture_default_str();
  cmd->add_option("--categorical", options.categorical, "Columns to treat as categorical")
      ->check(NameList())
      ->type_name("COLS");
  cmd->add_option("--continuous", options.continuous, "Columns to treat as continuous")
      ->check(NameList())
      ->type_name("COLS");
  raw.na.push_back(
      cmd->add_option("--na", options.na,
                      "Missing-value tokens, replacing the defaults (empty, NA, NaN, ?); an "
                      "empty item is the empty field: --na NA, or --na ''")
          ->type_name("TOKENS"));
}

std::vector<CLI::Option*> AddWeightAndId(CLI::App* cmd, Options& options) {
  CLI::Option* weight =
      AddName(cmd, "--weight", options.weight, "Column of frequency weights", "COL");
  cmd->add_option("--weight-conversion", options.weight_conversion,
                  "How a weight becomes a frequency")
      ->check(CLI::IsMember({"round", "truncate", "asis"}).description(""))
      ->type_name("round|truncate|asis")
      ->needs(weight)
      ->capture_default_str();
  return {weight,
          AddName(cmd, "--id", options.id, "Column of case identifiers (not ranked)", "COL")};
}

void AddScreening(CLI::App* cmd, Options& options, bool no_screen) {
  cmd->add_option("--max-missing", options.max_missing,
                  "Screen out predictors with more than PCT% missing values (default 70)")
      ->check(NumberCheck(0.0, 100.0, "a percentage from 0 to 100"))
      ->type_name("PCT");
  cmd->add_option("--max-single", options.max_single,
                  "Screen out categorical predictors whose largest category exceeds PCT% "
                  "(default 95)")
      ->check(NumberCheck(0.0, 100.0, "a percentage from 0 to 100"))
      ->type_name("PCT");
  cmd->add_option("--max-categories", options.max_categories,
                  "Screen out categorical predictors with more categories than PCT% of their "
                  "values (default 90)")
      ->check(NumberCheck(0.0, 100.0, "a percentage from 0 to 100"))
      ->type_name("PCT");
  cmd->add_option("--min-cv", options.min_cv,
                  "Screen out continuous predictors with a coefficient of variation below V "
                  "(default 0.001)")
      ->check(NumberCheck(0.0, std::numeric_limits<double>::max(), "a number 0 or more"))
      ->type_name("V");
  cmd->add_option("--min-sd", options.min_sd,
                  "Screen out continuous predictors with a standard deviation below V "
                  "(default 0: off)")
      ->check(NumberCheck(0.0, std::numeric_limits<double>::max(), "a number 0 or more"))
      ->type_name("V");
  if (no_screen) {
    cmd->add_flag("--no-screen", options.no_screen,
                  "Skip the screening rules (all-missing and constant predictors still go)");
  }
}

void AddThreads(CLI::App* cmd, Options& options) {
  cmd->add_option("--threads", options.threads,
                  "Threads that read a file of one row per case, each feeding an algorithm of "
                  "its own, merged in file order (default: the processors the program may use, "
                  "at most 8; check feeds one algorithm; the long form is read by one)")
      ->check(CLI::PositiveNumber.description(""))
      ->type_name("N");
}

CLI::Option* AddMaxRecords(CLI::App* cmd, Options& options) {
  return cmd->add_option("--max-records", options.max_records, "Read at most N records")
      ->check(Count(0))
      ->type_name("N");
}

CLI::Option* AddCriterion(CLI::App* cmd, Raw& raw) {
  return cmd->add_option("--criterion", raw.criterion, "Criterion of --export-one and --select")
      ->type_name("C")
      ->check(CriterionCheck());
}

void AddSelect(CLI::App* cmd, Options& options, bool required) {
  CLI::Option* select =
      cmd->add_option("--select", options.select,
                      "Mark the predictors to keep: k=K, percentile=P, fpr=A, fdr=A or fwe=A")
          ->type_name("RULE=VALUE");
  if (required) select->required();
}

void AddHtmlReport(CLI::App* cmd, Options& options) {
  AddName(cmd, "--report", options.report,
          "Write a self-contained HTML page with charts of the results", "FILE.html");
}

// What the ranking computes and how it is reported.
void AddRanking(CLI::App* cmd, Options& options, Raw& raw) {
  cmd->add_option("--top", options.top,
                  "Predictors listed per criterion (0: all; default: the library's suggestion)")
      ->check(Count(0))
      ->type_name("N");
  cmd->add_option("--criteria", raw.criteria, "Criteria to compute (default: by column types)")
      ->type_name("LIST")
      ->check(NameList(UnknownCriterion));
  CLI::Option* export_one = AddName(cmd, "--export-one", options.export_one,
                                    "Write the FSOutputOne XML document of --criterion", "FILE");
  export_one->needs(AddCriterion(cmd, raw));
  cmd->add_flag("--complement-pvalues", options.complement_pvalues,
                "p-values as 1 minus the lower tail (0 below about 1e-16), not the upper tail");
  AddName(cmd, "--export-all", options.export_all,
          "Write the FSOutputAll XML document (screening and every criterion)", "FILE");
  AddSelect(cmd, options, false);
}

void AddSaveState(CLI::App* cmd, Options& options) {
  AddName(cmd, "--save-state", options.save_state,
          "Save the library's state after the data pass (XML when FILE ends in .xml), "
          "with the columns in FILE.columns.json",
          "FILE");
}

void AddOutput(CLI::App* cmd, Options& options, Raw& raw) {
  cmd->add_option("--format", raw.format, "Output format")
      ->check(CLI::IsMember({"table", "csv", "json"}).description(""))
      ->type_name("table|csv|json")
      ->capture_default_str();
  cmd->add_flag("--quiet,-q", options.quiet, "No progress line");
}

}  // namespace

int ParseCommandLine(int argc, const char* const* argv, Options& options, std::ostream& out,
                     std::ostream& err) {
  CLI::App app{"fsrank: rank the columns of a data file as predictors of a target column",
               "fsrank"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("fsrank ") + FSRANK_VERSION);
  app.footer(kFooter);
  Raw raw;

  CLI::App* rank = app.add_subcommand(
      "rank", "Rank the columns of DATA (CSV with a header row) as predictors of --target");
  AddName(rank, "DATA", options.data_file, "CSV file with a header row (-: standard input)", "FILE")
      ->required();
  AddName(rank, "--target", options.target, "Column to predict", "COL")->required();
  AddReading(rank, options, raw);
  const std::vector<CLI::Option*> wide_only = AddWeightAndId(rank, options);
  CLI::Option* long_form =
      rank->add_flag("--long", options.long_form,
                     "DATA has one row per case and predictor, with the columns --case, "
                     "--predictor, --value and --target; the rows of a case are consecutive");
  for (const auto& [name, column, what] :
       {std::tuple("--case", &options.case_column, "Long form: column of case identifiers"),
        std::tuple("--predictor", &options.predictor_column,
                   "Long form: column of predictor names"),
        std::tuple("--value", &options.value_column, "Long form: column of predictor values")}) {
    AddName(rank, name, *column, what, "COL")->needs(long_form)->capture_default_str();
  }
  AddRanking(rank, options, raw);
  AddScreening(rank, options, true);
  for (CLI::Option* option : wide_only)
    long_form->excludes(option);
  long_form->excludes(AddMaxRecords(rank, options));
  AddThreads(rank, options);
  AddSaveState(rank, options);
  AddOutput(rank, options, raw);
  AddHtmlReport(rank, options);

  CLI::App* check = app.add_subcommand(
      "check", "Check the columns of DATA without a target: every screening rule each breaks");
  AddName(check, "DATA", options.data_file, "CSV file with a header row (-: standard input)",
          "FILE")
      ->required();
  AddReading(check, options, raw);
  AddWeightAndId(check, options);
  AddScreening(check, options, false);
  AddMaxRecords(check, options);
  AddThreads(check, options);
  AddOutput(check, options, raw);
  AddHtmlReport(check, options);

  CLI::App* resume = app.add_subcommand(
      "resume", "Continue from a state saved with --save-state: rank again, or add --more data");
  AddName(resume, "STATE", options.state_file, "State file written by --save-state", "FILE")
      ->required();
  AddName(resume, "--more", options.data_file,
          "More data, in the form and with the columns of the saved run", "FILE");
  AddRanking(resume, options, raw);
  AddScreening(resume, options, true);
  AddMaxRecords(resume, options);
  AddThreads(resume, options);
  AddSaveState(resume, options);
  AddOutput(resume, options, raw);
  AddHtmlReport(resume, options);

  CLI::App* select = app.add_subcommand(
      "select", "Rank the columns of DATA, then write DATA with only the predictors kept");
  AddName(select, "DATA", options.data_file, "CSV file with a header row", "FILE")->required();
  CLI::Option* select_target =
      AddName(select, "--target", options.target, "Column to predict", "COL");
  AddReading(select, options, raw);
  const std::vector<CLI::Option*> select_columns = AddWeightAndId(select, options);
  select->add_option("--criteria", raw.criteria, "Criteria to compute (default: by column types)")
      ->type_name("LIST")
      ->check(NameList(UnknownCriterion));
  AddCriterion(select, raw);
  AddSelect(select, options, true);
  AddName(select, "--output", options.output,
          "The reduced file: target, weight, id and kept columns (- for standard output)", "FILE")
      ->required();
  CLI::Option* from_state =
      AddName(select, "--from-state", options.from_state,
              "Select from a state saved by --save-state instead of ranking DATA", "FILE");
  from_state->excludes(select_target);
  for (CLI::Option* option : select_columns)
    from_state->excludes(option);
  AddScreening(select, options, true);
  AddMaxRecords(select, options);
  AddHtmlReport(select, options);
  select->add_flag("--quiet,-q", options.quiet, "No progress line and no summary");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // The parser's messages quote what was typed: escaped line by line like every message.
    std::ostringstream messages;
    const int code = app.exit(e, out, messages);
    std::istringstream lines(messages.str());
    for (std::string line; std::getline(lines, line);)
      err << Printable(line) << '\n';
    return code == 0 ? kExitOk : kExitUsage;
  }

  options.command = check->parsed()    ? Command::kCheck
                    : resume->parsed() ? Command::kResume
                    : select->parsed() ? Command::kSelect
                                       : Command::kRank;
  if (options.command == Command::kSelect && options.from_state.empty() && options.target.empty()) {
    err << "fsrank select: --target is required (or --from-state)\n";
    return kExitUsage;
  }
  if (!raw.criterion.empty() && options.export_one.empty() && options.select.empty()) {
    err << "fsrank: --criterion names the criterion of --export-one or --select; neither is "
           "given\n";
    return kExitUsage;
  }
  options.delimiter = DelimiterChar(raw.delimiter);
  options.na_given = false;
  for (const CLI::Option* na : raw.na)
    options.na_given = options.na_given || na->count() > 0;
  // List options are split here, not by the parser, which would drop empty items silently.
  options.categorical = Items(options.categorical);
  options.continuous = Items(options.continuous);
  options.na = Items(options.na);
  options.criteria.clear();
  for (const std::string& name : Items(raw.criteria)) {
    const int c = ParseCriterionName(name);
    if (std::find(options.criteria.begin(), options.criteria.end(), c) == options.criteria.end()) {
      options.criteria.push_back(c);
    }
  }
  options.criterion = raw.criterion.empty() ? -1 : ParseCriterionName(raw.criterion);
  options.format = raw.format == "csv"    ? OutputFormat::kCsv
                   : raw.format == "json" ? OutputFormat::kJson
                                          : OutputFormat::kTable;
  return -1;
}

}  // namespace fsrank_cli
