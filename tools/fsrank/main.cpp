// fsrank: ranks the columns of a CSV file as predictors of one target column with the fsrank
// library. It is a host of the library's exported interface like any other application.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <new>

#include "column_filter.h"
#include "csv_reader.h"
#include "data_source.h"
#include "long_source.h"
#include "options.h"
#include "ranker.h"
#include "schema.h"
#include "text.h"

namespace {

std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int) {
  gInterrupted.store(true);
}

void InstallInterruptHandler() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // A second Ctrl-C gets the default treatment, so a stuck read can still be interrupted.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

// Opens a data file for reading; throws InputError when that is not possible.
void OpenData(const std::string& path, std::ifstream& file) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    throw fsrank_cli::InputError(path + ": is a directory");
  }
  file.open(path, std::ios::in | std::ios::binary);
  if (!file) throw fsrank_cli::InputError(path + ": cannot open: " + std::strerror(errno));
}

bool ShowProgress(const fsrank_cli::Options& options) {
  return !options.quiet && isatty(STDERR_FILENO) == 1;
}

// `rank` and `check` on a file with one row per case; `resume --more` too when `saved` is given.
// "-" reads standard input. For `select`, `kept` receives the kept predictors and `used` the
// columns as read.
int RunWide(const fsrank_cli::Options& options, fsrank_cli::ColumnSchema* saved,
            fsrank_cli::KeptPredictors* kept = nullptr, fsrank_cli::ColumnSchema* used = nullptr) {
  using namespace fsrank_cli;
  std::ifstream file;
  const bool standard_input = options.data_file == "-";
  if (!standard_input) OpenData(options.data_file, file);
  CsvDataSource source(standard_input ? std::cin : file,
                       standard_input ? std::string("standard input") : options.data_file,
                       saved ? saved->delimiter : options.delimiter,
                       saved              ? MissingTokens(saved->missing)
                       : options.na_given ? MissingTokens(options.na)
                                          : MissingTokens(),
                       options.sample);
  if (gInterrupted.load()) {
    std::cerr << "fsrank: cancelled while reading the first rows\n";
    return kExitCancelled;
  }
  // A report, a saved state and the options name columns by name: each needs its own.
  const std::string names = NameFault(source.Header(), "column");
  if (!names.empty()) throw InputError(options.data_file + ": the header: " + names);
  ColumnSchema fresh;
  ColumnSchema& schema = saved ? *saved : fresh;
  DataPlan plan;
  if (saved) {
    plan = source.PlanFor(schema);
  } else {
    PlanRequest request;
    request.target = options.target;
    request.weight = options.weight;
    request.id = options.id;
    request.categorical = options.categorical;
    request.continuous = options.continuous;
    plan = source.MakePlan(request);
    for (const ColumnSpec& col : plan.predictors) {
      if (!source.SawValue(col.column) && source.SampleSize() > 0) {
        WriteWarning(std::cerr, "column \"" + col.name + "\" has no value in the first " +
                                    std::to_string(source.SampleSize()) + " rows; it is taken as " +
                                    TypeName(col.type));
      }
    }
    schema = source.SchemaFor(plan);
  }
  source.SetPlan(std::move(plan), schema,
                 options.threads > 0 ? options.threads : UsableProcessors());
  source.StopWhen(&gInterrupted);
  const int code = options.command == Command::kCheck
                       ? RunCheck(options, schema, source, gInterrupted, ShowProgress(options),
                                  std::cout, std::cerr)
                       : RunRanking(options, schema, &source, gInterrupted, ShowProgress(options),
                                    std::cout, std::cerr, kept);
  if (code != kExitCancelled) source.WriteWarnings(std::cerr);
  if (used) *used = schema;
  return code;
}

// `rank --long`, and `resume --more` of a long-form state when `saved` is given.
int RunLong(const fsrank_cli::Options& options, fsrank_cli::ColumnSchema* saved) {
  using namespace fsrank_cli;
  ColumnSchema fresh;
  ColumnSchema& schema = saved ? *saved : fresh;
  std::ifstream file;
  if (!saved) {
    schema.long_form = true;
    schema.delimiter = options.delimiter;
    schema.missing = (options.na_given ? MissingTokens(options.na) : MissingTokens()).Tokens();
    schema.case_column = options.case_column;
    schema.predictor_column = options.predictor_column;
    schema.value_column = options.value_column;
    schema.target.name = options.target;
    // The first pass finds the predictors, the second streams the file: a pipe cannot be read
    // twice.
    struct stat info;
    if (options.data_file == "-" || (stat(options.data_file.c_str(), &info) == 0 &&
                                     !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))) {
      throw UsageError(options.data_file +
                       ": --long reads the file twice (first to find the predictors), which "
                       "standard input or a pipe cannot do: save the data to a file first");
    }
    OpenData(options.data_file, file);
    const LongScan scan = ScanLongFile(file, options.data_file, schema, &gInterrupted);
    if (gInterrupted.load()) {
      std::cerr << "fsrank: cancelled while looking for the predictors\n";
      return kExitCancelled;
    }
    if (scan.predictors.empty()) {
      throw InputError(options.data_file + ": there is no data row after the header");
    }
    const auto has = [](const std::vector<std::string>& names, const std::string& name) {
      return std::find(names.begin(), names.end(), name) != names.end();
    };
    for (const std::string& name : options.categorical) {
      if (has(options.continuous, name)) {
        throw UsageError("\"" + name + "\" cannot be both categorical and continuous");
      }
    }
    for (const auto* names : {&options.categorical, &options.continuous}) {
      for (const std::string& name : *names) {
        if (name != options.target && !has(scan.predictors, name)) {
          throw InputError(options.data_file + ": no predictor named \"" + name +
                           "\" in the column \"" + options.predictor_column + "\"");
        }
      }
    }
    const auto type = [&](const std::string& name, ColumnType guessed) {
      return has(options.categorical, name)  ? ColumnType::kCategorical
             : has(options.continuous, name) ? ColumnType::kContinuous
                                             : guessed;
    };
    schema.target.type = type(options.target, scan.target_type);
    for (std::size_t p = 0; p < scan.predictors.size(); ++p) {
      schema.predictors.push_back(
          SchemaColumn{scan.predictors[p], type(scan.predictors[p], scan.predictor_types[p]), {}});
    }
    file.close();
  }
  OpenData(options.data_file, file);
  LongDataSource source(file, options.data_file, schema);
  const int code = RunRanking(options, schema, &source, gInterrupted, ShowProgress(options),
                              std::cout, std::cerr);
  if (code != kExitCancelled) source.WriteWarnings(std::cerr);
  return code;
}

int RunResume(const fsrank_cli::Options& options) {
  using namespace fsrank_cli;
  ColumnSchema schema = LoadSidecar(options.state_file);
  if (options.data_file.empty()) {
    return RunRanking(options, schema, nullptr, gInterrupted, ShowProgress(options), std::cout,
                      std::cerr);
  }
  if (!schema.long_form) return RunWide(options, &schema);
  if (options.max_records >= 0) {
    throw UsageError("--max-records does not apply to a state of long-form data");
  }
  return RunLong(options, &schema);
}

// `select`: ranks DATA (or the state of --from-state), then reads DATA again and copies its
// target, weight, id and kept predictor columns, in the file's order, to --output.
int RunSelect(const fsrank_cli::Options& options) {
  using namespace fsrank_cli;
  struct stat data_info;
  const bool data_known = stat(options.data_file.c_str(), &data_info) == 0;
  if (options.data_file == "-" || (data_known && !S_ISREG(data_info.st_mode))) {
    throw UsageError(options.data_file +
                     ": select reads DATA twice (to rank, then to copy the kept columns), which "
                     "standard input or a pipe cannot do: save the data to a file first");
  }
  if (options.output != "-") {
    struct stat out_info;
    if (data_known && stat(options.output.c_str(), &out_info) == 0 &&
        out_info.st_dev == data_info.st_dev && out_info.st_ino == data_info.st_ino) {
      throw UsageError(options.output + ": the output would overwrite DATA");
    }
  }
  KeptPredictors kept;
  ColumnSchema schema;
  int code = kExitOk;
  if (options.from_state.empty()) {
    code = RunWide(options, nullptr, &kept, &schema);
  } else {
    schema = LoadSidecar(options.from_state);
    if (schema.long_form) {
      throw UsageError(options.from_state +
                       ": a state of long-form data: select copies columns of a file with one "
                       "row per case");
    }
    Options restored = options;
    restored.state_file = options.from_state;
    code = RunRanking(restored, schema, nullptr, gInterrupted, ShowProgress(options), std::cout,
                      std::cerr, &kept);
  }
  if (code != kExitOk) return code;

  std::vector<std::string> header;
  {
    std::ifstream file;
    OpenData(options.data_file, file);
    CsvReader reader(file, options.data_file, schema.delimiter);
    if (!reader.ReadRow(header)) throw InputError(options.data_file + ": the file is empty");
  }
  const std::string where = options.data_file + ":1: ";
  std::vector<std::size_t> keep;
  for (const auto& [name, role] :
       {std::pair(schema.target.name, "the target"), std::pair(schema.weight, "the weight"),
        std::pair(schema.id, "the case identifier")}) {
    if (!name.empty()) keep.push_back(FindHeaderColumn(header, where, name, role));
  }
  for (const std::string& name : kept.names) {
    keep.push_back(FindHeaderColumn(header, where, name, "a kept predictor"));
  }
  std::sort(keep.begin(), keep.end());
  keep.erase(std::unique(keep.begin(), keep.end()), keep.end());

  std::ifstream data;
  OpenData(options.data_file, data);
  const bool to_stdout = options.output == "-";
  std::ofstream file;
  if (!to_stdout) {
    file.open(options.output, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file) {
      throw InputError(options.output + ": cannot write: " + std::strerror(errno));
    }
  }
  std::ostream& out = to_stdout ? std::cout : file;
  long rows = 0;
  try {
    rows = CopyColumns(data, options.data_file, schema.delimiter, keep, out);
    out.flush();
    if (!out) throw InputError(options.output + ": write error");
  } catch (const InputError&) {
    if (!to_stdout) {
      file.close();
      std::remove(options.output.c_str());
    }
    throw;
  }
  if (!options.quiet) {
    WriteError(std::cerr, options.select + " by " + kept.criterion + " keeps " +
                              std::to_string(kept.names.size()) + " of " +
                              std::to_string(kept.ranked) + " ranked predictors; " +
                              GroupDigits(rows) + " rows of " + std::to_string(keep.size()) +
                              " columns written to " +
                              (to_stdout ? std::string("standard output") : options.output));
  }
  return kExitOk;
}

int Run(const fsrank_cli::Options& options) {
  using namespace fsrank_cli;
  try {
    if (options.command == Command::kResume) return RunResume(options);
    if (options.command == Command::kSelect) return RunSelect(options);
    return options.long_form ? RunLong(options, nullptr) : RunWide(options, nullptr);
  } catch (const InputError& e) {
    std::cerr << "fsrank: " << fsrank_cli::Printable(e.what()) << "\n";
    return kExitInput;
  } catch (const UsageError& e) {
    std::cerr << "fsrank: " << fsrank_cli::Printable(e.what()) << "\n";
    return kExitUsage;
  } catch (const std::bad_alloc&) {
    std::cerr << "fsrank: out of memory\n";
    return kExitInput;
  }
}

}  // namespace

int main(int argc, char** argv) {
  fsrank_cli::Options options;
  const int stop = fsrank_cli::ParseCommandLine(argc, argv, options, std::cout, std::cerr);
  if (stop >= 0) return stop;
  InstallInterruptHandler();
  return Run(options);
}
