// Criteria and ranking: which predictor gets which criterion record, the reuse rules of mixed
// sets, progress and repetition of the criteria computation, a whole ranking run on real
// accumulators; then sort orders, sorting, ranks and the top-predictor lists on sort records
// placed directly in the engine's lists.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "engine/support/hosts.h"

using enginetest::CancelAt;
using enginetest::kMiss;
using enginetest::RecordingListener;
using enginetest::RowIterator;
using enginetest::Rows;
using enginetest::TestEngine;
using NQFeature::NQStatus;
using NQFSCommon::Cramer;
using NQFSCommon::FStat;
using NQFSCommon::Lambda;
using NQFSCommon::Likelihood;
using NQFSCommon::Pearson;
using NQFSCommon::RankCriteria;
using NQFSCommon::TStat;

namespace {

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

const FSPredSort* Find(const FSPredictorSet& e, RankCriteria c, int index) {
  for (const FSPredSort* r : e.GetSortList(c)) {
    if (r->fnIndex == index) return r;
  }
  return nullptr;
}

// The record of predictor i in the list of `shown` holds what its accumulator answers for
// `asked`, with the second tie-break negated when `flip`.
void ExpectRecord(const FSPredictorSet& e, RankCriteria shown, int asked, int i,
                  bool flip = false) {
  const FSPredSort* r = Find(e, shown, i);
  ASSERT_NE(r, nullptr);
  double value = 0, tie1 = 0, tie2 = 0, x1 = 0, x2 = 0;
  e.GetAccumulators()[static_cast<size_t>(i)]->ComputeCriterion(asked, CriterionContext{}, value,
                                                                tie1, tie2, x1, x2);
  EXPECT_TRUE(SameBits(r->fdValue, value)) << r->fdValue << " vs " << value;
  EXPECT_TRUE(SameBits(r->fdTieBreak1, tie1)) << r->fdTieBreak1 << " vs " << tie1;
  EXPECT_TRUE(SameBits(r->fdTieBreak2, flip ? -tie2 : tie2)) << r->fdTieBreak2 << " vs " << tie2;
}

// Sort records for predictors 0, 1, ... of criterion c, as the criteria computation leaves them.
void Fill(FSPredictorSet& e, RankCriteria c, const std::vector<double>& values,
          const std::vector<double>& ties = {}) {
  for (size_t i = 0; i < values.size(); ++i)
    FSPredictorSetTestAccess::AddRecord(e, c, values[i], ties.empty() ? 0.0 : ties[i], 0.0,
                                        static_cast<int>(i));
}

std::vector<int> Indices(const std::vector<FSPredSort*>& list) {
  std::vector<int> out;
  for (const FSPredSort* r : list)
    out.push_back(r->fnIndex);
  return out;
}

// Varied data: the target in column 0 (3 categories, or a continuous value), then one column
// per predictor; categorical predictors take 4 categories, continuous ones depend on the
// target so that the tests have something to find.
Rows Data(const std::vector<bool>& types, bool catTarget, int n = 60) {
  Rows rows;
  for (int r = 0; r < n; ++r) {
    const double t = catTarget ? r % 3 : (r % 5) * 1.25 + (r % 7) * 0.5;
    std::vector<double> row{t};
    for (size_t j = 0; j < types.size(); ++j) {
      const double noise = ((r * 31 + static_cast<int>(j) * 17) % 11) / 11.0;
      if (types[j]) {
        row.push_back(
            static_cast<double>((r + (j % 2 == 0 ? r % 3 : 0) + static_cast<int>(j)) % 4));
      } else {
        row.push_back((r + j) % 9 == 0 ? kMiss : t * (0.5 + 0.3 * j) + noise * (1 + j));
      }
    }
    rows.push_back(row);
  }
  return rows;
}

struct Engine {
  FSSettings settings;
  FSCancelState cancel;
  FSPredictorSet engine;
  Engine(const std::vector<bool>& types, bool catTarget)
      : settings(types, catTarget), engine(&settings, &cancel) {
    settings.SetTargetPosition(0);
  }
  void Accumulate(int n = 60) {
    RowIterator it(Data(settings.GetPredictorTypes(), settings.IsCatTarget(), n));
    ASSERT_TRUE(engine.AccumulateRecords(it, -1).IsOK());
  }
};

}  // namespace

TEST(Criteria, MixedSetWithCategoricalTarget) {
  Engine run({true, false, true, false}, true);  // Pearson, Likelihood, FStat
  run.Accumulate();
  FSPredictorSet& e = run.engine;
  EXPECT_FALSE(e.IsPassCompleted());
  EXPECT_TRUE(e.ComputeCriteria().IsOK());
  EXPECT_TRUE(e.IsPassCompleted());
  EXPECT_EQ(e.GetStatus(), EngineCriteriaComputed);
  EXPECT_EQ(e.GetSortList(Pearson).size(), 4u);
  EXPECT_EQ(e.GetSortList(Likelihood).size(), 4u);
  EXPECT_EQ(e.GetSortList(FStat).size(), 2u);
  for (int i : {0, 2}) {
    // Categorical predictors: their own chi-square tests, no FStat.
    ExpectRecord(e, Pearson, Pearson, i);
    ExpectRecord(e, Likelihood, Likelihood, i);
    EXPECT_EQ(Find(e, FStat, i), nullptr);
    EXPECT_TRUE(NQMV::IsMissing(e.GetCriterionValues(FStat)[i]));
    EXPECT_TRUE(SameBits(e.GetCriterionValues(Pearson)[i], Find(e, Pearson, i)->fdValue));
  }
  for (int i : {1, 3}) {
    // Continuous predictors: one F test answers all three, with the second tie-break of FStat
    // reversed.
    ExpectRecord(e, Pearson, Pearson, i);
    ExpectRecord(e, Likelihood, Pearson, i);
    ExpectRecord(e, FStat, Pearson, i, true);
    EXPECT_TRUE(SameBits(e.GetCriterionValues(FStat)[i], Find(e, Pearson, i)->fdValue));
  }
  e.SortAll();
  e.RankAll();
  const std::vector<int>& f = e.GetRanks(FStat);
  EXPECT_EQ(f[0], -1);
  EXPECT_EQ(f[2], -1);
  EXPECT_EQ(f[1] + f[3], 1);  // ranks 0 and 1
}

TEST(Criteria, MixedSetWithLikelihoodOnly) {
  Engine run({false, true}, true);
  ASSERT_TRUE(run.settings.SetCriterion(Pearson, false));
  run.Accumulate();
  FSPredictorSet& e = run.engine;
  e.ComputeCriteria();
  EXPECT_TRUE(e.GetSortList(Pearson).empty());
  // Without Pearson the continuous predictor asks for Likelihood itself; FStat reuses it.
  ExpectRecord(e, Likelihood, Likelihood, 0);
  ExpectRecord(e, FStat, Likelihood, 0, true);
}

TEST(Criteria, WhichCriteriaMakeRecords) {
  struct Case {
    std::vector<bool> types;
    bool catTarget;
    std::vector<int> listSizes;  // per criterion
  };
  const Case cases[] = {
      {{true, true, true}, true, {3, 3, 3, 3, 0, 0}},
      {{false, false}, true, {0, 0, 0, 0, 2, 0}},
      {{true, true}, false, {0, 0, 0, 0, 2, 0}},
      {{false, false, false}, false, {0, 0, 0, 0, 0, 3}},
      {{true, false, false}, false, {0, 0, 0, 0, 3, 0}},  // TStat: no records
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.types.size() << " predictors, cat target " << k.catTarget);
    Engine run(k.types, k.catTarget);
    run.Accumulate();
    FSPredictorSet& e = run.engine;
    e.ComputeCriteria();
    for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
      const auto crit = static_cast<RankCriteria>(c);
      EXPECT_EQ(e.GetSortList(crit).size(), static_cast<size_t>(k.listSizes[c])) << c;
      for (const FSPredSort* r : e.GetSortList(crit))
        ExpectRecord(e, crit, c, r->fnIndex);
    }
    if (!k.catTarget && k.types[0] != k.types[1]) {
      // Mixed set, continuous target: TStat has values missing and answers with FStat.
      EXPECT_TRUE(e.GetSortList(TStat).empty());
      e.SortAll();
      e.RankAll();
      EXPECT_EQ(e.GetRanks(TStat), e.GetRanks(FStat));
      EXPECT_NE(e.GetRanks(FStat), std::vector<int>(3, -1));
    }
  }
}

TEST(Criteria, DeletedPredictorsGetNoRecord) {
  Engine run({true, true, true}, true);
  RowIterator it({{1, 2, kMiss, 1}, {0, 3, kMiss, 2}, {2, 1, kMiss, 2}, {1, 2, kMiss, 1}});
  run.engine.AccumulateRecords(it, -1);
  FSPredictorSet& e = run.engine;
  e.CheckPredAllMissConst();
  ASSERT_EQ(e.GetIndicesDelPred(), std::vector<int>{1});
  e.ComputeCriteria();
  e.SortAll();
  e.RankAll();
  for (RankCriteria c : {Pearson, Likelihood, Cramer, Lambda}) {
    EXPECT_EQ(e.GetSortList(c).size(), 2u);
    EXPECT_EQ(Find(e, c, 1), nullptr);
    EXPECT_TRUE(NQMV::IsMissing(e.GetCriterionValues(c)[1]));
    EXPECT_EQ(e.GetRanks(c)[1], -1);
    EXPECT_NE(e.GetRanks(c)[0], -1);
  }
}

TEST(Criteria, SecondComputationReplacesTheFirst) {
  Engine run({true, true, true, true}, true);
  run.Accumulate();
  FSPredictorSet& e = run.engine;
  e.ComputeCriteria();
  const std::vector<double> values = e.GetCriterionValues(Cramer);
  e.SortBest(2);
  e.RankBest();
  EXPECT_EQ(e.ComputeCriteria(), NQStatus());
  for (RankCriteria c : {Pearson, Likelihood, Cramer, Lambda}) {
    EXPECT_EQ(e.GetSortList(c).size(), 4u);
    EXPECT_EQ(e.GetRanks(c), std::vector<int>(4, -1));
  }
  EXPECT_EQ(e.GetCriterionValues(Cramer), values);
  e.SortAll();
  e.RankAll();
  std::vector<int> sorted = e.GetRanks(Lambda);
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int>{0, 1, 2, 3}));
}

TEST(Criteria, ProgressPerPredictor) {
  Engine run(std::vector<bool>(7, true), true);
  RecordingListener listener;
  run.settings.SetProgressListener(&listener);
  run.settings.SetNSkippedPredictorReports(2);
  run.settings.SetNSkippedRecordReports(1000);
  run.Accumulate();
  run.engine.ComputeCriteria();
  EXPECT_EQ(listener.predictors, (std::vector<int>{3, 6}));
  EXPECT_EQ(listener.records, (std::vector<int>{-1, -1}));
}

TEST(Criteria, CancellationStopsBeforeTheNextPredictor) {
  Engine run({true, true, true}, true);
  run.Accumulate(10);
  CancelAt query(2);
  run.cancel.SetQuery(&query);
  run.engine.ComputeCriteria();
  EXPECT_EQ(run.engine.GetSortList(Pearson).size(), 1u);
  EXPECT_EQ(run.engine.GetSortList(Lambda).size(), 1u);
}

TEST(Criteria, WholeRankingRunOrdersTheTopPredictors) {
  Engine run({true, true, true, true, true, true}, true);
  run.Accumulate(90);
  FSPredictorSet& e = run.engine;
  e.CheckPredAllMissConst();
  e.ScreenPredictors();
  e.ComputeCriteria();
  e.SortAll();
  e.RankAll();
  for (RankCriteria c : {Pearson, Likelihood, Cramer, Lambda}) {
    std::vector<int> idx;
    std::vector<double> val;
    ASSERT_TRUE(e.GetTopPredictors(c, 0, idx, val).IsOK());
    ASSERT_EQ(idx.size(), static_cast<size_t>(e.GetNRemaining()));
    const FSPredSortOrder before(c);
    for (size_t j = 0; j < idx.size(); ++j) {
      EXPECT_EQ(e.GetRanks(c)[static_cast<size_t>(idx[j])], static_cast<int>(j));
      EXPECT_TRUE(SameBits(val[j], e.GetCriterionValues(c)[static_cast<size_t>(idx[j])]));
      if (j > 0) {
        EXPECT_FALSE(before(Find(e, c, idx[j]), Find(e, c, idx[j - 1])));
      }
    }
  }
}

TEST(PredSortOrder, DirectionsOfEachCriterion) {
  struct Case {
    RankCriteria c;
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
  TestEngine e(s);
  Fill(e, Pearson, {0.01, kMiss, 0.01, 0.2}, {5, 9, 7, 1});
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
  TestEngine e(s);
  for (int i = 0; i < 100; ++i)
    FSPredictorSetTestAccess::AddRecord(e, Cramer, i % 3 == 0 ? 0.5 : 0.25, 1.0,
                                        static_cast<double>(i), i);
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
  TestEngine e(s);
  Fill(e, Pearson, {0, 0.7, 0.4, 0.1, 0.8, 0.5, 0.2, 0.9, 0.6, 0.3});
  EXPECT_TRUE(e.SortBest(3).IsOK());
  EXPECT_EQ(e.GetStatus(), EngineSortedBest);
  EXPECT_EQ(e.GetNBestSorted(), 3);
  EXPECT_TRUE(e.RankBest().IsOK());
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
  TestEngine e(s);
  std::vector<double> pearson, cramer;
  for (int i = 0; i < 15; ++i) {
    if (i < 12) pearson.push_back(1.0 / (i + 1));
    cramer.push_back(0.01 * i);
  }
  Fill(e, Pearson, pearson);
  Fill(e, Cramer, cramer);
  e.SortBest(20);
  EXPECT_EQ(e.GetNBestSorted(), 12);
  e.RankBest();
  // Cramer (descending): the best 12 are predictors 14 down to 3; 0, 1, 2 stay unranked.
  for (int i = 0; i < 15; ++i)
    EXPECT_EQ(e.GetRanks(Cramer)[i], i < 3 ? -1 : 14 - i) << i;
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(e.GetRanks(Pearson)[i], 11 - i) << i;
  EXPECT_EQ(e.GetRanks(Pearson)[12], -1);
}

TEST(Ranking, SortBestWithoutCountSortsEveryRemainingPredictor) {
  FSSettings s(6, true, true);
  TestEngine e(s);
  FSPredictorSetTestAccess::MarkDeleted(e, 5, ReasonAllMissing);
  Fill(e, Lambda, {0, 0.1, 0.2, 0.3, 0.4});
  e.SortBest(-4);
  EXPECT_EQ(e.GetNBestSorted(), 5);
  e.RankBest();
  EXPECT_EQ(e.GetRanks(Lambda), (std::vector<int>{4, 3, 2, 1, 0, -1}));
}

TEST(Ranking, TopPredictorsOfACriterionSwitchedOff) {
  FSSettings s(3, true, true);  // FStat is off for an all-categorical set
  TestEngine e(s);
  std::vector<int> idx{1, 2};
  std::vector<double> val{1.0};
  EXPECT_EQ(e.GetTopPredictors(FStat, 3, idx, val),
            NQStatus(NQFeature::StatusCriterionNotSelected, false));
  EXPECT_TRUE(idx.empty());
  EXPECT_TRUE(val.empty());
}

TEST(Ranking, TStatOnAMixedSetWithContinuousTargetReadsFStat) {
  FSSettings s(std::vector<bool>{true, false, false}, false);  // FStat and TStat
  TestEngine e(s);
  Fill(e, FStat, {0.3, 0.1, 0.2});
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
  EXPECT_EQ(&e.GetRanks(static_cast<RankCriteria>(9)), &e.GetRanks(Pearson));
}

TEST(Ranking, CancellationStopsBeforeTheNextCriterion) {
  FSSettings s(3, true, true);
  enginetest::CancelAt query(1);
  TestEngine e(s, &query);
  Fill(e, Pearson, {0.3, 0.1});
  e.SortAll();
  e.RankAll();
  EXPECT_EQ(Indices(e.GetSortList(Pearson)), (std::vector<int>{0, 1}));
  EXPECT_EQ(e.GetRanks(Pearson), std::vector<int>(3, -1));
}
