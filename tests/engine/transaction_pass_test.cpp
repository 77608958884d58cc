// The transaction-form pass: fill-in of absent predictors, closing transactions, exclusion,
// the order and index errors, short records, cancellation, and equality with the record form.
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

// Target in column 0, predictors after it: the record form of the same cases.
FSSettings Settings(const std::vector<bool>& types, bool catTarget) {
  FSSettings s(types, catTarget);
  s.SetTargetPosition(0);
  return s;
}

std::string RecordFormFingerprint(FSSettings& s, const Rows& rows) {
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it(rows);
  e.AccumulateRecords(it, -1);
  return Fingerprint(e);
}

int NValid(const FSPredictorSet& e) {
  double w1, w2;
  int valid, excluded;
  e.GetNValidNExcluded(w1, w2, valid, excluded);
  return valid;
}

int NExcluded(const FSPredictorSet& e) {
  double w1, w2;
  int valid, excluded;
  e.GetNValidNExcluded(w1, w2, valid, excluded);
  return excluded;
}

}  // namespace

TEST(TransactionPass, AbsentPredictorsAreMissing) {
  FSSettings s = Settings({true, false, true}, true);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 0, 4, 1}, {1, 2, 5, 1}, {2, 1, 2.5, 0}});
  EXPECT_TRUE(e.AccumulateTransactions(it).IsOK());
  EXPECT_EQ(NValid(e), 2);
  EXPECT_EQ(e.GetStatus(), EngineAccumulated);
  EXPECT_EQ(Fingerprint(e), RecordFormFingerprint(s, {{1, 4, kMiss, 5}, {0, kMiss, 2.5, kMiss}}));
}

TEST(TransactionPass, ExcludedTransactionIsCountedOnceAndSkipped) {
  FSSettings s = Settings({true, true}, true);
  RecordingListener listener;
  s.SetProgressListener(&listener);
  s.SetNSkippedRecordReports(0);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  // Transaction 1 is usable, 2 has a missing target (its second record would be an order
  // error if it were read), 3 has a categorical target that truncates to -1.
  RowIterator it({{1, 0, 3, 1}, {2, 1, 3, kMiss}, {2, 0, 3, 1}, {3, 0, 1, -1.5}, {4, 1, 2, 0}});
  EXPECT_TRUE(e.AccumulateTransactions(it).IsOK());
  EXPECT_EQ(NValid(e), 2);
  EXPECT_EQ(NExcluded(e), 2);
  EXPECT_EQ(listener.records, (std::vector<int>{1, 4}));
  EXPECT_EQ(Fingerprint(e),
            RecordFormFingerprint(s, {{1, 3, kMiss}, {kMiss, 3, 3}, {-1.5, 1, 1}, {0, kMiss, 2}}));
}

TEST(TransactionPass, IndexIsRoundedHalfUp) {
  FSSettings s = Settings({false, false, false}, false);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, -0.7, 4, 2.5}, {1, 1.6, 5, 2.5}});
  EXPECT_TRUE(e.AccumulateTransactions(it).IsOK());
  EXPECT_EQ(Fingerprint(e), RecordFormFingerprint(s, {{2.5, 4, kMiss, 5}}));
}

TEST(TransactionPass, OrderAndIndexErrors) {
  struct Case {
    Rows rows;
    long code;
    long data0, data1, data2;
  };
  const Case cases[] = {
      {{{7.9, 3, 1, 1}, {7.9, 3, 2, 1}}, NQFeature::StatusTransactionOrder, 3, 3, 7},
      {{{-8, 4, 1, 1}, {-8, 2, 2, 1}}, NQFeature::StatusTransactionOrder, 4, 2, -8},
      {{{3, -1.6, 1, 1}}, NQFeature::StatusTransactionOrder, -1, -1, 3},
      {{{5, 1, 1, 1}, {5, 5, 2, 1}}, NQFeature::StatusTransactionIndex, 5, 5, 5},
      {{{6, 0, 1, 1}, {6, 1e12, 2, 1}}, NQFeature::StatusTransactionIndex, 2147483647, 5, 6},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.code << " " << k.data0 << " " << k.data1);
    FSSettings s = Settings(std::vector<bool>(5, true), true);
    FSCancelState cancel;
    FSPredictorSet e(&s, &cancel);
    RowIterator it(k.rows);
    const NQStatus st = e.AccumulateTransactions(it);
    EXPECT_EQ(st.GetErrorCode(), k.code);
    EXPECT_TRUE(st.IsError());
    EXPECT_EQ(st.GetDiscreteDatum(0), k.data0);
    EXPECT_EQ(st.GetDiscreteDatum(1), k.data1);
    EXPECT_EQ(st.GetDiscreteDatum(2), k.data2);
    // The pass leaves at once: the open transaction is not counted, the state is unchanged.
    EXPECT_EQ(NValid(e) + NExcluded(e), 0);
    EXPECT_EQ(e.GetStatus(), EngineInitial);
  }
}

TEST(TransactionPass, LastTransactionIsCountedWhenItEndsWithTheLastPredictor) {
  FSSettings s = Settings({true, true, true}, true);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 0, 1, 1}, {1, 1, 2, 1}, {1, 2, 3, 1}, {2, 2, 3, 0}});
  EXPECT_TRUE(e.AccumulateTransactions(it).IsOK());
  EXPECT_EQ(NValid(e), 2);
  EXPECT_EQ(Fingerprint(e), RecordFormFingerprint(s, {{1, 1, 2, 3}, {0, kMiss, kMiss, 3}}));
}

TEST(TransactionPass, CategoricalMinusOneIsMissingButMinusOnePointTwoIsAValue) {
  FSSettings s = Settings({true, true}, true);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 0, -1.0, 1}, {1, 1, -1.2, 1}});
  EXPECT_TRUE(e.AccumulateTransactions(it).IsOK());
  EXPECT_TRUE(e.GetAccumulators()[0]->IsAllMissing());
  EXPECT_FALSE(e.GetAccumulators()[1]->IsAllMissing());
  EXPECT_EQ(NValid(e), 1);
}

TEST(TransactionPass, CancelledTransactionIsClosedAndCounted) {
  FSSettings s = Settings({false, false, false}, true);
  CancelAt query(2);  // asked before each record: only the first is read
  FSCancelState cancel(&query);
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 0, 4, 1}, {1, 1, 5, 1}, {1, 2, 6, 1}});
  EXPECT_TRUE(e.AccumulateTransactions(it).IsOK());
  EXPECT_EQ(NValid(e), 1);
  EXPECT_EQ(it.getCalls, 1);
  EXPECT_EQ(Fingerprint(e), RecordFormFingerprint(s, {{1, 4, kMiss, kMiss}}));
}

TEST(TransactionPass, ShortRecordEndsThePassAsTheEndOfTheData) {
  FSSettings s = Settings({false, false}, true);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 0, 4, 1}, {1, 1, 5}, {2, 0, 1, 1}});
  const NQStatus st = e.AccumulateTransactions(it);
  EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusShortRecord);
  EXPECT_TRUE(st.IsError());
  EXPECT_EQ(st.GetDiscreteDatum(0), 2);
  EXPECT_EQ(st.GetDiscreteDatum(1), 4);
  EXPECT_EQ(st.GetDiscreteDatum(2), 3);
  EXPECT_EQ(e.GetStatus(), EngineAccumulated);
  EXPECT_EQ(Fingerprint(e), RecordFormFingerprint(s, {{1, 4, kMiss}}));
}

TEST(TransactionPass, EmptyDataAndNoValidValue) {
  FSSettings s = Settings({true, false}, true);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator none(Rows{});
  EXPECT_EQ(e.AccumulateTransactions(none), NQStatus(NQFeature::StatusNoValidData, false));
  EXPECT_EQ(e.GetStatus(), EngineAccumulated);
  RowIterator missing({{1, 0, kMiss, 1}});
  EXPECT_EQ(e.AccumulateTransactions(missing), NQStatus(NQFeature::StatusNoValidData, false));
  EXPECT_EQ(NExcluded(e), 1);
}

TEST(TransactionPass, TargetPositionIsNotUsed) {
  FSSettings s({true}, true);
  s.SetTargetPosition(-1);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it({{1, 0, 2, 1}});
  EXPECT_TRUE(e.AccumulateTransactions(it).IsOK());
  EXPECT_EQ(NValid(e), 1);
}

TEST(TransactionPass, EqualsTheRecordFormBitForBit) {
  for (bool catTarget : {true, false}) {
    SCOPED_TRACE(catTarget);
    const std::vector<bool> types{true, false, false, true, false};
    FSSettings s = Settings(types, catTarget);
    Rows records;
    Rows transactions;
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
    FSCancelState cancel;
    FSPredictorSet e(&s, &cancel);
    RowIterator it(transactions);
    EXPECT_TRUE(e.AccumulateTransactions(it).IsOK());
    EXPECT_EQ(Fingerprint(e), RecordFormFingerprint(s, records));
    EXPECT_GT(NValid(e), 40);
  }
}

TEST(TransactionPass, ProgressPerOpenTransaction) {
  FSSettings s = Settings({true, true}, true);
  RecordingListener listener;
  s.SetProgressListener(&listener);
  s.SetNSkippedRecordReports(1);
  FSCancelState cancel;
  FSPredictorSet e(&s, &cancel);
  RowIterator it(
      {{1, 0, 1, 1}, {1, 1, 1, 1}, {2, 0, 1, 0}, {3, 0, 1, 1}, {4, 1, 1, 0}, {5, 0, 1, 1}});
  e.AccumulateTransactions(it);
  EXPECT_EQ(listener.records, (std::vector<int>{2, 4}));
}
