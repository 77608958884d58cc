// The result documents: whole documents of small ranked runs against golden files (time stamp
// masked), the choices of predictorChoiceType, the refusals, and every document through
// xmllint. Set FSRANK_UPDATE_GOLDEN=1 to rewrite the golden files from the current output.
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/golden.h"
#include "engine/support/hosts.h"
#include "persist/document_parts.h"
#include "persist/support/xmllint.h"

using enginetest::kMiss;
using enginetest::RowIterator;
using enginetest::Rows;
using enginetest::TargetFirst;
using NQFeature::NQStatus;
using namespace NQFSCommon;

namespace {

// The time stamp is the one part of a document that changes from run to run.
std::string MaskTimestamp(const std::string& doc) {
  static const std::regex stamp("<Timestamp>[^<]*</Timestamp>");
  return std::regex_replace(doc, stamp, "<Timestamp>(masked)</Timestamp>");
}

void ExpectGolden(const std::string& doc, const std::string& name) {
  SCOPED_TRACE(name);
  ExpectWellFormed(doc);
  ExpectGoldens({{"results/" + name, MaskTimestamp(doc)}});
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
    ++n;
  return n;
}

// One engine with its own settings and cancel state, driven stage by stage.
class Pipeline {
 public:
  explicit Pipeline(const FSSettings& settings)
      : fSettings(settings), fCancel(nullptr), fEngine(&fSettings, &fCancel) {}

  // Accumulates and screens rows, then (unless rank < 0) computes the criteria, sorts and
  // ranks: every list completely for rank 0, otherwise only the best rank.
  Pipeline& Run(const Rows& rows, int rank) {
    RowIterator it(rows);
    EXPECT_TRUE((fSettings.GetFlagTrInput() ? fEngine.AccumulateTransactions(it)
                                            : fEngine.AccumulateRecords(it, -1))
                    .IsOK());
    EXPECT_TRUE(fEngine.CheckPredAllMissConst().IsOK());
    EXPECT_FALSE(fEngine.ScreenPredictors().IsError());
    if (rank < 0) return *this;
    EXPECT_TRUE(fEngine.ComputeCriteria().IsOK());
    EXPECT_TRUE((rank == 0 ? fEngine.SortAll() : fEngine.SortBest(rank)).IsOK());
    EXPECT_TRUE((rank == 0 ? fEngine.RankAll() : fEngine.RankBest()).IsOK());
    return *this;
  }
  // FSOutputOne of criterion c and n predictors, or FSOutputAll for c < 0.
  std::string Document(int c, int n) {
    std::ostringstream out;
    EXPECT_TRUE(
        (c < 0 ? fEngine.ExportAll(out) : fEngine.ExportOne(out, static_cast<RankCriteria>(c), n))
            .IsOK());
    return out.str();
  }

  FSSettings fSettings;
  FSCancelState fCancel;
  FSPredictorSet fEngine;
};

// Target in column 0. Predictor 0 follows the target closely, 1 and 3 loosely (3 with missing
// values), 2 is constant (deleted).
const Rows kCategorical = {
    {0, 0, 0, 5, 1}, {0, 0, 1, 5, 1}, {0, 0, 2, 5, 0},     {0, 0, 0, 5, kMiss},
    {0, 0, 1, 5, 1}, {0, 1, 2, 5, 0}, {1, 1, 0, 5, 0},     {1, 1, 1, 5, 0},
    {1, 1, 2, 5, 1}, {1, 1, 0, 5, 0}, {1, 1, 0, 5, kMiss}, {1, 0, 2, 5, 1},
};

// The same cases in transaction form: (case, predictor, value, target), missing values left
// out.
Rows AsTransactions(const Rows& records) {
  Rows out;
  for (std::size_t k = 0; k < records.size(); ++k) {
    for (std::size_t j = 1; j < records[k].size(); ++j) {
      if (records[k][j] == kMiss) continue;
      out.push_back(
          {static_cast<double>(k + 1), static_cast<double>(j - 1), records[k][j], records[k][0]});
    }
  }
  return out;
}

// A binary target and six continuous predictors of falling strength; predictor 5 has values
// only where the target is 0, so its F test is undefined.
const Rows kContinuous = {
    {0, 1.0, 2.0, 4.0, 10, 7, 3}, {1, 5.2, 3.0, 4.1, 12, 6, kMiss},
    {0, 1.3, 2.5, 3.9, 11, 8, 4}, {1, 5.0, 3.5, 4.2, 13, 5, kMiss},
    {0, 0.8, 1.5, 4.3, 9, 7, 5},  {1, 4.9, 2.5, 3.8, 10, 6, kMiss},
    {0, 1.1, 2.0, 4.0, 12, 9, 2}, {1, 5.3, 3.0, 4.0, 11, 5, kMiss},
    {0, 0.9, 3.0, 4.1, 10, 8, 6}, {1, 5.1, 3.2, 3.9, 12, 6, kMiss},
};

// Categorical target; predictors categorical, continuous, categorical (nearly independent of
// the target), continuous with values only where the target is 0.
const Rows kMixedCatTarget = {
    {0, 0, 1.2, 0, 4},   {1, 1, 3.4, 0, kMiss}, {0, 0, 1.0, 1, 5},   {1, 1, 3.1, 1, kMiss},
    {0, 0, 2.2, 2, 6},   {1, 1, 2.9, 1, kMiss}, {0, 0, 1.7, 0, 5.5}, {1, 0, 3.8, 0, kMiss},
    {0, 0, 1.1, 1, 4.5}, {1, 1, 2.5, 1, kMiss}, {0, 1, 1.9, 2, 6.5}, {1, 1, 3.3, 2, kMiss},
};

// Continuous target; predictors categorical, continuous (close to the target), continuous.
const Rows kMixedContTarget = {
    {1.0, 0, 1.1, 5}, {2.1, 0, 1.9, 3}, {2.9, 0, 3.2, 6}, {4.2, 0, 3.8, 2}, {5.1, 1, 5.3, 7},
    {5.8, 1, 6.1, 4}, {7.2, 1, 6.8, 1}, {8.1, 1, 8.2, 8}, {8.8, 1, 9.1, 3}, {10.3, 0, 9.7, 5},
};

// Categorical and continuous predictors; the standard deviation rule is on with a minimum of 0.5,
// so that every screening rule is listed; predictor 0 is all missing and 1 varies too little.
Rows Screened() {
  Rows rows;
  for (int k = 0; k < 10; ++k) {
    rows.push_back({static_cast<double>(k % 2), kMiss, 3.0 + 0.01 * (k % 3), 1.0 * k,
                    static_cast<double>(k % 3)});
  }
  return rows;
}

}  // namespace

// Each run's documents: against a golden file, or (without one) the text that must appear a
// number of times and the number of predictors listed.
TEST(ResultDocuments, GoldenAndChoices) {
  enum { kAll = -1 };
  const std::string bestOf = "predictorChoiceType=\"numberOfBest\"\n\tnumberOfBest=";
  struct Doc {
    int criterion, n;
    const char* golden;
    std::string contains = "";
    int times = 0, predictors = 0;
  };
  struct Run {
    FSSettings settings;
    Rows rows;
    int rank;
    std::vector<Doc> docs;
  };
  FSSettings transactions(std::vector<bool>(4, true), true);
  transactions.SetFlagTrInput(true);
  FSSettings screened = TargetFirst({true, false, false, true}, true);
  screened.SetMinStddev(0.5);
  const Run runs[] = {
      {TargetFirst({true, true, true, true}, true),
       kCategorical,
       0,
       {{Pearson, 0, "categorical_one_pearson.xml"},
        // The default settings switch the standard deviation rule on with a minimum of 0: it is
        // not listed, and numberOfCriteria counts the six rules that are.
        {kAll, 0, "categorical_all.xml"},
        // Without a partial sort, asking for at least as many as there are predictors is "all";
        // fewer is a limit, even though only three predictors are left.
        {Pearson, 4, "categorical_one_pearson.xml"},
        {Pearson, 9, "categorical_one_pearson.xml"},
        {Pearson, 2, nullptr, bestOf + "\"2\"\n", 1, 2},
        // Cramer's V has a longer name here than in the criteria list of FSOutputAll.
        {Cramer, 0, nullptr, "<Criterion\n\t\tname=\"Cramer V\"/>", 1, 3}}},
      // After a partial sort, a request below the sorted count limits the list; one above it
      // (or 0) gets the sorted count. Predictor 5 is beyond the best five: its entry has no
      // rank, and its undefined F test is written as "Missing".
      {TargetFirst(std::vector<bool>(6, false), true),
       kContinuous,
       5,
       {{FStat, 3, "continuous_one_best3.xml"},
        {FStat, 8, nullptr, bestOf + "\"5\"\n", 1, 5},
        {FStat, 0, nullptr, bestOf + "\"5\"\n", 1, 5},
        {kAll, 0, "continuous_all_best5.xml"}}},
      // The chi-square lists hold the continuous predictors too, by their F tests.
      {TargetFirst({true, false, true, false}, true),
       kMixedCatTarget,
       0,
       {{FStat, 0, "mixed_cat_one_fstat.xml"},
        {kAll, 0, "mixed_cat_all.xml"},
        {Pearson, 0, nullptr, "predictorType=\"continuous\"", 2, 4}}},
      {TargetFirst({true, false, false}, false),
       kMixedContTarget,
       0,
       {{TStat, 0, "mixed_cont_one_tstat.xml"}, {kAll, 0, "mixed_cont_all.xml"}}},
      {transactions,
       AsTransactions(kCategorical),
       0,
       {{kAll, 0, "transaction_all.xml"}, {Lambda, 0, nullptr, "<Target", 0, 3}}},
      // Screened but not ranked: every rule listed, no predictor.
      {screened, Screened(), -1, {{kAll, 0, "mixed_screened_all.xml"}}},
  };
  for (const Run& run : runs) {
    Pipeline p(run.settings);
    p.Run(run.rows, run.rank);
    for (const Doc& d : run.docs) {
      SCOPED_TRACE(std::to_string(d.criterion) + " " + std::to_string(d.n));
      const std::string doc = p.Document(d.criterion, d.n);
      if (d.golden != nullptr) {
        ExpectGolden(doc, d.golden);
        continue;
      }
      ExpectWellFormed(doc);
      EXPECT_EQ(Count(doc, d.contains), d.times);
      EXPECT_EQ(Count(doc, "<Predictor\n"), d.predictors);
    }
  }
}

TEST(ResultDocuments, RefusalsWriteNothing) {
  Pipeline p(TargetFirst({true, true, true, true}, true));
  std::ostringstream out;
  // Before screening neither document exists; before ranking only FSOutputAll does.
  EXPECT_EQ(p.fEngine.ExportAll(out).GetErrorCode(), NQFeature::StatusNotRanked);
  RowIterator it(kCategorical);
  p.fEngine.AccumulateRecords(it, -1);
  EXPECT_EQ(p.fEngine.ExportAll(out).GetErrorCode(), NQFeature::StatusNotRanked);
  p.fEngine.CheckPredAllMissConst();
  p.fEngine.ComputeCriteria();
  p.fEngine.SortBest(2);
  EXPECT_EQ(p.fEngine.ExportOne(out, Pearson, 0).GetErrorCode(), NQFeature::StatusNotRanked);
  EXPECT_TRUE(out.str().empty());
  // A cancellation is reported before the missing ranking.
  p.fCancel.Cancel();
  EXPECT_EQ(p.fEngine.ExportOne(out, Pearson, 0).GetErrorCode(), NQFeature::StatusCancelled);
  EXPECT_EQ(p.fEngine.ExportAll(out).GetErrorCode(), NQFeature::StatusCancelled);
  EXPECT_TRUE(out.str().empty());
}

TEST(ResultDocuments, MissingValueAndTimestamp) {
  NQFeatureXML::XMLElement e("E");
  NQFeatureXML::AddValueOrMissing(e, "a", kMiss);
  NQFeatureXML::AddValueOrMissing(e, "b", -1.7976931348623155e308);  // close, but a number
  NQFeatureXML::AddValueOrMissing(e, "c", 2.0);
  std::string text;
  NQFeatureXML::XMLFormat format;
  format.pretty = false;
  e.AppendTo(text, format);
  EXPECT_EQ(text, "<E a=\"Missing\" b=\"-1.79769313486232e+308\" c=\"2\"/>");

  // ctime's 24 characters, without the newline.
  const std::string stamp = NQFeatureXML::TimestampText();
  EXPECT_TRUE(std::regex_match(
      stamp, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123][0-9] \\d\\d:\\d\\d:\\d\\d \\d{4}")))
      << stamp;
}
