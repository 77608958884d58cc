// The result documents as a host asks for them: the facade's order of refusals, the count
// check made after the document is written, and stored errors.
#include <fsrank/fsrank.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace NQFSCommon;
using NQFeature::NQStatus;

namespace {

// Target in column 0 (0/1) and three categorical predictors, cycled over n records.
class CycleIterator : public NQCommon::RecordIterator {
 public:
  explicit CycleIterator(int n) : fnLeft(n), fRecord(4) {}
  bool Next() override {
    if (fnLeft-- <= 0) return false;
    ++fnRow;
    fRecord[0] = fnRow % 2;
    fRecord[1] = fnRow % 2 == 0 || fnRow % 7 == 0 ? 0.0 : 1.0;
    fRecord[2] = fnRow % 3;
    fRecord[3] = (fnRow / 2) % 2;
    return true;
  }
  NQCommon::Record* GetRecord() override { return &fRecord; }

 private:
  int fnLeft;
  int fnRow = 0;
  NQCommon::Record fRecord;
};

// Says yes from its first question on, once armed.
class Switch : public NQQueryCancel {
 public:
  bool IsCancelRequested() override { return on; }
  bool on = false;
};

struct Ranked {
  explicit Ranked(int n = 0) : settings(3, true, true) {
    settings.SetCancelPointer(&cancel);
    algorithm = factory.CreateFSAlgorithm(&settings);
    CycleIterator it(40);
    status = algorithm->AccumulateAndRank(it, -1, true, n);
  }
  ~Ranked() { delete algorithm; }
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

TEST(ExportHost, DocumentsOfARankedRun) {
  Ranked r;
  ASSERT_TRUE(r.status.IsOK());
  std::ostringstream one, all;
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
  // Neither export changes the algorithm.
  EXPECT_TRUE(r.algorithm->GetStatus().IsOK());
}

TEST(ExportHost, MoreThanRemainIsAnErrorAfterTheDocument) {
  Ranked r;
  std::ostringstream out;
  const NQStatus s = r.algorithm->ExportOneXML(out, Pearson, 5);
  EXPECT_EQ(s.GetErrorCode(), NQFeature::StatusFewerPredictors);
  EXPECT_TRUE(s.IsError());
  EXPECT_EQ(s.GetDiscreteDatum(0), 3);
  EXPECT_EQ(Count(out.str(), "<Predictor\n"), 3);
  EXPECT_NE(out.str().find("predictorChoiceType=\"all\""), std::string::npos);
  EXPECT_TRUE(r.algorithm->GetStatus().IsOK());
}

TEST(ExportHost, OrderOfRefusals) {
  // Not ranked comes before a pending cancellation in FSOutputOne.
  {
    FSSettings settings(3, true, true);
    Switch cancel;
    settings.SetCancelPointer(&cancel);
    FSFactory factory;
    IFSAlgorithm* a = factory.CreateFSAlgorithm(&settings);
    std::ostringstream out;
    EXPECT_EQ(a->ExportOneXML(out, Pearson, 0).GetErrorCode(), NQFeature::StatusNotRanked);
    // FSOutputAll has no ranked check of its own; the engine refuses before screening.
    EXPECT_EQ(a->ExportAllXML(out).GetErrorCode(), NQFeature::StatusNotRanked);
    cancel.on = true;
    EXPECT_EQ(a->ExportOneXML(out, Pearson, 0).GetErrorCode(), NQFeature::StatusNotRanked);
    EXPECT_EQ(a->ExportAllXML(out).GetErrorCode(), NQFeature::StatusCancelled);
    EXPECT_TRUE(out.str().empty());
    delete a;
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
