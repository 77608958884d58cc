// fsrank: ranks the columns of a CSV file as predictors of one target column with the fsrank
// library. It is a host of the library's exported interface like any other application.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>

#include "data_source.h"
#include "options.h"
#include "ranker.h"

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

void ReportUnparsable(const fsrank_cli::CsvDataSource& source, std::ostream& err) {
  for (const auto& [column, summary] : source.Unparsable()) {
    err << "fsrank: warning: " << source.SourceName() << ": column \"" << source.Header()[column]
        << "\": " << summary.count << (summary.count == 1 ? " value is" : " values are")
        << " not a number and counted as missing (first on line " << summary.first_line << ": \""
        << summary.first_text << "\")\n";
  }
}

int Run(const fsrank_cli::Options& options) {
  using namespace fsrank_cli;
  struct stat info;
  if (stat(options.data_file.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::cerr << "fsrank: " << options.data_file << ": is a directory\n";
    return kExitInput;
  }
  std::ifstream file(options.data_file, std::ios::in | std::ios::binary);
  if (!file) {
    std::cerr << "fsrank: " << options.data_file << ": cannot open: " << std::strerror(errno)
              << "\n";
    return kExitInput;
  }
  try {
    CsvDataSource source(file, options.data_file, options.delimiter,
                         options.na_given ? MissingTokens(options.na) : MissingTokens(),
                         options.sample);
    if (gInterrupted.load()) {
      std::cerr << "fsrank: cancelled while reading the first rows\n";
      return kExitCancelled;
    }
    PlanRequest request;
    request.target = options.target;
    request.weight = options.weight;
    request.id = options.id;
    request.categorical = options.categorical;
    request.continuous = options.continuous;
    DataPlan plan = source.MakePlan(request);
    for (const ColumnSpec& spec : plan.predictors) {
      if (!source.SawValue(spec.column) && source.SampleSize() > 0) {
        std::cerr << "fsrank: warning: column \"" << spec.name << "\" has no value in the first "
                  << source.SampleSize() << " rows; it is taken as " << TypeName(spec.type) << "\n";
      }
    }
    source.SetPlan(std::move(plan));
    const bool progress = !options.quiet && isatty(STDERR_FILENO) == 1;
    const int code =
        options.command == Command::kCheck
            ? RunCheck(options, source, gInterrupted, progress, std::cout, std::cerr)
            : RunRanking(options, source, gInterrupted, progress, std::cout, std::cerr);
    if (code != kExitCancelled) ReportUnparsable(source, std::cerr);
    return code;
  } catch (const InputError& e) {
    std::cerr << "fsrank: " << e.what() << "\n";
    return kExitInput;
  } catch (const UsageError& e) {
    std::cerr << "fsrank: " << e.what() << "\n";
    return kExitUsage;
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
