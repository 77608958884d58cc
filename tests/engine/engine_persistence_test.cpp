// The predictor set's saved forms and displays at the engine level: the sort record's chunk,
// object and display, the consistency checks of the engine reader, and the dump of a
// released engine.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/golden.h"
#include "common/state_files.h"
#include "engine/support/hosts.h"

using enginetest::kMiss;
using enginetest::RowIterator;
using enginetest::Rows;
using enginetest::TestEngine;

namespace {

// Three categorical predictors against a categorical target; predictor 1 is constant, so the
// check deletes it. Ranked with every record sorted.
struct RankedEngine {
  RankedEngine() : settings(3, true, true), engine(&settings, &cancel) {
    Rows rows;
    for (int r = 0; r < 12; ++r)
      rows.push_back({double(r % 2), double(r % 3), 5.0, double((r / 2) % 2)});
    RowIterator it(rows);
    engine.AccumulateRecords(it, -1);
    engine.CheckPredAllMissConst();
    engine.ComputeCriteria();
    engine.SortAll();
    engine.RankAll();
  }
  FSSettings settings;
  FSCancelState cancel;
  FSPredictorSet engine;
};

std::string Patch(std::string bytes, std::size_t at, int value) {
  return bytes.replace(at, 4, Int(value));
}

}  // namespace

TEST(PredSortPersistence, ChunkObjectAndDisplay) {
  const FSPredSort record(kMiss, 2.5, -1.0, 7);
  EXPECT_EQ(Chunk(record), "FSPRS" + Dbl(kMiss) + Dbl(2.5) + Dbl(-1.0) + Int(7));
  EXPECT_EQ(Xml(record),
            "\n\t\t<Obj name=\"FSPredSort\">\n\t\t\t<Double value=\"Missing\"/>"
            "\n\t\t\t<Double value=\"2.5\"/>\n\t\t\t<Double value=\"-1\"/>"
            "\n\t\t\t<Int value=\"7\"/>\n\t\t</Obj>");
  std::ostringstream display;
  record.Display(display);
  EXPECT_EQ(display.str(),
            "\nStart of FSPredSort display\n\nCriterion value = <missing>\n"
            "1st tie-breaking value = 2.5\n2nd tie-breaking value = -1\n\n"
            "End of FSPredSort display\n");

  ScratchFile file;
  FSPredSort back;
  EXPECT_EQ(back.ReadObject(file.Binary(Chunk(record))), 33);
  EXPECT_EQ(BitsOf(back.fdValue), BitsOf(kMiss));
  EXPECT_EQ(back.fnIndex, 7);
  EXPECT_EQ(back.ReadObjectXML(file.Text(Xml(record))), 6);
  EXPECT_EQ(ReadFailure([&] { back.ReadObject(file.Binary("FSPRT" + Chunk(record).substr(5))); }),
            "Error reading FSPredSort!\n");
}

// Each damage leaves a chunk the field layer alone would accept; the engine reader must refuse
// it (an engine built from it could later index outside its vectors) and stay released.
TEST(EnginePersistence, ReaderRefusesInconsistentEngines) {
  RankedEngine ranked;
  ScratchFile file;
  const std::string good = Chunk(ranked.engine);
  ASSERT_EQ(ranked.engine.GetIndicesDelPred(), std::vector<int>{1});

  // Offsets: fields 2 to 14 are fixed; D = 1 at 69, its index at 73 and reason at 77, the slot
  // count at 81 and slot 0's code at 85. Slot 1 (deleted) has its code just before slot 2's.
  const std::size_t slot2Chunk = good.find("CAPRA", good.find("CAPRA") + 1);
  const std::size_t record0 = good.find("FSPRS");
  const std::size_t record1 = good.find("FSPRS", record0 + 1);
  std::size_t valueBytes = 0;
  for (int c = 0; c < NQFSCommon::kNumCriteria; ++c)
    valueBytes += 4 + ranked.engine.GetCriterionValues(NQFSCommon::RankCriteria(c)).size() * 8;
  const std::size_t lastRank = good.size() - valueBytes - 4;
  ASSERT_NE(slot2Chunk, std::string::npos);
  ASSERT_NE(record1, std::string::npos);

  const struct {
    const char* what;
    std::string chunk;
  } cases[] = {
      {"predictor count other than the settings'", Patch(good, 5, 4)},
      {"unknown set type", Patch(good, 21, 4)},
      {"unknown engine state", Patch(good, 25, 8)},
      {"accumulators without allocated memory", Patch(good, 29, 0)},
      {"deleted index out of range", Patch(good, 73, 3)},
      {"deletion reason 0", Patch(good, 77, 0)},
      {"slot count other than the predictor count", Patch(good, 81, 2)},
      {"code of another class", Patch(good, 85, 5)},
      {"accumulator in a deleted slot", Patch(good, slot2Chunk - 8, 2)},
      {"record of no predictor", Patch(good, record0 + 29, 3)},
      {"two records of one predictor",
       Patch(good, record1 + 29, static_cast<unsigned char>(good[record0 + 29]))},
      {"rank out of range", Patch(good, lastRank, 3)},
      {"truncated", good.substr(0, good.size() - 1)},
  };
  for (const auto& c : cases) {
    FSCancelState cancel;
    FSPredictorSet back(&cancel);
    EXPECT_EQ(ReadFailure([&] { back.ReadObject(file.Binary(c.chunk), &ranked.settings); }),
              "Error reading FSPredictorSet!\n")
        << c.what;
    EXPECT_EQ(back.GetStatus(), EngineReleased) << c.what;
    EXPECT_TRUE(back.GetAccumulators().empty()) << c.what;
  }

  // An unknown code leaves its slot empty and reads nothing more, as a deleted slot's 0 does.
  FSCancelState cancel;
  FSPredictorSet back(&cancel);
  EXPECT_EQ(back.ReadObject(file.Binary(Patch(good, slot2Chunk - 8, 9)), &ranked.settings),
            static_cast<int>(good.size()));
  EXPECT_EQ(Chunk(back), good);
}

TEST(EnginePersistence, XmlReaderRefusesNegativeCounts) {
  RankedEngine ranked;
  ScratchFile file;
  const std::string xml = Xml(ranked.engine);
  // The deleted count is the fourteenth value of the object.
  std::size_t at = 0;
  for (int line = 0; line < 15; ++line)
    at = xml.find('\n', at + 1);
  const std::size_t end = xml.find('\n', at + 1);
  ASSERT_EQ(xml.substr(at, end - at), "\n\t\t<Int value=\"1\"/>");
  const std::string negative = xml.substr(0, at) + "\n\t\t<Int value=\"-1\"/>" + xml.substr(end);
  FSCancelState cancel;
  FSPredictorSet back(&cancel);
  EXPECT_EQ(ReadFailure([&] { back.ReadObjectXML(file.Text(negative), &ranked.settings); }),
            "Error reading FSPredictorSet!\n");
  EXPECT_GT(back.ReadObjectXML(file.Text(xml), &ranked.settings), 0);
  EXPECT_EQ(Xml(back), xml);
}

TEST(EngineDisplay, ReleasedEngine) {
  FSSettings settings(2, false, true);
  TestEngine engine(settings);
  engine.Release();
  ExpectGoldens({{"goldens/engine_released.txt", Shown(engine)}});
}

TEST(EngineDisplay, RankedEngineShowsItsListsRanksAndValues) {
  RankedEngine ranked;
  ranked.cancel.Cancel();
  std::ostringstream os;
  ranked.engine.Display(os);
  const std::string text = os.str();
  for (const char* part :
       {"cancel has been called\n", "Predictor set status = Predictors ranked\n\n",
        "Target data accumulation:\n", "\nPredictor index = 1\n\nPredictor index = 2\n",
        "Reasons for deletion of deleted predictors (1 element): \n          2 \n",
        "\nVector fvpSortPearson:\n\nPredictor index = 0\n\nStart of FSPredSort display\n",
        "Ranks based on Pearson (3 elements): \n", "Ranks based on Lambda",
        "Criterion values in original order of predictors for Pearson (3 elements): \n"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(text.find("fvpSortFStat"), std::string::npos);
}
