#include "value_guard.h"

#include <fsrank/fsrank.h>

#include <cmath>
#include <cstdio>

#include "text.h"

namespace fsrank_cli {

namespace {

constexpr std::size_t kTarget = 0;
constexpr std::size_t kWeight = 1;
constexpr std::size_t kFirstPredictor = 2;

bool Continuous(const SchemaColumn& column) {
  return column.type == ColumnType::kContinuous;
}

}  // namespace

ValueGuard::ValueGuard(const ColumnSchema& schema)
    : schema_(schema), replaced_(kFirstPredictor + schema.predictors.size()) {}

void ValueGuard::Replace(std::size_t column, double& value, std::size_t row) {
  Replaced& r = replaced_[column];
  if (r.count++ == 0) {
    r.first_row = row;
    r.first_value = value;
  }
  value = NQMV::Missing();
}

void ValueGuard::Apply(std::vector<double>& record, std::size_t row) {
  const auto guard = [&](std::size_t column, double& value) {
    if (!NQMV::IsMissing(value) && std::fabs(value) > kMaxMagnitude) Replace(column, value, row);
  };
  if (schema_.long_form) {
    // case, predictor, value, target
    if (record.size() != 4) return;
    const double p = record[1];
    if (p >= 0 && p < static_cast<double>(schema_.predictors.size()) &&
        Continuous(schema_.predictors[static_cast<std::size_t>(p)])) {
      guard(kFirstPredictor + static_cast<std::size_t>(p), record[2]);
    }
    if (Continuous(schema_.target)) guard(kTarget, record[3]);
    return;
  }
  if (schema_.HasTarget() && Continuous(schema_.target)) {
    guard(kTarget, record[static_cast<std::size_t>(schema_.TargetPosition())]);
  }
  if (!schema_.weight.empty()) {
    double& w = record[static_cast<std::size_t>(schema_.WeightPosition())];
    if (w > 0.0 && (w > kMaxWeight || w < kMinWeight)) Replace(kWeight, w, row);
  }
  const std::size_t first = static_cast<std::size_t>(schema_.FirstPredictorPosition());
  for (std::size_t p = 0; p < schema_.predictors.size() && first + p < record.size(); ++p) {
    if (Continuous(schema_.predictors[p])) guard(kFirstPredictor + p, record[first + p]);
  }
}

void ValueGuard::WriteWarnings(std::ostream& err, const std::string& source) const {
  for (std::size_t c = 0; c < replaced_.size(); ++c) {
    const Replaced& r = replaced_[c];
    if (r.count == 0) continue;
    const bool weight = c == kWeight;
    const std::string& name = c == kTarget ? schema_.target.name
                              : weight     ? schema_.weight
                                           : schema_.predictors[c - kFirstPredictor].name;
    char first[64];
    std::snprintf(first, sizeof first, "%g", r.first_value);
    WriteWarning(err, source + ": " +
                          (schema_.long_form && c >= kFirstPredictor ? "predictor" : "column") +
                          " \"" + name + "\": " + std::to_string(r.count) +
                          (r.count == 1 ? " value is" : " values are") +
                          (weight ? " outside 1e-50 to 1e50, where the sums of weights stay "
                                    "finite; the rows are skipped"
                                  : " beyond +-1e120, too large to square and sum; counted as "
                                    "missing") +
                          " (first in record " + std::to_string(r.first_row) + ": " + first + ")");
  }
}

}  // namespace fsrank_cli
