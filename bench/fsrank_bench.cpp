// fsrank_bench: the library end to end, as a host sees it. Each case builds settings, creates an
// algorithm with FSFactory and times one AccumulateAndRank over generated records (data pass,
// screening, criteria, sorting and ranking). The records come from a small pool generated with
// a fixed seed and handed out again and again, so the program's own memory does not grow with
// the number of records; every case runs in a child process of its own, so that its peak
// resident memory is its own.
//
// Prints per case the processor time per predictor value (records x predictors), the same in
// wall-clock time, the peak resident memory of the process and how much of it the run added
// on top of the pool. With --compare the same data (the pool repeated to the same number of
// rows, held in memory) also goes through the Python peers in bench/peers.py, run by
// /usr/bin/python3 with one thread, and their figures and ratios are printed beside.
//
// On a busy machine, --repeat N runs every case N times and keeps the fastest run.
//
//   fsrank_bench [--cases a,b,..] [--predictors 10,100,1000] [--records 100000,1000000]
//                [--missing PERCENT] [--repeat N] [--compare] [--list]
#include <fsrank/fsrank.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Kind {
  const char* name;
  const char* description;
  int catEvery;    // predictor j is categorical when j % catEvery == 0 (0: none, 1: all)
  int categories;  // of the categorical predictors
  bool catTarget;
};

const Kind kKinds[] = {
    {"cont_cat", "continuous predictors, 3-category target", 0, 0, true},
    {"cont_cont", "continuous predictors, continuous target", 0, 0, false},
    {"cat5_cat", "categorical predictors (5 categories), 3-category target", 1, 5, true},
    {"cat5_cont", "categorical predictors (5 categories), continuous target", 1, 5, false},
    {"cat1000_cat", "categorical predictors (1000 categories), 3-category target", 1, 1000, true},
    {"mixed_cat", "half continuous, half categorical (5), 3-category target", 2, 5, true},
    {"mixed_cont", "half continuous, half categorical (5), continuous target", 2, 5, false},
};

bool IsCat(const Kind& k, int j) {
  return k.catEvery > 0 && j % k.catEvery == 0;
}

// Pool rows: about 4 MB of records at most, between 64 and 4096 rows.
int PoolRows(int predictors) {
  const int rows = (1 << 19) / (predictors + 1);
  return rows < 64 ? 64 : (rows > 4096 ? 4096 : rows);
}

// Column 0 is the target, columns 1..P the predictors. Some predictors depend on the target, so
// that the ranking has something to find.
std::vector<double> MakePool(const Kind& k, int predictors, double missingShare) {
  std::uint64_t state = 0x2545F4914F6CDD1Dull;
  auto uniform = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) / 9007199254740992.0;  // [0, 1)
  };
  const int rows = PoolRows(predictors);
  const int width = predictors + 1;
  std::vector<double> pool(static_cast<std::size_t>(rows) * static_cast<std::size_t>(width));
  for (int r = 0; r < rows; ++r) {
    double* row = &pool[static_cast<std::size_t>(r) * static_cast<std::size_t>(width)];
    const double t =
        k.catTarget ? static_cast<double>(static_cast<int>(uniform() * 3)) : uniform() * 10.0 - 5.0;
    row[0] = t;
    for (int j = 0; j < predictors; ++j) {
      const bool related = j % 5 == 0;
      double x;
      if (IsCat(k, j)) {
        int c = static_cast<int>(uniform() * k.categories);
        if (related && uniform() < 0.3) c = static_cast<int>(t < 0 ? -t : t) % k.categories;
        x = static_cast<double>(c);
      } else {
        x = uniform() * 100.0 - 50.0 + (related ? 8.0 * t : 0.0);
      }
      if (missingShare > 0.0 && uniform() < missingShare) x = NQMV::Missing();
      row[j + 1] = x;
    }
  }
  return pool;
}

// Hands out the pool's rows in turn, copied into records made once.
class PoolIterator : public NQCommon::RecordIterator {
 public:
  PoolIterator(const std::vector<double>& pool, int width, long long total)
      : fnTotal(total), fnRows(static_cast<int>(pool.size() / static_cast<std::size_t>(width))) {
    fRecords.reserve(static_cast<std::size_t>(fnRows));
    for (int r = 0; r < fnRows; ++r) {
      fRecords.emplace_back(width);
      std::memcpy(fRecords.back().GetAll(),
                  &pool[static_cast<std::size_t>(r) * static_cast<std::size_t>(width)],
                  static_cast<std::size_t>(width) * sizeof(double));
    }
  }
  bool Next() override { return ++fnPos < fnTotal; }
  NQCommon::Record* GetRecord() override {
    return &fRecords[static_cast<std::size_t>(fnPos % fnRows)];
  }

 private:
  long long fnTotal;
  int fnRows;
  long long fnPos = -1;
  std::vector<NQCommon::Record> fRecords;
};

struct Result {
  double cpuSeconds = 0.0;
  double wallSeconds = 0.0;
  double peakMB = 0.0;
  double addedMB = 0.0;
  long status = 0;
};

double Seconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The resident memory now.
double CurrentMB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double PeakMB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

Result RunCase(const Kind& k, int predictors, long long records, double missingShare) {
  Result result;
  std::vector<bool> types(static_cast<std::size_t>(predictors));
  for (int j = 0; j < predictors; ++j)
    types[static_cast<std::size_t>(j)] = IsCat(k, j);
  FSSettings settings(types, k.catTarget);
  settings.SetTargetPosition(0);
  PoolIterator it(MakePool(k, predictors, missingShare), predictors + 1, records);
  const double before = CurrentMB();

  FSFactory factory;
  std::unique_ptr<IFSAlgorithm> algorithm(factory.CreateFSAlgorithm(&settings));
  const double cpu0 = Seconds(CLOCK_PROCESS_CPUTIME_ID);
  const double wall0 = Seconds(CLOCK_MONOTONIC);
  const NQFeature::NQStatus status =
      algorithm ? algorithm->AccumulateAndRank(it, -1, true, 0) : factory.GetStatus();
  result.cpuSeconds = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  result.wallSeconds = Seconds(CLOCK_MONOTONIC) - wall0;
  result.peakMB = PeakMB();
  result.addedMB = result.peakMB - before;
  result.status = status.IsError() ? status.GetErrorCode() : 0;
  return result;
}

// Runs a case in a child process and returns what it measured.
bool RunOnce(const Kind& k, int predictors, long long records, double missingShare, Result& out) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    close(fds[0]);
    const Result r = RunCase(k, predictors, records, missingShare);
    const ssize_t written = write(fds[1], &r, sizeof r);
    _exit(written == static_cast<ssize_t>(sizeof r) ? 0 : 1);
  }
  close(fds[1]);
  const ssize_t got = read(fds[0], &out, sizeof out);
  close(fds[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  return got == static_cast<ssize_t>(sizeof out) && WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0;
}

// ---------------------------------------------------------------------------------------------
// The Python peers.

std::string PeersScript() {
  // Next to this program's sources; the build passes the directory.
#ifdef FSRANK_BENCH_DIR
  return std::string(FSRANK_BENCH_DIR) + "/peers.py";
#else
  return "bench/peers.py";
#endif
}

// Lines "name ns_per_value" from the peers, or a note line starting with "#".
std::vector<std::string> RunPeers(const Kind& k, int predictors, long long records) {
  std::vector<std::string> lines;
  const std::vector<double> pool = MakePool(k, predictors, 0.0);
  char path[] = "/tmp/fsrank_bench_pool_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return {"# cannot write the pool file"};
  const std::size_t bytes = pool.size() * sizeof(double);
  const bool ok = write(fd, pool.data(), bytes) == static_cast<ssize_t>(bytes);
  close(fd);
  if (ok) {
    std::ostringstream cmd;
    cmd << "OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 MKL_NUM_THREADS=1 /usr/bin/python3 "
        << PeersScript() << ' ' << path << ' ' << (predictors + 1) << ' ' << records << ' '
        << k.name << " 2>&1";
    if (FILE* p = popen(cmd.str().c_str(), "r")) {
      char buf[512];
      while (std::fgets(buf, sizeof buf, p) != nullptr) {
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
          line.pop_back();
        if (!line.empty()) lines.push_back(line);
      }
      pclose(p);
    }
  }
  std::remove(path);
  return lines;
}

int gRepeat = 1;

// The fastest of gRepeat runs (by processor time), each in a process of its own.
bool RunIsolated(const Kind& k, int predictors, long long records, double missingShare,
                 Result& out) {
  bool ok = false;
  for (int i = 0; i < gRepeat; ++i) {
    Result r;
    if (!RunOnce(k, predictors, records, missingShare, r)) return false;
    if (!ok || r.cpuSeconds < out.cpuSeconds) out = r;
    ok = true;
  }
  return ok;
}

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> parts;
  std::stringstream ss(s);
  std::string part;
  while (std::getline(ss, part, ','))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

bool HasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

int Usage() {
  std::fprintf(stderr,
               "usage: fsrank_bench [--cases a,b] [--predictors 10,100,1000] "
               "[--records 100000,1000000] [--missing PERCENT] [--repeat N] [--compare] "
               "[--list]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> cases;
  std::vector<int> predictorCounts = {10, 100, 1000};
  std::vector<long long> recordCounts = {100000, 1000000};
  double missingPct = 0.0;
  bool compare = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help") {
      Usage();
      return 0;
    } else if (arg == "--compare") {
      compare = true;
    } else if (arg == "--list") {
      for (const Kind& k : kKinds)
        std::printf("%-12s %s\n", k.name, k.description);
      return 0;
    } else if (arg == "--cases" && hasValue) {
      cases = Split(argv[++i]);
    } else if (arg == "--predictors" && hasValue) {
      predictorCounts.clear();
      for (const std::string& p : Split(argv[++i]))
        predictorCounts.push_back(std::atoi(p.c_str()));
    } else if (arg == "--records" && hasValue) {
      recordCounts.clear();
      for (const std::string& r : Split(argv[++i]))
        recordCounts.push_back(std::atoll(r.c_str()));
    } else if (arg == "--repeat" && hasValue) {
      gRepeat = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--missing" && hasValue) {
      missingPct = std::atof(argv[++i]);
    } else {
      return Usage();
    }
  }

  std::printf("fsrank end to end (AccumulateAndRank), one thread; processor %s AVX2\n",
              HasAvx2() ? "with" : "without");
  std::printf("missing values: %.3g%% of predictor values; times per predictor value, ",
              missingPct);
  std::printf(gRepeat > 1 ? "fastest of %d runs\n" : "%d run\n", gRepeat);
  if (compare && missingPct > 0.0) {
    std::printf("note: the peers take no missing values; --compare runs them on complete data\n");
  }
  std::printf("\n%-12s %6s %9s %11s %11s %9s %8s %s\n", "case", "preds", "records", "cpu ns/val",
              "wall ns/val", "peak MB", "run +MB", "status");

  for (const Kind& k : kKinds) {
    if (!cases.empty()) {
      bool wanted = false;
      for (const std::string& c : cases)
        wanted = wanted || c == k.name;
      if (!wanted) continue;
    }
    for (int predictors : predictorCounts) {
      for (long long records : recordCounts) {
        if (predictors <= 0 || records <= 0) continue;
        Result r;
        if (!RunIsolated(k, predictors, records, missingPct / 100.0, r)) {
          std::printf("%-12s %6d %9lld  (the run failed)\n", k.name, predictors, records);
          continue;
        }
        const double values = static_cast<double>(records) * predictors;
        std::printf("%-12s %6d %9lld %11.2f %11.2f %9.1f %8.1f %s\n", k.name, predictors, records,
                    r.cpuSeconds * 1e9 / values, r.wallSeconds * 1e9 / values, r.peakMB, r.addedMB,
                    r.status == 0 ? "ok" : std::to_string(r.status).c_str());
        if (!compare) continue;
        if (static_cast<double>(records) * (predictors + 1) * 8.0 > 4e9) {
          std::printf("    peers: skipped (the data would not fit in 4 GB of memory)\n");
          continue;
        }
        // The peers run on complete data; so does the library's figure they are set against.
        Result same = r;
        if (missingPct > 0.0 && !RunIsolated(k, predictors, records, 0.0, same)) continue;
        const double ours = same.cpuSeconds * 1e9 / values;
        for (const std::string& line : RunPeers(k, predictors, records)) {
          if (line[0] == '#') {
            std::printf("    peers: %s\n", line.c_str() + 1);
            continue;
          }
          std::istringstream in(line);
          std::string name;
          double ns = 0.0;
          if (!(in >> name >> ns)) {
            std::printf("    peers: %s\n", line.c_str());
            continue;
          }
          std::printf("    peer %-34s %8.2f ns/val   fsrank %.2f ns/val   peer/fsrank %.2fx\n",
                      name.c_str(), ns, ours, ns / ours);
        }
      }
    }
  }
  return 0;
}
