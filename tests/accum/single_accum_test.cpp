// The single-variable accumulators: the weight test, categories and constancy, the weighted
// moments, the criterion operations they do not have, and the displays.
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accum/support/accum_cases.h"

using namespace accumtest;

namespace {

const double kNaN = std::nan("");

}  // namespace

TEST(SingleAccum, UnusableWeightsAndPairOperationsChangeNothing) {
  std::unique_ptr<IFSPredTargetAccum> accums[] = {std::make_unique<FSCatAccum>(),
                                                  std::make_unique<FSContAccum>()};
  for (auto& a : accums) {
    for (double w : {0.0, -1.0, kNaN, -std::numeric_limits<double>::infinity()}) {
      a->AddMissing(w);
      a->AddValueNoTarget(1.0, w, true);
      a->AddValueNoTarget(2.0, w, true);
    }
    a->AddValue(3.0, 4.0, 1.0, 1);  // not a pair class: ignored
    a->FinishPass();
    EXPECT_TRUE(a->IsAllMissing() && a->IsConstant());
    // No criterion and no statistics: the outputs are left as they were.
    for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
      EXPECT_EQ(Criterion(*a, c), (V{1, 2, 3, 4, 5}));
      EXPECT_EQ(Stats(*a, c), (V{0, 2, 3, 4, 5}));
    }
  }
  EXPECT_EQ(Shown(*accums[0]), Shown(FSCatAccum()));
  EXPECT_EQ(Shown(*accums[1]), Shown(FSContAccum()));
  EXPECT_TRUE(accums[0]->IsCategorical());
  EXPECT_FALSE(accums[1]->IsCategorical());
}

TEST(SingleAccum, AllMissingUntilAValidValue) {
  FSCatAccum cat;
  FSContAccum cont;
  for (IFSPredTargetAccum* a : std::vector<IFSPredTargetAccum*>{&cat, &cont}) {
    a->AddMissing(2.5);
    EXPECT_TRUE(a->IsAllMissing());
    a->AddValueNoTarget(1.0, 0.5, true);
    EXPECT_FALSE(a->IsAllMissing());
    EXPECT_TRUE(a->IsConstant());
  }
  EXPECT_EQ(cat.GetMissing(), 2.5);
  EXPECT_EQ(cont.GetProcessed(), 3.0);
}

TEST(FSCatAccum, CategoriesTruncateTowardZero) {
  const int kLowest = std::numeric_limits<int>::min();
  const std::pair<double, int> cases[] = {{2.9, 2},
                                          {-0.7, 0},
                                          {-2.5, -2},
                                          {2147483647.9, 2147483647},
                                          {-2147483648.9, kLowest},
                                          {kNaN, kLowest},
                                          {1e300, kLowest},
                                          {-std::numeric_limits<double>::infinity(), kLowest}};
  for (const auto& [x, category] : cases) {
    FSCatAccum a;
    a.AddValueNoTarget(x, 1.0, true);
    ASSERT_EQ(a.GetPredCategories().Size(), 1) << x;
    EXPECT_EQ(a.GetPredCategories().At(0).first, category) << x;
    EXPECT_EQ(a.GetFirstCategory(), category) << x;
  }
}

TEST(FSCatAccum, ConstancyFollowsCategories) {
  auto a = Fed<FSCatAccum>({{3.0, 0, 1}, {kNaN, 0, 4}, {3.9, 0, 1}});
  EXPECT_TRUE(a.IsConstant());
  ASSERT_EQ(a.GetPredCategories().Size(), 1);
  EXPECT_EQ(a.GetPredCategories().At(0), (std::pair<int, double>(3, 2.0)));
  EXPECT_EQ(a.GetUnweightedValid(), 2);
  EXPECT_EQ(a.GetProcessed(), 6.0);
  a.AddValueNoTarget(-0.7, 0.5, true);
  a.AddValueNoTarget(3.0, 1.0, true);  // once fallen, the flag stays down
  EXPECT_FALSE(a.IsConstant());
  EXPECT_EQ(a.GetFirstCategory(), 3);
  EXPECT_EQ(a.GetUnweightedValid(), 4);
  // Without keep only the counts grow.
  FSCatAccum counts;
  counts.AddValueNoTarget(1.0, 2.0, false);
  counts.AddValueNoTarget(2.0, 2.0, false);
  EXPECT_EQ(counts.GetPredCategories().Size(), 0);
  EXPECT_EQ(counts.GetProcessed(), 4.0);
  EXPECT_EQ(counts.GetUnweightedValid(), 2);
  EXPECT_FALSE(counts.IsConstant());
}

TEST(FSContAccum, WeightedMoments) {
  struct Row {
    const char* what;
    std::vector<Case> cases;
    double mean, secondMoment, variance;
  };
  const Row rows[] = {
      {"1 2 3 4", {{1, 0, 1}, {2, 0, 1}, {3, 0, 1}, {4, 0, 1}}, 2.5, 5.0, 5.0 / 3.0},
      // Missing weight is not part of the moments.
      {"1 (w 2), 4 and missing", {{kNaN, 0, 10}, {1, 0, 2}, {kNaN, 0, 5}, {4, 0, 1}}, 2, 6, 3},
      {"one case", {{7, 0, 1}}, 7.0, 0.0, 0.0},
      {"one case of weight 1.5", {{7, 0, 1.5}}, 7.0, 0.0, 0.0},
      {"two halves", {{2, 0, 0.5}, {4, 0, 0.5}}, 3.0, 1.0, 0.0},
      {"constant", {{-3, 0, 1}, {-3, 0, 2}, {-3, 0, 4}}, -3.0, 0.0, 0.0},
  };
  for (const Row& row : rows) {
    FSContAccum a = Fed<FSContAccum>(row.cases);
    a.FinishPass();  // finishing twice gives the same
    EXPECT_EQ(a.GetPredMean(), row.mean) << row.what;
    EXPECT_EQ(a.GetSecondMoment(), row.secondMoment) << row.what;
    EXPECT_EQ(a.GetVariance(), row.variance) << row.what;
  }
  // A second pass adds to the sums; the variance follows when it is finished.
  FSContAccum a = Fed<FSContAccum>({{1, 0, 1}, {2, 0, 1}});
  Feed(a, {{3, 0, 1}, {4, 0, 1}}, false);
  EXPECT_EQ(a.GetVariance(), 0.5);
  a.FinishPass();
  EXPECT_EQ(a.GetVariance(), 5.0 / 3.0);
}

TEST(FSContAccum, ConstancyComparesExactly) {
  FSContAccum a;
  EXPECT_TRUE(NQMV::IsMissing(a.GetFirstValue()));
  Feed(a, {{5.0, 0, 1}, {5.0, 0, 3}}, false);
  EXPECT_TRUE(a.IsConstant());
  a.AddValueNoTarget(5.0000001, 1.0, true);
  EXPECT_FALSE(a.IsConstant());
  EXPECT_EQ(a.GetFirstValue(), 5.0);
}

TEST(SingleAccum, Displays) {
  ExpectGoldens(
      {{"goldens/cat_accum.txt", Shown(Fed<FSCatAccum>({{3, 0, 1}, {1, 0, 0.5}, {kNaN, 0, 2}}))},
       {"goldens/cont_accum_fresh.txt", Shown(FSContAccum())},
       {"goldens/cont_accum.txt", Shown(Fed<FSContAccum>({{1, 0, 2}, {4, 0, 1}}))}});
}
