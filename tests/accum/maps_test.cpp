// The sorted maps: ordering (negative keys, pairs), insertion against update, the weighted
// statistics update and the display texts.
#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
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

// A value that counts how often a table copies it: building a table of n keys in any order
// must copy each entry O(log n) times, not O(n) (100,000 categories took minutes that way).
struct CountedWeight {
  static long long copies;
  double w;
  explicit CountedWeight(double x) : w(x) {}
  CountedWeight(const CountedWeight& o) : w(o.w) { ++copies; }
  CountedWeight& operator=(const CountedWeight& o) {
    w = o.w;
    ++copies;
    return *this;
  }
};
long long CountedWeight::copies = 0;

// Keys in the orders that defeat insertion in place, each met twice, with reads in between;
// the sums are those of a plain ordered map, bit for bit.
TEST(FSSortedTable, AnyKeyOrderIsLinearithmicAndSummedInRecordOrder) {
  constexpr int n = 20000;
  std::vector<int> shuffled(n);
  for (int i = 0; i < n; ++i)
    shuffled[static_cast<size_t>(i)] = i;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(3));
  const std::vector<std::pair<const char*, std::pair<int, int> (*)(int, int)>> orders = {
      {"cross table of i % 5000 by i", [](int i, int) { return std::make_pair(i % 5000, i); }},
      {"descending", [](int i, int) { return std::make_pair(-i, 0); }},
      {"shuffled", [](int, int s) { return std::make_pair(s % 7, s); }}};
  for (const auto& order : orders) {
    SCOPED_TRACE(order.first);
    FSSortedTable<std::pair<int, int>, CountedWeight> table;
    std::map<std::pair<int, int>, double> reference;
    CountedWeight::copies = 0;
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < n; ++i) {
        const std::pair<int, int> key = order.second(i, shuffled[static_cast<size_t>(i)]);
        const double w = 1.0 / (1 + (i % 3) + round);
        bool found = false;
        CountedWeight& value = table.FindOrInsert(key, CountedWeight(w), found);
        EXPECT_EQ(found, reference.count(key) == 1);
        if (found) value.w += w;
        reference[key] += w;
        if (i % 7919 == 0) {
          EXPECT_EQ(table.Size(), static_cast<int>(reference.size()));
        }
      }
    }
    EXPECT_LT(CountedWeight::copies, 64LL * n);
    ASSERT_EQ(table.Size(), static_cast<int>(reference.size()));
    int i = 0;
    for (const auto& entry : reference) {
      EXPECT_EQ(table[i].first, entry.first);
      EXPECT_EQ(table[i].second.w, entry.second);
      ++i;
    }
  }
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
