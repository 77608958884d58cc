// The pair accumulators on worked tables and samples, their degenerate cases, the criteria
// they do not answer, their screening quantities and their displays.
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accum/cat_pair_accum.h"
#include "accum/cont_pair_accum.h"
#include "fsrank/enums.h"
#include "fsrank/missing.h"

using namespace NQFSCommon;

namespace {

constexpr double kMissing = gMissingValue;

struct Out {
  double value, tieBreak1, tieBreak2, extra1, extra2;
};

Out Criterion(const IFSPredTargetAccum& a, int criterion) {
  Out o{1, 2, 3, 4, 5};
  a.ComputeCriterion(criterion, o.value, o.tieBreak1, o.tieBreak2, o.extra1, o.extra2);
  return o;
}

bool AllMissing(const Out& o) {
  return NQMV::IsMissing(o.value) && NQMV::IsMissing(o.tieBreak1) && NQMV::IsMissing(o.tieBreak2) &&
         NQMV::IsMissing(o.extra1) && NQMV::IsMissing(o.extra2);
}

struct Stats {
  bool ok;
  double a, b, c, d;
};

Stats GetStats(const IFSPredTargetAccum& acc, int criterion) {
  Stats s{false, 1, 2, 3, 4};
  s.ok = acc.GetStats(criterion, s.a, s.b, s.c, s.d);
  return s;
}

struct Case {
  double x, y, w;
};

template <class Accum>
Accum Feed(const std::vector<Case>& cases, bool finish = true) {
  Accum a;
  for (const Case& c : cases)
    a.AddValue(c.x, c.y, c.w, 1);
  if (finish) a.FinishPass();
  return a;
}

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

std::string Show(const IFSPredTargetAccum& a) {
  std::ostringstream os;
  a.Display(os);
  return os.str();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// FSCatPCatTAccum

TEST(FSCatPCatTAccum, WorkedTable) {
  const FSCatPCatTAccum a = Table2x2();
  EXPECT_EQ(a.GetPredCategories().Size(), 2);
  EXPECT_EQ(a.GetTargetCategories().At(1), (std::pair<int, double>(1, 60.0)));
  EXPECT_EQ(a.GetUnweightedValid(), 100);

  const Out p = Criterion(a, Pearson);
  EXPECT_NEAR(p.tieBreak1, 0.79365079365079, 1e-14);
  EXPECT_NEAR(p.tieBreak1, 4.0 / 12 + 4.0 / 18 + 4.0 / 28 + 4.0 / 42, 1e-15);
  EXPECT_NEAR(p.value, 0.372998, 1e-6);
  EXPECT_EQ(p.tieBreak2, 1.0);
  EXPECT_TRUE(NQMV::IsMissing(p.extra1) && NQMV::IsMissing(p.extra2));

  const Out g = Criterion(a, Likelihood);
  EXPECT_NEAR(g.tieBreak1, 0.80434864609648, 1e-14);
  EXPECT_NEAR(g.value, 0.369796, 1e-6);
  EXPECT_EQ(g.tieBreak2, 1.0);

  const Out v = Criterion(a, Cramer);
  EXPECT_NEAR(v.value, 0.0890870806374748, 1e-16);
  EXPECT_EQ(v.tieBreak1, p.tieBreak1);
  EXPECT_TRUE(NQMV::IsMissing(v.tieBreak2));

  const Out l = Criterion(a, Lambda);
  EXPECT_EQ(l.value, 0.0);
  EXPECT_EQ(l.tieBreak1, 2.0);
  EXPECT_TRUE(NQMV::IsMissing(l.tieBreak2) && NQMV::IsMissing(l.extra1));

  for (int c : {int{FStat}, int{TStat}, -1, 6})
    EXPECT_TRUE(AllMissing(Criterion(a, c))) << c;
}

TEST(FSCatPCatTAccum, GetStats) {
  const FSCatPCatTAccum a = Table2x2();
  const Out p = Criterion(a, Pearson);
  const Stats sp = GetStats(a, Pearson);
  EXPECT_TRUE(sp.ok);
  EXPECT_EQ(sp.a, p.value);
  EXPECT_EQ(sp.b, p.tieBreak1);
  EXPECT_EQ(sp.c, 1.0);
  EXPECT_EQ(sp.d, kMissing);
  const Stats sl = GetStats(a, Lambda);
  EXPECT_TRUE(sl.ok);
  EXPECT_EQ(sl.a, 0.0);
  EXPECT_TRUE(sl.b == kMissing && sl.c == kMissing && sl.d == kMissing);
  const Stats sv = GetStats(a, Cramer);
  EXPECT_EQ(sv.a, Criterion(a, Cramer).value);
  EXPECT_EQ(sv.b, kMissing);
  for (int c : {int{FStat}, int{TStat}, 7}) {
    const Stats s = GetStats(a, c);
    EXPECT_FALSE(s.ok);
    EXPECT_TRUE(s.a == kMissing && s.b == kMissing && s.c == kMissing && s.d == kMissing);
  }
}

TEST(FSCatPCatTAccum, AbsentCellsCountAsZero) {
  // (5, 0; 0, 5): every E is 2.5; the empty cells add E to X2 and nothing to G2.
  const FSCatPCatTAccum a = Feed<FSCatPCatTAccum>({{1, 3, 5}, {2, 4, 5}});
  EXPECT_EQ(a.GetPairs().Size(), 2);
  EXPECT_EQ(Criterion(a, Pearson).tieBreak1, 10.0);
  EXPECT_DOUBLE_EQ(Criterion(a, Likelihood).tieBreak1, 20.0 * std::log(2.0));
  EXPECT_EQ(Criterion(a, Cramer).value, 1.0);
  EXPECT_EQ(Criterion(a, Lambda).value, 1.0);

  // A 3 x 3 table with one row's cells spread over the others: the walk must not lose its
  // place when a row has no cell in some column.
  const FSCatPCatTAccum b =
      Feed<FSCatPCatTAccum>({{0, 0, 2}, {0, 2, 1}, {1, 1, 3}, {2, 0, 1}, {2, 2, 4}, {-1, 1, 1}});
  double x2 = 0.0;
  const double rows[4] = {1, 3, 3, 5}, cols[3] = {3, 4, 5};
  const double o[4][3] = {{0, 1, 0}, {2, 0, 1}, {0, 3, 0}, {1, 0, 4}};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) {
      const double e = cols[j] * rows[i] / 12.0;
      x2 += (o[i][j] - e) * (o[i][j] - e) / e;
    }
  }
  EXPECT_DOUBLE_EQ(Criterion(b, Pearson).tieBreak1, x2);
  EXPECT_EQ(Criterion(b, Pearson).tieBreak2, 6.0);
  EXPECT_DOUBLE_EQ(Criterion(b, Lambda).value, ((1 + 2 + 3 + 4) - 5.0) / (12.0 - 5.0));
}

TEST(FSCatPCatTAccum, OneCategoryOnEitherSide) {
  // One predictor category: no test, no V; lambda still computes.
  const FSCatPCatTAccum onePred = Feed<FSCatPCatTAccum>({{5, 0, 1}, {5, 1, 1}, {5, 1, 1}});
  EXPECT_TRUE(onePred.IsConstant());
  for (int c : {Pearson, Likelihood}) {
    const Out o = Criterion(onePred, c);
    EXPECT_EQ(o.value, 1.0);
    EXPECT_EQ(o.tieBreak1, 0.0);
    EXPECT_EQ(o.tieBreak2, 0.0);
    EXPECT_TRUE(NQMV::IsMissing(o.extra1));
  }
  EXPECT_TRUE(AllMissing(Criterion(onePred, Cramer)));
  const Out l = Criterion(onePred, Lambda);
  EXPECT_EQ(l.value, 0.0);  // (2 - 2) / (3 - 2)
  EXPECT_EQ(l.tieBreak1, 1.0);

  // One target category: lambda has N = bmax and stays missing.
  const FSCatPCatTAccum oneTarget = Feed<FSCatPCatTAccum>({{1, 4, 1}, {2, 4, 2}, {3, 4.5, 1}});
  EXPECT_EQ(Criterion(oneTarget, Pearson).value, 1.0);
  EXPECT_TRUE(AllMissing(Criterion(oneTarget, Cramer)));
  const Out lt = Criterion(oneTarget, Lambda);
  EXPECT_EQ(lt.value, kMissing);
  EXPECT_EQ(lt.tieBreak1, 3.0);

  // Nothing at all.
  const FSCatPCatTAccum empty;
  EXPECT_EQ(Criterion(empty, Likelihood).value, 1.0);
  const Out le = Criterion(empty, Lambda);
  EXPECT_EQ(le.value, kMissing);
  EXPECT_EQ(le.tieBreak1, 0.0);
}

TEST(FSCatPCatTAccum, Display) {
  FSCatPCatTAccum a;
  a.AddValue(2, 1, 1.5, 1);
  a.AddMissing(1.0);
  EXPECT_EQ(Show(a),
            "\nStart of FSCatPCatTAccum display\n\n"
            "Number of predictor categories = 1\n"
            "Number of target categories = 1\n"
            "Number of processed cases = 2.5\n"
            "Number of unweighted valid cases = 1\n"
            "Number of missing cases = 1\n"
            "The first non-missing predictor category = 2\n"
            "This is constant\n"
            "\nCase counts of predictor categories:\n"
            "\nStart of FSMapICnt display\n\nMap size = 1\nKey = 2, Value = 1.5\n"
            "\nEnd of FSMapICnt display\n"
            "\nCase counts of target categories:\n"
            "\nStart of FSMapICnt display\n\nMap size = 1\nKey = 1, Value = 1.5\n"
            "\nEnd of FSMapICnt display\n"
            "\nCase counts of pairs of predictor and target categories:\n"
            "\nStart of FSMapPiCnt display\n\nMap size = 1\nKey = (2,1) Value = 1.5\n"
            "\nEnd of FSMapPiCnt display\n"
            "\nEnd of FSCatPCatTAccum display\n");
}

// ---------------------------------------------------------------------------------------------
// FSCatPContTAccum

TEST(FSCatPContTAccum, WorkedFTest) {
  // Categories 0 and 1 with targets 1, 2 and 3, 4.
  const std::vector<Case> cases = {{0, 1, 1}, {1, 3, 1}, {0.5, 2, 1}, {1.9, 4, 1}};
  const FSCatPContTAccum unfinished = Feed<FSCatPContTAccum>(cases, false);
  // Before FinishPass the variances are 0: a perfect separation as far as it can tell.
  const Out before = Criterion(unfinished, FStat);
  EXPECT_EQ(before.value, 0.0);
  EXPECT_EQ(before.tieBreak1, kMissing);

  const FSCatPContTAccum a = Feed<FSCatPContTAccum>(cases);
  EXPECT_EQ(a.GetTargetMean(), 2.5);
  EXPECT_EQ(a.GetTargetStats().At(1).second.variance, 0.5);
  for (int c : {FStat, TStat}) {
    const Out o = Criterion(a, c);
    EXPECT_DOUBLE_EQ(o.tieBreak1, 8.0);
    EXPECT_NEAR(o.value, 1.0 - std::sqrt(0.8), 1e-15);
    EXPECT_EQ(o.tieBreak2, 4.0);
    EXPECT_EQ(o.extra1, 1.0);
    EXPECT_EQ(o.extra2, 2.0);
  }
  for (int c : {Pearson, Likelihood, Cramer, Lambda})
    EXPECT_TRUE(AllMissing(Criterion(a, c)));

  const Stats s = GetStats(a, FStat);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.a, Criterion(a, FStat).value);
  EXPECT_DOUBLE_EQ(s.b, 8.0);
  EXPECT_EQ(s.c, 1.0);
  EXPECT_EQ(s.d, 2.0);
  EXPECT_FALSE(GetStats(a, TStat).ok);
  EXPECT_EQ(GetStats(a, TStat).a, kMissing);
}

TEST(FSCatPContTAccum, DegenerateFTests) {
  // One case per category: df2 = 0 and SSW = 0.
  const Out one = Criterion(Feed<FSCatPContTAccum>({{0, 1, 1}, {1, 3, 1}}), FStat);
  EXPECT_EQ(one.value, 0.0);
  EXPECT_EQ(one.tieBreak1, kMissing);
  EXPECT_EQ(one.tieBreak2, 2.0);
  EXPECT_EQ(one.extra1, 1.0);
  EXPECT_EQ(one.extra2, 0.0);

  // One category with spread: df1 = 0 with SSW > 0 leaves the value missing.
  const Out single = Criterion(Feed<FSCatPContTAccum>({{3, 1, 1}, {3, 5, 1}}), FStat);
  EXPECT_EQ(single.value, kMissing);
  EXPECT_EQ(single.extra1, 0.0);
  EXPECT_EQ(single.extra2, 1.0);

  // A category of weight 1 or less has variance 0, whatever its spread.
  const FSCatPContTAccum light =
      Feed<FSCatPContTAccum>({{0, 1, 0.5}, {0, 9, 0.5}, {1, 3, 1}, {1, 4, 1}});
  EXPECT_EQ(light.GetTargetStats().At(0).second.variance, 0.0);
  EXPECT_EQ(light.GetTargetStats().At(1).second.variance, 0.5);

  // Nothing at all.
  const Out empty = Criterion(FSCatPContTAccum(), FStat);
  EXPECT_EQ(empty.value, 0.0);
  EXPECT_EQ(empty.extra1, -1.0);
  EXPECT_EQ(empty.tieBreak2, 0.0);
}

TEST(FSCatPContTAccum, ScreeningUsesThePredictorCategories) {
  FSSettings s;
  s.SetMaxNCatAsPct(50);
  const FSCatPContTAccum a = Feed<FSCatPContTAccum>({{0, 1, 1}, {1, 3, 1}, {2, 4, 1}});
  EXPECT_EQ(a.Screen(&s), ReasonManyCategs);
  std::vector<int> all;
  EXPECT_EQ(a.ScreenAll(&s, all), 1);
  const FSCatPCatTAccum b = Feed<FSCatPCatTAccum>({{0, 1, 1}, {0, 3, 1}, {0, 4, 1}});
  EXPECT_EQ(b.Screen(&s), ReasonManyConst);
}

TEST(FSCatPContTAccum, Display) {
  FSCatPContTAccum a;
  a.AddValue(1, 2, 1, 1);
  a.AddValue(1, 4, 1, 1);
  a.FinishPass();
  EXPECT_EQ(Show(a),
            "\nStart of FSCatPContTAccum display\n\n"
            "Number of processed cases = 2\n"
            "Number of unweighted valid cases = 2\n"
            "Number of missing cases = 0\n"
            "The first non-missing predictor category = 1\n"
            "This is constant\n"
            "Grand mean of the target = 3\n"
            "Number of predictor categories = 1\n"
            "\nCase counts of predictor categories:\n"
            "\nStart of FSMapICnt display\n\nMap size = 1\nKey = 1, Value = 2\n"
            "\nEnd of FSMapICnt display\n"
            "\nTarget statistics for predictor categories:\n"
            "\nStart of FSMapIStat display\n\nMap size = 1\nKey = 1, Value = ( 2, 3, 2, 2 )\n"
            "\nEnd of FSMapIStat display\n"
            "\nEnd of FSCatPContTAccum display\n");
}

// ---------------------------------------------------------------------------------------------
// FSContPCatTAccum

TEST(FSContPCatTAccum, WorkedFTestUnderThreeCriteria) {
  const FSContPCatTAccum a =
      Feed<FSContPCatTAccum>({{1, 0, 1}, {3, 1, 1}, {2, 0.5, 1}, {4, 1.9, 1}});
  EXPECT_EQ(a.GetPredMean(), 2.5);
  const Out f = Criterion(a, FStat);
  EXPECT_DOUBLE_EQ(f.tieBreak1, 8.0);
  EXPECT_NEAR(f.value, 0.1055728, 1e-7);
  EXPECT_NEAR(f.value, 1.0 - std::sqrt(0.8), 1e-15);
  EXPECT_EQ(f.tieBreak2, 4.0);
  EXPECT_EQ(f.extra1, 1.0);
  EXPECT_EQ(f.extra2, 2.0);
  for (int c : {Pearson, Likelihood}) {
    const Out o = Criterion(a, c);
    EXPECT_EQ(o.value, f.value);
    EXPECT_EQ(o.tieBreak1, f.tieBreak1);
    EXPECT_EQ(o.tieBreak2, -4.0);
    EXPECT_EQ(o.extra2, 2.0);
  }
  for (int c : {Cramer, Lambda, TStat})
    EXPECT_TRUE(AllMissing(Criterion(a, c)));
  EXPECT_TRUE(GetStats(a, FStat).ok);
  EXPECT_EQ(GetStats(a, FStat).d, 2.0);
  EXPECT_FALSE(GetStats(a, Pearson).ok);
}

TEST(FSContPCatTAccum, PooledStandardDeviation) {
  // Within and between categories together: the spread of 1, 2, 3, 4 as a whole.
  const FSContPCatTAccum a =
      Feed<FSContPCatTAccum>({{1, 0, 1}, {3, 1, 1}, {2, 0, 1}, {4, 1, 1}}, false);
  EXPECT_DOUBLE_EQ(a.PooledStdDev(), std::sqrt(5.0 / 3.0));
  FSSettings s;
  s.SetMinStddev(1.3);
  EXPECT_EQ(a.Screen(&s), ReasonSmallStdDev);
  s.SetMinStddev(1.29);
  EXPECT_EQ(a.Screen(&s), 0);
  // Weight of 1 or less: 0, and so too small a variation.
  const FSContPCatTAccum light = Feed<FSContPCatTAccum>({{1, 0, 0.5}, {5, 1, 0.5}});
  EXPECT_EQ(light.PooledStdDev(), 0.0);
  EXPECT_EQ(light.Screen(&s), ReasonSmallStdDev);
}

TEST(FSContPCatTAccum, Display) {
  FSContPCatTAccum a;
  a.AddMissing(2);
  a.AddValue(1.5, 3, 2, 1);
  a.FinishPass();
  EXPECT_EQ(Show(a),
            "\nStart of FSContPCatTAccum display\n\n"
            "Number of target categories = 1\n"
            "Number of processed cases = 4\n"
            "Number of missing cases = 2\n"
            "The first non-missing predictor value = 1.5\n"
            "This is constant\n"
            "\nGrand mean of predictor = 1.5\n"
            "\nPredictor statistics for target categories:\n"
            "\nStart of FSMapIStat display\n\nMap size = 1\nKey = 3, Value = ( 2, 1.5, 0, 0 )\n"
            "\nEnd of FSMapIStat display\n"
            "\nEnd of FSContPCatTAccum display\n");
}

// ---------------------------------------------------------------------------------------------
// FSContPContTAccum

TEST(FSContPContTAccum, WorkedCorrelation) {
  const FSContPContTAccum a = Feed<FSContPContTAccum>({{1, 2, 1}, {2, 4, 1}, {3, 7, 1}});
  EXPECT_EQ(a.GetPredMean(), 2.0);
  EXPECT_DOUBLE_EQ(a.GetTargetMean(), 13.0 / 3.0);
  EXPECT_EQ(a.GetPredSecondMoment(), 2.0);
  EXPECT_DOUBLE_EQ(a.GetTargetSecondMoment(), 38.0 / 3.0);
  EXPECT_DOUBLE_EQ(a.GetCrossProduct(), 5.0);
  EXPECT_EQ(a.GetPredVariance(), 1.0);
  EXPECT_DOUBLE_EQ(a.GetTargetVariance(), 19.0 / 3.0);
  const double r = 2.5 / std::sqrt(19.0 / 3.0);
  EXPECT_DOUBLE_EQ(a.GetCorrelation(), r);

  for (int c : {TStat, FStat}) {
    const Out o = Criterion(a, c);
    EXPECT_DOUBLE_EQ(o.tieBreak1, r * r);
    EXPECT_NEAR(o.tieBreak1, 0.98684211, 1e-8);
    EXPECT_NEAR(o.extra2, 8.660254, 1e-6);
    EXPECT_NEAR(o.value, 0.0731864, 1e-7);
    EXPECT_EQ(o.tieBreak2, 3.0);
    EXPECT_EQ(o.extra1, a.GetCorrelation());
  }
  for (int c : {Pearson, Likelihood, Cramer, Lambda})
    EXPECT_TRUE(AllMissing(Criterion(a, c)));

  const Stats s = GetStats(a, TStat);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.a, Criterion(a, TStat).value);
  EXPECT_EQ(s.b, a.GetCorrelation());
  EXPECT_EQ(s.c, Criterion(a, TStat).extra2);
  EXPECT_EQ(s.d, 1.0);
  EXPECT_FALSE(GetStats(a, FStat).ok);
}

TEST(FSContPContTAccum, DegenerateCases) {
  // Perfectly correlated: value 0, no t.
  const Out perfect = Criterion(Feed<FSContPContTAccum>({{1, 2, 1}, {2, 4, 1}, {3, 6, 1}}), TStat);
  EXPECT_EQ(perfect.value, 0.0);
  EXPECT_EQ(perfect.tieBreak1, 1.0);
  EXPECT_EQ(perfect.tieBreak2, 3.0);
  EXPECT_EQ(perfect.extra2, kMissing);

  // A constant target: no correlation, nothing at all.
  const FSContPContTAccum flat = Feed<FSContPContTAccum>({{1, 5, 1}, {2, 5, 1}, {3, 5, 1}});
  EXPECT_EQ(flat.GetTargetVariance(), 0.0);
  EXPECT_EQ(flat.GetCorrelation(), kMissing);
  EXPECT_TRUE(AllMissing(Criterion(flat, TStat)));
  const Stats fs = GetStats(flat, TStat);
  EXPECT_TRUE(fs.ok);
  EXPECT_TRUE(fs.a == kMissing && fs.b == kMissing && fs.c == kMissing && fs.d == kMissing);

  // Two cases: r is 1 up to rounding; either it rounds to 1 (value 0) or df = 0 leaves the
  // value missing.
  const FSContPContTAccum two = Feed<FSContPContTAccum>({{1, 1, 1}, {2, 3, 1}});
  const Out t2 = Criterion(two, TStat);
  EXPECT_EQ(t2.tieBreak2, 2.0);
  if (t2.tieBreak1 < 1.0) {
    EXPECT_EQ(t2.value, kMissing);
  } else {
    EXPECT_EQ(t2.value, 0.0);
  }

  // One unit of weight or less: variances 0, no correlation.
  const FSContPContTAccum one = Feed<FSContPContTAccum>({{1, 1, 0.5}, {2, 3, 0.5}});
  EXPECT_EQ(one.GetPredVariance(), 0.0);
  EXPECT_EQ(one.GetCorrelation(), kMissing);

  // Not finished: nothing is known yet.
  const FSContPContTAccum open = Feed<FSContPContTAccum>({{1, 2, 1}, {2, 4, 1}, {3, 7, 1}}, false);
  EXPECT_EQ(open.GetPredVariance(), kMissing);
  EXPECT_TRUE(AllMissing(Criterion(open, TStat)));
}

TEST(FSContPContTAccum, Display) {
  const FSContPContTAccum a = Feed<FSContPContTAccum>({{1, 2, 1}, {2, 4, 1}, {3, 6, 1}});
  EXPECT_EQ(Show(a),
            "\nStart of FSContPContTAccum display\n\n"
            "Number of processed cases = 3\n"
            "Number of missing cases = 0\n"
            "The first non-missing predictor value = 1\n"
            "This is not constant\n"
            "Mean of the predictor = 2\n"
            "Second moment of the predictor = 2\n"
            "Mean of the target = 4\n"
            "Second moment of the target = 8\n"
            "Cross-product = 4\n"
            "Variance of the predictor = 1\n"
            "Variance of the target = 4\n"
            "Pearson correlation coefficient = 1\n"
            "\nEnd of FSContPContTAccum display\n");
}

TEST(PairAccum, SharedRules) {
  std::vector<IFSPredTargetAccum*> all = {new FSCatPCatTAccum, new FSCatPContTAccum,
                                          new FSContPCatTAccum, new FSContPContTAccum};
  const bool categorical[] = {true, true, false, false};
  for (size_t i = 0; i < all.size(); ++i) {
    IFSPredTargetAccum* a = all[i];
    EXPECT_EQ(a->IsCategorical(), categorical[i]);
    EXPECT_TRUE(a->IsAllMissing() && a->IsConstant());
    a->AddValueNoTarget(1.0, 1.0, true);  // single-variable operation: ignored
    a->AddValue(1.0, 1.0, std::nan(""), 1);
    a->AddMissing(0.0);
    EXPECT_TRUE(a->IsAllMissing());
    a->AddMissing(1.0);
    EXPECT_TRUE(a->IsAllMissing());
    a->AddValue(1.0, 1.0, 1.0, 1);
    a->AddValue(1.5, 2.0, 1.0, 1);
    EXPECT_FALSE(a->IsAllMissing());
    EXPECT_EQ(a->IsConstant(), categorical[i]) << i;  // 1.5 is category 1
    a->AddValue(2.0, 2.0, 1.0, 1);
    EXPECT_FALSE(a->IsConstant());
    delete a;
  }
}
