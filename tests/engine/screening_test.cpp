// Deleting predictors: the all-missing/constant check, the screening rules at their
// thresholds, the deleted lists, the warnings, and the no-target check.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "engine/support/hosts.h"

using enginetest::CancelAt;
using enginetest::kMiss;
using enginetest::RowIterator;
using enginetest::Rows;
using enginetest::TestEngine;
using NQFeature::NQStatus;

namespace {

// Settings with every screening rule off; a test switches on the one it looks at. The target
// is column 0 (categorical) and an as-is weight column follows the predictors.
FSSettings Quiet(const std::vector<bool>& types) {
  FSSettings s(types, true);
  s.SetTargetPosition(0);
  s.SetWeightPosition(static_cast<int>(types.size()) + 1);
  s.SetWeightConv(NQFSCommon::WeightAsIs);
  s.SetFlagDeleteIfManyMiss(false);
  s.SetFlagDeleteIfManySingle(false);
  s.SetFlagDeleteIfManyCategories(false);
  s.SetFlagDeleteIfSmallVariation(false);
  s.SetFlagDeleteIfSmallStddev(false);
  return s;
}

// One predictor: the reason ScreenPredictors gives it (0 when it stays).
int ScreenOne(FSSettings& s, const Rows& rows) {
  TestEngine e(s);
  RowIterator it(rows);
  e.AccumulateRecords(it, -1);
  e.ScreenPredictors();
  EXPECT_EQ(e.GetStatus(), EngineChecked);
  return e.GetNDeletedPred() == 0 ? 0 : e.GetReasonsDelPred()[0];
}

// Rows of one predictor: (target, value, weight).
Rows OnePredictor(const std::vector<std::pair<double, double>>& valueWeights) {
  Rows rows;
  int i = 0;
  for (auto [x, w] : valueWeights)
    rows.push_back({static_cast<double>(i++ % 2), x, w});
  return rows;
}

}  // namespace

// Each rule alone, at its threshold and just beyond it, on quantities the engine's accumulators
// supply (the rules' own edges are the accumulator-level screening test's).
TEST(Screening, ThresholdsAtEqualityAndJustBeyond) {
  struct Rule {
    void (FSSettings::*on)(bool);
    void (FSSettings::*threshold)(double);
    bool categorical;
  };
  const Rule manyMiss{&FSSettings::SetFlagDeleteIfManyMiss, &FSSettings::SetMaxPctMiss, true},
      manySingle{&FSSettings::SetFlagDeleteIfManySingle, &FSSettings::SetMaxPctSingle, true},
      manyCats{&FSSettings::SetFlagDeleteIfManyCategories, &FSSettings::SetMaxNCatAsPct, true},
      smallVar{&FSSettings::SetFlagDeleteIfSmallVariation, &FSSettings::SetMinVariation, false},
      smallSd{&FSSettings::SetFlagDeleteIfSmallStddev, &FSSettings::SetMinStddev, false};
  // Categories weighing 8, 1 and 1, and 10 missing: the largest share is 0.8 of the valid
  // weight, not 0.4.
  const Rows dominant = OnePredictor({{3, 8}, {4, 1}, {5, 1}, {kMiss, 10}});
  // K = 3 categories among n = 10 valid values (weights do not matter): 0.3.
  std::vector<std::pair<double, double>> cats;
  for (int i = 0; i < 10; ++i)
    cats.emplace_back(i % 3, 0.5 + i);
  cats.emplace_back(kMiss, 4.0);
  // Values 0 and 2 in one target category: sd = sqrt(2).
  const Rows spread = {{1, 0, 1}, {1, 2, 1}};
  const double sd = std::sqrt(2.0);
  const struct {
    const char* what;
    Rule rule;
    double threshold;
    Rows rows;
    int reason;
  } cases[] = {
      {"missing at 50%", manyMiss, 50,
       OnePredictor({{1, 2.5}, {2, 2.5}, {kMiss, 2.5}, {kMiss, 2.5}}), 0},
      {"missing beyond 50%", manyMiss, 50,
       OnePredictor({{1, 2.5}, {2, 2.4999990}, {kMiss, 5.000001}}), ReasonManyMissing},
      {"dominant at 80%", manySingle, 80, dominant, 0},
      {"dominant beyond", manySingle, 79.9, dominant, ReasonManyConst},
      {"categories at 30%", manyCats, 30, OnePredictor(cats), 0},
      {"categories beyond", manyCats, 29.9, OnePredictor(cats), ReasonManyCategs},
      {"variation small", smallVar, 0.01, OnePredictor({{1000, 1}, {1000.001, 1}}), ReasonSmallVar},
      {"variation large", smallVar, 0.01, OnePredictor({{1, 1}, {2, 1}}), 0},
      {"sd at", smallSd, sd, spread, 0},
      {"sd beyond", smallSd, sd / 0.999, spread, ReasonSmallStdDev},
  };
  for (const auto& c : cases) {
    FSSettings s = Quiet({c.rule.categorical});
    (s.*c.rule.on)(true);
    (s.*c.rule.threshold)(c.threshold);
    EXPECT_EQ(ScreenOne(s, c.rows), c.reason) << c.what;
  }
}

TEST(Screening, DeletedListsStaySortedByIndex) {
  // Predictor 5 is all missing (check, reason 1), predictor 2 mostly missing (screening,
  // reason 3): the lists become (2, 5) and (3, 1).
  FSSettings s(6, false, true);
  s.SetTargetPosition(0);
  s.SetMaxPctMiss(50);
  TestEngine e(s);
  Rows rows;
  for (int i = 0; i < 8; ++i) {
    const double x = i * 1.5 + 1;
    rows.push_back({static_cast<double>(i % 2), x, -x, i < 5 ? kMiss : x, x * x, x + 3, kMiss});
  }
  RowIterator it(rows);
  e.AccumulateRecords(it, -1);
  EXPECT_TRUE(e.CheckPredAllMissConst().IsOK());
  EXPECT_EQ(e.GetIndicesDelPred(), std::vector<int>{5});
  EXPECT_TRUE(e.ScreenPredictors().IsOK());
  EXPECT_EQ(e.GetIndicesDelPred(), (std::vector<int>{2, 5}));
  EXPECT_EQ(e.GetReasonsDelPred(), (std::vector<int>{ReasonManyMissing, ReasonAllMissing}));
  EXPECT_EQ(e.GetAccumulators()[2], nullptr);
  EXPECT_EQ(e.GetAccumulators()[5], nullptr);
  EXPECT_NE(e.GetAccumulators()[3], nullptr);
  EXPECT_EQ(e.GetNRemaining(), 4);
  bool all = true;
  EXPECT_EQ(e.CountDeleted(all), 2);
  EXPECT_FALSE(all);
  // Running them again deletes nothing more.
  EXPECT_TRUE(e.CheckPredAllMissConst().IsOK());
  EXPECT_TRUE(e.ScreenPredictors().IsOK());
  EXPECT_EQ(e.GetNDeletedPred(), 2);
}

// No predictors at all; the check deleting everything (80010); screening deleting the last one.
// Afterwards there is nothing left to check or screen (80011).
TEST(Screening, Warnings) {
  const long kAllByCheck = NQFeature::StatusAllDeletedByCheck;
  const struct {
    int predictors;
    Rows rows;
    long check;
    std::vector<int> reasons;
  } cases[] = {
      {0, {{1.0}}, NQFeature::StatusNoPredictorsLeft, {}},
      {2, {{1, 3, kMiss}, {0, 3, kMiss}}, kAllByCheck, {ReasonAllConst, ReasonAllMissing}},
      {1, {{1, 3}, {0, 4}, {1, kMiss}}, 0, {ReasonManyMissing}},
  };
  const NQStatus noneLeft(NQFeature::StatusNoPredictorsLeft, true);
  for (const auto& c : cases) {
    FSSettings s(c.predictors, true, true);
    s.SetTargetPosition(0);
    s.SetMaxPctMiss(10);
    TestEngine e(s);
    RowIterator it(c.rows);
    e.AccumulateRecords(it, -1);
    EXPECT_EQ(e.CheckPredAllMissConst(), c.check ? NQStatus(c.check, true) : NQStatus());
    EXPECT_EQ(e.GetStatus(), EngineChecked);
    EXPECT_EQ(e.ScreenPredictors(), noneLeft) << c.predictors;
    EXPECT_EQ(e.GetReasonsDelPred(), c.reasons) << c.predictors;
    EXPECT_EQ(e.CheckPredAllMissConst(), noneLeft) << c.predictors;
  }
}

TEST(Screening, CancellationKeepsTheDeletionsSoFar) {
  FSSettings s(4, true, true);
  s.SetTargetPosition(0);
  CancelAt query(3);  // the pass asks once per record (2), the check once per predictor
  TestEngine e(s, &query);
  RowIterator it({{1, kMiss, 5, kMiss, kMiss}});
  e.AccumulateRecords(it, -1);
  e.CheckPredAllMissConst();
  EXPECT_EQ(e.GetIndicesDelPred(), std::vector<int>{0});
  EXPECT_EQ(e.GetStatus(), EngineChecked);
}

TEST(Screening, BeforeAnyDataPass) {
  FSSettings s(3, true, true);
  TestEngine e(s);
  const NQStatus noPass(NQFeature::StatusNoDataPass, false);
  std::vector<int> indices;
  std::vector<std::vector<int>> reasons;
  EXPECT_EQ(e.CheckPredAllMissConst(), noPass);
  EXPECT_EQ(e.ScreenPredictors(), noPass);
  EXPECT_EQ(e.ScreenPredictorsNoTarget(indices, reasons), noPass);
  EXPECT_EQ(e.ComputeCriteria(), noPass);
  EXPECT_EQ(e.GetStatus(), EngineInitial);
  EXPECT_FALSE(e.IsPassCompleted());
  EXPECT_EQ(e.GetNDeletedPred(), 0);
  // Released engines have nothing to work on either.
  e.Release();
  EXPECT_EQ(e.ScreenPredictors(), noPass);
}

TEST(NoTargetCheck, ListsEveryRuleEachPredictorBreaks) {
  // Predictor 0 breaks rules 1 and 3 (6 of 10 missing, 4 categories among 4 values);
  // predictors 1 and 2 break none.
  FSSettings s(3, true, true);
  s.SetTargetPosition(-1);
  s.SetMaxPctMiss(50);
  TestEngine e(s);
  Rows rows;
  for (int i = 0; i < 10; ++i)
    rows.push_back({i < 6 ? kMiss : static_cast<double>(i), static_cast<double>(i % 2),
                    static_cast<double>(i % 3)});
  RowIterator it(rows);
  EXPECT_TRUE(e.AccumulateNoTarget(it, -1).IsOK());
  std::vector<int> indices{42};
  std::vector<std::vector<int>> reasons{{1, 2}};
  EXPECT_TRUE(e.ScreenPredictorsNoTarget(indices, reasons).IsOK());
  EXPECT_EQ(indices, std::vector<int>{0});
  ASSERT_EQ(reasons.size(), 1u);
  EXPECT_EQ(reasons[0], (std::vector<int>{ReasonManyMissing, ReasonManyCategs}));
  EXPECT_EQ(e.GetNDeletedPred(), 0);
  EXPECT_EQ(e.GetStatus(), EngineAccumulated);  // the check does not change the state
  EXPECT_TRUE(e.IsPassCompleted());
}

TEST(NoTargetCheck, EveryPredictorFlagged) {
  FSSettings s(2, true, true);
  s.SetTargetPosition(-1);
  s.SetMaxPctMiss(10);
  TestEngine e(s);
  RowIterator it({{kMiss, kMiss}, {1, 2}});
  e.AccumulateNoTarget(it, -1);
  std::vector<int> indices;
  std::vector<std::vector<int>> reasons;
  EXPECT_EQ(e.ScreenPredictorsNoTarget(indices, reasons),
            NQStatus(NQFeature::StatusNoPredictorsLeft, true));
  EXPECT_EQ(indices, (std::vector<int>{0, 1}));
}
