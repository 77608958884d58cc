// A small host program: ranks six candidate predictors of a categorical target (did a customer
// renew?) on an embedded example of 400 customers, and prints the best predictors per criterion.
#include <fsrank/fsrank.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

const char* const kPredictorNames[] = {"plan",   "region",        "monthly_spend",
                                       "tenure", "support_calls", "constant_flag"};
const char* const kCriterionNames[] = {"Pearson", "Likelihood", "Cramer",
                                       "Lambda",  "F test",     "t test"};
const char* const kReasonNames[] = {"",
                                    "all missing",
                                    "constant",
                                    "too many missing",
                                    "one category dominates",
                                    "too many categories",
                                    "too small std. deviation",
                                    "too small variation"};

// Record layout: column 0 the target, columns 1-6 the predictors. The data is generated from a
// fixed seed so the example prints the same every time.
class CustomerRecords : public NQCommon::RecordIterator {
 public:
  explicit CustomerRecords(int n) : fnLeft(n), fRecord(7) {}
  bool Next() override {
    if (fnLeft-- <= 0) return false;
    const double plan = Draw(3);    // 0 basic, 1 plus, 2 premium
    const double region = Draw(4);  // unrelated to renewal
    const double spend = 20.0 + 2.0 * plan + Draw(30);
    const double tenure = 1.0 + Draw(60);
    const double calls = Draw(8);
    // Renewal depends on plan, tenure and support calls, with noise.
    const double score = plan * 0.6 + tenure / 40.0 - calls * 0.25 + Draw(6);
    fRecord[0] = score > 3.5 ? 1.0 : 0.0;
    fRecord[1] = plan;
    fRecord[2] = region;
    fRecord[3] = spend;
    fRecord[4] = tenure;
    fRecord[5] = Draw(10) == 0 ? NQMV::Missing() : calls;  // some values are missing
    fRecord[6] = 1.0;
    return true;
  }
  NQCommon::Record* GetRecord() override { return &fRecord; }

 private:
  double Draw(unsigned n) {
    fSeed = fSeed * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>((fSeed >> 33) % n);
  }
  int fnLeft;
  unsigned long long fSeed = 2026;
  NQCommon::Record fRecord;
};

}  // namespace

int main() {
  // plan, region and constant_flag are categorical; the others continuous.
  FSSettings settings(std::vector<bool>{true, true, false, false, false, true}, true);
  settings.SetTargetPosition(0);

  FSFactory factory;
  std::unique_ptr<IFSAlgorithm> algorithm(factory.CreateFSAlgorithm(&settings));
  if (!algorithm) {
    std::printf("could not create the algorithm (status %ld)\n",
                factory.GetStatus().GetErrorCode());
    return 1;
  }
  CustomerRecords records(400);
  const NQFeature::NQStatus status = algorithm->AccumulateAndRank(records, -1, true, 0);
  if (status.IsError()) {
    std::printf("ranking failed with status %ld\n", status.GetErrorCode());
    return 1;
  }

  double weightedValid, weightedExcluded;
  int valid, excluded;
  algorithm->GetNValidNExcluded(weightedValid, weightedExcluded, valid, excluded);
  std::printf("%d valid records, %d excluded\n", valid, excluded);

  const std::vector<int>& deleted = algorithm->GetIndicesDelPred();
  const std::vector<int>& reasons = algorithm->GetReasonsDelPred();
  for (size_t k = 0; k < deleted.size(); ++k) {
    std::printf("screened out: %s (%s)\n", kPredictorNames[deleted[k]], kReasonNames[reasons[k]]);
  }

  for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
    const auto criterion = static_cast<NQFSCommon::RankCriteria>(c);
    if (!settings.GetCriterion(criterion)) continue;
    std::vector<int> indices;
    std::vector<double> values;
    algorithm->GetTopPredictors(criterion, indices, values, 0);
    std::printf("\nBest predictors by %s:\n", kCriterionNames[c]);
    for (size_t k = 0; k < indices.size(); ++k) {
      if (NQMV::IsMissing(values[k])) {
        std::printf("  %zu. %-14s (no value)\n", k + 1, kPredictorNames[indices[k]]);
      } else {
        std::printf("  %zu. %-14s %.6g\n", k + 1, kPredictorNames[indices[k]], values[k]);
      }
    }
  }
  return 0;
}
