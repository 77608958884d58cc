// The sorted maps: ordering (negative keys, pairs), insertion against update, the weighted
// statistics update and the display texts.
#include <climits>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "accum/maps.h"
#include "common/golden.h"

// Inserting at the front, the middle and the end of tables of every size up to 200, after the
// extreme keys; Add says whether the key was there.
TEST(FSMapICnt, RandomInsertionsStaySortedAndSummed) {
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> key(-100, 100);
  FSMapICnt m;
  m.Add(INT_MAX, 1.0);
  m.Add(INT_MIN, 1.0);
  std::vector<double> expected(201, 0.0);
  for (int i = 0; i < 3000; ++i) {
    const int k = key(gen);
    double& sum = expected[static_cast<size_t>(k + 100)];
    EXPECT_EQ(m.Add(k, 0.5 + (i % 2)), sum > 0.0);
    sum += 0.5 + (i % 2);
  }
  std::vector<std::pair<int, double>> entries = {{INT_MIN, 1.0}};
  for (int k = -100; k <= 100; ++k) {
    if (expected[static_cast<size_t>(k + 100)] > 0.0)
      entries.emplace_back(k, expected[static_cast<size_t>(k + 100)]);
  }
  entries.emplace_back(INT_MAX, 1.0);
  ASSERT_EQ(m.Size(), static_cast<int>(entries.size()));
  for (int i = 0; i < m.Size(); ++i)
    EXPECT_EQ(m.At(i), entries[static_cast<size_t>(i)]) << i;
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

// The weighted one-pass update of weight, mean and sum of squares; weights not above 0 are
// refused, for a new key and for a known one.
TEST(FSMapIStat, WeightedOnePassUpdate) {
  FSMapIStat m;
  for (double w : {0.0, -1.0, std::nan("")})
    EXPECT_FALSE(m.Add(4, 7.0, w));
  EXPECT_EQ(m.Size(), 0);
  EXPECT_FALSE(m.Add(4, 1.0, 2.0));
  EXPECT_TRUE(m.Add(4, 4.0, 1.0));
  for (double w : {0.0, -1.0, std::nan("")})
    EXPECT_FALSE(m.Add(4, 100.0, w));
  ASSERT_EQ(m.Size(), 1);
  const CategoryStat& s = m.At(0).second;
  EXPECT_EQ(std::vector<double>({s.weight, s.mean, s.sumSq, s.variance}),
            std::vector<double>({3, 2, 6, 0}));  // the owner computes the variance later
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

// The other maps show inside the accumulators' displays.
TEST(MapDisplay, Texts) {
  FSMapIPCnt ipcnt;
  ipcnt.Add(3, 2.0);
  ipcnt.Add(3, 0.25);
  ExpectGoldens({{"goldens/map_ipcnt.txt", Shown(ipcnt)},
                 {"goldens/map_icnt_empty.txt", Shown(FSMapICnt())}});
}
