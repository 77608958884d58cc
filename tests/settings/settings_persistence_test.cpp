// The saved forms of the settings: the binary chunk byte for byte, both round trips, values
// taken as stored, and the readers' refusals.
#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/state_files.h"
#include "fsrank/fsrank.h"

using namespace NQFSCommon;

namespace {

// One categorical predictor and every other field away from its default, so that two fields
// swapped in the chunk show.
FSSettings Distinct() {
  FSSettings s;
  s.AddPredictor(true);
  s.SetCriterion(Lambda, false);
  s.SetNSkippedRecordReports(9);
  s.SetNSkippedPredictorReports(4);
  s.SetFlagTrInput(true);
  s.SetTargetPosition(2);
  s.SetCaseIDPosition(3);
  s.SetWeightPosition(5);
  s.SetWeightConv(WeightTruncate);
  s.SetMaxPctMiss(25);
  s.SetFlagDeleteIfManyMiss(false);
  s.SetMaxPctSingle(50);
  s.SetMaxNCatAsPct(75);
  s.SetFlagDeleteIfManyCategories(false);
  s.SetMinVariation(1e-20);
  s.SetMinStddev(2);
  s.SetFlagDeleteIfSmallStddev(false);
  s.SetFlagExactTails(true);  // not stored
  return s;
}

std::string DistinctChunk() {
  return std::string("FSSet") + Int(1) + Int(1) + Int(1) + Int(AllCategorical) + Int(1) + Int(1) +
         Int(1) + Int(1) + Int(0) + Int(0) + Int(0) + Int(9) + Int(4) + Int(1) + Int(2) + Int(3) +
         Int(5) + Int(WeightTruncate) + Dbl(0.25) + Int(0) + Dbl(0.5) + Int(1) + Dbl(0.75) +
         Int(0) + Dbl(1e-20) + Int(1) + Dbl(2.0) + Int(0);
}

// Five predictors, other values than Distinct's.
const FSSettings kFive(std::vector<bool>{true, false, true, true, false}, false);

struct Listener : ProgressListener {
  void OnProgress(ProgressReport&) override {}
};

}  // namespace

TEST(SettingsPersistence, ChunkBytesAndXmlLayout) {
  EXPECT_EQ(Chunk(Distinct()), DistinctChunk());
  const std::string xml = Xml(Distinct());
  EXPECT_EQ(xml.rfind("\n\t<Obj name=\"FSSettings\">\n\t\t<Int value=\"1\"/>", 0), 0u);
  const std::string tail = "<Double value=\"2\"/>\n\t\t<Int value=\"0\"/>\n\t</Obj>";
  EXPECT_EQ(xml.substr(xml.size() - tail.size()), tail);
}

// Both forms give back the same chunk, with the sizes and counts the readers report; the
// reader keeps the host pointers and the exact-tails flag of the settings it fills.
TEST(SettingsPersistence, RoundTrips) {
  for (const FSSettings& original : {Distinct(), kFive, FSSettings(), FSSettings(40, true, true)}) {
    const int n = original.GetNPredictors();
    SCOPED_TRACE(n);
    const std::string chunk = Chunk(original);
    EXPECT_EQ(chunk.size(), 133u + 4 * n);
    Listener listener;
    FSSettings fromBinary(3, true, true), fromXml(3, false, false);
    fromBinary.SetProgressListener(&listener);
    fromXml.SetFlagExactTails(true);
    ScratchFile file;
    EXPECT_EQ(fromBinary.ReadObject(file.Binary(chunk)), 133 + 4 * n);
    EXPECT_EQ(fromXml.ReadObjectXML(file.Text(Xml(original))), n + 29);
    EXPECT_EQ(Chunk(fromBinary), chunk);
    EXPECT_EQ(Chunk(fromXml), chunk);
    EXPECT_EQ(fromBinary.GetProgressListener(), &listener);
    EXPECT_FALSE(fromBinary.GetFlagExactTails());
    EXPECT_TRUE(fromXml.GetFlagExactTails());
  }
  // A fraction with more than 15 significant digits comes back as the nearest double to its
  // 15-digit text, which writes the same text again.
  FSSettings original = kFive;
  original.SetMaxPctSingle(33.3);
  FSSettings back;
  ScratchFile file;
  back.ReadObjectXML(file.Text(Xml(original)));
  EXPECT_NE(Chunk(back), Chunk(original));
  EXPECT_EQ(Xml(back), Xml(original));
}

// Types that say mixed under a stored count and set type that say otherwise, criteria invalid
// for any set type and values out of range are all kept; a bool stored as 2 reads as false.
TEST(SettingsPersistence, StoredValuesAreTakenAsTheyAre) {
  const auto chunk = [](int b) {
    return std::string("FSSet") + Int(2) + Int(1) + Int(b) + Int(7) + Int(AllCategorical) + Int(b) +
           Int(0) + Int(0) + Int(0) + Int(1) + Int(1) + Int(1) + Int(-3) + Int(0) + Int(b) +
           Int(-5) + Int(-1) + Int(-1) + Int(9) + Dbl(1.5) + Int(1) + Dbl(-0.5) + Int(b) +
           Dbl(0.9) + Int(1) + Dbl(-1.0) + Int(1) + Dbl(0.0) + Int(1);
  };
  FSSettings s;
  ScratchFile file;
  EXPECT_EQ(s.ReadObject(file.Binary(chunk(2))), 141);
  EXPECT_EQ(Chunk(s), chunk(0));
  EXPECT_EQ(s.GetNCatPredictors(), 7);
  EXPECT_EQ(s.GetMaxPctMiss(), 150.0);
  // A stored count at the int range saturates as types are added, and so does the total.
  EXPECT_EQ(s.ReadObject(file.Binary(chunk(2).replace(17, 4, Int(INT_MAX)))), 141);
  s.AddPredictors(3, true);
  s.AddPredictors(INT_MAX, false);
  EXPECT_EQ(s.GetNCatPredictors(), INT_MAX);
  EXPECT_EQ(s.GetNPredictors(), 5);
}

// The settings-specific refusals; the generic ones (tags, element names, layout) are the field
// readers' own tests. Every one leaves the message and the settings as they were.
TEST(SettingsPersistence, RefusalsLeaveTheMessageAndTheSettingsUnchanged) {
  const std::string chunk = DistinctChunk(), xml = Xml(Distinct());
  std::vector<std::pair<bool, std::string>> bad = {
      {false, "FSSeT" + chunk.substr(5)},
      {false, "FSSet" + Int(-1) + chunk.substr(9)},
      {false, "FSSet" + Int(1 << 30)},
      {true, Replace(xml, "FSSettings", "FSSettings2")},
      {true, Replace(xml, "<Int value=\"1\"/>", "<Int value=\"-1\"/>")},  // the predictor count
      {true, xml.substr(0, xml.rfind('\n'))},
  };
  for (size_t cut = 0; cut < chunk.size(); ++cut)
    bad.push_back({false, chunk.substr(0, cut)});
  for (const auto& entry : bad) {
    const bool isXml = entry.first;
    const std::string& text = entry.second;
    FSSettings s = kFive;
    ScratchFile file;
    EXPECT_EQ(ReadFailure([&] {
                isXml ? s.ReadObjectXML(file.Text(text)) : s.ReadObject(file.Binary(text));
              }),
              "Error reading FSSettings!\n")
        << text;
    EXPECT_EQ(Chunk(s), Chunk(kFive));
  }
}
