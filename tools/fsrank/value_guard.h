// Keeps the library's sums finite. It accumulates weighted sums of squares and cross-products
// of the continuous values, and products of category totals, in doubles: a value beyond about
// 1e154, or weights whose total squared passes the largest double, overflow them into
// infinities and NaNs, or into finite but meaningless results (a correlation of 0 between two
// variances that are both infinite). The guard bounds what reaches the library so that no sum
// over up to 2^31 records can overflow: a continuous value beyond ±kMaxMagnitude counts as
// missing, a positive weight outside [kMinWeight, kMaxWeight] as missing (the record is
// excluded), each counted per column for a warning.
#ifndef FSRANK_TOOLS_VALUE_GUARD_H
#define FSRANK_TOOLS_VALUE_GUARD_H

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "schema.h"

namespace fsrank_cli {

class ValueGuard {
 public:
  // 2^31 records of weight 1e50 with squares of 2e120 stay below 1e300, and so do the products
  // of two totals of such weights.
  static constexpr double kMaxMagnitude = 1e120;
  static constexpr double kMaxWeight = 1e50;
  static constexpr double kMinWeight = 1e-50;

  // Reads the column types of `schema` now, so that copies can guard records in other threads
  // while the schema gains labels; `schema` must outlive the guard for its warnings.
  explicit ValueGuard(const ColumnSchema& schema);

  // Replaces the values of `record` (laid out as the schema says) that the sums cannot take by
  // the missing value. `row` numbers the record for the warning.
  void Apply(std::vector<double>& record, std::size_t row) {
    Apply(record.data(), record.size(), row);
  }
  void Apply(double* record, std::size_t size, std::size_t row);
  // Adds what `part` (a copy of this guard, from its start) replaced in records numbered after
  // `rows` of this guard's.
  void Merge(const ValueGuard& part, std::size_t rows);
  // One line per column whose values were replaced.
  void WriteWarnings(std::ostream& err, const std::string& source) const;

 private:
  struct Replaced {
    std::size_t count = 0;
    std::size_t first_row = 0;
    double first_value = 0.0;
  };
  void Replace(std::size_t column, double& value, std::size_t row);

  const ColumnSchema* schema_;
  bool long_form_;
  bool continuous_target_;
  int target_position_;
  int weight_position_;
  std::size_t first_predictor_;
  std::vector<bool> continuous_;              // per predictor
  std::vector<std::size_t> continuous_list_;  // the continuous predictors
  std::vector<Replaced> replaced_;  // by column: the target, the weight, then the predictors
};

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_VALUE_GUARD_H
