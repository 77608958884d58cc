// Sort orders, sorting, ranks and the top-predictor lists, on sort records placed directly in
// the engine's lists.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "engine/support/hosts.h"

using enginetest::kMiss;
using NQFeature::NQStatus;
using NQFSCommon::Cramer;
using NQFSCommon::FStat;
using NQFSCommon::Lambda;
using NQFSCommon::Likelihood;
using NQFSCommon::Pearson;
using NQFSCommon::TStat;
using Access = FSPredictorSetTestAccess;

namespace {

std::vector<int> Indices(const std::vector<FSPredSort*>& list) {
  std::vector<int> out;
  for (const FSPredSort* r : list)
    out.push_back(r->fnIndex);
  return out;
}

}  // namespace

TEST(PredSortOrder, DirectionsOfEachCriterion) {
  struct Case {
    NQFSCommon::RankCriteria c;
    FSPredSort a, b;  // a must come strictly before b
  };
  const Case cases[] = {
      // Value: ascending for the p-values, descending for Cramer and Lambda.
      {Pearson, {0.01, 0, 0, 0}, {0.02, 0, 0, 1}},
      {Likelihood, {0.01, 0, 0, 0}, {0.02, 0, 0, 1}},
      {FStat, {0.01, 0, 0, 0}, {0.02, 0, 0, 1}},
      {TStat, {0.01, 0, 0, 0}, {0.02, 0, 0, 1}},
      {Cramer, {0.5, 0, 0, 0}, {0.4, 0, 0, 1}},
      {Lambda, {0.5, 0, 0, 0}, {0.4, 0, 0, 1}},
      // First tie-break: descending except for Lambda.
      {Pearson, {0.3, 7, 0, 0}, {0.3, 5, 0, 1}},
      {Cramer, {0.3, 2, 0, 0}, {0.3, 1, 0, 1}},
      {Lambda, {0.3, 1, 0, 0}, {0.3, 2, 0, 1}},
      {FStat, {0.3, 7, 0, 0}, {0.3, 5, 0, 1}},
      // Second tie-break: ascending for Pearson and Likelihood, descending for FStat, TStat.
      {Pearson, {0.3, 1, 1, 0}, {0.3, 1, 2, 1}},
      {Likelihood, {0.3, 1, 1, 0}, {0.3, 1, 2, 1}},
      {FStat, {0.3, 1, 2, 0}, {0.3, 1, 1, 1}},
      {TStat, {0.3, 1, 2, 0}, {0.3, 1, 1, 1}},
      // A missing value comes last in every direction, even behind a NaN.
      {Pearson, {1e300, 0, 0, 0}, {kMiss, 0, 0, 1}},
      {Cramer, {-1e300, 0, 0, 0}, {kMiss, 0, 0, 1}},
      {Pearson, {std::nan(""), 0, 0, 0}, {kMiss, 0, 0, 1}},
      {Cramer, {1e-300, 0, 0, 0}, {std::nan(""), 0, 0, 1}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "criterion " << k.c << " a " << k.a.fdValue << "/"
                                    << k.a.fdTieBreak1 << "/" << k.a.fdTieBreak2);
    const FSPredSortOrder before(k.c);
    EXPECT_TRUE(before(&k.a, &k.b));
    EXPECT_FALSE(before(&k.b, &k.a));
  }
  // Cramer and Lambda never look at the second tie-break; two missing values are equivalent.
  const FSPredSort x(0.3, 1, 1, 0), y(0.3, 1, 2, 1), m1(kMiss, 5, 0, 0), m2(kMiss, 1, 0, 1);
  for (auto c : {Cramer, Lambda}) {
    EXPECT_FALSE(FSPredSortOrder(c)(&x, &y));
    EXPECT_FALSE(FSPredSortOrder(c)(&y, &x));
  }
  EXPECT_FALSE(FSPredSortOrder(Pearson)(&m1, &m2));
  EXPECT_FALSE(FSPredSortOrder(Pearson)(&m2, &m1));
}

TEST(Ranking, SortAllAndRankAll) {
  FSSettings s(4, true, true);  // Pearson, Likelihood, Cramer, Lambda
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  const double values[] = {0.01, kMiss, 0.01, 0.2};
  const double ties[] = {5, 9, 7, 1};
  for (int i = 0; i < 4; ++i)
    Access::AddRecord(e, Pearson, values[i], ties[i], 0.0, i);
  EXPECT_TRUE(e.SortAll().IsOK());
  EXPECT_EQ(e.GetStatus(), EngineSortedAll);
  EXPECT_EQ(Indices(e.GetSortList(Pearson)), (std::vector<int>{2, 0, 3, 1}));
  EXPECT_TRUE(e.RankAll().IsOK());
  EXPECT_EQ(e.GetStatus(), EngineRanked);
  EXPECT_EQ(e.GetRanks(Pearson), (std::vector<int>{1, 3, 0, 2}));
  EXPECT_EQ(e.GetRanks(Likelihood), std::vector<int>(4, -1));  // no records

  std::vector<int> idx{99};
  std::vector<double> val{99};
  EXPECT_TRUE(e.GetTopPredictors(Pearson, 0, idx, val).IsOK());
  EXPECT_EQ(idx, (std::vector<int>{2, 0, 3, 1}));
  EXPECT_EQ(val[0], 0.01);
  EXPECT_TRUE(NQMV::IsMissing(val[3]));
}

TEST(Ranking, FullTiesKeepAscendingIndexAfterSortAll) {
  // Enough records for the merge steps of the stable sort, all equal in every field.
  FSSettings s(100, true, true);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  for (int i = 0; i < 100; ++i)
    Access::AddRecord(e, Cramer, i % 3 == 0 ? 0.5 : 0.25, 1.0, static_cast<double>(i), i);
  e.SortAll();
  e.RankAll();
  const std::vector<int>& ranks = e.GetRanks(Cramer);
  // The 34 records with 0.5 come first, each group in ascending index.
  int expected0 = 0, expected1 = 34;
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(ranks[i], i % 3 == 0 ? expected0++ : expected1++) << i;
}

TEST(Ranking, SortBestAndRankBest) {
  FSSettings s(10, true, true);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  for (int i = 0; i < 10; ++i)
    Access::AddRecord(e, Pearson, 0.1 * ((i * 7) % 10), 0.0, 0.0, i);
  EXPECT_TRUE(e.SortBest(3).IsOK());
  EXPECT_EQ(e.GetStatus(), EngineSortedBest);
  EXPECT_EQ(e.GetNBestSorted(), 3);
  EXPECT_TRUE(e.RankBest().IsOK());
  // Values 0.1 * ((7 i) mod 10): predictor 0 has 0, 3 has 0.1, 6 has 0.2.
  std::vector<int> expected(10, -1);
  expected[0] = 0, expected[3] = 1, expected[6] = 2;
  EXPECT_EQ(e.GetRanks(Pearson), expected);

  std::vector<int> idx;
  std::vector<double> val;
  e.GetTopPredictors(Pearson, 10, idx, val);
  EXPECT_EQ(idx, (std::vector<int>{0, 3, 6}));
  e.GetTopPredictors(Pearson, 2, idx, val);
  EXPECT_EQ(idx, (std::vector<int>{0, 3}));
  e.GetTopPredictors(Pearson, 0, idx, val);
  EXPECT_EQ(idx.size(), 3u);
  // A negative count asks for every remaining predictor, even after SortBest(3).
  e.GetTopPredictors(Pearson, -1, idx, val);
  EXPECT_EQ(idx.size(), 10u);
  EXPECT_EQ(std::vector<int>(idx.begin(), idx.begin() + 3), (std::vector<int>{0, 3, 6}));
}

TEST(Ranking, SortBestShrinksKAcrossCriteria) {
  FSSettings s(15, true, true);  // Pearson, Likelihood, Cramer, Lambda
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  for (int i = 0; i < 12; ++i)
    Access::AddRecord(e, Pearson, 1.0 / (i + 1), 0.0, 0.0, i);
  for (int i = 0; i < 15; ++i)
    Access::AddRecord(e, Cramer, 0.01 * i, 0.0, 0.0, i);
  e.SortBest(20);
  EXPECT_EQ(e.GetNBestSorted(), 12);
  e.RankBest();
  // Cramer (descending): the best 12 are predictors 14 down to 3; 0, 1, 2 stay unranked.
  const std::vector<int>& cramer = e.GetRanks(Cramer);
  for (int i = 0; i < 15; ++i)
    EXPECT_EQ(cramer[i], i < 3 ? -1 : 14 - i) << i;
  const std::vector<int>& pearson = e.GetRanks(Pearson);
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(pearson[i], 11 - i) << i;
  EXPECT_EQ(pearson[12], -1);
}

TEST(Ranking, SortBestWithoutCountSortsEveryRemainingPredictor) {
  FSSettings s(6, true, true);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  Access::MarkDeleted(e, 5, ReasonAllMissing);
  for (int i = 0; i < 5; ++i)
    Access::AddRecord(e, Lambda, 0.1 * i, 0.0, 0.0, i);
  e.SortBest(-4);
  EXPECT_EQ(e.GetNBestSorted(), 5);
  e.RankBest();
  EXPECT_EQ(e.GetRanks(Lambda), (std::vector<int>{4, 3, 2, 1, 0, -1}));
}

TEST(Ranking, TopPredictorsOfACriterionSwitchedOff) {
  FSSettings s(3, true, true);  // FStat is off for an all-categorical set
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  std::vector<int> idx{1, 2};
  std::vector<double> val{1.0};
  EXPECT_EQ(e.GetTopPredictors(FStat, 3, idx, val),
            NQStatus(NQFeature::StatusCriterionNotSelected, false));
  EXPECT_TRUE(idx.empty());
  EXPECT_TRUE(val.empty());
}

TEST(Ranking, TStatOnAMixedSetWithContinuousTargetReadsFStat) {
  FSSettings s(std::vector<bool>{true, false, false}, false);  // FStat and TStat
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  Access::AddRecord(e, FStat, 0.3, 0, 0, 0);
  Access::AddRecord(e, FStat, 0.1, 0, 0, 1);
  Access::AddRecord(e, FStat, 0.2, 0, 0, 2);
  e.SortAll();
  e.RankAll();
  EXPECT_EQ(e.GetRanks(TStat), (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(&e.GetRanks(TStat), &e.GetRanks(FStat));
  EXPECT_EQ(&e.GetCriterionValues(TStat), &e.GetCriterionValues(FStat));
  std::vector<int> idx;
  std::vector<double> val;
  EXPECT_TRUE(e.GetTopPredictors(TStat, 2, idx, val).IsOK());
  EXPECT_EQ(idx, (std::vector<int>{1, 2}));
  // A criterion outside the six answers with the Pearson vectors.
  EXPECT_EQ(&e.GetRanks(static_cast<NQFSCommon::RankCriteria>(9)), &e.GetRanks(Pearson));
}

TEST(Ranking, CancellationStopsBeforeTheNextCriterion) {
  FSSettings s(3, true, true);
  enginetest::CancelAt query(1);
  FSCancelState cancel(&query);
  FSPredictorSet e(&s, &cancel);
  Access::AddRecord(e, Pearson, 0.3, 0, 0, 0);
  Access::AddRecord(e, Pearson, 0.1, 0, 0, 1);
  e.SortAll();
  e.RankAll();
  EXPECT_EQ(Indices(e.GetSortList(Pearson)), (std::vector<int>{0, 1}));
  EXPECT_EQ(e.GetRanks(Pearson), std::vector<int>(3, -1));
}
