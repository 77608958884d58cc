// The shared display routines and the settings display.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsrank/fsrank.h"
#include "settings/display.h"

// Each printer's output for a few inputs; the double printer restores the stream's precision.
TEST(DisplayRoutines, Texts) {
  std::vector<int> twelve;
  for (int i = 1; i <= 12; ++i)
    twelve.push_back(i);
  std::ostringstream os;
  os.precision(3);
  DisplayVector(os, "Empty", std::vector<int>{});
  DisplayVector(os, "Types", std::vector<bool>{true});
  DisplayVector(os, "Types", std::vector<bool>{true, false, true});
  DisplayVector(os, "Ints", twelve);
  DisplayVector(os, "Values", std::vector<double>{1.0 / 3.0, NQMV::Missing(), -2.5});
  EXPECT_EQ(os.precision(), 3);
  for (int type : {0, 2, 3, -1})
    DisplaySetType(os, type);
  for (int state : {1, 7, 0})
    DisplayEngineState(os, state);
  DisplayNamedValue(os, "Criterion value", NQMV::Missing());
  DisplayNamedValue(os, "1st tie-breaking value", 0.25);
  EXPECT_EQ(os.str(),
            "Empty: <empty>\n"
            "Types (1 element): \n  true \n"
            "Types (3 elements): \n  true  false   true \n"
            "Ints (12 elements): \n"
            "          1           2           3           4           5           6"
            "           7           8           9          10 \n"
            "         11          12 \n"
            "Values (3 elements): \n  0.3333333 <missing>        -2.5 \n"
            "All categorical\nMixed\nUnrecognized\nUnrecognized\n"
            "Initial\nPredictors ranked\nUnrecognized\n"
            "Criterion value = <missing>\n1st tie-breaking value = 0.25\n");
}

TEST(FSSettingsDisplay, DefaultSettings) {
  FSSettings s;
  std::ostringstream os;
  s.Display(os);
  EXPECT_EQ(os.str(),
            "\nStart of FSSettings display\n"
            "Number of predictors = 0\n"
            "Predictor types (if true, categorical): <empty>\n"
            "Number of categorical predictors = 0\n"
            "Predictor set type = Unrecognized\n"
            "Target type (if target is defined) = categorical\n"
            "Ranking criteria (if true, compute) (6 elements): \n"
            " false  false  false  false  false  false \n"
            "Progress listener address = 0\n"
            "Cancel status check address = 0\n"
            "Number of records to skip for progress report = 99\n"
            "Number of predictors to skip for progress report = 99\n"
            "Input is in the form of records\n"
            "Target position = 0\n"
            "Case ID position = undefined\n"
            "Frequency weight position = undefined\n"
            "Maximum percent of missing values = 70\n"
            "Variable with too many missing is deleted\n"
            "Maximum percent of single category = 95\n"
            "Variable with too many single category values is deleted\n"
            "Maximum number of categories as percent of number of cases = 90\n"
            "Variable with too many categories is deleted\n"
            "Minimum coefficient of variation = 0.001\n"
            "Variable with too small variation is deleted\n"
            "Minimum standard deviation = 0\n"
            "Variable with too small standard deviation is deleted\n"
            "End of FSSettings display\n");
}

TEST(FSSettingsDisplay, PositionsWeightsAndSwitches) {
  FSSettings s(3, false, false);
  s.SetTargetPosition(-1);
  s.SetCaseIDPosition(2);
  s.SetWeightPosition(1);
  s.SetWeightConv(NQFSCommon::WeightTruncate);
  s.SetFlagTrInput(true);
  s.SetFlagDeleteIfManyMiss(false);
  std::ostringstream os;
  s.Display(os);
  s.SetWeightConv(static_cast<NQFSCommon::WeightToFreq>(7));
  s.Display(os);
  const std::string text = os.str();
  for (const char* line :
       {"Predictor types (if true, categorical) (3 elements): \n false  false  false \n",
        "Predictor set type = All continuous\n",
        "Target type (if target is defined) = continuous\n",
        "Input is in the form of transactions\n", "No target is defined\n",
        "Case ID position = 2\n", "Frequency weight position = 1\n",
        "Case weight converted to frequency by truncating to integer\n",
        "Variable with too many missing is not deleted\n", "by unrecognized method\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
}
