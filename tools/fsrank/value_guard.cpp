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
    : schema_(&schema),
      long_form_(schema.long_form),
      continuous_target_(schema.HasTarget() && Continuous(schema.target)),
      target_position_(schema.TargetPosition()),
      weight_position_(schema.WeightPosition()),
      first_predictor_(static_cast<std::size_t>(schema.FirstPredictorPosition())),
      replaced_(kFirstPredictor + schema.predictors.size()) {
  for (const SchemaColumn& column : schema.predictors) {
    if (Continuous(column)) continuous_list_.push_back(continuous_.size());
    continuous_.push_back(Continuous(column));
  }
}

void ValueGuard::Replace(std::size_t column, double& value, std::size_t row) {
  Replaced& r = replaced_[column];
  if (r.count++ == 0) {
    r.first_row = row;
    r.first_value = value;
  }
  value = NQMV::Missing();
}

void ValueGuard::Apply(double* record, std::size_t size, std::size_t row) {
  const auto guard = [&](std::size_t column, double& value) {
    if (!NQMV::IsMissing(value) && std::fabs(value) > kMaxMagnitude) Replace(column, value, row);
  };
  if (long_form_) {
    // case, predictor, value, target
    if (size != 4) return;
    const double p = record[1];
    if (p >= 0 && p < static_cast<double>(continuous_.size()) &&
        continuous_[static_cast<std::size_t>(p)]) {
      guard(kFirstPredictor + static_cast<std::size_t>(p), record[2]);
    }
    if (continuous_target_) guard(kTarget, record[3]);
    return;
  }
  if (continuous_target_) guard(kTarget, record[static_cast<std::size_t>(target_position_)]);
  if (weight_position_ >= 0) {
    double& w = record[static_cast<std::size_t>(weight_position_)];
    if (w > 0.0 && (w > kMaxWeight || w < kMinWeight)) Replace(kWeight, w, row);
  }
  for (const std::size_t p : continuous_list_) {
    if (first_predictor_ + p < size) guard(kFirstPredictor + p, record[first_predictor_ + p]);
  }
}

void ValueGuard::Merge(const ValueGuard& part, std::size_t rows) {
  for (std::size_t c = 0; c < replaced_.size() && c < part.replaced_.size(); ++c) {
    const Replaced& theirs = part.replaced_[c];
    if (theirs.count == 0) continue;
    Replaced& mine = replaced_[c];
    if (mine.count == 0) {
      mine.first_row = rows + theirs.first_row;
      mine.first_value = theirs.first_value;
    }
    mine.count += theirs.count;
  }
}

void ValueGuard::WriteWarnings(std::ostream& err, const std::string& source) const {
  for (std::size_t c = 0; c < replaced_.size(); ++c) {
    const Replaced& r = replaced_[c];
    if (r.count == 0) continue;
    const bool weight = c == kWeight;
    const std::string& name = c == kTarget ? schema_->target.name
                              : weight     ? schema_->weight
                                           : schema_->predictors[c - kFirstPredictor].name;
    char first[64];
    std::snprintf(first, sizeof first, "%g", r.first_value);
    WriteWarning(err, source + ": " +
                          (long_form_ && c >= kFirstPredictor ? "predictor" : "column") + " \"" +
                          name + "\": " + std::to_string(r.count) +
                          (r.count == 1 ? " value is" : " values are") +
                          (weight ? " outside 1e-50 to 1e50, where the sums of weights stay "
                                    "finite; the rows are skipped"
                                  : " beyond +-1e120, too large to square and sum; counted as "
                                    "missing") +
                          " (first in record " + std::to_string(r.first_row) + ": " + first + ")");
  }
}

}  // namespace fsrank_cli
