// The screening rules at, just below and just above their thresholds; their switches; the
// reasons in rule order; and how the single-variable accumulators feed them.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accum/screening_rules.h"
#include "accum/single_accum.h"

namespace {

constexpr double kHalfUlpBelowOne = 1.0 - 0x1p-53;  // the largest double below 1 is 1 - 2^-53

struct CatCase {
  const char* what;
  double maxMiss, maxSingle, maxNCat;  // percentages
  double W, M;
  std::vector<double> weights;  // one per category
  int n;
  std::vector<int> reasons;
};

struct ContCase {
  const char* what;
  double maxMiss, minStd, minVar;
  double W, M, mean, sd;
  std::vector<int> reasons;
};

FSSettings Thresholds(double maxMiss, double maxSingle, double maxNCat, double minStd,
                      double minVar) {
  FSSettings s;
  s.SetMaxPctMiss(maxMiss);
  s.SetMaxPctSingle(maxSingle);
  s.SetMaxNCatAsPct(maxNCat);
  s.SetMinStddev(minStd);
  s.SetMinVariation(minVar);
  return s;
}

void CheckCat(const CatCase& c) {
  const FSSettings s = Thresholds(c.maxMiss, c.maxSingle, c.maxNCat, 0.0, 0.0);
  FSMapICnt table;
  for (size_t i = 0; i < c.weights.size(); ++i)
    table.Add(static_cast<int>(i), c.weights[i]);
  const CatScreenInput in{c.W, c.M, &table, c.n};
  std::vector<int> all = {99};
  EXPECT_EQ(ScreenAllCategorical(&s, in, all), static_cast<int>(c.reasons.size())) << c.what;
  EXPECT_EQ(all, c.reasons) << c.what;
  EXPECT_EQ(ScreenCategorical(&s, in), c.reasons.empty() ? 0 : c.reasons[0]) << c.what;
}

void CheckCont(const ContCase& c) {
  const FSSettings s = Thresholds(c.maxMiss, 95.0, 90.0, c.minStd, c.minVar);
  const ContScreenInput in{c.W, c.M, c.mean, c.sd};
  std::vector<int> all = {99};
  EXPECT_EQ(ScreenAllContinuous(&s, in, all), static_cast<int>(c.reasons.size())) << c.what;
  EXPECT_EQ(all, c.reasons) << c.what;
  EXPECT_EQ(ScreenContinuous(&s, in), c.reasons.empty() ? 0 : c.reasons[0]) << c.what;
}

}  // namespace

TEST(Screening, ReasonWords) {
  const std::vector<std::string> words = {"",          "allMissing", "allConst",    "manyMissing",
                                          "manyConst", "manyCategs", "smallStdDev", "smallVar",
                                          ""};
  for (int r = 0; r <= 8; ++r)
    EXPECT_EQ(DeletionReasonName(r), words[static_cast<size_t>(r)]);
  EXPECT_STREQ(DeletionReasonName(-1), "");
}

TEST(Screening, CategoricalThresholds) {
  const CatCase cases[] = {
      // Rule 1: M / W against 50 %.
      {"missing at threshold", 50, 100, 100, 4, 2, {1, 1}, 2, {}},
      {"missing below", 50, 100, 100, 4, 1.9999999, {1, 1}, 2, {}},
      {"missing above", 50, 100, 100, 4, 2.0000001, {1, 1}, 2, {3}},
      {"no weight at all", 0, 100, 100, 0, 0, {}, 0, {}},
      {"threshold 0: any missing weight", 0, 100, 100, 4, 1e-300, {1}, 1, {3}},
      // Rule 2: largest / valid weight against 95 %; W plays no part.
      {"single at threshold", 100, 95, 100, 20, 0, {19, 1}, 2, {}},
      {"single below", 100, 95, 100, 20, 0, {18.99999, 1}, 2, {}},
      {"single above", 100, 95, 100, 20, 0, {19.00001, 1}, 2, {4}},
      {"valid weight is the denominator", 100, 95, 100, 200, 180, {19.2, 0.8}, 2, {4}},
      {"one category", 100, 95, 100, 3, 0, {3}, 3, {4}},
      {"no category", 100, 0, 100, 3, 3, {}, 0, {}},
      // Rule 3: K / n against 50 %.
      {"categories at threshold", 100, 100, 50, 4, 0, {1, 1}, 4, {}},
      {"categories below", 100, 100, 50, 5, 0, {1, 1}, 5, {}},
      {"categories above", 100, 100, 50, 3, 0, {1, 1}, 3, {5}},
      {"no valid case counted", 100, 100, 0, 3, 0, {1, 1}, 0, {}},
      {"90 % exactly", 100, 100, 90, 10, 0, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 10, {}},
      // All three, in rule order.
      {"every rule", 10, 50, 50, 10, 8, {1.5, 0.5}, 2, {3, 4, 5}},
      {"rules 2 and 3", 90, 50, 50, 10, 8, {1.5, 0.5}, 2, {4, 5}},
  };
  for (const CatCase& c : cases)
    CheckCat(c);
}

TEST(Screening, ContinuousThresholds) {
  const ContCase cases[] = {
      // Rule 1, and nothing more once every value is missing.
      {"missing above", 50, 0, 0, 4, 2.5, 1, 1, {3}},
      {"missing at threshold", 50, 0, 0, 4, 2, 1, 1, {}},
      {"all missing: rule 1 only", 50, 1, 1, 3, 3, 0, 0, {3}},
      {"all missing, rule 1 off", 100, 1, 1, 3, 3, 0, 0, {}},
      // Rule 4: sd against d = 1 with the machine-epsilon tolerance.
      {"sd equal", 100, 1, 0, 4, 0, 0, 1, {}},
      {"sd above", 100, 1, 0, 4, 0, 0, 1.001, {}},
      {"sd half an ulp below", 100, 1, 0, 4, 0, 0, kHalfUlpBelowOne, {}},
      {"sd 2^-52 below", 100, 1, 0, 4, 0, 0, 1.0 - 0x1p-52, {}},
      {"sd 2^-51 below", 100, 1, 0, 4, 0, 0, 1.0 - 0x1p-51, {6}},
      {"sd 0.999", 100, 1, 0, 4, 0, 0, 0.999, {6}},
      {"d = 0 is off", 100, 0, 0, 4, 0, 0, 0, {}},
      // Rule 5: cv = |sd / mean| against v.
      {"cv equal", 100, 0, 0.001, 4, 0, 1000, 1, {}},
      {"cv below", 100, 0, 0.001, 4, 0, 1000, 0.999, {7}},
      {"cv above", 100, 0, 0.001, 4, 0, 1000, 1.001, {}},
      {"cv of a negative mean", 100, 0, 0.001, 4, 0, -1000, 0.999, {7}},
      {"cv half an ulp below", 100, 0, 1, 4, 0, 1, kHalfUlpBelowOne, {}},
      {"cv 0.999", 100, 0, 1, 4, 0, 1, 0.999, {7}},
      {"mean 0", 100, 0, 0.001, 4, 0, 0, 1e-9, {}},
      {"sd 0, mean 0", 100, 0, 0.001, 4, 0, 0, 0, {7}},
      {"sd 0, v = 0 is off", 100, 0, 0, 4, 0, 5, 0, {}},
      // All three, in rule order.
      {"every rule", 50, 1, 0.5, 10, 8, 2, 0, {3, 6, 7}},
      {"rules 4 and 5", 90, 1, 0.5, 10, 8, 2, 0.5, {6, 7}},
  };
  for (const ContCase& c : cases)
    CheckCont(c);
}

TEST(Screening, SwitchesTurnRulesOff) {
  FSMapICnt table;
  table.Add(1, 10.0);
  const CatScreenInput cat{100, 90, &table, 1};
  const ContScreenInput cont{100, 90, 5, 0};
  FSSettings s = Thresholds(10, 10, 10, 1, 0.5);
  std::vector<int> all;
  EXPECT_EQ(ScreenAllCategorical(&s, cat, all), 3);
  EXPECT_EQ(ScreenAllContinuous(&s, cont, all), 3);
  s.SetFlagDeleteIfManyMiss(false);
  EXPECT_EQ(ScreenCategorical(&s, cat), 4);
  EXPECT_EQ(ScreenContinuous(&s, cont), 6);
  s.SetFlagDeleteIfManySingle(false);
  s.SetFlagDeleteIfSmallStddev(false);
  EXPECT_EQ(ScreenCategorical(&s, cat), 5);
  EXPECT_EQ(ScreenContinuous(&s, cont), 7);
  s.SetFlagDeleteIfManyCategories(false);
  s.SetFlagDeleteIfSmallVariation(false);
  EXPECT_EQ(ScreenCategorical(&s, cat), 0);
  EXPECT_EQ(ScreenContinuous(&s, cont), 0);
  EXPECT_EQ(ScreenAllContinuous(&s, cont, all), 0);
  EXPECT_TRUE(all.empty());
  // Without settings nothing is deleted.
  EXPECT_EQ(ScreenCategorical(nullptr, cat), 0);
  all = {1};
  EXPECT_EQ(ScreenAllContinuous(nullptr, cont, all), 0);
  EXPECT_TRUE(all.empty());
}

TEST(Screening, SingleVariableAccumulatorsSupplyTheirQuantities) {
  FSSettings s;  // 70 % missing, 95 % single, 90 % categories, cv 0.001, sd rule off
  FSCatAccum cat;
  for (int i = 0; i < 20; ++i)
    cat.AddValueNoTarget(i < 19 ? 1.0 : 2.0, 1.0, true);
  EXPECT_EQ(cat.Screen(&s), 0);  // 19 / 20 is exactly 95 %
  cat.AddValueNoTarget(1.0, 1.0, true);
  EXPECT_EQ(cat.Screen(&s), ReasonManyConst);
  cat.AddMissing(100.0);
  std::vector<int> all;
  EXPECT_EQ(cat.ScreenAll(&s, all), 2);
  EXPECT_EQ(all, (std::vector<int>{ReasonManyMissing, ReasonManyConst}));

  FSContAccum cont;
  cont.AddValueNoTarget(1000.0, 1.0, true);
  cont.AddValueNoTarget(1000.0, 1.0, true);
  cont.FinishPass();
  EXPECT_EQ(cont.Screen(&s), ReasonSmallVar);  // sd 0
  cont.AddValueNoTarget(1002.0, 1.0, true);
  EXPECT_EQ(cont.Screen(&s), ReasonSmallVar);  // variance not finished yet
  cont.FinishPass();
  EXPECT_EQ(cont.Screen(&s), 0);  // cv = sqrt(4/3) / 1000.67 > 0.001
  s.SetMinStddev(2.0);
  EXPECT_EQ(cont.ScreenAll(&s, all), 1);
  EXPECT_EQ(all, (std::vector<int>{ReasonSmallStdDev}));

  FSContAccum missingOnly;
  missingOnly.AddMissing(1.0);
  s.SetFlagDeleteIfManyMiss(false);
  EXPECT_EQ(missingOnly.Screen(&s), 0);
  EXPECT_EQ(missingOnly.ScreenAll(&s, all), 0);
}
