// The one-way analysis of variance over a table of per-category statistics, shared by the two
// pair accumulators that keep one (a variable's weight, mean and spread per category of the
// other).
#ifndef FSRANK_ACCUM_ANOVA_H
#define FSRANK_ACCUM_ANOVA_H

#include "accum/accumulator.h"
#include "accum/maps.h"

// Sets each category's variance to sumSq / (weight - 1), or 0 when weight - 1 is not > 0.
void FinishCategoryVariances(FSMapIStat& stats);

// The F test of equal means across the categories of stats, whose pooled mean is grandMean
// and valid weight n. Sets extra1 and extra2 to the two degrees of freedom; value to the
// upper-tail p-value and fStat to F when both degrees of freedom and the within-category sum
// of squares are positive (both stay as they were when the distribution fails); value to 0,
// fStat untouched, when the within-category sum of squares is not positive (a perfect
// separation); otherwise leaves value and fStat as they were. With exact tails, the p-value is
// the F distribution's upper tail, and a test without two categories, without more cases than
// categories or without any spread of the variable leaves value missing.
void OneWayFTest(const FSMapIStat& stats, double grandMean, double n, TailMode tails, double& value,
                 double& fStat, double& extra1, double& extra2);

// GetStats of an accumulator whose FStat criterion is this test: a to d are the p-value, F and
// the two degrees of freedom under FStat (true), all missing under any other criterion (false).
bool OneWayFStats(const IFSPredTargetAccum& accum, int criterion, const CriterionContext& context,
                  double& a, double& b, double& c, double& d);

#endif  // FSRANK_ACCUM_ANOVA_H
