// Reader of tests/data/tail_reference.txt, the upper tails of the chi-square, F and t
// distributions at points from p = 0.99 down to 1e-300, shared by the tail tests and the
// accuracy report. A data line is "function argument... expected scipy": mpmath's value at 60
// digits (read as a long double) and SciPy's at the same point.
#ifndef FSRANK_TESTS_STATS_TAIL_REFERENCE_H
#define FSRANK_TESTS_STATS_TAIL_REFERENCE_H

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "stats/distributions.h"

namespace tails {

struct Point {
  std::string function;
  std::vector<double> args;
  long double expected = 0;
  double scipy = 0;
};

// Every point of the file; empty when it cannot be read.
inline std::vector<Point> Load(const std::string& path) {
  std::vector<Point> points;
  std::ifstream in(path);
  std::string text;
  while (std::getline(in, text)) {
    if (text.empty() || text[0] == '#') continue;
    std::istringstream fields(text);
    Point p;
    fields >> p.function;
    std::vector<std::string> numbers;
    for (std::string word; fields >> word;)
      numbers.push_back(word);
    if (numbers.size() < 4) return {};
    p.scipy = std::strtod(numbers.back().c_str(), nullptr);
    numbers.pop_back();
    p.expected = std::strtold(numbers.back().c_str(), nullptr);
    numbers.pop_back();
    for (const std::string& number : numbers)
      p.args.push_back(std::strtod(number.c_str(), nullptr));
    points.push_back(p);
  }
  return points;
}

// The library's value at a point; NaN for an unknown function.
inline double Evaluate(const Point& p) {
  const std::vector<double>& a = p.args;
  if (p.function == "ChiSquareUpper" && a.size() == 2) return ChiSquareUpper(a[0], a[1]);
  if (p.function == "FUpper" && a.size() == 3) return FUpper(a[0], a[1], a[2]);
  if (p.function == "TTwoSidedUpper" && a.size() == 2) return TTwoSidedUpper(a[0], a[1]);
  return std::nan("");
}

// |value - expected| / expected; infinite for a value that is not a number.
inline long double RelativeError(double value, long double expected) {
  if (std::isnan(value)) return INFINITY;
  return std::fabs(static_cast<long double>(value) - expected) / expected;
}

}  // namespace tails

#endif  // FSRANK_TESTS_STATS_TAIL_REFERENCE_H
