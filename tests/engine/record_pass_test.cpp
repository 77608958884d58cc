// The record-form pass and its no-target variant: columns, weights, valid and excluded
// records, progress, cancellation, maxRecords, incremental passes, short records.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/support/hosts.h"

using enginetest::CancelAt;
using enginetest::Fingerprint;
using enginetest::kMiss;
using enginetest::RecordingListener;
using enginetest::RowIterator;
using enginetest::Rows;
using NQFeature::NQStatus;

namespace {

struct Counts {
  double wValid, wExcluded;
  int nValid, nExcluded;
};

Counts GetCounts(const FSPredictorSet& e) {
  Counts c{};
  e.GetNValidNExcluded(c.wValid, c.wExcluded, c.nValid, c.nExcluded);
  return c;
}

// Target in column 0, then the predictors.
FSSettings CatSettings(int nPredictors) {
  FSSettings s(nPredictors, true, true);
  s.SetTargetPosition(0);
  return s;
}

}  // namespace

TEST(RecordPass, PredictorsSkipTheSpecialColumns) {
  // id 0, weight 1, target 2: the predictors read columns 3, 4 and 5. Predictor 0 sees only
  // missing values, predictor 1 a constant, predictor 2 varying values.
  FSSettings s(3, true, true);
  s.SetTargetPosition(2);
  s.SetCaseIDPosition(0);
  s.SetWeightPosition(1);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{101, 2, 1, kMiss, 7, 1}, {102, 2, 0, kMiss, 7, 2}, {103, 2, 1, kMiss, 7, 3}});
  EXPECT_TRUE(e.AccumulateRecords(it, -1).IsOK());
  const Counts c = GetCounts(e);
  EXPECT_EQ(c.nValid, 3);
  EXPECT_EQ(c.wValid, 6.0);
  const std::vector<IFSPredTargetAccum*>& acc = e.GetAccumulators();
  ASSERT_EQ(acc.size(), 3u);
  EXPECT_TRUE(acc[0]->IsAllMissing());
  EXPECT_FALSE(acc[1]->IsAllMissing());
  EXPECT_TRUE(acc[1]->IsConstant());
  EXPECT_FALSE(acc[2]->IsConstant());
  EXPECT_EQ(e.GetTargetCategoryCount(1), std::make_pair(2, 4.0));
  EXPECT_EQ(e.GetTargetCategoryCount(0), std::make_pair(1, 2.0));
}

TEST(RecordPass, WeightConversion) {
  struct Case {
    NQFSCommon::WeightToFreq conv;
    double raw;
    bool counted;
    double weight;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {NQFSCommon::WeightRound, 0.4, false, 0.0},     {NQFSCommon::WeightAsIs, 0.4, true, 0.4},
      {NQFSCommon::WeightTruncate, 2.7, true, 2.0},   {NQFSCommon::WeightRound, 2.5, true, 3.0},
      {NQFSCommon::WeightRound, kMiss, false, 0.0},   {NQFSCommon::WeightAsIs, -1.0, false, 0.0},
      {NQFSCommon::WeightAsIs, 0.0, false, 0.0},      {NQFSCommon::WeightAsIs, nan, false, 0.0},
      {NQFSCommon::WeightTruncate, 0.99, false, 0.0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "conv " << k.conv << " raw " << k.raw);
    FSSettings s = CatSettings(1);
    s.SetWeightPosition(2);
    s.SetWeightConv(k.conv);
    RecordingListener listener;
    s.SetProgressListener(&listener);
    s.SetNSkippedRecordReports(0);
    FSCancelState cancel;
    FSPredictorSet e(&s, &cancel);
    RowIterator it({{1, 3, k.raw}});
    const NQStatus st = e.AccumulateRecords(it, -1);
    const Counts c = GetCounts(e);
    if (k.counted) {
      EXPECT_TRUE(st.IsOK());
      EXPECT_EQ(c.nValid, 1);
      EXPECT_EQ(c.wValid, k.weight);
      EXPECT_EQ(listener.records, std::vector<int>{1});
    } else {
      // Skipped: neither valid nor excluded, no progress, and no usable weight at all.
      EXPECT_EQ(st, NQStatus(NQFeature::StatusNoValidWeight, false));
      EXPECT_EQ(c.nValid + c.nExcluded, 0);
      EXPECT_TRUE(listener.records.empty());
    }
  }
}

TEST(RecordPass, SkippedRecordsDoNotCountTowardsMaxRecords) {
  FSSettings s = CatSettings(1);
  s.SetWeightPosition(2);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 1, kMiss}, {1, 2, 1}, {0, 3, 0.2}, {1, 4, 1}, {0, 5, 1}});
  EXPECT_TRUE(e.AccumulateRecords(it, 2).IsOK());
  EXPECT_EQ(GetCounts(e).nValid, 2);
  // Next: before record 1, 2, 3, 4 and 5; the limit stops before reading record 5.
  EXPECT_EQ(it.nextCalls, 5);
  EXPECT_EQ(it.getCalls, 4);
}

TEST(RecordPass, MaxRecords) {
  struct Case {
    int max;
    int nValid;
    int nextCalls;
    int getCalls;
  };
  for (const Case& k : {Case{0, 0, 1, 0}, Case{-1, 5, 6, 5}, Case{2, 2, 3, 2}, Case{7, 5, 6, 5}}) {
    SCOPED_TRACE(k.max);
    FSSettings s = CatSettings(1);
    FSCancelState cancel;
    FSPredictorSet e(&s, &cancel);
    RowIterator it({{1, 1}, {0, 2}, {1, 3}, {0, 4}, {1, 5}});
    const NQStatus st = e.AccumulateRecords(it, k.max);
    EXPECT_EQ(GetCounts(e).nValid, k.nValid);
    EXPECT_EQ(it.nextCalls, k.nextCalls);
    EXPECT_EQ(it.getCalls, k.getCalls);
    EXPECT_EQ(e.GetStatus(), EngineAccumulated);
    EXPECT_EQ(st.GetErrorCode(), k.nValid == 0 ? NQFeature::StatusNoValidData : 0);
  }
}

TEST(RecordPass, EmptyIterator) {
  FSSettings s = CatSettings(2);
  FSCancelState cancel;
  {
    FSPredictorSet e(&s, &cancel);
    RowIterator it(Rows{});
    EXPECT_EQ(e.AccumulateRecords(it, -1), NQStatus(NQFeature::StatusNoValidData, false));
    EXPECT_EQ(e.GetStatus(), EngineAccumulated);
    EXPECT_EQ(it.getCalls, 0);
  }
  s.SetWeightPosition(3);
  FSPredictorSet e(&s, &cancel);
  RowIterator it(Rows{});
  EXPECT_EQ(e.AccumulateRecords(it, -1), NQStatus(NQFeature::StatusNoValidWeight, false));
}

TEST(RecordPass, CategoricalTargetTruncation) {
  FSSettings s = CatSettings(1);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{-1.5, 1}, {-0.5, 2}, {-1.0, 3}, {-2.0, 4}, {0.7, 5}});
  EXPECT_TRUE(e.AccumulateRecords(it, -1).IsOK());
  const Counts c = GetCounts(e);
  EXPECT_EQ(c.nExcluded, 2);  // -1.5 and -1.0
  EXPECT_EQ(c.nValid, 3);
  EXPECT_EQ(e.GetNTargetCategories(), 2);
  EXPECT_EQ(e.GetTargetCategoryCount(0), std::make_pair(2, 2.0));  // -0.5 and 0.7
  EXPECT_EQ(e.GetTargetCategoryCount(-2), std::make_pair(1, 1.0));
  EXPECT_EQ(e.GetTargetCategoryCount(-1), std::make_pair(-1, -1.0));
  int category = 0;
  std::pair<int, double> counts;
  EXPECT_TRUE(e.GetTargetCategoryInfo(0, category, counts));
  EXPECT_EQ(category, -2);
  EXPECT_TRUE(e.GetTargetCategoryInfo(1, category, counts));
  EXPECT_EQ(category, 0);
  EXPECT_EQ(counts, std::make_pair(2, 2.0));
  for (int k : {-1, 2}) {
    EXPECT_FALSE(e.GetTargetCategoryInfo(k, category, counts));
    EXPECT_EQ(category, -1);
    EXPECT_EQ(counts, std::make_pair(-1, -1.0));
  }
}

TEST(RecordPass, ContinuousTargetHasNoCategoryTable) {
  FSSettings s(1, false, false);
  s.SetTargetPosition(0);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{-1.5, 1}, {2.5, 2}});
  EXPECT_TRUE(e.AccumulateRecords(it, -1).IsOK());
  EXPECT_EQ(GetCounts(e).nValid, 2);  // -1.5 is an ordinary continuous target
  EXPECT_EQ(e.GetNTargetCategories(), -1);
  EXPECT_EQ(e.GetTargetCategoryCount(2), std::make_pair(-1, -1.0));
}

TEST(RecordPass, ExcludedRecordsAndProgressSteps) {
  // A record whose predictors are all missing or invalid is excluded but still a progress
  // step; one with a missing target is excluded without one.
  FSSettings s = CatSettings(2);
  RecordingListener listener;
  s.SetProgressListener(&listener);
  s.SetNSkippedRecordReports(0);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, kMiss, -1.2}, {kMiss, 1, 2}, {1, 3, kMiss}});
  EXPECT_TRUE(e.AccumulateRecords(it, -1).IsOK());
  const Counts c = GetCounts(e);
  EXPECT_EQ(c.nExcluded, 2);
  EXPECT_EQ(c.nValid, 1);
  EXPECT_EQ(listener.records, (std::vector<int>{1, 3}));
  EXPECT_EQ(listener.predictors, (std::vector<int>{-1, -1}));
}

TEST(RecordPass, ProgressEverySkipPlusOneRecords) {
  FSSettings s = CatSettings(1);
  RecordingListener listener;
  s.SetProgressListener(&listener);
  s.SetNSkippedRecordReports(2);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  Rows rows;
  for (int i = 0; i < 10; ++i)
    rows.push_back({static_cast<double>(i % 2), static_cast<double>(i)});
  RowIterator it(rows);
  e.AccumulateRecords(it, -1);
  EXPECT_EQ(listener.records, (std::vector<int>{3, 6, 9}));
}

TEST(RecordPass, CancellationBeforeARecord) {
  FSSettings s = CatSettings(1);
  CancelAt query(3);  // asked before each record: records 1 and 2 are read
  FSCancelState cancel(&query);
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 1}, {0, 2}, {1, 3}, {0, 4}});
  EXPECT_TRUE(e.AccumulateRecords(it, -1).IsOK());
  EXPECT_EQ(GetCounts(e).nValid, 2);
  EXPECT_EQ(it.getCalls, 2);
  EXPECT_EQ(query.asked, 3);
  EXPECT_EQ(e.GetStatus(), EngineAccumulated);
}

TEST(RecordPass, TwoHalfPassesEqualOneFullPass) {
  for (bool catTarget : {true, false}) {
    SCOPED_TRACE(catTarget);
    FSSettings s(std::vector<bool>{true, false, true, false}, catTarget);
    s.SetTargetPosition(1);
    s.SetWeightPosition(3);
    s.SetWeightConv(NQFSCommon::WeightAsIs);
    Rows rows;
    for (int i = 0; i < 40; ++i) {
      const double x = i * 0.37 - 3.1;
      rows.push_back({i % 5 == 0 ? kMiss : static_cast<double>(i % 4), static_cast<double>(i % 3),
                      std::sin(x) * 10.0, 0.5 + (i % 7) * 0.25, i % 6 == 0 ? kMiss : x * x,
                      static_cast<double>(i % 9 == 0 ? -1 : i % 2)});
    }
    FSCancelState cancel;
    FSPredictorSet whole(&s, &cancel);
    RowIterator all(rows);
    EXPECT_TRUE(whole.AccumulateRecords(all, -1).IsOK());

    FSPredictorSet halves(&s, &cancel);
    RowIterator first(Rows(rows.begin(), rows.begin() + 17));
    RowIterator second(Rows(rows.begin() + 17, rows.end()));
    EXPECT_TRUE(halves.AccumulateRecords(first, -1).IsOK());
    EXPECT_TRUE(halves.AccumulateRecords(second, -1).IsOK());
    EXPECT_EQ(Fingerprint(halves), Fingerprint(whole));
    whole.FinishDataPass();
    halves.FinishDataPass();
    EXPECT_EQ(Fingerprint(halves), Fingerprint(whole));
  }
}

TEST(RecordPass, ReleaseKeepsTheCounts) {
  FSSettings s = CatSettings(2);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 1, 2}, {0, 2, 2}, {kMiss, 1, 1}});
  e.AccumulateRecords(it, -1);
  e.Release();
  EXPECT_EQ(e.GetStatus(), EngineReleased);
  EXPECT_EQ(e.GetSetType(), NQFSCommon::kSetTypeUnrecognized);
  EXPECT_EQ(e.GetNRemaining(), 0);
  EXPECT_EQ(e.GetNTargetCategories(), -1);
  EXPECT_TRUE(e.GetAccumulators().empty());
  EXPECT_TRUE(e.GetRanks(NQFSCommon::Pearson).empty());
  EXPECT_FALSE(e.IsMemoryAllocated());
  const Counts c = GetCounts(e);
  EXPECT_EQ(c.nValid, 2);
  EXPECT_EQ(c.nExcluded, 1);
  EXPECT_FALSE(e.IsNoValidData());
}

TEST(RecordPass, ShortRecordStopsThePass) {
  // Three predictors after the target and a weight column: 5 values needed.
  FSSettings s = CatSettings(3);
  s.SetWeightPosition(4);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 1, 2, 3, 1}, {0, 1, 2, 3, kMiss}, {1, 1, 2, 3}, {1, 1, 2, 3, 1}});
  const NQStatus st = e.AccumulateRecords(it, -1);
  EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusShortRecord);
  EXPECT_TRUE(st.IsError());
  EXPECT_EQ(st.GetDiscreteDatum(0), 3);  // the skipped record 2 counts
  EXPECT_EQ(st.GetDiscreteDatum(1), 5);
  EXPECT_EQ(st.GetDiscreteDatum(2), 4);
  EXPECT_EQ(GetCounts(e).nValid, 1);
  EXPECT_EQ(it.getCalls, 3);
  EXPECT_EQ(e.GetStatus(), EngineAccumulated);

  // An empty record (no values at all) is caught the same way.
  FSPredictorSet empty(&s, &cancel);
  RowIterator none(Rows{std::vector<double>{}});
  const NQStatus st2 = empty.AccumulateRecords(none, -1);
  EXPECT_EQ(st2.GetErrorCode(), NQFeature::StatusShortRecord);
  EXPECT_EQ(st2.GetDiscreteDatum(2), 0);
}

TEST(RecordPass, ShortRecordCountsTheSpecialColumnsBeyondThePredictors) {
  FSSettings s = CatSettings(1);
  s.SetTargetPosition(6);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 2, 3, 4, 5, 6}});
  const NQStatus st = e.AccumulateRecords(it, -1);
  EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusShortRecord);
  EXPECT_EQ(st.GetDiscreteDatum(1), 7);
}

TEST(RecordPass, NoTargetColumnReadsNothing) {
  FSSettings s = CatSettings(2);
  s.SetTargetPosition(-1);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 1, 1}});
  EXPECT_EQ(e.AccumulateRecords(it, -1), NQStatus(NQFeature::StatusNoTargetColumn, false));
  EXPECT_EQ(it.nextCalls, 0);
  EXPECT_FALSE(e.IsMemoryAllocated());
  EXPECT_EQ(e.GetStatus(), EngineInitial);
}

TEST(NoTargetPass, EveryCountedRecordIsExcluded) {
  // The target position is ignored: with id 0 and weight 1 the predictors read 2 and 3.
  FSSettings s(std::vector<bool>{true, false}, true);
  s.SetTargetPosition(-1);
  s.SetCaseIDPosition(0);
  s.SetWeightPosition(1);
  RecordingListener listener;
  s.SetProgressListener(&listener);
  s.SetNSkippedRecordReports(0);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 2, 1, 1.5}, {2, kMiss, 1, 2.5}, {3, 1, kMiss, kMiss}, {4, 1, 3, 7.5}});
  EXPECT_TRUE(e.AccumulateNoTarget(it, -1).IsOK());
  Counts c = GetCounts(e);
  EXPECT_EQ(c.nValid, 0);
  EXPECT_EQ(c.nExcluded, 3);
  EXPECT_EQ(c.wExcluded, 4.0);
  EXPECT_EQ(listener.records, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(e.GetNTargetCategories(), -1);
  EXPECT_TRUE(e.GetAccumulators()[0]->IsCategorical());
  EXPECT_FALSE(e.GetAccumulators()[1]->IsCategorical());
  EXPECT_FALSE(e.GetAccumulators()[0]->IsConstant());

  // A second pass starts its counts from zero and adds to the same accumulators.
  RowIterator again({{5, 1, kMiss, kMiss}});
  EXPECT_TRUE(e.AccumulateNoTarget(again, -1).IsOK());
  c = GetCounts(e);
  EXPECT_EQ(c.nExcluded, 1);
  EXPECT_EQ(c.wExcluded, 1.0);
}

TEST(NoTargetPass, StatusesAreWarnings) {
  FSSettings s(2, false, true);
  s.SetTargetPosition(-1);
  FSCancelState cancel;
  {
    FSPredictorSet e(&s, &cancel);
    RowIterator it({{kMiss, kMiss}});
    EXPECT_EQ(e.AccumulateNoTarget(it, -1), NQStatus(NQFeature::StatusNoValidData, true));
  }
  s.SetWeightPosition(2);
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 2, 0}});
  EXPECT_EQ(e.AccumulateNoTarget(it, -1), NQStatus(NQFeature::StatusNoValidWeight, true));
}

TEST(PredictorSet, ConstructionAndQueries) {
  FSSettings s(std::vector<bool>{true, false, true}, true);  // mixed: Pearson, Likelihood, FStat
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  EXPECT_EQ(e.GetStatus(), EngineInitial);
  EXPECT_EQ(e.GetSetType(), NQFSCommon::Mixed);
  EXPECT_EQ(e.GetNRemaining(), 3);
  EXPECT_EQ(e.GetRanks(NQFSCommon::Pearson), std::vector<int>(3, -1));
  EXPECT_EQ(e.GetCriterionValues(NQFSCommon::FStat), std::vector<double>(3, kMiss));
  EXPECT_TRUE(e.GetRanks(NQFSCommon::Cramer).empty());
  EXPECT_EQ(e.GetNTargetCategories(), -1);
  bool all = true;
  EXPECT_EQ(e.CountDeleted(all), 0);
  EXPECT_FALSE(all);

  FSPredictorSet restored(&cancel);
  EXPECT_EQ(restored.GetSettings(), nullptr);
  EXPECT_EQ(restored.GetNRemaining(), 0);
  EXPECT_EQ(restored.GetSetType(), NQFSCommon::kSetTypeUnrecognized);
  EXPECT_EQ(restored.GetStatus(), EngineInitial);
  EXPECT_TRUE(restored.IsNoValidData());
  EXPECT_TRUE(restored.CountDeleted(all) == 0 && all);
}

TEST(PredictorSet, AllocateOnlyOnce) {
  FSSettings s = CatSettings(2);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  EXPECT_TRUE(e.AllocateAccumulators(true));
  const IFSPredTargetAccum* first = e.GetAccumulators()[0];
  EXPECT_FALSE(e.AllocateAccumulators(false));
  EXPECT_EQ(e.GetAccumulators()[0], first);
  EXPECT_EQ(e.GetNTargetCategories(), 0);
}

TEST(PredictorSet, GetPredictorStatsOutsideItsRange) {
  FSSettings s = CatSettings(2);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 1, 2}, {0, 2, 2}});
  e.AccumulateRecords(it, -1);
  double a = 0, b = 0, c = 0, d = 0;
  for (auto [criterion, predictor] :
       {std::make_pair(0, -1), std::make_pair(0, 2), std::make_pair(6, 0), std::make_pair(-1, 0)}) {
    EXPECT_FALSE(e.GetPredictorStats(criterion, predictor, a, b, c, d));
    EXPECT_TRUE(NQMV::IsMissing(a) && NQMV::IsMissing(b) && NQMV::IsMissing(c) &&
                NQMV::IsMissing(d));
  }
}
