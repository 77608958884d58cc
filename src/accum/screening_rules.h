// The screening rules, written once over the quantities every accumulator supplies: the weight
// of all cases W and of the missing ones M, and either the predictor's category table and its
// unweighted number of valid cases, or the predictor's weighted mean and standard deviation.
#ifndef FSRANK_ACCUM_SCREENING_RULES_H
#define FSRANK_ACCUM_SCREENING_RULES_H

#include <vector>

#include "accum/accumulator.h"
#include "accum/maps.h"
#include "fsrank/settings.h"

// What the rules of a categorical predictor read.
struct CatScreenInput {
  double processed;             // W
  double missing;               // M
  const FSMapICnt* categories;  // the predictor's category weights (K = its size)
  int unweightedValid;          // n
};

// What the rules of a continuous predictor read.
struct ContScreenInput {
  double processed;  // W
  double missing;    // M
  double mean;
  double sd;
};

// Screen: the first reason that holds (rules 1, 2, 3), 0 when none or without settings.
int ScreenCategorical(const FSSettings* settings, const CatScreenInput& in);
// ScreenAll: empties reasons, appends every reason that holds in rule order, returns how many.
int ScreenAllCategorical(const FSSettings* settings, const CatScreenInput& in,
                         std::vector<int>& reasons);

// Screen: rule 1, then nothing more when every value is missing, then rules 4 and 5.
int ScreenContinuous(const FSSettings* settings, const ContScreenInput& in);
int ScreenAllContinuous(const FSSettings* settings, const ContScreenInput& in,
                        std::vector<int>& reasons);

#endif  // FSRANK_ACCUM_SCREENING_RULES_H
