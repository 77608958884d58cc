// The data passes: record form, no-target form and transaction form. Columns, weights, valid and
// excluded records, progress, cancellation, maxRecords, incremental passes, short records, the
// transactions' order and index errors, and the transaction form's equality with the record form.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/support/hosts.h"

using namespace enginetest;
using NQFeature::NQStatus;

namespace {

FSSettings CatSettings(int nPredictors) {
  return TargetFirst(std::vector<bool>(static_cast<std::size_t>(nPredictors), true), true);
}

std::string RecordForm(FSSettings& s, const Rows& rows) {
  TestEngine e(s);
  RowIterator it(rows);
  e.AccumulateRecords(it, -1);
  return Fingerprint(e);
}

}  // namespace

TEST(RecordPass, PredictorsSkipTheSpecialColumns) {
  // id 0, weight 1, target 2: the predictors read columns 3 (all missing), 4 (constant), 5.
  FSSettings s(3, true, true);
  s.SetTargetPosition(2);
  s.SetCaseIDPosition(0);
  s.SetWeightPosition(1);
  TestEngine e(s);
  RowIterator it({{101, 2, 1, kMiss, 7, 1}, {102, 2, 0, kMiss, 7, 2}, {103, 2, 1, kMiss, 7, 3}});
  EXPECT_TRUE(e.AccumulateRecords(it, -1).IsOK());
  EXPECT_EQ(GetCounts(e).nValid, 3);
  EXPECT_EQ(GetCounts(e).wValid, 6.0);
  const std::vector<IFSPredTargetAccum*>& acc = e.GetAccumulators();
  ASSERT_EQ(acc.size(), 3u);
  EXPECT_TRUE(acc[0]->IsAllMissing());
  EXPECT_TRUE(!acc[1]->IsAllMissing() && acc[1]->IsConstant());
  EXPECT_FALSE(acc[2]->IsConstant());
  EXPECT_EQ(e.GetTargetCategoryCount(1), std::make_pair(2, 4.0));
  EXPECT_EQ(e.GetTargetCategoryCount(0), std::make_pair(1, 2.0));
}

TEST(RecordPass, WeightConversion) {
  const struct {
    NQFSCommon::WeightToFreq conv;
    double raw, weight;  // weight 0: the record is skipped
  } cases[] = {
      {NQFSCommon::WeightRound, 0.4, 0},     {NQFSCommon::WeightAsIs, 0.4, 0.4},
      {NQFSCommon::WeightTruncate, 2.7, 2},  {NQFSCommon::WeightRound, 2.5, 3},
      {NQFSCommon::WeightRound, kMiss, 0},   {NQFSCommon::WeightAsIs, -1.0, 0},
      {NQFSCommon::WeightAsIs, 0.0, 0},      {NQFSCommon::WeightAsIs, std::nan(""), 0},
      {NQFSCommon::WeightTruncate, 0.99, 0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << "conv " << k.conv << " raw " << k.raw);
    FSSettings s = CatSettings(1);
    s.SetWeightPosition(2);
    s.SetWeightConv(k.conv);
    RecordingListener listener;
    s.SetProgressListener(&listener);
    s.SetNSkippedRecordReports(0);
    TestEngine e(s);
    RowIterator it({{1, 3, k.raw}});
    const NQStatus st = e.AccumulateRecords(it, -1);
    const Counts c = GetCounts(e);
    // Skipped: neither valid nor excluded, no progress, and no usable weight at all.
    EXPECT_EQ(st, k.weight > 0 ? NQStatus() : NQStatus(NQFeature::StatusNoValidWeight, false));
    EXPECT_EQ(c.nValid + c.nExcluded, k.weight > 0 ? 1 : 0);
    EXPECT_EQ(c.wValid, k.weight);
    EXPECT_EQ(listener.records, k.weight > 0 ? std::vector<int>{1} : std::vector<int>{});
  }
}

TEST(RecordPass, MaxRecords) {
  // Skipped records (weight missing or rounding to 0) do not count towards the limit.
  const struct {
    bool weighted;
    int max, nValid, nextCalls, getCalls;
  } cases[] = {{false, 0, 0, 1, 0},
               {false, -1, 5, 6, 5},
               {false, 2, 2, 3, 2},
               {false, 7, 5, 6, 5},
               {true, 2, 2, 5, 4}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.max << (k.weighted ? " weighted" : ""));
    FSSettings s = CatSettings(1);
    if (k.weighted) s.SetWeightPosition(2);
    TestEngine e(s);
    RowIterator it({{1, 1, kMiss}, {0, 2, 1}, {1, 3, 0.2}, {0, 4, 1}, {1, 5, 1}});
    const NQStatus st = e.AccumulateRecords(it, k.max);
    EXPECT_EQ(GetCounts(e).nValid, k.nValid);
    EXPECT_EQ(it.nextCalls, k.nextCalls);
    EXPECT_EQ(it.getCalls, k.getCalls);
    EXPECT_EQ(e.GetStatus(), EngineAccumulated);
    EXPECT_EQ(st.GetErrorCode(), k.nValid == 0 ? NQFeature::StatusNoValidData : 0);
  }
}

// What each form of pass answers when it finds nothing usable (errors for the passes with a
// target, warnings without one).
TEST(DataPass, NothingUsable) {
  enum Form { Records, NoTarget, Transactions };
  const struct {
    Form form;
    int target, weight;
    Rows rows;
    NQStatus expected;
  } cases[] = {
      {Records, 0, -1, {}, NQStatus(NQFeature::StatusNoValidData, false)},
      {Records, 0, 3, {}, NQStatus(NQFeature::StatusNoValidWeight, false)},
      {Records, -1, -1, {{1, 1, 1}}, NQStatus(NQFeature::StatusNoTargetColumn, false)},
      {NoTarget, -1, -1, {{kMiss, kMiss}}, NQStatus(NQFeature::StatusNoValidData, true)},
      {NoTarget, -1, 2, {{1, 2, 0}}, NQStatus(NQFeature::StatusNoValidWeight, true)},
      {Transactions, 0, -1, {}, NQStatus(NQFeature::StatusNoValidData, false)},
      {Transactions, 0, -1, {{1, 0, kMiss, 1}}, NQStatus(NQFeature::StatusNoValidData, false)},
      {Transactions, -1, -1, {{1, 0, 2, 1}}, NQStatus()},  // the target position is not used
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.form << " " << k.expected.GetErrorCode());
    FSSettings s(2, true, true);
    s.SetTargetPosition(k.target);
    s.SetWeightPosition(k.weight);
    TestEngine e(s);
    RowIterator it(k.rows);
    EXPECT_EQ(k.form == Records    ? e.AccumulateRecords(it, -1)
              : k.form == NoTarget ? e.AccumulateNoTarget(it, -1)
                                   : e.AccumulateTransactions(it),
              k.expected);
    // A record with nothing valid in it is excluded; one without a usable weight is not counted.
    const bool noData = k.expected.GetErrorCode() == NQFeature::StatusNoValidData;
    EXPECT_EQ(GetCounts(e).nExcluded, noData && !k.rows.empty() ? 1 : 0);
    if (k.expected.GetErrorCode() == NQFeature::StatusNoTargetColumn) {
      EXPECT_EQ(it.nextCalls, 0);
      EXPECT_FALSE(e.IsMemoryAllocated());
      EXPECT_EQ(e.GetStatus(), EngineInitial);
    } else if (k.form != NoTarget) {
      EXPECT_EQ(e.GetStatus(), EngineAccumulated);
    }
  }
}

TEST(RecordPass, TargetCategories) {
  FSSettings s = CatSettings(1);
  TestEngine e(s);
  RowIterator it({{-1.5, 1}, {-0.5, 2}, {-1.0, 3}, {-2.0, 4}, {0.7, 5}});
  EXPECT_TRUE(e.AccumulateRecords(it, -1).IsOK());
  EXPECT_EQ(GetCounts(e).nExcluded, 2);  // -1.5 and -1.0
  EXPECT_EQ(GetCounts(e).nValid, 3);
  EXPECT_EQ(e.GetNTargetCategories(), 2);
  EXPECT_EQ(e.GetTargetCategoryCount(0), std::make_pair(2, 2.0));  // -0.5 and 0.7
  EXPECT_EQ(e.GetTargetCategoryCount(-2), std::make_pair(1, 1.0));
  EXPECT_EQ(e.GetTargetCategoryCount(-1), std::make_pair(-1, -1.0));
  int category = 0;
  std::pair<int, double> counts;
  EXPECT_TRUE(e.GetTargetCategoryInfo(0, category, counts));
  EXPECT_EQ(category, -2);
  EXPECT_TRUE(e.GetTargetCategoryInfo(1, category, counts));
  EXPECT_EQ(std::make_pair(category, counts), std::make_pair(0, std::make_pair(2, 2.0)));
  for (int k : {-1, 2}) {
    EXPECT_FALSE(e.GetTargetCategoryInfo(k, category, counts));
    EXPECT_EQ(std::make_pair(category, counts), std::make_pair(-1, std::make_pair(-1, -1.0)));
  }
  // A continuous target has no table, and -1.5 is an ordinary value of it.
  FSSettings cs(1, false, false);
  cs.SetTargetPosition(0);
  TestEngine c(cs);
  RowIterator cit({{-1.5, 1}, {2.5, 2}});
  EXPECT_TRUE(c.AccumulateRecords(cit, -1).IsOK());
  EXPECT_EQ(GetCounts(c).nValid, 2);
  EXPECT_EQ(c.GetNTargetCategories(), -1);
  EXPECT_EQ(c.GetTargetCategoryCount(2), std::make_pair(-1, -1.0));
}

TEST(RecordPass, ExcludedRecordsAndProgressSteps) {
  // A record whose predictors are all missing or invalid is excluded but still a progress
  // step; one with a missing target is excluded without one. Every second step is reported.
  FSSettings s = CatSettings(2);
  RecordingListener listener;
  s.SetProgressListener(&listener);
  s.SetNSkippedRecordReports(1);
  TestEngine e(s);
  RowIterator it({{1, kMiss, -1.2}, {kMiss, 1, 2}, {1, 3, kMiss}});
  EXPECT_TRUE(e.AccumulateRecords(it, -1).IsOK());
  EXPECT_EQ(GetCounts(e).nExcluded, 2);
  EXPECT_EQ(GetCounts(e).nValid, 1);
  EXPECT_EQ(listener.records, std::vector<int>{3});
  EXPECT_EQ(listener.predictors, std::vector<int>{-1});
}

TEST(RecordPass, ReleaseKeepsTheCounts) {
  FSSettings s = CatSettings(2);
  TestEngine e(s);
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
  EXPECT_EQ(GetCounts(e).nValid, 2);
  EXPECT_EQ(GetCounts(e).nExcluded, 1);
  EXPECT_FALSE(e.IsNoValidData());
}

TEST(RecordPass, ShortRecordStopsThePass) {
  // Datum 0: the record's number (skipped records count); 1: values needed; 2: values given.
  const struct {
    int target, weight;
    Rows rows;
    int data0, data1, data2, nValid;
  } cases[] = {
      {0, 4, {{1, 1, 2, 3, 1}, {0, 1, 2, 3, kMiss}, {1, 1, 2, 3}, {1, 1, 2, 3, 1}}, 3, 5, 4, 1},
      {0, 4, {{}}, 1, 5, 0, 0},                   // an empty record
      {6, -1, {{1, 2, 3, 4, 5, 6}}, 1, 7, 6, 0},  // special columns beyond the predictors count
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.data1);
    FSSettings s = CatSettings(3);
    s.SetTargetPosition(k.target);
    s.SetWeightPosition(k.weight);
    TestEngine e(s);
    RowIterator it(k.rows);
    const NQStatus st = e.AccumulateRecords(it, -1);
    EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusShortRecord);
    EXPECT_TRUE(st.IsError());
    EXPECT_EQ(st.GetDiscreteDatum(0), k.data0);
    EXPECT_EQ(st.GetDiscreteDatum(1), k.data1);
    EXPECT_EQ(st.GetDiscreteDatum(2), k.data2);
    EXPECT_EQ(GetCounts(e).nValid, k.nValid);
    EXPECT_EQ(it.getCalls, k.data0);
    EXPECT_EQ(e.GetStatus(), EngineAccumulated);
  }
}

TEST(NoTargetPass, EveryCountedRecordIsExcluded) {
  // The target position is ignored: with id 0 and weight 1 the predictors read 2 and 3.
  FSSettings s(std::vector<bool>{true, false}, true);
  s.SetCaseIDPosition(0);
  s.SetWeightPosition(1);
  RecordingListener listener;
  s.SetProgressListener(&listener);
  s.SetNSkippedRecordReports(0);
  TestEngine e(s);
  RowIterator it({{1, 2, 1, 1.5}, {2, kMiss, 1, 2.5}, {3, 1, kMiss, kMiss}, {4, 1, 3, 7.5}});
  EXPECT_TRUE(e.AccumulateNoTarget(it, -1).IsOK());
  EXPECT_EQ(GetCounts(e).nValid, 0);
  EXPECT_EQ(GetCounts(e).nExcluded, 3);
  EXPECT_EQ(GetCounts(e).wExcluded, 4.0);
  EXPECT_EQ(listener.records, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(e.GetNTargetCategories(), -1);
  EXPECT_TRUE(e.GetAccumulators()[0]->IsCategorical());
  EXPECT_FALSE(e.GetAccumulators()[1]->IsCategorical());
  EXPECT_FALSE(e.GetAccumulators()[0]->IsConstant());
  // A second pass starts its counts from zero and adds to the same accumulators.
  RowIterator again({{5, 1, kMiss, kMiss}});
  EXPECT_TRUE(e.AccumulateNoTarget(again, -1).IsOK());
  EXPECT_EQ(GetCounts(e).nExcluded, 1);
  EXPECT_EQ(GetCounts(e).wExcluded, 1.0);
}

// Transactions (id, predictor index, value, target) against the records they stand for.
TEST(TransactionPass, EqualsTheRecordsItStandsFor) {
  const struct {
    const char *what, *types;
    bool catTarget;
    int cancelAt;
    const char *transactions, *records;
    std::vector<int> shortRecord;  // the short-record error's data, when one is expected
  } cases[] = {
      {"absent predictors are missing",
       "cnc",
       true,
       0,
       "1 0 4 1; 1 2 5 1; 2 1 2.5 0",
       "1 4 m 5; 0 m 2.5 m",
       {}},
      // Transaction 2's second record would be an order error if it were read.
      {"excluded transactions are skipped",
       "cc",
       true,
       0,
       "1 0 3 1; 2 1 3 m; 2 0 3 1; 3 0 1 -1.5; 4 1 2 0",
       "1 3 m; m 3 3; -1.5 1 1; 0 m 2",
       {}},
      {"index rounded half up", "nnn", false, 0, "1 -0.7 4 2.5; 1 1.6 5 2.5", "2.5 4 m 5", {}},
      {"closed by the last predictor",
       "ccc",
       true,
       0,
       "1 0 1 1; 1 1 2 1; 1 2 3 1; 2 2 3 0",
       "1 1 2 3; 0 m m 3",
       {}},
      {"cancelled transaction closed and counted",
       "nnn",
       true,
       2,
       "1 0 4 1; 1 1 5 1; 1 2 6 1",
       "1 4 m m",
       {}},
      {"short record ends the data", "nn", true, 0, "1 0 4 1; 1 1 5; 2 0 1 1", "1 4 m", {2, 4, 3}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    FSSettings s = TargetFirst(Types(k.types), k.catTarget);
    CancelAt query(k.cancelAt > 0 ? k.cancelAt : 1000);
    TestEngine e(s, &query);
    RowIterator it(ParseRows(k.transactions));
    const NQStatus st = e.AccumulateTransactions(it);
    EXPECT_EQ(st.GetErrorCode(), k.shortRecord.empty() ? 0 : NQFeature::StatusShortRecord);
    for (std::size_t i = 0; i < k.shortRecord.size(); ++i)
      EXPECT_EQ(st.GetDiscreteDatum(static_cast<int>(i)), k.shortRecord[i]);
    EXPECT_EQ(e.GetStatus(), EngineAccumulated);
    EXPECT_EQ(Fingerprint(e), RecordForm(s, ParseRows(k.records)));
    if (k.cancelAt > 0) {
      EXPECT_EQ(it.getCalls, 1);
    }
  }
}

TEST(TransactionPass, ProgressPerOpenTransaction) {
  // Excluded transactions (2: missing target, 3: target truncating to -1) are no steps.
  FSSettings s = CatSettings(2);
  RecordingListener listener;
  s.SetProgressListener(&listener);
  s.SetNSkippedRecordReports(1);
  TestEngine e(s);
  RowIterator it({{1, 0, 3, 1},
                  {2, 1, 3, kMiss},
                  {3, 0, 1, -1.5},
                  {4, 1, 2, 0},
                  {5, 0, 1, 1},
                  {6, 0, 1, 1},
                  {7, 1, 1, 0}});
  e.AccumulateTransactions(it);
  EXPECT_EQ(listener.records, (std::vector<int>{4, 6}));
}

TEST(TransactionPass, OrderAndIndexErrors) {
  const struct {
    Rows rows;
    long code, data0, data1, data2;
  } cases[] = {
      {{{7.9, 3, 1, 1}, {7.9, 3, 2, 1}}, NQFeature::StatusTransactionOrder, 3, 3, 7},
      {{{-8, 4, 1, 1}, {-8, 2, 2, 1}}, NQFeature::StatusTransactionOrder, 4, 2, -8},
      {{{3, -1.6, 1, 1}}, NQFeature::StatusTransactionOrder, -1, -1, 3},
      {{{5, 1, 1, 1}, {5, 5, 2, 1}}, NQFeature::StatusTransactionIndex, 5, 5, 5},
      {{{6, 0, 1, 1}, {6, 1e12, 2, 1}}, NQFeature::StatusTransactionIndex, 2147483647, 5, 6},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.code << " " << k.data0 << " " << k.data1);
    FSSettings s = CatSettings(5);
    TestEngine e(s);
    RowIterator it(k.rows);
    const NQStatus st = e.AccumulateTransactions(it);
    EXPECT_EQ(st.GetErrorCode(), k.code);
    EXPECT_TRUE(st.IsError());
    EXPECT_EQ(st.GetDiscreteDatum(0), k.data0);
    EXPECT_EQ(st.GetDiscreteDatum(1), k.data1);
    EXPECT_EQ(st.GetDiscreteDatum(2), k.data2);
    // The pass leaves at once: the open transaction is not counted, the state is unchanged.
    EXPECT_EQ(GetCounts(e).nValid + GetCounts(e).nExcluded, 0);
    EXPECT_EQ(e.GetStatus(), EngineInitial);
  }
}

TEST(TransactionPass, CategoricalMinusOneIsMissingButMinusOnePointTwoIsAValue) {
  FSSettings s = CatSettings(2);
  TestEngine e(s);
  RowIterator it({{1, 0, -1.0, 1}, {1, 1, -1.2, 1}});
  EXPECT_TRUE(e.AccumulateTransactions(it).IsOK());
  EXPECT_TRUE(e.GetAccumulators()[0]->IsAllMissing());
  EXPECT_FALSE(e.GetAccumulators()[1]->IsAllMissing());
  EXPECT_EQ(GetCounts(e).nValid, 1);
}

TEST(TransactionPass, EqualsTheRecordFormBitForBit) {
  for (bool catTarget : {true, false}) {
    SCOPED_TRACE(catTarget);
    const std::vector<bool> types{true, false, false, true, false};
    FSSettings s = TargetFirst(types, catTarget);
    Rows records, transactions;
    for (int c = 0; c < 60; ++c) {
      const double target = c % 11 == 0 ? kMiss : (catTarget ? c % 3 : 0.37 * c - 4.0);
      std::vector<double> record{target};
      for (int j = 0; j < 5; ++j) {
        const bool present = (c * 7 + j * 3) % 4 != 0;
        double x = types[j] ? static_cast<double>((c + j) % 4) : (c * 1.3 - j) / 7.0;
        if (types[j] && (c + j) % 13 == 0) x = -1.0;
        if (present) transactions.push_back({100.0 + c, static_cast<double>(j), x, target});
        record.push_back(present ? x : kMiss);
      }
      // A case without any record cannot appear in transaction form.
      if (record == std::vector<double>{target, kMiss, kMiss, kMiss, kMiss, kMiss}) continue;
      records.push_back(record);
    }
    TestEngine e(s);
    RowIterator it(transactions);
    EXPECT_TRUE(e.AccumulateTransactions(it).IsOK());
    EXPECT_EQ(Fingerprint(e), RecordForm(s, records));
    EXPECT_GT(GetCounts(e).nValid, 40);
  }
}

TEST(PredictorSet, ConstructionAndQueries) {
  FSSettings s(std::vector<bool>{true, false, true}, true);  // mixed: Pearson, Likelihood, FStat
  TestEngine e(s);
  EXPECT_EQ(e.GetStatus(), EngineInitial);
  EXPECT_EQ(e.GetSetType(), NQFSCommon::Mixed);
  EXPECT_EQ(e.GetNRemaining(), 3);
  EXPECT_EQ(e.GetRanks(NQFSCommon::Pearson), std::vector<int>(3, -1));
  EXPECT_EQ(e.GetCriterionValues(NQFSCommon::FStat), std::vector<double>(3, kMiss));
  EXPECT_TRUE(e.GetRanks(NQFSCommon::Cramer).empty());
  bool all = true;
  EXPECT_EQ(e.CountDeleted(all), 0);
  EXPECT_FALSE(all);
  EXPECT_TRUE(e.AllocateAccumulators(true));
  const IFSPredTargetAccum* first = e.GetAccumulators()[0];
  EXPECT_FALSE(e.AllocateAccumulators(false));  // only once
  EXPECT_EQ(e.GetAccumulators()[0], first);
  EXPECT_EQ(e.GetNTargetCategories(), 0);
  double a = 0, b = 0, c = 0, d = 0;
  for (auto [criterion, predictor] :
       {std::make_pair(0, -1), std::make_pair(0, 3), std::make_pair(6, 0), std::make_pair(-1, 0)}) {
    EXPECT_FALSE(e.GetPredictorStats(criterion, predictor, a, b, c, d));
    EXPECT_TRUE(NQMV::IsMissing(a) && NQMV::IsMissing(b) && NQMV::IsMissing(c) &&
                NQMV::IsMissing(d));
  }

  FSCancelState cancel;
  FSPredictorSet restored(&cancel);
  EXPECT_EQ(restored.GetSettings(), nullptr);
  EXPECT_EQ(restored.GetNRemaining(), 0);
  EXPECT_EQ(restored.GetSetType(), NQFSCommon::kSetTypeUnrecognized);
  EXPECT_EQ(restored.GetStatus(), EngineInitial);
  EXPECT_TRUE(restored.IsNoValidData());
  EXPECT_TRUE(restored.CountDeleted(all) == 0 && all);
}
