// The sorted maps: ordering (negative keys, pairs), insertion against update, the weighted
// statistics update and the display texts.
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "accum/maps.h"

namespace {

std::vector<int> Keys(const FSMapICnt& m) {
  std::vector<int> keys;
  for (int i = 0; i < m.Size(); ++i)
    keys.push_back(m.At(i).first);
  return keys;
}

}  // namespace

TEST(FSMapICnt, AddInsertsInOrderAndReportsUpdates) {
  FSMapICnt m;
  const std::vector<std::pair<int, double>> adds = {{5, 1}, {2, 1}, {9, 1}, {2, 0.5}};
  std::vector<bool> results;
  for (const auto& a : adds)
    results.push_back(m.Add(a.first, a.second));
  EXPECT_EQ(results, (std::vector<bool>{false, false, false, true}));
  ASSERT_EQ(m.Size(), 3);
  EXPECT_EQ(m.At(0), (std::pair<int, double>(2, 1.5)));
  EXPECT_EQ(m.At(1), (std::pair<int, double>(5, 1.0)));
  EXPECT_EQ(m.At(2), (std::pair<int, double>(9, 1.0)));
}

TEST(FSMapICnt, NegativeKeysSortFirst) {
  FSMapICnt m;
  for (int key : {2, 0, -3, 2147483647, -2147483647 - 1, -1})
    m.Add(key, 1.0);
  EXPECT_EQ(Keys(m), (std::vector<int>{-2147483647 - 1, -3, -1, 0, 2, 2147483647}));
}

TEST(FSMapICnt, RandomInsertionsStaySortedAndSummed) {
  // Inserting at the front, the middle and the end of tables of every size up to 200.
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> key(-100, 100);
  FSMapICnt m;
  std::vector<double> expected(201, 0.0);
  for (int i = 0; i < 3000; ++i) {
    const int k = key(gen);
    const bool known = expected[static_cast<size_t>(k + 100)] > 0.0;
    EXPECT_EQ(m.Add(k, 1.0), known);
    expected[static_cast<size_t>(k + 100)] += 1.0;
  }
  int pos = 0;
  for (int k = -100; k <= 100; ++k) {
    if (expected[static_cast<size_t>(k + 100)] == 0.0) continue;
    ASSERT_LT(pos, m.Size());
    EXPECT_EQ(m.At(pos).first, k);
    EXPECT_EQ(m.At(pos).second, expected[static_cast<size_t>(k + 100)]);
    ++pos;
  }
  EXPECT_EQ(pos, m.Size());
}

TEST(FSMapIPCnt, CountsCasesAndWeights) {
  FSMapIPCnt m;
  EXPECT_FALSE(m.Add(3, 2.0));
  EXPECT_TRUE(m.Add(3, 2.0));
  EXPECT_FALSE(m.Add(-1, 0.5));
  ASSERT_EQ(m.Size(), 2);
  EXPECT_EQ(m.At(0), (std::pair<int, std::pair<int, double>>(-1, {1, 0.5})));
  EXPECT_EQ(m.At(1), (std::pair<int, std::pair<int, double>>(3, {2, 4.0})));

  std::pair<int, double> out(-7, -7.0);
  EXPECT_TRUE(m.Find(3, out));
  EXPECT_EQ(out, (std::pair<int, double>(2, 4.0)));
  out = {-7, -7.0};
  EXPECT_FALSE(m.Find(0, out));
  EXPECT_EQ(out, (std::pair<int, double>(-7, -7.0)));
}

TEST(FSMapIStat, WeightedOnePassUpdate) {
  FSMapIStat m;
  EXPECT_FALSE(m.Add(4, 1.0, 2.0));
  EXPECT_TRUE(m.Add(4, 4.0, 1.0));
  ASSERT_EQ(m.Size(), 1);
  const CategoryStat& s = m.At(0).second;
  EXPECT_EQ(s.weight, 3.0);
  EXPECT_EQ(s.mean, 2.0);
  EXPECT_EQ(s.sumSq, 6.0);
  EXPECT_EQ(s.variance, 0.0);
  // The owner sets the variance through the stored entry.
  m.At(0).second.variance = 3.0;
  EXPECT_EQ(m.At(0).second.variance, 3.0);
}

TEST(FSMapIStat, RefusesWeightsNotAboveZero) {
  FSMapIStat m;
  for (double w : {0.0, -1.0, std::nan("")})
    EXPECT_FALSE(m.Add(7, 7.0, w));
  EXPECT_EQ(m.Size(), 0);
  m.Add(7, 7.0, 1.0);
  for (double w : {0.0, -1.0, std::nan("")})
    EXPECT_FALSE(m.Add(7, 100.0, w));
  EXPECT_EQ(m.At(0).second.weight, 1.0);
  EXPECT_EQ(m.At(0).second.mean, 7.0);
}

TEST(FSMapPiCnt, LexicographicOrderAndFind) {
  FSMapPiCnt m;
  EXPECT_FALSE(m.Add(1, 5, 1.0));
  EXPECT_FALSE(m.Add(2, 0, 1.0));
  EXPECT_FALSE(m.Add(1, 3, 1.0));
  EXPECT_FALSE(m.Add(-1, 9, 1.0));
  EXPECT_TRUE(m.Add(1, 5, 2.0));
  ASSERT_EQ(m.Size(), 4);
  const std::vector<std::pair<int, int>> order = {{-1, 9}, {1, 3}, {1, 5}, {2, 0}};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(m.At(i).first, order[static_cast<size_t>(i)]);

  double out = -7.0;
  EXPECT_TRUE(m.Find(1, 5, out));
  EXPECT_EQ(out, 3.0);
  out = -7.0;
  EXPECT_FALSE(m.Find(2, 1, out));
  EXPECT_FALSE(m.Find(1, 4, out));
  EXPECT_EQ(out, -7.0);
}

TEST(MapDisplay, Texts) {
  struct Case {
    std::string name;
    std::string body;
    std::string text;
  };
  FSMapICnt icnt;
  icnt.Add(2, 1.5);
  icnt.Add(-1, 3);
  FSMapIPCnt ipcnt;
  ipcnt.Add(3, 2.0);
  ipcnt.Add(3, 0.25);
  FSMapIStat istat;
  istat.Add(1, 1.0, 2.0);
  istat.Add(1, 4.0, 1.0);
  FSMapPiCnt picnt;
  picnt.Add(1, 2, 3.5);
  const FSMapICnt emptyMap;

  auto show = [](const auto& m) {
    std::ostringstream os;
    m.Display(os);
    return os.str();
  };
  const std::vector<Case> cases = {
      {"FSMapICnt", "Map size = 2\nKey = -1, Value = 3\nKey = 2, Value = 1.5\n", show(icnt)},
      {"FSMapIPCnt", "Map size = 1\nKey = 3, Value = ( 2, 2.25 )\n", show(ipcnt)},
      {"FSMapIStat", "Map size = 1\nKey = 1, Value = ( 3, 2, 6, 0 )\n", show(istat)},
      {"FSMapPiCnt", "Map size = 1\nKey = (1,2) Value = 3.5\n", show(picnt)},
      {"FSMapICnt", "Map size = 0\n", show(emptyMap)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.text, "\nStart of " + c.name + " display\n\n" + c.body + "\nEnd of " + c.name +
                          " display\n");
  }
}
