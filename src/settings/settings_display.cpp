#include "core/display.h"
#include "fsrank/settings.h"

void FSSettings::Display(std::ostream& os) const {
  auto deleted = [](bool on) { return on ? " is deleted\n" : " is not deleted\n"; };
  os << "\nStart of FSSettings display\n";
  os << "Number of predictors = " << fnPredictors << '\n';
  DisplayVector(os, "Predictor types (if true, categorical)", fvPredictorTypes);
  os << "Number of categorical predictors = " << fnCatPredictors << '\n';
  os << "Predictor set type = ";
  DisplaySetType(os, feSetType);
  os << "Target type (if target is defined) = " << (fbCatTarget ? "categorical" : "continuous")
     << '\n';
  DisplayVector(os, "Ranking criteria (if true, compute)", fvCriteria);
  os << "Progress listener address = " << static_cast<const void*>(fpListener) << '\n';
  os << "Cancel status check address = " << static_cast<const void*>(fpCancel) << '\n';
  os << "Number of records to skip for progress report = " << fnSkipRecords << '\n';
  os << "Number of predictors to skip for progress report = " << fnSkipPredictors << '\n';
  os << (fbTrInput ? "Input is in the form of transactions\n"
                   : "Input is in the form of records\n");
  if (fnTargetPosition < 0) {
    os << "No target is defined\n";
  } else {
    os << "Target position = " << fnTargetPosition << '\n';
  }
  os << "Case ID position = ";
  if (fnCaseIDPosition < 0) {
    os << "undefined\n";
  } else {
    os << fnCaseIDPosition << '\n';
  }
  os << "Frequency weight position = ";
  if (fnWeightPosition < 0) {
    os << "undefined\n";
  } else {
    os << fnWeightPosition << '\n';
    static const char* const kMethods[] = {"using weight as is", "rounding to nearest integer",
                                           "truncating to integer"};
    os << "Case weight converted to frequency by "
       << (feWeightConv >= 0 && feWeightConv <= 2 ? kMethods[feWeightConv] : "unrecognized method")
       << '\n';
  }
  os << "Maximum percent of missing values = " << fdMaxMiss * 100.0 << '\n';
  os << "Variable with too many missing" << deleted(fbDeleteManyMiss);
  os << "Maximum percent of single category = " << fdMaxSingle * 100.0 << '\n';
  os << "Variable with too many single category values" << deleted(fbDeleteManySingle);
  os << "Maximum number of categories as percent of number of cases = " << fdMaxNCat * 100.0
     << '\n';
  os << "Variable with too many categories" << deleted(fbDeleteManyCategories);
  os << "Minimum coefficient of variation = " << fdMinVariation << '\n';
  os << "Variable with too small variation" << deleted(fbDeleteSmallVariation);
  os << "Minimum standard deviation = " << fdMinStddev << '\n';
  os << "Variable with too small standard deviation" << deleted(fbDeleteSmallStddev);
  if (fbExactTails) os << "P-values are upper tails computed directly\n";
  os << "End of FSSettings display\n";
}
