// The settings model: defaults, type transitions, the criteria validity rules and the setters'
// acceptance rules.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsrank/fsrank.h"

using namespace NQFSCommon;

namespace {

// The criteria switched on, as a string of their initials (P L C A F T) for compact tables.
std::string On(const FSSettings& s) {
  const char initials[] = "PLCAFT";
  std::string out;
  for (int c = 0; c < kNumCriteria; ++c) {
    if (s.GetCriterion(static_cast<RankCriteria>(c))) out += initials[c];
  }
  return out;
}

FSSettings Make(bool catTarget, int setType) {
  switch (setType) {
    case AllCategorical:
      return FSSettings(4, true, catTarget);
    case AllContinuous:
      return FSSettings(4, false, catTarget);
    default:
      return FSSettings(std::vector<bool>{true, false, true, false}, catTarget);
  }
}

}  // namespace

TEST(FSSettings, Defaults) {
  FSSettings s;
  EXPECT_EQ(s.GetNPredictors(), 0);
  EXPECT_EQ(s.GetTypeAllPredictors(), 3);
  EXPECT_TRUE(s.IsCatTarget());
  EXPECT_EQ(On(s), "");
  EXPECT_EQ(s.GetCriteria().size(), 6u);
  EXPECT_EQ(s.GetTargetPosition(), 0);
  EXPECT_EQ(s.GetCaseIDPosition(), -1);
  EXPECT_EQ(s.GetWeightPosition(), -1);
  EXPECT_EQ(s.GetWeightConv(), WeightRound);
  EXPECT_EQ(s.GetMaxPctMiss(), 70.0);
  EXPECT_EQ(s.GetMaxPctSingle(), 95.0);
  EXPECT_EQ(s.GetMaxNCatAsPct(), 90.0);
  EXPECT_EQ(s.GetMinVariation(), 0.001);
  EXPECT_EQ(s.GetMinStddev(), 0.0);
  EXPECT_TRUE(s.GetFlagDeleteIfManyMiss() && s.GetFlagDeleteIfManySingle() &&
              s.GetFlagDeleteIfManyCategories() && s.GetFlagDeleteIfSmallVariation() &&
              s.GetFlagDeleteIfSmallStddev());
  EXPECT_FALSE(s.GetFlagTrInput());
  EXPECT_EQ(s.GetNSkippedRecordReports(), 99);
  EXPECT_EQ(s.GetNSkippedPredictorReports(), 99);
  EXPECT_EQ(s.GetProgressListener(), nullptr);
  EXPECT_EQ(s.GetCancelPointer(), nullptr);
}

TEST(FSSettings, ConstructorsSetTypesCountsAndDefaultCriteria) {
  FSSettings cat(3, true, true);
  EXPECT_EQ(cat.GetNCatPredictors(), 3);
  EXPECT_EQ(cat.GetTypeAllPredictors(), AllCategorical);
  EXPECT_EQ(On(cat), "PLCA");
  FSSettings cont(3, false, false);
  EXPECT_EQ(cont.GetNCatPredictors(), 0);
  EXPECT_EQ(On(cont), "T");
  FSSettings mixed(std::vector<bool>{true, false, false}, true);
  EXPECT_EQ(mixed.GetNCatPredictors(), 1);
  EXPECT_EQ(mixed.GetTypeAllPredictors(), Mixed);
  EXPECT_EQ(On(mixed), "PLF");
  FSSettings empty(std::vector<bool>{}, true);
  EXPECT_EQ(empty.GetTypeAllPredictors(), AllCategorical);
  FSSettings negative(-5, true, true);  // taken as no predictors
  EXPECT_EQ(negative.GetNPredictors(), 0);
  EXPECT_FALSE(negative.IsCatPredictor(0));
}

// Validity table: for every target and set type, which criteria may be switched on and off,
// and the defaults.
TEST(FSSettings, CriteriaValidityTable) {
  struct Row {
    bool catTarget;
    int setType;
    std::string defaults;
    std::string mayBeOn;
  };
  const Row rows[] = {
      {true, AllCategorical, "PLCA", "PLCA"},
      {true, AllContinuous, "F", "F"},
      {true, Mixed, "PLF", "PLF"},
      {false, AllCategorical, "F", "F"},
      {false, AllContinuous, "T", "T"},
      {false, Mixed, "FT", "FT"},
  };
  const char initials[] = "PLCAFT";
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.catTarget ? "cat" : "cont") + " target, set type " +
                 std::to_string(row.setType));
    FSSettings s = Make(row.catTarget, row.setType);
    EXPECT_EQ(On(s), row.defaults);
    for (int c = 0; c < kNumCriteria; ++c) {
      FSSettings t = s;
      const bool allowed = row.mayBeOn.find(initials[c]) != std::string::npos;
      EXPECT_EQ(t.SetCriterion(static_cast<RankCriteria>(c), true), allowed) << initials[c];
      if (!allowed) {
        EXPECT_EQ(On(t), row.defaults);
      }
    }
  }
}

TEST(FSSettings, SwitchingOffKeepsTheRequiredCriteria) {
  FSSettings cat(4, true, true);
  EXPECT_TRUE(cat.SetCriterion(Pearson, false));
  EXPECT_TRUE(cat.SetCriterion(Likelihood, false));
  EXPECT_TRUE(cat.SetCriterion(Cramer, false));
  EXPECT_EQ(On(cat), "A");
  EXPECT_FALSE(cat.SetCriterion(Lambda, false));  // the last of the four stays
  EXPECT_EQ(On(cat), "A");
  EXPECT_TRUE(cat.SetCriterion(Lambda, true));  // already on
  EXPECT_TRUE(cat.SetCriterion(FStat, false));  // already off

  FSSettings mixed(std::vector<bool>{true, false}, true);
  EXPECT_FALSE(mixed.SetCriterion(FStat, false));
  EXPECT_TRUE(mixed.SetCriterion(Pearson, false));
  EXPECT_FALSE(mixed.SetCriterion(Likelihood, false));
  EXPECT_EQ(On(mixed), "LF");

  FSSettings contMixed(std::vector<bool>{true, false}, false);
  EXPECT_FALSE(contMixed.SetCriterion(FStat, false));
  EXPECT_FALSE(contMixed.SetCriterion(TStat, false));
  FSSettings contCat(3, true, false);
  EXPECT_FALSE(contCat.SetCriterion(FStat, false));
  FSSettings contCont(3, false, false);
  EXPECT_FALSE(contCont.SetCriterion(TStat, false));
}

// Before the first predictor every criterion may be switched on except TStat for a categorical
// target; switching off follows the same steps as for a set type that is not 0 or 1.
TEST(FSSettings, UnrecognisedSetType) {
  FSSettings s;
  EXPECT_FALSE(s.SetCriterion(TStat, true));
  EXPECT_TRUE(s.SetCriterion(Cramer, true));
  EXPECT_TRUE(s.SetCriterion(FStat, true));
  EXPECT_FALSE(s.SetCriterion(FStat, false));
  EXPECT_FALSE(s.SetCriterion(Cramer, false));  // the only one of the four that is on
  EXPECT_TRUE(s.SetCriterion(Pearson, true));
  EXPECT_TRUE(s.SetCriterion(Cramer, false));
  EXPECT_FALSE(s.SetCriterion(static_cast<RankCriteria>(6), true));
  EXPECT_FALSE(s.SetCriterion(static_cast<RankCriteria>(-1), true));
  EXPECT_FALSE(s.GetCriterion(static_cast<RankCriteria>(6)));
}

TEST(FSSettings, AddPredictorTransitions) {
  FSSettings s;
  s.AddPredictor(true);
  EXPECT_EQ(s.GetTypeAllPredictors(), AllCategorical);
  EXPECT_EQ(On(s), "PLCA");
  s.AddPredictor(false);
  EXPECT_EQ(s.GetTypeAllPredictors(), Mixed);
  EXPECT_EQ(On(s), "PLF");
  s.AddPredictor(true);  // stays mixed, nothing else changes
  EXPECT_EQ(s.GetTypeAllPredictors(), Mixed);
  EXPECT_EQ(s.GetNPredictors(), 3);
  EXPECT_EQ(s.GetNCatPredictors(), 2);

  FSSettings t;
  t.AddPredictors(0, true);
  EXPECT_EQ(t.GetTypeAllPredictors(), 3);
  t.AddPredictors(3, false);
  EXPECT_EQ(t.GetTypeAllPredictors(), AllContinuous);
  EXPECT_EQ(On(t), "F");
  t.AddPredictors(2, false);
  EXPECT_EQ(t.GetTypeAllPredictors(), AllContinuous);
  t.AddPredictors(2, true);
  EXPECT_EQ(t.GetTypeAllPredictors(), Mixed);
  EXPECT_EQ(t.GetNPredictors(), 7);
  EXPECT_EQ(t.GetNCatPredictors(), 2);
  EXPECT_TRUE(t.IsCatPredictor(6));
  EXPECT_FALSE(t.IsCatPredictor(4));
  EXPECT_FALSE(t.IsCatPredictor(7));
  EXPECT_FALSE(t.IsCatPredictor(-1));
}

TEST(FSSettings, SetPredictorTypeBackAndForth) {
  FSSettings s(10, false, true);
  s.SetPredictorType(3, true);
  EXPECT_EQ(s.GetTypeAllPredictors(), Mixed);
  EXPECT_EQ(s.GetNCatPredictors(), 1);
  EXPECT_EQ(On(s), "PLF");
  s.SetPredictorType(3, false);
  EXPECT_EQ(s.GetTypeAllPredictors(), AllContinuous);
  EXPECT_EQ(On(s), "F");
  s.SetPredictorType(0, 9, true);
  EXPECT_EQ(s.GetTypeAllPredictors(), AllCategorical);
  EXPECT_EQ(s.GetNCatPredictors(), 10);
  EXPECT_EQ(On(s), "PL");  // the host's chi-square choices survive; FStat is no longer valid
  s.SetPredictorType(5, 4, false);   // from > to: nothing
  s.SetPredictorType(8, 10, false);  // to out of range: nothing
  s.SetPredictorType(12, false);
  EXPECT_EQ(s.GetNCatPredictors(), 10);
}

TEST(FSSettings, TargetTypeChangeAdjustsCriteria) {
  FSSettings s(4, true, true);
  EXPECT_TRUE(s.SetCriterion(Cramer, false));
  s.SetTargetType(false);
  EXPECT_EQ(On(s), "F");
  EXPECT_FALSE(s.SetCriterion(Pearson, true));
  s.SetTargetType(true);  // none of the four on: all four come back
  EXPECT_EQ(On(s), "PLCA");

  FSSettings mixed(std::vector<bool>{true, false}, true);
  EXPECT_TRUE(mixed.SetCriterion(Pearson, false));
  mixed.SetTargetType(false);
  EXPECT_EQ(On(mixed), "FT");
  mixed.SetTargetType(true);
  EXPECT_EQ(On(mixed), "PLF");
}

TEST(FSSettings, SettersIgnoreValuesOutOfRange) {
  FSSettings s;
  const double rejected[] = {150.0, -1.0, std::nan(""), 100.0000001};
  for (double p : rejected) {
    s.SetMaxPctMiss(p);
    s.SetMaxPctSingle(p);
    s.SetMaxNCatAsPct(p);
  }
  EXPECT_EQ(s.GetMaxPctMiss(), 70.0);
  EXPECT_EQ(s.GetMaxPctSingle(), 95.0);
  EXPECT_EQ(s.GetMaxNCatAsPct(), 90.0);
  s.SetMaxPctMiss(25);
  EXPECT_EQ(s.GetMaxPctMiss(), 25.0);
  s.SetMaxPctSingle(100);
  EXPECT_EQ(s.GetMaxPctSingle(), 100.0);
  s.SetMaxNCatAsPct(0);
  EXPECT_EQ(s.GetMaxNCatAsPct(), 0.0);

  s.SetMinVariation(-0.5);
  s.SetMinVariation(std::nan(""));
  EXPECT_EQ(s.GetMinVariation(), 0.001);
  s.SetMinStddev(-1);
  EXPECT_EQ(s.GetMinStddev(), 0.0);
  s.SetMinStddev(2.5);
  EXPECT_EQ(s.GetMinStddev(), 2.5);

  s.SetTargetPosition(-7);
  EXPECT_EQ(s.GetTargetPosition(), -1);
  s.SetCaseIDPosition(4);
  s.SetCaseIDPosition(-1);
  EXPECT_EQ(s.GetCaseIDPosition(), 4);
  s.SetWeightPosition(2);
  s.SetWeightPosition(-3);
  EXPECT_EQ(s.GetWeightPosition(), 2);
  s.SetNSkippedRecordReports(-1);
  s.SetNSkippedPredictorReports(-1);
  EXPECT_EQ(s.GetNSkippedRecordReports(), 99);
  s.SetNSkippedRecordReports(0);
  EXPECT_EQ(s.GetNSkippedRecordReports(), 0);
}

TEST(FSSettings, NBestPredictors) {
  FSSettings s(900, true, true);
  struct Case {
    int n;
    int expected;
  };
  const Case cases[] = {{10, 10}, {100, 30}, {400, 40}, {0, 60}, {-3, 60}, {30, 30}, {1, 1}};
  for (const Case& c : cases)
    EXPECT_EQ(s.GetNBestPredictors(c.n), c.expected) << c.n;
  FSSettings none;
  EXPECT_EQ(none.GetNBestPredictors(0), 0);
}

TEST(FSSettings, CopiesShareHostPointers) {
  struct NoCancel : NQQueryCancel {
    bool IsCancelRequested() override { return false; }
  } cancel;
  FSSettings s(2, true, true);
  s.SetCancelPointer(&cancel);
  FSSettings copy(s);
  EXPECT_EQ(copy.GetCancelPointer(), &cancel);
  EXPECT_EQ(On(copy), On(s));
}
