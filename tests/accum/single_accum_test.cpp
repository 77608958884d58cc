// The single-variable accumulators: the weight test, categories and constancy, the weighted
// moments, the empty criterion operations and the displays.
#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accum/single_accum.h"

namespace {

struct WeightedValue {
  double x;
  double w;
};

FSContAccum Cont(const std::vector<WeightedValue>& values) {
  FSContAccum a;
  for (const WeightedValue& v : values)
    a.AddValueNoTarget(v.x, v.w, true);
  a.FinishPass();
  return a;
}

std::string Show(const IFSPredTargetAccum& a) {
  std::ostringstream os;
  a.Display(os);
  return os.str();
}

}  // namespace

TEST(SingleAccum, FreshAndUnusableWeightsLeaveEverythingUntouched) {
  std::vector<std::unique_ptr<IFSPredTargetAccum>> accums;
  accums.emplace_back(new FSCatAccum);
  accums.emplace_back(new FSContAccum);
  for (auto& a : accums) {
    EXPECT_TRUE(a->IsAllMissing());
    EXPECT_TRUE(a->IsConstant());
    for (double w : {0.0, -1.0, std::nan(""), -std::numeric_limits<double>::infinity()}) {
      a->AddMissing(w);
      a->AddValueNoTarget(1.0, w, true);
      a->AddValueNoTarget(2.0, w, true);
    }
    a->AddValue(3.0, 4.0, 1.0, 1);  // not a pair class: ignored
    EXPECT_TRUE(a->IsAllMissing());
    EXPECT_TRUE(a->IsConstant());
  }
  FSCatAccum cat;
  cat.AddValueNoTarget(1.0, 0.0, true);
  cat.AddMissing(std::nan(""));
  EXPECT_EQ(cat.GetProcessed(), 0.0);
  EXPECT_EQ(cat.GetUnweightedValid(), 0);
  EXPECT_EQ(cat.GetCategories().Size(), 0);
  EXPECT_EQ(cat.GetFirstCategory(), -1);
}

TEST(SingleAccum, AllMissingUntilAValidValue) {
  FSCatAccum cat;
  FSContAccum cont;
  cat.AddMissing(2.5);
  cont.AddMissing(2.5);
  EXPECT_TRUE(cat.IsAllMissing());
  EXPECT_TRUE(cont.IsAllMissing());
  EXPECT_EQ(cat.GetMissing(), 2.5);
  EXPECT_EQ(cont.GetProcessed(), 2.5);
  cat.AddValueNoTarget(1.0, 0.5, true);
  cont.AddValueNoTarget(1.0, 0.5, true);
  EXPECT_FALSE(cat.IsAllMissing());
  EXPECT_FALSE(cont.IsAllMissing());
  EXPECT_TRUE(cat.IsConstant());
  EXPECT_TRUE(cont.IsConstant());
}

TEST(FSCatAccum, CategoriesTruncateTowardZero) {
  struct Case {
    double x;
    int category;
  };
  const Case cases[] = {{2.9, 2},
                        {-0.7, 0},
                        {-2.5, -2},
                        {2147483647.9, 2147483647},
                        {-2147483648.9, -2147483647 - 1},
                        {std::nan(""), -2147483647 - 1},
                        {1e300, -2147483647 - 1},
                        {-std::numeric_limits<double>::infinity(), -2147483647 - 1}};
  for (const Case& c : cases) {
    FSCatAccum a;
    a.AddValueNoTarget(c.x, 1.0, true);
    ASSERT_EQ(a.GetCategories().Size(), 1) << c.x;
    EXPECT_EQ(a.GetCategories().At(0).first, c.category) << c.x;
    EXPECT_EQ(a.GetFirstCategory(), c.category) << c.x;
  }
}

TEST(FSCatAccum, ConstancyFollowsCategories) {
  FSCatAccum a;
  a.AddValueNoTarget(3.0, 1.0, true);
  a.AddMissing(4.0);
  a.AddValueNoTarget(3.9, 1.0, true);
  EXPECT_TRUE(a.IsConstant());
  ASSERT_EQ(a.GetCategories().Size(), 1);
  EXPECT_EQ(a.GetCategories().At(0), (std::pair<int, double>(3, 2.0)));
  EXPECT_EQ(a.GetUnweightedValid(), 2);
  EXPECT_EQ(a.GetProcessed(), 6.0);

  a.AddValueNoTarget(-0.7, 0.5, true);
  EXPECT_FALSE(a.IsConstant());
  a.AddValueNoTarget(3.0, 1.0, true);  // once fallen, the flag stays down
  EXPECT_FALSE(a.IsConstant());
  EXPECT_EQ(a.GetFirstCategory(), 3);
  EXPECT_EQ(a.GetUnweightedValid(), 4);
}

TEST(FSCatAccum, WithoutKeepOnlyTheCountsGrow) {
  FSCatAccum a;
  a.AddValueNoTarget(1.0, 2.0, false);
  a.AddValueNoTarget(2.0, 2.0, false);
  EXPECT_EQ(a.GetCategories().Size(), 0);
  EXPECT_EQ(a.GetProcessed(), 4.0);
  EXPECT_EQ(a.GetUnweightedValid(), 2);
  EXPECT_FALSE(a.IsConstant());
}

TEST(FSContAccum, WeightedMoments) {
  struct Case {
    const char* what;
    std::vector<WeightedValue> values;
    double mean, secondMoment, variance;
  };
  const Case cases[] = {
      {"1 2 3 4", {{1, 1}, {2, 1}, {3, 1}, {4, 1}}, 2.5, 5.0, 5.0 / 3.0},
      {"1 (w 2), 4", {{1, 2}, {4, 1}}, 2.0, 6.0, 3.0},
      {"one case", {{7, 1}}, 7.0, 0.0, 0.0},
      {"one case of weight 1.5", {{7, 1.5}}, 7.0, 0.0, 0.0},
      {"two halves", {{2, 0.5}, {4, 0.5}}, 3.0, 1.0, 0.0},
      {"constant", {{-3, 1}, {-3, 2}, {-3, 4}}, -3.0, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    const FSContAccum a = Cont(c.values);
    EXPECT_EQ(a.GetMean(), c.mean) << c.what;
    EXPECT_EQ(a.GetSecondMoment(), c.secondMoment) << c.what;
    EXPECT_EQ(a.GetVariance(), c.variance) << c.what;
  }
}

TEST(FSContAccum, MissingWeightIsNotPartOfTheMoments) {
  FSContAccum a;
  a.AddMissing(10.0);
  a.AddValueNoTarget(1.0, 2.0, true);
  a.AddMissing(5.0);
  a.AddValueNoTarget(4.0, 1.0, true);
  a.FinishPass();
  EXPECT_EQ(a.GetMean(), 2.0);
  EXPECT_EQ(a.GetSecondMoment(), 6.0);
  EXPECT_EQ(a.GetVariance(), 3.0);
  a.FinishPass();  // finishing twice gives the same
  EXPECT_EQ(a.GetVariance(), 3.0);
  EXPECT_EQ(a.GetProcessed(), 18.0);
  EXPECT_EQ(a.GetMissing(), 15.0);
}

TEST(FSContAccum, SecondPassAddsToTheSums) {
  FSContAccum a = Cont({{1, 1}, {2, 1}});
  EXPECT_EQ(a.GetVariance(), 0.5);
  a.AddValueNoTarget(3, 1, true);
  a.AddValueNoTarget(4, 1, true);
  EXPECT_EQ(a.GetVariance(), 0.5);  // until the pass is finished
  a.FinishPass();
  EXPECT_EQ(a.GetVariance(), 5.0 / 3.0);
}

TEST(FSContAccum, ConstancyComparesExactly) {
  FSContAccum a;
  EXPECT_TRUE(NQMV::IsMissing(a.GetFirstValue()));
  a.AddValueNoTarget(5.0, 1.0, true);
  a.AddValueNoTarget(5.0, 3.0, true);
  EXPECT_TRUE(a.IsConstant());
  a.AddValueNoTarget(5.0000001, 1.0, true);
  EXPECT_FALSE(a.IsConstant());
  EXPECT_EQ(a.GetFirstValue(), 5.0);
}

TEST(SingleAccum, NoCriteriaAndNoStats) {
  FSCatAccum cat;
  FSContAccum cont = Cont({{1, 1}, {2, 1}});
  for (IFSPredTargetAccum* a :
       {static_cast<IFSPredTargetAccum*>(&cat), static_cast<IFSPredTargetAccum*>(&cont)}) {
    for (int criterion = 0; criterion < 6; ++criterion) {
      double v[5] = {1, 2, 3, 4, 5};
      a->ComputeCriterion(criterion, v[0], v[1], v[2], v[3], v[4]);
      EXPECT_EQ(std::vector<double>(v, v + 5), (std::vector<double>{1, 2, 3, 4, 5}));
      EXPECT_FALSE(a->GetStats(criterion, v[0], v[1], v[2], v[3]));
      EXPECT_EQ(std::vector<double>(v, v + 5), (std::vector<double>{1, 2, 3, 4, 5}));
    }
  }
  EXPECT_TRUE(cat.IsCategorical());
  EXPECT_FALSE(cont.IsCategorical());
}

TEST(SingleAccum, Displays) {
  FSCatAccum cat;
  cat.AddValueNoTarget(3.0, 1.0, true);
  cat.AddValueNoTarget(1.0, 0.5, true);
  cat.AddMissing(2.0);
  EXPECT_EQ(Show(cat),
            "\nStart of FSCatAccum display\n\n"
            "Number of variable categories = 2\n"
            "Number of processed cases = 3.5\n"
            "Number of unweighted valid cases = 2\n"
            "Number of missing cases = 2\n"
            "The first non-missing category = 3\n"
            "This is not constant\n"
            "\nCase counts of predictor categories:\n"
            "\nStart of FSMapICnt display\n\nMap size = 2\n"
            "Key = 1, Value = 0.5\nKey = 3, Value = 1\n\nEnd of FSMapICnt display\n"
            "\nEnd of FSCatAccum display\n");

  FSContAccum fresh;
  EXPECT_EQ(Show(fresh),
            "\nStart of FSContAccum display\n\n"
            "Number of processed cases = 0\n"
            "Number of missing cases = 0\n"
            "The first non-missing value = -1.79769e+308\n"
            "This is constant\n"
            "\nMean = 0\n"
            "\nSecond moment = 0\n"
            "\nVariance = 0\n"
            "\nEnd of FSContAccum display\n");
  const FSContAccum cont = Cont({{1, 2}, {4, 1}});
  EXPECT_NE(Show(cont).find("\nMean = 2\n\nSecond moment = 6\n\nVariance = 3\n"),
            std::string::npos);
}
