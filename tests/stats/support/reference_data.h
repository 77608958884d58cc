// Reader of tests/data/distribution_reference.txt, the high-precision reference values of the
// distribution and special functions, shared by the unit tests and the accuracy report.
//
// A data line is "function region argument... expected"; lines starting with # are comments.
// The arguments are shortest round-trip decimal doubles, so strtod recovers them exactly; the
// expected value carries 25 significant digits and is read as a long double, so that errors of
// a fraction of a double's ulp can still be seen.
#ifndef FSRANK_TESTS_STATS_REFERENCE_DATA_H
#define FSRANK_TESTS_STATS_REFERENCE_DATA_H

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "stats/distributions.h"

namespace reference {

struct Case {
  std::string function, region;
  std::vector<double> args;
  long double expected = 0;
  int line = 0;
};

// Reads every case of the file; an unreadable file or line gives an empty list and a message.
inline std::vector<Case> Load(const std::string& path, std::string& problem) {
  std::vector<Case> cases;
  std::ifstream in(path);
  if (!in) problem = "cannot open " + path;
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    if (text.empty() || text[0] == '#') continue;
    std::istringstream fields(text);
    Case c;
    c.line = line;
    fields >> c.function >> c.region;
    std::vector<std::string> numbers;
    for (std::string word; fields >> word;)
      numbers.push_back(word);
    if (numbers.size() < 2) {
      problem = "line " + std::to_string(line) + " has too few fields";
      return {};
    }
    c.expected = std::strtold(numbers.back().c_str(), nullptr);
    numbers.pop_back();
    for (const std::string& number : numbers)
      c.args.push_back(std::strtod(number.c_str(), nullptr));
    cases.push_back(c);
  }
  return cases;
}

// The library's value for a case; NaN for an unknown function or a wrong number of arguments.
inline double Evaluate(const Case& c) {
  const std::vector<double>& a = c.args;
  const std::string& f = c.function;
  const size_t n = a.size();
  int error = 0;
  if (n == 1 && f == "Erf") return Erf(a[0]);
  if (n == 1 && f == "Erfc") return Erfc(a[0]);
  if (n == 1 && f == "LogGamma") return LogGamma(a[0]);
  if (n == 1 && f == "NormalCdf") return NormalCdf(a[0]);
  if (n == 2 && f == "ChiSquareCdf") return ChiSquareCdf(a[0], a[1]);
  if (n == 2 && f == "TCdf") return TCdf(a[0], a[1]);
  if (n == 3 && f == "FCdf") return FCdf(a[0], a[1], a[2]);
  if (n == 3 && f == "IncompleteBeta") return IncompleteBeta(a[0], a[1], a[2], error);
  if (n == 3 && f == "IncompleteGamma") return IncompleteGamma(a[0], a[1], a[2] != 0, error);
  return std::nan("");
}

// The spacing of doubles at the expected value (the smallest subnormal at and below 2^-1022).
inline long double Ulp(long double expected) {
  int exponent = 0;
  std::frexp(static_cast<double>(std::fabs(expected)), &exponent);
  if (expected == 0 || exponent < -1021) return std::ldexp(1.0L, -1074);
  return std::ldexp(1.0L, exponent - 53);
}

struct Error {
  long double absolute = 0;
  long double relative = 0;  // 0 where the expected value is 0
  long double ulps = 0;
};

inline Error Measure(double computed, long double expected) {
  Error e;
  e.absolute = std::fabs(static_cast<long double>(computed) - expected);
  if (std::isnan(computed)) e.absolute = INFINITY;
  e.relative = expected == 0 ? 0 : e.absolute / std::fabs(expected);
  e.ulps = e.absolute / Ulp(expected);
  return e;
}

}  // namespace reference

#endif  // FSRANK_TESTS_STATS_REFERENCE_DATA_H
