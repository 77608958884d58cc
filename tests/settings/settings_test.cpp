// The settings model: what each constructor gives, which criteria may be switched on and off,
// how the criteria follow the predictor and target types, and the setters' acceptance rules.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/state_files.h"
#include "fsrank/fsrank.h"

using namespace NQFSCommon;

namespace {

const char kInitials[] = "PLCAFT";

// The criteria that are on (or, with change, that a single SetCriterion call on a copy of s
// switches on or off), as their initials. A refused switch must change nothing.
std::string Criteria(const FSSettings& s, bool on, bool change) {
  std::string out;
  for (int c = 0; c < kNumCriteria; ++c) {
    const auto criterion = static_cast<RankCriteria>(c);
    if (s.GetCriterion(criterion) == on) {
      if (!change) out += kInitials[c];
    } else if (change) {
      FSSettings t = s;
      const bool accepted = t.SetCriterion(criterion, on);
      if (accepted) out += kInitials[c];
      EXPECT_EQ(t.GetCriterion(criterion), accepted == on) << kInitials[c];
      if (!accepted) {
        EXPECT_EQ(t.GetCriteria(), s.GetCriteria()) << kInitials[c];
      }
    }
  }
  return out;
}

// "|types| set-type on off:may-be-switched-off on:may-be-switched-on": the types of predictors
// -1 to n as c (categorical) or n, so the bars are the out-of-range indices, which are never
// categorical; the set type as stored (0 all categorical, 1 all continuous, 2 mixed, 3 none).
std::string Shape(const FSSettings& s) {
  std::string types;
  for (int i = -1; i <= s.GetNPredictors(); ++i)
    types += s.IsCatPredictor(i) ? 'c' : (i < 0 || i == s.GetNPredictors() ? '|' : 'n');
  EXPECT_EQ(s.GetNCatPredictors(), std::count(types.begin(), types.end(), 'c'));
  return types + " " + std::to_string(s.GetTypeAllPredictors()) + " " + Criteria(s, true, false) +
         " off:" + Criteria(s, false, true) + " on:" + Criteria(s, true, true);
}

FSSettings ContTarget(FSSettings s) {
  s.SetTargetType(false);
  return s;
}

}  // namespace

TEST(FSSettings, ConstructorsDefaultsAndWhichCriteriaMayChange) {
  const std::pair<FSSettings, const char*> rows[] = {
      {FSSettings(3, true, true), "|ccc| 0 PLCA off:PLCA on:"},
      {FSSettings(3, false, true), "|nnn| 1 F off: on:"},
      {FSSettings({true, false, false}, true), "|cnn| 2 PLF off:PL on:"},
      {FSSettings(3, true, false), "|ccc| 0 F off: on:"},
      {FSSettings(3, false, false), "|nnn| 1 T off: on:"},
      {FSSettings({true, false, false}, false), "|cnn| 2 FT off: on:"},
      // No predictor yet: every criterion may be switched on but TStat for a categorical target.
      {FSSettings(), "|| 3  off: on:PLCAF"},
      {ContTarget(FSSettings()), "|| 3  off: on:PLCAFT"},
      {FSSettings(std::vector<bool>{}, true), "|| 0 PLCA off:PLCA on:"},
      {FSSettings(-5, true, true), "|| 0 PLCA off:PLCA on:"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(Shape(row.first), row.second);
}

TEST(FSSettings, OneOfTheChiSquareFamilyStaysOn) {
  FSSettings cat(4, true, true);
  cat.SetCriterion(Pearson, false);
  cat.SetCriterion(Likelihood, false);
  cat.SetCriterion(Cramer, false);
  EXPECT_EQ(Shape(cat), "|cccc| 0 A off: on:PLC");
  EXPECT_TRUE(cat.SetCriterion(Lambda, true) && cat.SetCriterion(FStat, false));  // no change
  FSSettings mixed({true, false}, true);
  mixed.SetCriterion(Pearson, false);
  EXPECT_EQ(Shape(mixed), "|cn| 2 LF off: on:P");
  // Without predictors, switching off follows the mixed rules.
  FSSettings none;
  none.SetCriterion(Cramer, true);
  none.SetCriterion(FStat, true);
  EXPECT_EQ(Shape(none), "|| 3 CF off: on:PLA");
  none.SetCriterion(Pearson, true);
  EXPECT_EQ(Shape(none), "|| 3 PCF off:PC on:LA");
  for (int bad : {6, -1}) {
    EXPECT_FALSE(none.SetCriterion(static_cast<RankCriteria>(bad), true));
    EXPECT_FALSE(none.GetCriterion(static_cast<RankCriteria>(bad)));
  }
}

TEST(FSSettings, CriteriaFollowThePredictorAndTargetTypes) {
  FSSettings one;
  one.AddPredictor(true);
  EXPECT_EQ(Shape(one), "|c| 0 PLCA off:PLCA on:");
  one.AddPredictor(false);
  EXPECT_EQ(Shape(one), "|cn| 2 PLF off:PL on:");
  one.AddPredictor(true);
  EXPECT_EQ(Shape(one), "|cnc| 2 PLF off:PL on:");

  FSSettings batch;
  batch.AddPredictors(0, true);
  EXPECT_EQ(Shape(batch), "|| 3  off: on:PLCAF");
  batch.AddPredictors(3, false);
  batch.AddPredictors(2, false);
  EXPECT_EQ(Shape(batch), "|nnnnn| 1 F off: on:");
  batch.AddPredictors(2, true);
  EXPECT_EQ(Shape(batch), "|nnnnncc| 2 PLF off:PL on:");

  FSSettings ten(10, false, true);
  ten.SetPredictorType(3, true);
  EXPECT_EQ(Shape(ten), "|nnncnnnnnn| 2 PLF off:PL on:");
  ten.SetPredictorType(3, false);
  EXPECT_EQ(Shape(ten), "|nnnnnnnnnn| 1 F off: on:");
  ten.SetPredictorType(0, 9, true);  // the chi-square choices survive; FStat is not valid
  ten.SetPredictorType(5, 4, false);
  ten.SetPredictorType(8, 10, false);
  ten.SetPredictorType(12, false);
  EXPECT_EQ(Shape(ten), "|cccccccccc| 0 PL off:PL on:CA");

  FSSettings target(4, true, true);
  target.SetCriterion(Cramer, false);
  target.SetTargetType(false);
  EXPECT_EQ(Shape(target), "|cccc| 0 F off: on:");
  target.SetTargetType(true);  // none of the four is on: all four come back
  EXPECT_EQ(Shape(target), "|cccc| 0 PLCA off:PLCA on:");
  FSSettings mixed({true, false}, true);
  mixed.SetCriterion(Pearson, false);
  mixed.SetTargetType(false);
  EXPECT_EQ(Shape(mixed), "|cn| 2 FT off: on:");
  mixed.SetTargetType(true);
  EXPECT_EQ(Shape(mixed), "|cn| 2 PLF off:PL on:");
}

// Values taken at the edges of their ranges survive every value the setters must refuse.
TEST(FSSettings, SettersIgnoreValuesOutOfRange) {
  FSSettings s;
  s.SetMaxPctMiss(25);
  s.SetMaxPctSingle(100);
  s.SetMaxNCatAsPct(0);
  s.SetMinVariation(0);
  s.SetMinStddev(2.5);
  s.SetCaseIDPosition(4);
  s.SetWeightPosition(2);
  s.SetNSkippedRecordReports(0);
  s.SetNSkippedPredictorReports(0);
  const std::string taken = Chunk(s);
  for (double bad : {150.0, 100.0000001, -1.0, -1e-300, std::nan("")}) {
    s.SetMaxPctMiss(bad);
    s.SetMaxPctSingle(bad);
    s.SetMaxNCatAsPct(bad);
    if (bad > 0) continue;
    s.SetMinVariation(bad);
    s.SetMinStddev(bad);
  }
  for (int bad : {-1, -3}) {
    s.SetCaseIDPosition(bad);
    s.SetWeightPosition(bad);
    s.SetNSkippedRecordReports(bad);
    s.SetNSkippedPredictorReports(bad);
  }
  EXPECT_EQ(Chunk(s), taken);
  s.SetTargetPosition(-7);  // any negative position means no target
  EXPECT_EQ(s.GetTargetPosition(), -1);
}

TEST(FSSettings, NBestPredictors) {
  const FSSettings s(900, true, true);
  const int cases[][2] = {{10, 10}, {100, 30}, {400, 40}, {0, 60}, {-3, 60}, {30, 30}, {1, 1}};
  for (const auto& c : cases)
    EXPECT_EQ(s.GetNBestPredictors(c[0]), c[1]) << c[0];
  EXPECT_EQ(FSSettings().GetNBestPredictors(0), 0);
}
