// The result documents: whole documents of small ranked runs against golden files (time stamp
// masked; numberOfPredictors, the last root attribute, shows there too), the choices of
// predictorChoiceType, the refusals, and every document through xmllint. Set FSRANK_UPDATE_GOLDEN=1
// to rewrite the golden files from the current output.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/support/hosts.h"
#include "xml/result_documents.h"

using enginetest::kMiss;
using enginetest::RowIterator;
using enginetest::Rows;
using NQFeature::NQStatus;
using namespace NQFSCommon;

namespace {

const std::string kGoldenDir = std::string(FSRANK_TEST_DATA_DIR) + "/results/";

// The time stamp is the one part of a document that changes from run to run.
std::string MaskTimestamp(const std::string& doc) {
  static const std::regex stamp("<Timestamp>[^<]*</Timestamp>");
  return std::regex_replace(doc, stamp, "<Timestamp>(masked)</Timestamp>");
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool HaveXmllint() {
  return std::system("command -v xmllint >/dev/null 2>&1") == 0;
}

// xmllint's verdict on doc (the DTDs are not ours to ship, so it checks well-formedness only).
void ExpectWellFormed(const std::string& doc) {
  if (!HaveXmllint()) return;
  char path[] = "/tmp/fsrank_result_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    std::ofstream file(path, std::ios::binary);
    file << doc;
  }
  const std::string command = std::string("xmllint --noout --nonet '") + path + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << doc;
  std::remove(path);
}

void ExpectGolden(const std::string& doc, const std::string& name) {
  SCOPED_TRACE(name);
  ExpectWellFormed(doc);
  const std::string masked = MaskTimestamp(doc);
  const std::string path = kGoldenDir + name;
  if (std::getenv("FSRANK_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << masked;
    return;
  }
  EXPECT_EQ(masked, ReadFile(path));
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

  Pipeline& Screen(const Rows& rows) {
    RowIterator it(rows);
    const NQStatus pass = fSettings.GetFlagTrInput() ? fEngine.AccumulateTransactions(it)
                                                     : fEngine.AccumulateRecords(it, -1);
    EXPECT_TRUE(pass.IsOK());
    EXPECT_TRUE(fEngine.CheckPredAllMissConst().IsOK());
    EXPECT_FALSE(fEngine.ScreenPredictors().IsError());
    return *this;
  }
  // n = 0: every list sorted and ranked completely; otherwise only the best n.
  Pipeline& Rank(int n) {
    EXPECT_TRUE(fEngine.ComputeCriteria().IsOK());
    EXPECT_TRUE((n == 0 ? fEngine.SortAll() : fEngine.SortBest(n)).IsOK());
    EXPECT_TRUE((n == 0 ? fEngine.RankAll() : fEngine.RankBest()).IsOK());
    return *this;
  }
  std::string One(RankCriteria c, int n) {
    std::ostringstream out;
    EXPECT_TRUE(fEngine.ExportOne(out, c, n).IsOK());
    return out.str();
  }
  std::string All() {
    std::ostringstream out;
    EXPECT_TRUE(fEngine.ExportAll(out).IsOK());
    return out.str();
  }

  FSSettings fSettings;
  FSCancelState fCancel;
  FSPredictorSet fEngine;
};

FSSettings TargetFirst(const std::vector<bool>& types, bool catTarget) {
  FSSettings s(types, catTarget);
  s.SetTargetPosition(0);
  return s;
}

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

}  // namespace

TEST(ResultDocuments, AllCategorical) {
  Pipeline p(TargetFirst({true, true, true, true}, true));
  p.Screen(kCategorical).Rank(0);
  ExpectGolden(p.One(Pearson, 0), "categorical_one_pearson.xml");
  // The default settings switch the standard deviation rule on with a minimum of 0: it is not
  // listed, and numberOfCriteria counts the six rules that are.
  ExpectGolden(p.All(), "categorical_all.xml");

  // Without a partial sort, asking for at least as many as there are predictors is "all".
  const std::string all = MaskTimestamp(p.One(Pearson, 0));
  EXPECT_EQ(MaskTimestamp(p.One(Pearson, 4)), all);
  EXPECT_EQ(MaskTimestamp(p.One(Pearson, 9)), all);
  // Fewer than that is a limit, even though only three predictors are left.
  const std::string two = p.One(Pearson, 2);
  EXPECT_NE(two.find("predictorChoiceType=\"numberOfBest\"\n\tnumberOfBest=\"2\"\n"),
            std::string::npos);
  EXPECT_EQ(Count(two, "<Predictor\n"), 2);

  // Cramer's V has a longer name in the one-criterion document than in the criteria list.
  const std::string cramer = p.One(Cramer, 0);
  ExpectWellFormed(cramer);
  EXPECT_NE(cramer.find("<Criterion\n\t\tname=\"Cramer V\"/>"), std::string::npos);
  EXPECT_NE(p.All().find("<Criterion\n\t\t\tname=\"Cramer\"/>"), std::string::npos);
}

TEST(ResultDocuments, AllContinuousAfterAPartialSort) {
  Pipeline p(TargetFirst(std::vector<bool>(6, false), true));
  p.Screen(kContinuous).Rank(5);
  ASSERT_EQ(p.fEngine.GetNBestSorted(), 5);
  // A request below the sorted count limits the list; one above it gets the sorted count.
  ExpectGolden(p.One(FStat, 3), "continuous_one_best3.xml");
  const std::string eight = p.One(FStat, 8);
  ExpectWellFormed(eight);
  EXPECT_NE(eight.find("predictorChoiceType=\"numberOfBest\"\n\tnumberOfBest=\"5\"\n"),
            std::string::npos);
  EXPECT_EQ(Count(eight, "<Predictor\n"), 5);
  EXPECT_EQ(MaskTimestamp(p.One(FStat, 0)), MaskTimestamp(eight));
  // Predictor 5 is beyond the best five: its entry has no rank, and its undefined F test is
  // written as "Missing".
  ExpectGolden(p.All(), "continuous_all_best5.xml");
}

TEST(ResultDocuments, MixedWithCategoricalTarget) {
  Pipeline p(TargetFirst({true, false, true, false}, true));
  p.Screen(kMixedCatTarget).Rank(0);
  ExpectGolden(p.One(FStat, 0), "mixed_cat_one_fstat.xml");
  ExpectGolden(p.All(), "mixed_cat_all.xml");
  // The chi-square lists hold the continuous predictors too, by their F tests.
  const std::string pearson = p.One(Pearson, 0);
  ExpectWellFormed(pearson);
  EXPECT_EQ(Count(pearson, "predictorType=\"continuous\""), 2);
  EXPECT_EQ(Count(pearson, "<Predictor\n"), 4);
}

TEST(ResultDocuments, MixedWithContinuousTarget) {
  Pipeline p(TargetFirst({true, false, false}, false));
  p.Screen(kMixedContTarget).Rank(0);
  ExpectGolden(p.One(TStat, 0), "mixed_cont_one_tstat.xml");
  ExpectGolden(p.All(), "mixed_cont_all.xml");
}

TEST(ResultDocuments, TransactionInputHasNoTarget) {
  FSSettings s(std::vector<bool>(4, true), true);
  s.SetFlagTrInput(true);
  Pipeline p(s);
  p.Screen(AsTransactions(kCategorical)).Rank(0);
  ExpectGolden(p.All(), "transaction_all.xml");
  const std::string one = p.One(Lambda, 0);
  ExpectWellFormed(one);
  EXPECT_EQ(one.find("<Target"), std::string::npos);
  EXPECT_EQ(Count(one, "<Predictor\n"), 3);
}

TEST(ResultDocuments, ExportAllAfterScreeningListsEveryRuleAndNoPredictor) {
  FSSettings s = TargetFirst({true, false, false, true}, true);
  s.SetMinStddev(0.5);
  Rows rows;
  for (int k = 0; k < 10; ++k) {
    rows.push_back({static_cast<double>(k % 2), kMiss, 3.0 + 0.01 * (k % 3), 1.0 * k,
                    static_cast<double>(k % 3)});
  }
  Pipeline p(s);
  p.Screen(rows);
  ASSERT_EQ(p.fEngine.GetStatus(), EngineChecked);
  ExpectGolden(p.All(), "mixed_screened_all.xml");
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
