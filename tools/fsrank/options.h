// The command line of `fsrank`: its options, their checks, the exit codes, and the names of the
// ranking criteria as users write them.
#ifndef FSRANK_TOOLS_OPTIONS_H
#define FSRANK_TOOLS_OPTIONS_H

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace fsrank_cli {

// Exit codes, documented in `fsrank --help`.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;        // bad command line or a refused combination of criteria
constexpr int kExitInput = 2;        // unreadable or malformed file (data, state or sidecar),
                                     // unknown column, unusable data
constexpr int kExitLibrary = 3;      // the library reported an error
constexpr int kExitCancelled = 130;  // interrupted (Ctrl-C)

enum class Command { kRank, kCheck, kResume, kSelect };

// How the report is printed: an aligned table for people, CSV or JSON for programs.
enum class OutputFormat { kTable, kCsv, kJson };

struct Options {
  Command command = Command::kRank;
  std::string data_file;   // rank, check, select; resume: the --more file (empty: none)
  std::string state_file;  // resume: the state to continue from
  std::string target;
  char delimiter = ',';
  std::size_t sample = 1000;
  std::vector<std::string> categorical;
  std::vector<std::string> continuous;
  bool na_given = false;
  std::vector<std::string> na;
  std::string weight;
  std::string weight_conversion = "round";  // round, truncate or asis
  std::string id;
  int top = -1;               // -1: the library's suggestion; 0: all
  std::vector<int> criteria;  // RankCriteria values; empty: the defaults for the column types
  std::optional<double> max_missing;
  std::optional<double> max_single;
  std::optional<double> max_categories;
  std::optional<double> min_cv;
  std::optional<double> min_sd;
  bool no_screen = false;
  // p-values as 1 minus the lower tail (the library's default) instead of upper tails computed
  // directly.
  bool complement_pvalues = false;
  int max_records = -1;  // -1: all
  int threads = 0;       // 0: the processors the program may use
  std::string export_one;
  int criterion = -1;  // --criterion, of --export-one and --select; -1: none
  std::string export_all;
  OutputFormat format = OutputFormat::kTable;
  bool quiet = false;
  std::string save_state;  // empty: none
  // RULE=VALUE of --select, read by the library's NQFSSelect::ParseSelection; empty: none.
  std::string select;
  std::string report;      // --report: the HTML report's file; empty: none
  std::string output;      // select: the reduced data file, "-" for standard output
  std::string from_state;  // select: a state saved by --save-state to select from; empty: rank
  // The long form: one row per case and predictor.
  bool long_form = false;
  std::string case_column = "case";
  std::string predictor_column = "predictor";
  std::string value_column = "value";
};

// Parses the command line. Returns the exit code when the program should stop now (help,
// version, or a usage error, already reported on `out` or `err`); otherwise -1 with `options`
// filled in.
int ParseCommandLine(int argc, const char* const* argv, Options& options, std::ostream& out,
                     std::ostream& err);

// The name of a ranking criterion as the result documents spell it ("Pearson", "Likelihood",
// "Cramer", "Lambda", "F-Statistic", "t-Statistic"); empty for an unknown index.
std::string CriterionName(int criterion);
// Accepts those names in any letter case and short forms such as "F", "t", "chi2", "LR", "V";
// -1 when the text names no criterion.
int ParseCriterionName(const std::string& text);

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_OPTIONS_H
