// The whole pipeline as a host drives it, down to the result documents and the facade's order of
// refusals: only <fsrank/fsrank.h>, linked against libfsrank.so.
#include <fsrank/fsrank.h>

#include <atomic>
#include <cmath>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/hosts.h"

using namespace NQFSCommon;
using NQFeature::NQStatus;

namespace {

using testhosts::CancelAt;
using testhosts::RowIterator;
using testhosts::Rows;

// An endless stream of varied records, for cancellation from another thread.
class EndlessIterator : public NQCommon::RecordIterator {
 public:
  explicit EndlessIterator(int width) : fRecord(width) {}
  bool Next() override {
    ++fCount;
    started.store(true);
    for (int i = 0; i < fRecord.Size(); ++i)
      fRecord[i] = static_cast<double>((fCount * (i + 3)) % 7);
    return true;
  }
  NQCommon::Record* GetRecord() override { return &fRecord; }
  std::atomic<bool> started{false};

 private:
  long fCount = 0;
  NQCommon::Record fRecord;
};

// Target in column 0 (categories 0/1), then `width` predictors. Predictor j is a noisy copy of
// the target whose noise grows with j, so the expected ranking follows the column order.
Rows MakeRows(int n, int width, bool continuousPredictors) {
  Rows rows;
  for (int r = 0; r < n; ++r) {
    const double target = r % 2;
    std::vector<double> row{target};
    for (int j = 0; j < width; ++j) {
      const bool flip = ((r * 7 + j * 13) % 20) < 2 * j;
      const double v = flip ? 1.0 - target : target;
      row.push_back(continuousPredictors ? v * 10.0 + (r % 5) * 0.1 : v);
    }
    rows.push_back(row);
  }
  return rows;
}

struct Algo {
  explicit Algo(FSSettings& s) : algorithm(factory.CreateFSAlgorithm(&s)) {}
  ~Algo() { delete algorithm; }
  IFSAlgorithm* operator->() { return algorithm; }
  FSFactory factory;
  IFSAlgorithm* algorithm;
};

// Says yes from its first question on, once armed.
class Switch : public NQQueryCancel {
 public:
  bool IsCancelRequested() override { return on; }
  bool on = false;
};

// Three categorical predictors ranked against a categorical target, sorted with SortAndRank(n).
struct Ranked {
  explicit Ranked(int n = 0) : settings(3, true, true) {
    settings.SetCancelPointer(&cancel);
    algorithm = factory.CreateFSAlgorithm(&settings);
    RowIterator it(rows);
    status = algorithm->AccumulateAndRank(it, -1, true, n);
  }
  ~Ranked() { delete algorithm; }
  Rows rows = MakeRows(40, 3, false);
  FSSettings settings;
  Switch cancel;
  FSFactory factory;
  IFSAlgorithm* algorithm = nullptr;
  NQStatus status;
};

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
    ++n;
  return n;
}

}  // namespace

// Queries before the data pass are refused, leave the outputs alone and do not end the algorithm.
TEST(Facade, FreshAlgorithmRefusesWithoutEnding) {
  FSSettings settings(3, true, true);
  Algo a(settings);
  ASSERT_NE(a.algorithm, nullptr);
  EXPECT_NE(a->GetComponentVersion().find("1.0"), std::string::npos);
  EXPECT_NE(a->GetComponentVersion().find("Copyright"), std::string::npos);
  EXPECT_FALSE(a->IsDataAccumulated() || a->ArePredictorsRanked());
  std::vector<int> indices{7};
  std::vector<double> values{0.5};
  NQStatus st = a->GetTopPredictors(Pearson, indices, values, 2);
  EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusNotRanked);
  EXPECT_TRUE(st.IsError());
  EXPECT_EQ(indices, std::vector<int>{7});
  EXPECT_EQ(values, std::vector<double>{0.5});
  EXPECT_EQ(a->SortAndRank(0).GetErrorCode(), NQFeature::StatusNoDataPass);
  EXPECT_EQ(a->ScreenPredictors().GetErrorCode(), NQFeature::StatusNoDataPass);
  EXPECT_EQ(a->CheckPredAllMissConst().GetErrorCode(), NQFeature::StatusNoDataPass);
  EXPECT_TRUE(a->GetStatus().IsOK());
  Rows rows = MakeRows(40, 3, false);
  RowIterator it(rows);
  EXPECT_TRUE(a->AccumulateAndRank(it, -1, true, 0).IsOK());
}

TEST(Facade, RankedRunAnswersQueries) {
  FSSettings settings(4, true, true);
  Algo a(settings);
  Rows rows = MakeRows(60, 4, false);
  RowIterator it(rows);
  ASSERT_TRUE(a->AccumulateAndRank(it, -1, true, 0).IsOK());
  EXPECT_TRUE(a->IsDataAccumulated());
  EXPECT_TRUE(a->ArePredictorsRanked());
  double wv, we;
  int nv, ne;
  a->GetNValidNExcluded(wv, we, nv, ne);
  EXPECT_EQ(nv, 60);
  EXPECT_EQ(ne, 0);
  EXPECT_EQ(a->GetNTargetCategories(), 2);
  EXPECT_EQ(a->GetTargetCategoryCount(1), std::make_pair(30, 30.0));
  std::vector<int> indices;
  std::vector<double> values;
  ASSERT_TRUE(a->GetTopPredictors(Pearson, indices, values, 0).IsOK());
  ASSERT_EQ(indices.size(), 4u);
  EXPECT_EQ(indices[0], 0);  // the exact copy of the target
  EXPECT_EQ(a->GetRanks(Pearson)[0], 0);
  EXPECT_EQ(a->GetCriterionValues(Pearson)[static_cast<size_t>(indices[0])], values[0]);
  // Lambda is on by default here; switched off it is refused.
  ASSERT_TRUE(settings.SetCriterion(Lambda, false));
  EXPECT_EQ(a->GetTopPredictors(Lambda, indices, values, 0).GetErrorCode(),
            NQFeature::StatusCriterionNotSelected);
  // Asking for more than remain: outputs produced, then an 80012 warning.
  NQStatus st = a->GetTopPredictors(Pearson, indices, values, 9);
  EXPECT_TRUE(st.IsWarning());
  EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusFewerPredictors);
  EXPECT_EQ(st.GetDiscreteDatum(0), 4);
  EXPECT_EQ(indices.size(), 4u);
}

TEST(Facade, SortAndRankAskingForMoreThanRemainIsAStickyError) {
  FSSettings settings(30, true, true);
  Algo a(settings);
  Rows rows = MakeRows(80, 30, false);
  RowIterator it(rows);
  ASSERT_TRUE(a->Accumulate(it, -1).IsOK());
  NQStatus st = a->SortAndRank(50);
  EXPECT_TRUE(st.IsError());
  EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusFewerPredictors);
  EXPECT_EQ(st.GetDiscreteDatum(0), 30);
  EXPECT_EQ(a->GetStatus(), st);
  std::vector<int> indices;
  std::vector<double> values;
  EXPECT_EQ(a->GetTopPredictors(Pearson, indices, values, 50), st);
  EXPECT_EQ(a->ScreenPredictors(), st);
}

TEST(Facade, NoValidDataIsStickyAndTheDataStaysAccumulated) {
  FSSettings settings(2, false, true);
  Algo a(settings);
  Rows rows(5, std::vector<double>{1.0, NQMV::Missing(), NQMV::Missing()});
  RowIterator it(rows);
  NQStatus st = a->Accumulate(it, -1);
  EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusNoValidData);
  EXPECT_TRUE(a->IsDataAccumulated());
  EXPECT_EQ(a->ScreenPredictors(), st);
  EXPECT_EQ(a->SortAndRank(0), st);
}

TEST(Facade, WarningFromTheCheckStopsAccumulateAndRank) {
  FSSettings settings(2, true, true);
  Algo a(settings);
  Rows rows;
  for (int r = 0; r < 10; ++r)
    rows.push_back({static_cast<double>(r % 2), 3.0, 4.0});
  RowIterator it(rows);
  NQStatus st = a->AccumulateAndRank(it, -1, true, 0);
  EXPECT_TRUE(st.IsWarning());
  EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusAllDeletedByCheck);
  EXPECT_TRUE(a->ArePredictorsRanked());
  EXPECT_EQ(a->GetReasonsDelPred(), (std::vector<int>{2, 2}));
}

TEST(Facade, CancelBeforeAccumulateDoesNoWork) {
  FSSettings settings(3, true, true);
  Algo a(settings);
  a->Cancel();
  Rows rows = MakeRows(20, 3, false);
  RowIterator it(rows);
  NQStatus st = a->Accumulate(it, -1);
  EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusCancelled);
  EXPECT_EQ(it.nextCalls, 0);
  EXPECT_TRUE(a->GetRanks(Pearson).empty());
  EXPECT_EQ(a->SortAndRank(0).GetErrorCode(), NQFeature::StatusCancelled);
}

TEST(Facade, HostCancelObjectStopsThePassAtRecordK) {
  FSSettings settings(3, true, true);
  // The facade asks once before the work, then the pass before every record: the fifth
  // question is the one before the fourth record.
  CancelAt cancel(5);
  settings.SetCancelPointer(&cancel);
  Algo a(settings);
  Rows rows = MakeRows(20, 3, false);
  RowIterator it(rows);
  NQStatus st = a->Accumulate(it, -1);
  EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusCancelled);
  double wv, we;
  int nv, ne;
  a->GetNValidNExcluded(wv, we, nv, ne);
  EXPECT_EQ(nv, 3);  // the counts survive the release
  EXPECT_EQ(cancel.asked, 5);
  std::vector<int> indices;
  std::vector<double> values;
  EXPECT_EQ(a->GetTopPredictors(Pearson, indices, values, 1).GetErrorCode(),
            NQFeature::StatusNotRanked);
}

TEST(Facade, MixedSetWithContinuousTargetRanksTStatThroughFStat) {
  FSSettings settings(std::vector<bool>{true, false, false, true}, false);
  Algo a(settings);
  Rows rows;
  for (int r = 0; r < 50; ++r) {
    const double y = r * 0.5 + (r % 3);
    rows.push_back({y, static_cast<double>(r % 4), y * 2.0 + (r % 7), static_cast<double>(r % 11),
                    static_cast<double>(r % 2)});
  }
  RowIterator it(rows);
  ASSERT_TRUE(a->AccumulateAndRank(it, -1, false, 0).IsOK());
  EXPECT_EQ(a->GetRanks(TStat), a->GetRanks(FStat));
  std::vector<int> indices;
  std::vector<double> values;
  ASSERT_TRUE(a->GetTopPredictors(TStat, indices, values, 0).IsOK());
  EXPECT_EQ(indices.front(), 1);  // the predictor built from the target
}

TEST(Facade, CancelFromAnotherThreadStopsALongPass) {
  FSSettings settings(4, true, true);
  Algo a(settings);
  EndlessIterator it(5);
  std::thread canceller([&] {
    while (!it.started.load())
      std::this_thread::yield();
    a.algorithm->Cancel();
  });
  NQStatus st = a->Accumulate(it, -1);
  canceller.join();
  EXPECT_EQ(st.GetErrorCode(), NQFeature::StatusCancelled);
  EXPECT_EQ(a->GetStatus().GetErrorCode(), NQFeature::StatusCancelled);
}

// Returns whether the creation was cancelled; the factory's status must agree with the result.
static bool CreateWhileAnotherThreadCancels(FSSettings& settings) {
  FSFactory factory;
  std::atomic<bool> creating{false}, done{false};
  std::thread canceller([&] {
    while (!creating.load())
      std::this_thread::yield();
    while (!done.load())
      factory.Cancel();
  });
  creating.store(true);
  IFSAlgorithm* algorithm = factory.CreateFSAlgorithm(&settings);
  done.store(true);
  canceller.join();
  // Whatever the interleaving, a cancelled status is what the factory reports at the end, and
  // an algorithm is returned only when the cancellation came after it was handed over.
  EXPECT_EQ(factory.GetStatus().GetErrorCode(), NQFeature::StatusCancelled);
  const bool cancelled = algorithm == nullptr;
  delete algorithm;
  return cancelled;
}

TEST(Facade, FactoryCancelDuringCreationDestroysTheAlgorithm) {
  // Large enough that construction takes a while, so the cancelling thread meets it running.
  // The interleaving is up to the scheduler: a few attempts make the in-flight case certain.
  FSSettings settings(4000000, false, true);
  bool cancelledInFlight = false;
  for (int attempt = 0; attempt < 5 && !cancelledInFlight; ++attempt) {
    cancelledInFlight = CreateWhileAnotherThreadCancels(settings);
  }
  EXPECT_TRUE(cancelledInFlight);
  // A later creation starts afresh.
  FSFactory factory;
  factory.Cancel();
  FSSettings small(2, true, true);
  IFSAlgorithm* fresh = factory.CreateFSAlgorithm(&small);
  EXPECT_NE(fresh, nullptr);
  EXPECT_TRUE(factory.GetStatus().IsOK());
  delete fresh;
}

TEST(Facade, DocumentsOfARankedRun) {
  Ranked r;
  ASSERT_TRUE(r.status.IsOK());
  std::ostringstream one, all, display;
  EXPECT_TRUE(r.algorithm->ExportOneXML(one, Likelihood, 2).IsOK());
  EXPECT_EQ(one.str().rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                            "<!DOCTYPE FSOutputOne SYSTEM \"fsoutputonecrit.dtd\">\n\n"
                            "<FSOutputOne\n",
                            0),
            0u);
  EXPECT_EQ(Count(one.str(), "<Predictor\n"), 2);
  EXPECT_TRUE(r.algorithm->ExportAllXML(all).IsOK());
  EXPECT_EQ(Count(all.str(), "<Predictor\n"), 3);
  EXPECT_EQ(Count(all.str(), "<CriterionAndRank\n"), 12);
  EXPECT_TRUE(r.algorithm->SaveStateXML(all).IsOK());
  r.algorithm->Display(display);
  EXPECT_NE(display.str().find("Data accumulated? Yes.  Predictors ranked? Yes.\n"),
            std::string::npos);
  // Asking for more than remain is an error returned after the document, not stored.
  std::ostringstream more;
  const NQStatus s = r.algorithm->ExportOneXML(more, Pearson, 5);
  EXPECT_EQ(s.GetErrorCode(), NQFeature::StatusFewerPredictors);
  EXPECT_TRUE(s.IsError());
  EXPECT_EQ(s.GetDiscreteDatum(0), 3);
  EXPECT_EQ(Count(more.str(), "<Predictor\n"), 3);
  EXPECT_NE(more.str().find("predictorChoiceType=\"all\""), std::string::npos);
  EXPECT_TRUE(r.algorithm->GetStatus().IsOK());
}

TEST(Facade, ExportRefusalOrder) {
  // Not ranked comes before a pending cancellation in FSOutputOne; FSOutputAll has no ranked
  // check of its own, so the engine refuses it before screening.
  {
    FSSettings settings(3, true, true);
    Switch cancel;
    settings.SetCancelPointer(&cancel);
    Algo a(settings);
    std::ostringstream out;
    EXPECT_EQ(a->ExportOneXML(out, Pearson, 0).GetErrorCode(), NQFeature::StatusNotRanked);
    EXPECT_EQ(a->ExportAllXML(out).GetErrorCode(), NQFeature::StatusNotRanked);
    cancel.on = true;
    EXPECT_EQ(a->ExportOneXML(out, Pearson, 0).GetErrorCode(), NQFeature::StatusNotRanked);
    EXPECT_EQ(a->ExportAllXML(out).GetErrorCode(), NQFeature::StatusCancelled);
    EXPECT_TRUE(out.str().empty());
  }
  // Ranked: a switched-off criterion, then a cancellation.
  {
    Ranked r;
    std::ostringstream out;
    EXPECT_EQ(r.algorithm->ExportOneXML(out, FStat, 0).GetErrorCode(),
              NQFeature::StatusCriterionNotSelected);
    r.cancel.on = true;
    EXPECT_EQ(r.algorithm->ExportOneXML(out, FStat, 0).GetErrorCode(), NQFeature::StatusCancelled);
    EXPECT_EQ(r.algorithm->ExportAllXML(out).GetErrorCode(), NQFeature::StatusCancelled);
    EXPECT_TRUE(out.str().empty());
  }
  // A stored error is returned by both, and nothing is written.
  {
    Ranked r(50);
    ASSERT_EQ(r.status.GetErrorCode(), NQFeature::StatusFewerPredictors);
    std::ostringstream out;
    EXPECT_EQ(r.algorithm->ExportOneXML(out, Pearson, 0), r.status);
    EXPECT_EQ(r.algorithm->ExportAllXML(out), r.status);
    EXPECT_TRUE(out.str().empty());
  }
}

// A table of more than 512 categories met out of order holds its late keys apart while the pass
// runs. The passes settle every table, so that two threads may read one finished algorithm at
// once (a save and a merge each here; the thread sanitizer's case), in both pass forms.
TEST(Facade, ThreadsReadAFinishedAlgorithmAtOnce) {
  for (bool transactions : {false, true}) {
    FSSettings settings(1, true, true);
    settings.SetFlagTrInput(transactions);
    Rows rows;
    for (int k = 0; k < 700; ++k) {
      const double category = 5000 + (k < 600 ? 2 * k : 2 * (k - 600) + 1);
      rows.push_back(transactions ? std::vector<double>{double(k), 0, category, double(k % 2)}
                                  : std::vector<double>{double(k % 2), category});
    }
    Algo shared(settings), own[2] = {Algo(settings), Algo(settings)};
    for (Algo* a : {&shared, &own[0], &own[1]}) {
      RowIterator it(rows);
      ASSERT_TRUE((*a)->Accumulate(it, -1).IsOK());
    }
    std::string saved[2];
    std::thread readers[2];
    for (int t = 0; t < 2; ++t) {
      readers[t] = std::thread([&, t] {
        shared->SaveStateToString(saved[t]);
        EXPECT_TRUE(own[t]->Merge(*shared.algorithm).IsOK());
      });
    }
    for (std::thread& reader : readers)
      reader.join();
    EXPECT_EQ(saved[0], saved[1]);
  }
}
