// A small host program: describes a predictor set and shows which ranking criteria the library
// will compute for it.
#include <fsrank/fsrank.h>

#include <iostream>

namespace {

const char* const kCriterionNames[] = {"Pearson", "Likelihood", "Cramer",
                                       "Lambda",  "FStat",      "TStat"};

void ShowCriteria(const char* title, const FSSettings& settings) {
  std::cout << title << ":";
  for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
    if (settings.GetCriterion(static_cast<NQFSCommon::RankCriteria>(c))) {
      std::cout << ' ' << kCriterionNames[c];
    }
  }
  std::cout << '\n';
}

}  // namespace

int main() {
  FSSettings settings;
  settings.AddPredictors(3, true);  // three categorical predictors
  ShowCriteria("3 categorical predictors, categorical target", settings);
  settings.AddPredictor(false);  // and one continuous
  ShowCriteria("plus 1 continuous predictor", settings);
  settings.SetTargetType(false);
  ShowCriteria("with a continuous target", settings);
  std::cout << "Suggested number of best predictors for 400 candidates: "
            << settings.GetNBestPredictors(400) << '\n';
  return 0;
}
