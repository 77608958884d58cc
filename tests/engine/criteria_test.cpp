// Which predictor gets which criterion record, the reuse rules of mixed sets, progress and
// repetition of the criteria computation, and a whole ranking run on real accumulators.
#include <algorithm>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "engine/support/hosts.h"

using enginetest::CancelAt;
using enginetest::kMiss;
using enginetest::RecordingListener;
using enginetest::RowIterator;
using enginetest::Rows;
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

// What the accumulator of predictor i answers for criterion c.
FSPredSort Direct(const FSPredictorSet& e, int c, int i) {
  FSPredSort r(0, 0, 0, i);
  double x1 = 0, x2 = 0;
  e.GetAccumulators()[static_cast<size_t>(i)]->ComputeCriterion(c, r.fdValue, r.fdTieBreak1,
                                                                r.fdTieBreak2, x1, x2);
  return r;
}

void ExpectRecord(const FSPredSort* r, double value, double tie1, double tie2) {
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(SameBits(r->fdValue, value)) << r->fdValue << " vs " << value;
  EXPECT_TRUE(SameBits(r->fdTieBreak1, tie1)) << r->fdTieBreak1 << " vs " << tie1;
  EXPECT_TRUE(SameBits(r->fdTieBreak2, tie2)) << r->fdTieBreak2 << " vs " << tie2;
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
    const FSPredSort p = Direct(e, Pearson, i), l = Direct(e, Likelihood, i);
    ExpectRecord(Find(e, Pearson, i), p.fdValue, p.fdTieBreak1, p.fdTieBreak2);
    ExpectRecord(Find(e, Likelihood, i), l.fdValue, l.fdTieBreak1, l.fdTieBreak2);
    EXPECT_EQ(Find(e, FStat, i), nullptr);
    EXPECT_TRUE(NQMV::IsMissing(e.GetCriterionValues(FStat)[i]));
    EXPECT_TRUE(SameBits(e.GetCriterionValues(Pearson)[i], p.fdValue));
  }
  for (int i : {1, 3}) {
    // Continuous predictors: one F test answers all three, with the second tie-break of FStat
    // reversed.
    const FSPredSort p = Direct(e, Pearson, i);
    ExpectRecord(Find(e, Pearson, i), p.fdValue, p.fdTieBreak1, p.fdTieBreak2);
    ExpectRecord(Find(e, Likelihood, i), p.fdValue, p.fdTieBreak1, p.fdTieBreak2);
    ExpectRecord(Find(e, FStat, i), p.fdValue, p.fdTieBreak1, -p.fdTieBreak2);
    EXPECT_TRUE(SameBits(e.GetCriterionValues(FStat)[i], p.fdValue));
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
  const FSPredSort l = Direct(e, Likelihood, 0);
  ExpectRecord(Find(e, Likelihood, 0), l.fdValue, l.fdTieBreak1, l.fdTieBreak2);
  ExpectRecord(Find(e, FStat, 0), l.fdValue, l.fdTieBreak1, -l.fdTieBreak2);
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
      for (const FSPredSort* r : e.GetSortList(crit)) {
        const FSPredSort d = Direct(e, c, r->fnIndex);
        ExpectRecord(r, d.fdValue, d.fdTieBreak1, d.fdTieBreak2);
      }
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
