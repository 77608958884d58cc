// Accuracy report of the distribution and special functions: for every function and region of
// the reference file, the largest absolute, relative and ulp errors against the high-precision
// reference values, and the arguments where the largest ulp error occurs. Then the upper tails
// computed directly (the exact-tails option): per function, the largest relative error of the
// library and of SciPy at the same points, from p = 0.99 down to 1e-300.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "../tests/stats/support/reference_data.h"
#include "../tests/stats/support/tail_reference.h"

namespace {

struct Summary {
  std::string function;
  std::string region;
  int count = 0;
  reference::Error worst;
  const reference::Case* worst_absolute_case = nullptr;
  const reference::Case* worst_ulps_case = nullptr;
};

std::string Arguments(const reference::Case& c) {
  std::string text;
  for (double a : c.args) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%s%.10g", text.empty() ? "" : " ", a);
    text += buffer;
  }
  return text;
}

// The tails report; false when the file cannot be read.
bool ReportTails() {
  const std::vector<tails::Point> points = tails::Load(FSRANK_TEST_DATA_DIR "/tail_reference.txt");
  if (points.empty()) return false;
  std::printf("\nUpper tails, p from 0.99 to 1e-300, degrees of freedom 1 to 1e6\n");
  std::printf("%-15s %5s %12s %12s  %s\n", "function", "n", "fsrank rel", "SciPy rel",
              "fsrank worst at");
  std::vector<std::string> functions;
  for (const tails::Point& p : points) {
    if (std::find(functions.begin(), functions.end(), p.function) == functions.end())
      functions.push_back(p.function);
  }
  for (const std::string& f : functions) {
    int n = 0;
    long double ours = 0, scipy = 0;
    const tails::Point* worst = nullptr;
    for (const tails::Point& p : points) {
      if (p.function != f) continue;
      ++n;
      const long double e = tails::RelativeError(tails::Evaluate(p), p.expected);
      if (worst == nullptr || e > ours) ours = e, worst = &p;
      scipy = std::max(scipy, tails::RelativeError(p.scipy, p.expected));
    }
    std::string at;
    for (double a : worst->args) {
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%s%.10g", at.empty() ? "" : " ", a);
      at += buffer;
    }
    std::printf("%-15s %5d %12.2Lg %12.2Lg  %s\n", f.c_str(), n, ours, scipy, at.c_str());
  }
  return true;
}

}  // namespace

int main() {
  std::string problem;
  std::vector<reference::Case> cases =
      reference::Load(FSRANK_TEST_DATA_DIR "/distribution_reference.txt", problem);
  if (cases.empty()) {
    std::fprintf(stderr, "accuracy: %s\n", problem.c_str());
    return 1;
  }
  std::vector<Summary> summaries;
  for (const reference::Case& c : cases) {
    Summary* s = nullptr;
    for (Summary& candidate : summaries) {
      if (candidate.function == c.function && candidate.region == c.region) s = &candidate;
    }
    if (s == nullptr) {
      summaries.push_back(Summary{c.function, c.region, 0, {}, nullptr, nullptr});
      s = &summaries.back();
    }
    double computed = reference::Evaluate(c);
    reference::Error e = reference::Measure(computed, c.expected);
    ++s->count;
    if (s->worst_absolute_case == nullptr || e.absolute > s->worst.absolute) {
      s->worst.absolute = e.absolute;
      s->worst_absolute_case = &c;
    }
    if (e.relative > s->worst.relative) s->worst.relative = e.relative;
    if (s->worst_ulps_case == nullptr || e.ulps > s->worst.ulps) {
      s->worst.ulps = e.ulps;
      s->worst_ulps_case = &c;
    }
  }
  std::printf("%-15s %-15s %5s %9s %9s %9s  %-36s %s\n", "function", "region", "n", "max abs",
              "max rel", "max ulp", "worst abs at", "worst ulp at");
  for (const Summary& s : summaries) {
    std::printf("%-15s %-15s %5d %9.2Lg %9.2Lg %9.3Lg  %-36s %s\n", s.function.c_str(),
                s.region.c_str(), s.count, s.worst.absolute, s.worst.relative, s.worst.ulps,
                Arguments(*s.worst_absolute_case).c_str(), Arguments(*s.worst_ulps_case).c_str());
  }
  if (!ReportTails()) {
    std::fprintf(stderr, "accuracy: cannot read tail_reference.txt\n");
    return 1;
  }
  return 0;
}
