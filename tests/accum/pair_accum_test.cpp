// The pair accumulators: where each criterion's outputs and statistics go, the degenerate
// tables and samples, screening, the rules the four share, and the displays. The values of the
// statistics are checked against independent references in pair_reference_test.cpp.
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "accum/support/accum_cases.h"

using namespace NQFSCommon;
using namespace accumtest;

namespace {

// The 2 x 2 table (10, 20; 30, 40), predictor categories as rows, one case of weight 1 each,
// interleaved so that every cell keeps growing.
FSCatPCatTAccum Table2x2() {
  const int counts[2][2] = {{10, 20}, {30, 40}};
  FSCatPCatTAccum a;
  for (int k = 0; k < 40; ++k) {
    for (int i = 0; i < 2; ++i) {
      for (int j = 0; j < 2; ++j) {
        if (k < counts[i][j]) a.AddValue(i + 0.5, j + 0.25, 1.0, 1);
      }
    }
  }
  return a;
}

const V kNone = {kMiss, kMiss, kMiss, kMiss, kMiss};
const V kNoStats = {0, kMiss, kMiss, kMiss, kMiss};

}  // namespace

// For every criterion (and two that do not exist), the five outputs and the statistics; a
// criterion a class does not answer gives missing values throughout.
TEST(PairAccum, OutputsOfEachCriterion) {
  struct Row {
    int criterion;
    V out, stats;
  };
  const double f = 1.0 - std::sqrt(0.8);  // F = 8 on (1, 2) degrees of freedom
  const double r = 2.5 / std::sqrt(19.0 / 3.0);
  const double pearson = 0.372998, x2 = 4.0 / 12 + 4.0 / 18 + 4.0 / 28 + 4.0 / 42;
  const double tp = 0.0731864, t = 8.660254;
  const std::vector<std::pair<std::shared_ptr<IFSPredTargetAccum>, std::vector<Row>>> cases = {
      {std::make_shared<FSCatPCatTAccum>(Table2x2()),
       {{Pearson, {pearson, x2, 1, kMiss, kMiss}, {1, pearson, x2, 1, kMiss}},
        {Likelihood, {0.369796, 0.80434864609648, 1, kMiss, kMiss}, {1, 0.369796, kAny, 1, kAny}},
        {Cramer, {0.0890870806374748, x2, kMiss, kAny, kAny}, {1, 0.0890870806374748, kMiss}},
        {Lambda, {0, 2, kMiss, kMiss, kAny}, {1, 0, kMiss, kMiss, kMiss}}}},
      // Categories 0 and 1 with targets 1, 2 and 3, 4.
      {std::make_shared<FSCatPContTAccum>(
           Fed<FSCatPContTAccum>({{0, 1, 1}, {1, 3, 1}, {0.5, 2, 1}, {1.9, 4, 1}})),
       {{FStat, {f, 8, 4, 1, 2}, {1, f, 8, 1, 2}},
        {TStat, {f, 8, 4, 1, 2}, {0, kMiss, kAny, kAny, kAny}}}},
      // The same F test with the roles swapped; the chi-square criteria rank by it too.
      {std::make_shared<FSContPCatTAccum>(
           Fed<FSContPCatTAccum>({{1, 0, 1}, {3, 1, 1}, {2, 0.5, 1}, {4, 1.9, 1}})),
       {{FStat, {f, 8, 4, 1, 2}, {1, kAny, kAny, kAny, 2}},
        {Pearson, {f, 8, -4, kAny, 2}, kNoStats},
        {Likelihood, {f, 8, -4, kAny, 2}, kNoStats}}},
      {std::make_shared<FSContPContTAccum>(
           Fed<FSContPContTAccum>({{1, 2, 1}, {2, 4, 1}, {3, 7, 1}})),
       {{TStat, {tp, r * r, 3, r, t}, {1, tp, r, t, 1}}, {FStat, {tp, r * r, 3, r, t}, kNoStats}}},
  };
  for (const auto& [pointer, rows] : cases) {
    const IFSPredTargetAccum& accum = *pointer;
    for (int c = -1; c <= kNumCriteria; ++c) {
      const std::string what =
          std::string(typeid(accum).name()) + " criterion " + std::to_string(c);
      V out = kNone, stats = kNoStats;
      for (const Row& row : rows) {
        if (row.criterion == c) out = row.out, stats = row.stats;
      }
      stats.resize(5, kAny);
      ExpectOutputs(Criterion(accum, c), out, what);
      ExpectOutputs(Stats(accum, c), stats, what + " (statistics)");
    }
  }
}

// Tables and samples the statistics cannot be formed on, or only just.
TEST(PairAccum, DegenerateCases) {
  struct Row {
    const char* what;
    std::function<std::unique_ptr<IFSPredTargetAccum>()> make;
    int criterion;
    V out;
  };
  const auto cat = [](std::vector<Case> cases) {
    return [cases] { return std::make_unique<FSCatPCatTAccum>(Fed<FSCatPCatTAccum>(cases)); };
  };
  const auto catCont = [](std::vector<Case> cases, bool finish = true) {
    return [cases, finish] {
      return std::make_unique<FSCatPContTAccum>(Fed<FSCatPContTAccum>(cases, finish));
    };
  };
  const auto contCont = [](std::vector<Case> cases, bool finish = true) {
    return [cases, finish] {
      return std::make_unique<FSContPContTAccum>(Fed<FSContPContTAccum>(cases, finish));
    };
  };
  const std::vector<Case> diagonal = {{1, 3, 5}, {2, 4, 5}};  // (5, 0; 0, 5): every E is 2.5
  const std::vector<Case> onePred = {{5, 0, 1}, {5, 1, 1}, {5, 1, 1}};
  const std::vector<Case> oneTarget = {{1, 4, 1}, {2, 4, 2}, {3, 4.5, 1}};
  const std::vector<Case> rising = {{1, 2, 1}, {2, 4, 1}, {3, 7, 1}};
  const Row rows[] = {
      // The empty cells add E to X2 and nothing to G2.
      {"absent cells", cat(diagonal), Pearson, {kAny, 10, kAny, kAny, kAny}},
      {"absent cells", cat(diagonal), Likelihood, {kAny, 20 * std::log(2.0), kAny, kAny, kAny}},
      {"absent cells", cat(diagonal), Cramer, {1, kAny, kAny, kAny, kAny}},
      {"absent cells", cat(diagonal), Lambda, {1, kAny, kAny, kAny, kAny}},
      // One predictor category: no test and no V; lambda still computes, (2 - 2) / (3 - 2).
      {"one predictor category", cat(onePred), Pearson, {1, 0, 0, kMiss, kAny}},
      {"one predictor category", cat(onePred), Likelihood, {1, 0, 0, kMiss, kAny}},
      {"one predictor category", cat(onePred), Cramer, kNone},
      {"one predictor category", cat(onePred), Lambda, {0, 1, kAny, kAny, kAny}},
      // One target category: lambda has N = bmax and stays missing.
      {"one target category", cat(oneTarget), Pearson, {1, kAny, kAny, kAny, kAny}},
      {"one target category", cat(oneTarget), Cramer, kNone},
      {"one target category", cat(oneTarget), Lambda, {kMiss, 3, kAny, kAny, kAny}},
      {"no case", cat({}), Likelihood, {1, kAny, kAny, kAny, kAny}},
      {"no case", cat({}), Lambda, {kMiss, 0, kAny, kAny, kAny}},
      // Before FinishPass the variances are 0: a perfect separation as far as it can tell.
      {"unfinished",
       catCont({{0, 1, 1}, {1, 3, 1}, {0.5, 2, 1}, {1.9, 4, 1}}, false),
       FStat,
       {0, kMiss, kAny, kAny, kAny}},
      {"one case per category: df2 = 0, SSW = 0",
       catCont({{0, 1, 1}, {1, 3, 1}}),
       FStat,
       {0, kMiss, 2, 1, 0}},
      {"one category with spread: df1 = 0",
       catCont({{3, 1, 1}, {3, 5, 1}}),
       FStat,
       {kMiss, kAny, kAny, 0, 1}},
      {"no case", catCont({}), FStat, {0, kAny, 0, -1, kAny}},
      {"perfect correlation: no t",
       contCont({{1, 2, 1}, {2, 4, 1}, {3, 6, 1}}),
       TStat,
       {0, 1, 3, kAny, kMiss}},
      {"constant target", contCont({{1, 5, 1}, {2, 5, 1}, {3, 5, 1}}), TStat, kNone},
      {"one unit of weight", contCont({{1, 1, 0.5}, {2, 3, 0.5}}), TStat, kNone},
      {"unfinished", contCont(rising, false), TStat, kNone},
  };
  for (const Row& row : rows)
    ExpectOutputs(Criterion(*row.make(), row.criterion), row.out, row.what);

  // A constant target still gives statistics, all missing.
  ExpectOutputs(Stats(*contCont({{1, 5, 1}, {2, 5, 1}, {3, 5, 1}})(), TStat),
                {1, kMiss, kMiss, kMiss, kMiss}, "constant target");
  // Two cases: r is 1 up to rounding; either it rounds to 1 (value 0) or df = 0 leaves the
  // value missing.
  const V two = Criterion(Fed<FSContPContTAccum>({{1, 1, 1}, {2, 3, 1}}), TStat);
  EXPECT_EQ(two[2], 2.0);
  EXPECT_EQ(two[0], two[1] < 1.0 ? kMiss : 0.0);
  // A category of weight 1 or less has variance 0, whatever its spread.
  const auto light = Fed<FSCatPContTAccum>({{0, 1, 0.5}, {0, 9, 0.5}, {1, 3, 1}, {1, 4, 1}});
  EXPECT_EQ(light.GetTargetStats().At(0).second.variance, 0.0);
  EXPECT_EQ(light.GetTargetStats().At(1).second.variance, 0.5);
}

// With exact tails a test that cannot be formed has no p-value, where the documented
// computation reports 0 or 1; the rest get the upper tail itself.
TEST(PairAccum, ExactTails) {
  struct Row {
    const char* what;
    std::function<std::unique_ptr<IFSPredTargetAccum>()> make;
    int criterion;
    double complement, exact;
  };
  const auto cat = [](std::vector<Case> cases) {
    return [cases] { return std::make_unique<FSCatPCatTAccum>(Fed<FSCatPCatTAccum>(cases)); };
  };
  const auto catCont = [](std::vector<Case> cases) {
    return [cases] { return std::make_unique<FSCatPContTAccum>(Fed<FSCatPContTAccum>(cases)); };
  };
  const auto contCat = [](std::vector<Case> cases) {
    return [cases] { return std::make_unique<FSContPCatTAccum>(Fed<FSContPCatTAccum>(cases)); };
  };
  const auto contCont = [](std::vector<Case> cases) {
    return [cases] { return std::make_unique<FSContPContTAccum>(Fed<FSContPContTAccum>(cases)); };
  };
  const std::vector<Case> fTest = {{0, 1, 1}, {1, 3, 1}, {0.5, 2, 1}, {1.9, 4, 1}};
  const double f = 1.0 - std::sqrt(0.8);  // F = 8 on (1, 2)
  const Row rows[] = {
      {"2 x 2 table", [] { return std::make_unique<FSCatPCatTAccum>(Table2x2()); }, Pearson,
       0.372998, 0.372998},
      {"one predictor category", cat({{5, 0, 1}, {5, 1, 1}}), Pearson, 1, kMiss},
      {"one target category", cat({{1, 4, 1}, {2, 4, 1}}), Likelihood, 1, kMiss},
      {"F = 8", catCont(fTest), FStat, f, f},
      {"F = 8, roles swapped", contCat({{1, 0, 1}, {3, 1, 1}, {2, 0.5, 1}, {4, 1.9, 1}}), Pearson,
       f, f},
      {"constant target: SSB = SSW = 0", catCont({{0, 5, 1}, {1, 5, 1}, {0, 5, 1}, {1, 5, 1}}),
       FStat, 0, kMiss},
      {"one case per category: df2 = 0", catCont({{0, 1, 1}, {1, 3, 1}}), FStat, 0, kMiss},
      {"no case", catCont({}), FStat, 0, kMiss},
      {"replicated perfect separation", catCont({{0, 1, 1}, {0, 1, 1}, {1, 3, 1}, {1, 3, 1}}),
       FStat, 0, 0},
      {"perfect correlation", contCont({{1, 2, 1}, {2, 4, 1}, {3, 6, 1}}), TStat, 0, 0},
      {"t on 1 df", contCont({{1, 2, 1}, {2, 4, 1}, {3, 7, 1}}), TStat, 0.0731864, 0.0731864},
      {"constant target", contCont({{1, 5, 1}, {2, 5, 1}, {3, 5, 1}}), TStat, kMiss, kMiss},
  };
  for (const Row& row : rows) {
    const std::unique_ptr<IFSPredTargetAccum> a = row.make();
    const V complement = Criterion(*a, row.criterion);
    V exact = Criterion(*a, row.criterion, TailMode::Exact);
    ExpectOutputs({complement[0]}, {row.complement}, row.what);
    ExpectOutputs({exact[0]}, {row.exact}, std::string(row.what) + " (exact)");
    // Only the p-value changes.
    exact[0] = complement[0];
    if (!NQMV::IsMissing(row.exact)) ExpectOutputs(exact, complement, row.what);
  }
}

TEST(PairAccum, Screening) {
  FSSettings s;
  s.SetMaxNCatAsPct(50);
  const auto three = Fed<FSCatPContTAccum>({{0, 1, 1}, {1, 3, 1}, {2, 4, 1}});
  EXPECT_EQ(three.Screen(&s), ReasonManyCategs);
  std::vector<int> all;
  EXPECT_EQ(three.ScreenAll(&s, all), 1);
  EXPECT_EQ(Fed<FSCatPCatTAccum>({{0, 1, 1}, {0, 3, 1}, {0, 4, 1}}).Screen(&s), ReasonManyConst);
  // The pooled standard deviation takes within and between categories together: the spread
  // of 1, 2, 3, 4 as a whole. Weight of 1 or less gives 0, and so too small a variation.
  const auto spread = Fed<FSContPCatTAccum>({{1, 0, 1}, {3, 1, 1}, {2, 0, 1}, {4, 1, 1}}, false);
  EXPECT_DOUBLE_EQ(spread.PredStdDev(), std::sqrt(5.0 / 3.0));
  s.SetMinStddev(1.3);
  EXPECT_EQ(spread.Screen(&s), ReasonSmallStdDev);
  s.SetMinStddev(1.29);
  EXPECT_EQ(spread.Screen(&s), 0);
  const auto light = Fed<FSContPCatTAccum>({{1, 0, 0.5}, {5, 1, 0.5}});
  EXPECT_EQ(light.PredStdDev(), 0.0);
  EXPECT_EQ(light.Screen(&s), ReasonSmallStdDev);
}

TEST(PairAccum, SharedRules) {
  std::unique_ptr<IFSPredTargetAccum> all[] = {
      std::make_unique<FSCatPCatTAccum>(), std::make_unique<FSCatPContTAccum>(),
      std::make_unique<FSContPCatTAccum>(), std::make_unique<FSContPContTAccum>()};
  for (auto& a : all) {
    const bool categorical = a->IsCategorical();
    EXPECT_TRUE(a->IsAllMissing() && a->IsConstant());
    a->AddValueNoTarget(1.0, 1.0, true);  // single-variable operation: ignored
    a->AddValue(1.0, 1.0, std::nan(""), 1);
    a->AddMissing(0.0);
    a->AddMissing(1.0);
    EXPECT_TRUE(a->IsAllMissing());
    a->AddValue(1.0, 1.0, 1.0, 1);
    a->AddValue(1.5, 2.0, 1.0, 1);
    EXPECT_FALSE(a->IsAllMissing());
    EXPECT_EQ(a->IsConstant(), categorical);  // 1.5 is category 1
    a->AddValue(2.0, 2.0, 1.0, 1);
    EXPECT_FALSE(a->IsConstant());
  }
  EXPECT_TRUE(all[0]->IsCategorical() && all[1]->IsCategorical());
  EXPECT_FALSE(all[2]->IsCategorical() || all[3]->IsCategorical());
}

TEST(PairAccum, Displays) {
  FSCatPCatTAccum catCat;
  catCat.AddValue(2, 1, 1.5, 1);
  catCat.AddMissing(1.0);
  FSContPCatTAccum contCat;
  contCat.AddMissing(2);
  contCat.AddValue(1.5, 3, 2, 1);
  contCat.FinishPass();
  ExpectGoldens(
      {{"goldens/cat_cat_accum.txt", Shown(catCat)},
       {"goldens/cat_cont_accum.txt", Shown(Fed<FSCatPContTAccum>({{1, 2, 1}, {1, 4, 1}}))},
       {"goldens/cont_cat_accum.txt", Shown(contCat)},
       {"goldens/cont_cont_accum.txt",
        Shown(Fed<FSContPContTAccum>({{1, 2, 1}, {2, 4, 1}, {3, 6, 1}}))}});
}
