// The saved forms of the accumulators and maps: chunk sizes and bytes, binary and XML round
// trips after real data, element counts, and the readers' refusals with their messages
// (truncation at every byte is the state files' test, which restores whole algorithms).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accum/support/accum_cases.h"
#include "common/state_files.h"

using namespace accumtest;

namespace {

// A sample of 300 cases with uneven weights, seven predictor and five target categories,
// values with many significant digits and one case in ten missing.
std::vector<Case> RealData() {
  std::vector<Case> cases;
  std::uint32_t state = 12345;
  auto next = [&state]() {
    state = state * 1103515245u + 12345u;
    return (state >> 8) % 100000u;
  };
  for (int i = 0; i < 300; ++i) {
    const double x = (next() % 7) + next() / 99991.0;
    const double target = (next() % 5) + 0.1 * x;
    const double weight = 0.3 + next() / 33333.0;
    cases.push_back({i % 10 == 3 ? std::nan("") : x, target, weight});
  }
  return cases;
}

struct AccumKind {
  const char* name;
  const char* tag;
  std::function<IFSPredTargetAccum*()> make;
  int freshBytes;  // the chunk of a fresh object, nested maps included
  int freshXML;    // elements of a fresh object's XML object
  int readAdjust;  // the reader's count minus the writer's
};

const AccumKind kAccums[] = {
    {"FSCatAccum", "CAPRE", [] { return new FSCatAccum; }, 38, 9, 0},
    {"FSContAccum", "COPRE", [] { return new FSContAccum; }, 57, 9, -1},
    {"FSCatPCatTAccum", "CAPRA", [] { return new FSCatPCatTAccum; }, 56, 15, 0},
    {"FSCatPContTAccum", "CAPCO", [] { return new FSCatPContTAccum; }, 55, 13, 0},
    {"FSContPCatTAccum", "COPRA", [] { return new FSContPCatTAccum; }, 50, 10, 0},
    {"FSContPContTAccum", "COPCO", [] { return new FSContPContTAccum; }, 73, 11, -1},
};

std::unique_ptr<IFSPredTargetAccum> Fed(const AccumKind& kind, const std::vector<Case>& cases) {
  std::unique_ptr<IFSPredTargetAccum> a(kind.make());
  Feed(*a, cases);
  return a;
}

}  // namespace

// Fresh objects: chunk size, tag, XML frame and the reader's element count. Round trips after
// real data are the state files' test (every accumulator kind, both forms, saved again byte for
// byte), and so are stored flags other than 1.
TEST(AccumPersistence, FreshLayouts) {
  for (const AccumKind& kind : kAccums) {
    SCOPED_TRACE(kind.name);
    std::unique_ptr<IFSPredTargetAccum> fresh(kind.make());
    EXPECT_EQ(Chunk(*fresh).size(), static_cast<size_t>(kind.freshBytes));
    EXPECT_EQ(Chunk(*fresh).substr(0, 5), kind.tag);
    const std::string freshXml = Xml(*fresh);
    EXPECT_EQ(freshXml.rfind(std::string("\n\t\t<Obj name=\"") + kind.name + "\">\n\t\t\t<", 0),
              0u);
    EXPECT_EQ(std::count(freshXml.begin(), freshXml.end(), '\n'), kind.freshXML);
    ScratchFile file;
    EXPECT_EQ(std::unique_ptr<IFSPredTargetAccum>(kind.make())->ReadObjectXML(file.Text(freshXml)),
              kind.freshXML + kind.readAdjust);
  }
  // A fresh first value is still the missing value: its bit pattern, and "Missing" in XML.
  FSContAccum cont;
  const std::string chunk = Chunk(cont);
  EXPECT_EQ(chunk,
            "COPRE" + Dbl(0) + Dbl(0) + Dbl(gMissingValue) + Int(1) + Dbl(0) + Dbl(0) + Dbl(0));
  EXPECT_EQ(chunk.substr(21, 8), "\xFF\xFF\xFF\xFF\xFF\xFF\xEF\xFF");
  EXPECT_NE(Xml(cont).find("\n\t\t\t<Double value=\"0\"/>\n\t\t\t<Double value=\"Missing\"/>\n"),
            std::string::npos);
}

TEST(AccumPersistence, CatPCatTChunkSize) {
  // 3 predictor categories, 2 target categories, 5 of the 6 pairs.
  FSCatPCatTAccum a;
  const double cells[][2] = {{0, 0}, {0, 1}, {1, 0}, {2, 1}, {1, 1}, {2, 1}};
  for (const auto& c : cells)
    a.AddValue(c[0], c[1], 1.5, 1);
  const std::string chunk = Chunk(a);
  EXPECT_EQ(chunk.size(), 29u + (9 + 36) + (9 + 24) + (9 + 80));
  EXPECT_EQ(chunk.substr(29, 5), "FSMII");
  EXPECT_EQ(chunk.substr(29 + 45, 5), "FSMII");
  EXPECT_EQ(chunk.substr(29 + 45 + 33, 5), "FSMPI");
}

TEST(AccumPersistence, WrongTagsAreRefusedWithTheReadersMessage) {
  // Each class is given the next class's chunk.
  const size_t n = sizeof kAccums / sizeof kAccums[0];
  for (size_t i = 0; i < n; ++i) {
    std::unique_ptr<IFSPredTargetAccum> other = Fed(kAccums[(i + 1) % n], RealData());
    std::unique_ptr<IFSPredTargetAccum> a(kAccums[i].make());
    ScratchFile file;
    EXPECT_EQ(ReadFailure([&] { a->ReadObject(file.Binary(Chunk(*other))); }),
              std::string("Error reading ") + kAccums[i].name + "!\n");
    EXPECT_EQ(ReadFailure([&] { a->ReadObjectXML(file.Text(Xml(*other))); }),
              std::string("Error reading ") + kAccums[i].name + "!\n");
  }
  FSCatAccum cat;
  ScratchFile file;
  EXPECT_EQ(ReadFailure([&] { cat.ReadObject(file.Binary("CAPRA" + std::string(60, '\0'))); }),
            "Error reading FSCatAccum!\n");
}

// ---------------------------------------------------------------------------------------------
// Maps

// Each map's chunk, empty and with entries; the readers keep the stored order rather than
// sorting, in both forms.
TEST(MapPersistence, EntryLayoutsAndStoredOrder) {
  FSMapICnt cnt;
  cnt.Add(7, 0.5);
  cnt.Add(-2, 1.0);
  FSMapIPCnt pcnt;
  pcnt.Add(4, 2.5);
  pcnt.Add(4, 1.0);
  FSMapIStat stat;
  stat.Add(1, 2.0, 1.0);
  stat.Add(1, 4.0, 1.0);
  stat.At(0).second.variance = 0.25;
  FSMapPiCnt pairs;
  pairs.Add(1, -3, 2.0);
  const std::pair<std::string, std::string> chunks[] = {
      {Chunk(FSMapICnt()), "FSMII" + Int(0)},
      {Chunk(FSMapIPCnt()), "FSMII" + Int(0)},
      {Chunk(FSMapIStat()), "FSMIS" + Int(0)},
      {Chunk(FSMapPiCnt()), "FSMPI" + Int(0)},
      {Chunk(cnt), "FSMII" + Int(2) + Int(-2) + Dbl(1.0) + Int(7) + Dbl(0.5)},
      {Chunk(pcnt), "FSMII" + Int(1) + Int(4) + Int(2) + Int(0) + Dbl(3.5)},
      {Chunk(stat), "FSMIS" + Int(1) + Int(1) + Dbl(2.0) + Dbl(3.0) + Dbl(2.0) + Dbl(0.25)},
      {Chunk(pairs), "FSMPI" + Int(1) + Int(1) + Int(-3) + Dbl(2.0)},
  };
  for (const auto& [chunk, expected] : chunks)
    EXPECT_EQ(chunk, expected);
  EXPECT_EQ(
      Xml(pairs),
      "\n\t\t\t<Obj name=\"FSMapPiCnt\">\n\t\t\t\t<Int value=\"1\"/>\n\t\t\t\t<Int "
      "value=\"1\"/>\n\t\t\t\t<Int value=\"-3\"/>\n\t\t\t\t<Double value=\"2\"/>\n\t\t\t</Obj>");
  FSMapICnt empty;
  std::istringstream emptyXml(Xml(FSMapICnt()));
  EXPECT_EQ(empty.ReadObjectXML(emptyXml), 3);  // start, count, end

  const std::string unsorted =
      "FSMII" + Int(3) + Int(5) + Dbl(1) + Int(2) + Dbl(2) + Int(9) + Dbl(3);
  FSMapICnt map, fromXML;
  std::istringstream in(unsorted);
  map.ReadObject(in);
  EXPECT_EQ(map.At(1), std::make_pair(2, 2.0));
  std::istringstream text(Xml(map));
  fromXML.ReadObjectXML(text);
  EXPECT_EQ(Chunk(fromXML), unsorted);
}

// The map no accumulator holds, after real data. Written: start, count, 3 values an entry,
// end; read: one more once there are entries.
TEST(MapPersistence, RoundTripsAndElementCounts) {
  FSMapIPCnt map;
  for (const Case& c : RealData()) {
    if (!std::isnan(c.x)) map.Add(static_cast<int>(c.x), c.w);
  }
  ASSERT_EQ(map.Size(), 7);
  const std::string chunk = Chunk(map), xml = Xml(map);
  FSMapIPCnt binary, fromXml;
  std::istringstream bin(chunk), text(xml);
  EXPECT_EQ(binary.ReadObject(bin), 9 + 7 * 20);
  EXPECT_EQ(Chunk(binary), chunk);
  EXPECT_EQ(std::count(xml.begin(), xml.end(), '\n'), 3 + 3 * 7);
  EXPECT_EQ(fromXml.ReadObjectXML(text), 4 + 3 * 7);
  EXPECT_EQ(Xml(fromXml), xml);
}

TEST(MapPersistence, SharedTagEntrySizeDecides) {
  FSMapIPCnt pcnt;
  FSMapICnt cnt;
  for (int k : {1, 2, 3}) {
    pcnt.Add(k, 1.0);
    cnt.Add(k, 1.0);
  }
  const std::string pchunk = Chunk(pcnt);
  const std::string chunk = Chunk(cnt);
  ASSERT_EQ(pchunk.size(), 9u + 3 * 20);
  ASSERT_EQ(chunk.size(), 9u + 3 * 12);
  // The wider chunk read as the narrower map: the tag matches, three 12-byte entries are taken
  // from the 20-byte ones, and the rest is left unread.
  FSMapICnt narrow;
  std::istringstream wide(pchunk);
  EXPECT_EQ(narrow.ReadObject(wide), 45);
  EXPECT_EQ(narrow.At(1).first, 0);  // the low half of the first entry's weight 1.0
  // The narrower chunk is too short for three wide entries.
  FSMapIPCnt back;
  std::istringstream shortChunk(chunk);
  EXPECT_EQ(ReadFailure([&] { back.ReadObject(shortChunk); }), "Error reading FSMapIPCnt!\n");
}

TEST(MapPersistence, ImpossibleCountsAndWrongTags) {
  struct {
    std::string chunk;
    std::function<void(std::istream&)> read;
    const char* message;
  } const cases[] = {
      {"FSMII" + Int(-1), [](std::istream& s) { FSMapICnt().ReadObject(s); },
       "Error reading FSMapICnt!\n"},
      {"FSMIS" + Int(0x7FFFFFFF) + std::string(36, '\0'),
       [](std::istream& s) { FSMapIStat().ReadObject(s); }, "Error reading FSMapIStat!\n"},
      {"FSMPI" + Int(2) + Int(1) + Int(1) + Dbl(1),
       [](std::istream& s) { FSMapPiCnt().ReadObject(s); }, "Error reading FSMapPiCnt!\n"},
      {"FSMIS" + Int(0), [](std::istream& s) { FSMapICnt().ReadObject(s); },
       "Error reading FSMapICnt!\n"},
      {"FSMII" + Int(0), [](std::istream& s) { FSMapPiCnt().ReadObject(s); },
       "Error reading FSMapPiCnt!\n"},
      {"\n\t\t\t<Obj name=\"FSMapIPCnt\">\n\t\t\t\t<Int value=\"-2\"/>\n\t\t\t</Obj>\n",
       [](std::istream& s) { FSMapIPCnt().ReadObjectXML(s); }, "Error reading FSMapIPCnt!\n"},
      {"\n\t\t\t<Obj name=\"FSMapIPCnt\">\n\t\t\t\t<Int value=\"2000000000\"/>\n\t\t\t\t<Int "
       "value=\"1\"/>\n\t\t\t</Obj>\n",
       [](std::istream& s) { FSMapIPCnt().ReadObjectXML(s); }, "Error reading FSMapIPCnt!\n"},
      {"\n\t\t\t<Obj name=\"FSMapICnt\">\n\t\t\t\t<Int value=\"0\"/>\n",
       [](std::istream& s) { FSMapICnt().ReadObjectXML(s); }, "Error reading FSMapICnt!\n"},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.chunk);
    EXPECT_EQ(ReadFailure([&] { c.read(in); }), c.message) << c.chunk;
  }
}
