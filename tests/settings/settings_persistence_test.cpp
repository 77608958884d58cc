// The saved forms of the settings: the binary chunk byte for byte, both round trips, values
// taken as stored, and the readers' refusals.
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
  s.SetMinVariation(0.125);
  s.SetMinStddev(2);
  s.SetFlagDeleteIfSmallStddev(false);
  return s;
}

std::string DistinctChunk() {
  return std::string("FSSet") + Int(1) + Int(1) + Int(1) + Int(AllCategorical) + Int(1) + Int(1) +
         Int(1) + Int(1) + Int(0) + Int(0) + Int(0) + Int(9) + Int(4) + Int(1) + Int(2) + Int(3) +
         Int(5) + Int(WeightTruncate) + Dbl(0.25) + Int(0) + Dbl(0.5) + Int(1) + Dbl(0.75) +
         Int(0) + Dbl(0.125) + Int(1) + Dbl(2.0) + Int(0);
}

FSSettings Mixed5() {
  FSSettings s(std::vector<bool>{true, false, true, true, false}, false);
  s.SetMaxPctSingle(37.5);
  s.SetMinVariation(1e-20);
  s.SetFlagDeleteIfSmallVariation(false);
  return s;
}

class Listener : public ProgressListener {
 public:
  void OnProgress(ProgressReport&) override {}
};

}  // namespace

TEST(SettingsBinary, ChunkBytesAndSizes) {
  EXPECT_EQ(Chunk(Distinct()), DistinctChunk());
  for (int n : {0, 5, 40}) {
    const std::string chunk = Chunk(FSSettings(n, n % 2 == 0, true));
    EXPECT_EQ(chunk.size(), 133u + 4 * n);
    FSSettings back;
    ScratchFile file;
    EXPECT_EQ(back.ReadObject(file.Binary(chunk)), 133 + 4 * n);
  }
  EXPECT_EQ(Chunk(Mixed5()).size(), 153u);
}

TEST(SettingsBinary, RoundTripIsBitIdenticalAndKeepsTheHostPointers) {
  Listener listener;
  FSSettings back;
  back.SetProgressListener(&listener);
  ScratchFile file;
  back.ReadObject(file.Binary(Chunk(Mixed5())));
  EXPECT_EQ(Chunk(back), Chunk(Mixed5()));
  EXPECT_EQ(back.GetPredictorTypes(), Mixed5().GetPredictorTypes());
  EXPECT_EQ(back.GetMinVariation(), 1e-20);
  EXPECT_EQ(back.GetProgressListener(), &listener);
}

TEST(SettingsBinary, StoredValuesAreTakenAsTheyAre) {
  // Types say mixed, the stored count and set type say otherwise, the criteria are invalid
  // for any set type, values are out of range, and some bools hold 2.
  const std::string chunk = std::string("FSSet") + Int(2) + Int(1) + Int(2) +  // n, types
                            Int(7) + Int(AllCategorical) + Int(2) +            // count, set, target
                            Int(0) + Int(0) + Int(0) + Int(1) + Int(1) + Int(1) +  // criteria
                            Int(-3) + Int(0) + Int(2) +                            // skips, form
                            Int(-5) + Int(-1) + Int(-1) + Int(9) +  // positions, conversion
                            Dbl(1.5) + Int(1) + Dbl(-0.5) + Int(2) + Dbl(0.9) + Int(1) + Dbl(-1.0) +
                            Int(1) + Dbl(0.0) + Int(1);
  FSSettings s;
  ScratchFile file;
  EXPECT_EQ(s.ReadObject(file.Binary(chunk)), 141);
  EXPECT_EQ(s.GetPredictorTypes(), (std::vector<bool>{true, false}));
  EXPECT_EQ(s.GetNCatPredictors(), 7);
  EXPECT_EQ(s.GetTypeAllPredictors(), AllCategorical);
  EXPECT_FALSE(s.IsCatTarget());
  EXPECT_EQ(s.GetCriteria(), (std::vector<bool>{false, false, false, true, true, true}));
  EXPECT_EQ(s.GetTargetPosition(), -5);
  EXPECT_EQ(s.GetMaxPctMiss(), 150.0);
  EXPECT_FALSE(s.GetFlagDeleteIfManySingle());
  // Written back, the bools that held 2 are 0; everything else is as it was.
  EXPECT_EQ(Chunk(s).substr(0, 29), chunk.substr(0, 13) + Int(0) + chunk.substr(17, 8) + Int(0));
}

TEST(SettingsBinary, RefusalsLeaveTheMessageAndTheSettingsUnchanged) {
  const std::string good = DistinctChunk();
  std::vector<std::string> bad = {"FSSeT" + good.substr(5), "PRSET" + good.substr(5),
                                  "FSSet" + Int(-1) + good.substr(9), "FSSet" + Int(1 << 30)};
  for (size_t cut = 0; cut < good.size(); ++cut)
    bad.push_back(good.substr(0, cut));
  for (const std::string& chunk : bad) {
    FSSettings s = Mixed5();
    ScratchFile file;
    EXPECT_EQ(ReadFailure([&] { s.ReadObject(file.Binary(chunk)); }), "Error reading FSSettings!\n")
        << chunk.size();
    EXPECT_EQ(Chunk(s), Chunk(Mixed5()));
  }
}

TEST(SettingsXML, ObjectLayoutAndCounts) {
  std::ostringstream os;
  EXPECT_EQ(Distinct().WriteObjectXML(os), 1 + 29);
  const std::string text = os.str();
  EXPECT_EQ(text.rfind("\n\t<Obj name=\"FSSettings\">\n\t\t<Int value=\"1\"/>", 0), 0u);
  const std::string tail = "<Double value=\"2\"/>\n\t\t<Int value=\"0\"/>\n\t</Obj>";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  std::ostringstream five;
  EXPECT_EQ(Mixed5().WriteObjectXML(five), 5 + 29);
}

TEST(SettingsXML, RoundTripReproducesTheBinaryChunk) {
  for (const FSSettings& original : {Distinct(), Mixed5(), FSSettings()}) {
    FSSettings back(3, true, true);
    ScratchFile file;
    EXPECT_EQ(back.ReadObjectXML(file.Text(Xml(original))), original.GetNPredictors() + 29);
    EXPECT_EQ(Chunk(back), Chunk(original));
  }
  // A fraction with more than 15 significant digits comes back as the nearest double to its
  // 15-digit text, which writes the same text again.
  FSSettings original = Mixed5();
  original.SetMaxPctSingle(33.3);
  FSSettings back;
  ScratchFile file;
  back.ReadObjectXML(file.Text(Xml(original)));
  EXPECT_NE(Chunk(back), Chunk(original));
  EXPECT_EQ(Xml(back), Xml(original));
}

TEST(SettingsXML, ReaderRefusals) {
  const std::string good = Xml(Distinct());
  const std::string bad[] = {
      Replace(good, "FSSettings", "FSSettings2"),
      Replace(good, "<Double value=\"0.25\"", "<Int value=\"0.25\""),
      Replace(good, "\t</Obj>", "\t</Object>"),
      Replace(good, "<Int value=\"1\"/>", "<Int value=\"-1\"/>"),  // the predictor count
      good.substr(0, good.rfind('\n')),
      good.substr(0, good.size() / 2),
  };
  for (const std::string& text : bad) {
    FSSettings s;
    ScratchFile file;
    EXPECT_EQ(ReadFailure([&] { s.ReadObjectXML(file.Text(text)); }), "Error reading FSSettings!\n")
        << text;
    EXPECT_EQ(Chunk(s), Chunk(FSSettings()));
  }
}
