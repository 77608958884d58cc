// The settings display.
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "fsrank/fsrank.h"

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
