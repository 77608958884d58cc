// The four pair accumulators against independent reference values on a few hundred random
// weighted samples (tests/data/pair_reference.txt, written by tools/gen_pair_reference.py).
// Statistics agree to 1e-12 relative; p-values, being one minus a distribution function, to
// 1e-13 absolute.
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
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

constexpr double kStatTol = 1e-12;
constexpr double kPTol = 1e-13;

struct Record {
  bool missing;
  double x, y, w;
};

struct RefCase {
  std::string kind;
  std::string id;
  std::vector<Record> records;
  std::map<std::string, double> refs;
};

std::vector<RefCase> LoadCases() {
  std::ifstream in(std::string(FSRANK_TEST_DATA_DIR) + "/pair_reference.txt");
  std::vector<RefCase> cases;
  std::string line;
  RefCase current;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string tag;
    if (!(words >> tag) || tag[0] == '#') continue;
    if (tag == "case") {
      current = RefCase();
      words >> current.kind >> current.id;
    } else if (tag == "rec") {
      std::string x;
      Record r{};
      words >> x >> r.y >> r.w;
      r.missing = (x == "NA");
      if (!r.missing) r.x = std::stod(x);
      current.records.push_back(r);
    } else if (tag == "ref") {
      std::string name;
      double value = 0.0;
      words >> name >> value;
      current.refs[name] = value;
    } else if (tag == "end") {
      cases.push_back(current);
    }
  }
  return cases;
}

template <class Accum>
std::unique_ptr<Accum> Feed(const RefCase& c) {
  std::unique_ptr<Accum> a(new Accum);
  for (const Record& r : c.records) {
    if (r.missing) {
      a->AddMissing(r.w);
    } else {
      a->AddValue(r.x, r.y, r.w, 1);
    }
  }
  a->FinishPass();
  return a;
}

struct Out {
  double value, tieBreak1, tieBreak2, extra1, extra2;
};

Out Criterion(const IFSPredTargetAccum& a, int criterion) {
  Out o{};
  a.ComputeCriterion(criterion, o.value, o.tieBreak1, o.tieBreak2, o.extra1, o.extra2);
  return o;
}

::testing::AssertionResult Rel(double actual, double expected) {
  if (std::fabs(actual - expected) <= kStatTol * std::fabs(expected)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << actual << " against " << expected << " (relative error "
                                       << std::fabs(actual - expected) / std::fabs(expected) << ")";
}

::testing::AssertionResult Abs(double actual, double expected) {
  if (std::fabs(actual - expected) <= kPTol) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << actual << " against " << expected << " (error " << std::fabs(actual - expected) << ")";
}

void CheckCatCat(const RefCase& c) {
  const auto a = Feed<FSCatPCatTAccum>(c);
  const auto& ref = c.refs;
  const Out p = Criterion(*a, Pearson);
  EXPECT_TRUE(Rel(p.tieBreak1, ref.at("X2"))) << "X2";
  EXPECT_TRUE(Abs(p.value, ref.at("PX2"))) << "Pearson p";
  EXPECT_EQ(p.tieBreak2, ref.at("DF"));
  const Out g = Criterion(*a, Likelihood);
  EXPECT_TRUE(Rel(g.tieBreak1, ref.at("G2"))) << "G2";
  EXPECT_TRUE(Abs(g.value, ref.at("PG2"))) << "Likelihood p";
  EXPECT_EQ(g.tieBreak2, ref.at("DF"));
  EXPECT_TRUE(Rel(Criterion(*a, Cramer).value, ref.at("V"))) << "V";
  const double lambda = Criterion(*a, Lambda).value;
  if (ref.at("LAMBDA") == 0.0) {
    EXPECT_EQ(lambda, 0.0);
  } else {
    EXPECT_TRUE(Rel(lambda, ref.at("LAMBDA"))) << "lambda";
  }
}

// The F test, criterion by criterion with the second tie-break expected under each.
void CheckF(const IFSPredTargetAccum& a, const RefCase& c,
            const std::vector<std::pair<int, double>>& criteria) {
  const auto& ref = c.refs;
  for (const auto& [criterion, tieBreak2] : criteria) {
    const Out o = Criterion(a, criterion);
    EXPECT_TRUE(Rel(o.tieBreak1, ref.at("F"))) << "F, criterion " << criterion;
    EXPECT_TRUE(Abs(o.value, ref.at("P"))) << "F p, criterion " << criterion;
    EXPECT_EQ(o.tieBreak2, tieBreak2);
    EXPECT_EQ(o.extra1, ref.at("DF1"));
    EXPECT_EQ(o.extra2, ref.at("DF2"));
  }
}

void CheckContCont(const RefCase& c) {
  const auto a = Feed<FSContPContTAccum>(c);
  const auto& ref = c.refs;
  const Out o = Criterion(*a, TStat);
  EXPECT_TRUE(Rel(o.extra1, ref.at("R"))) << "r";
  EXPECT_TRUE(Rel(o.tieBreak1, ref.at("R") * ref.at("R"))) << "r squared";
  EXPECT_TRUE(Rel(o.extra2, ref.at("T"))) << "t";
  EXPECT_TRUE(Abs(o.value, ref.at("P"))) << "t p";
  EXPECT_EQ(o.tieBreak2, ref.at("N"));
}

}  // namespace

TEST(PairReference, AllClassesAgreeWithReferences) {
  const std::vector<RefCase> cases = LoadCases();
  std::map<std::string, int> counts;
  for (const RefCase& c : cases) {
    SCOPED_TRACE(c.kind + " case " + c.id);
    ++counts[c.kind];
    const double n = c.refs.at("N");
    if (c.kind == "catcat") {
      CheckCatCat(c);
    } else if (c.kind == "catcont") {
      CheckF(*Feed<FSCatPContTAccum>(c), c, {{FStat, n}, {TStat, n}});
    } else if (c.kind == "contcat") {
      CheckF(*Feed<FSContPCatTAccum>(c), c, {{FStat, n}, {Pearson, -n}, {Likelihood, -n}});
    } else if (c.kind == "contcont") {
      CheckContCont(c);
    } else {
      ADD_FAILURE() << "unknown kind";
    }
  }
  EXPECT_EQ(counts["catcat"], 100);
  EXPECT_EQ(counts["catcont"], 70);
  EXPECT_EQ(counts["contcat"], 70);
  EXPECT_EQ(counts["contcont"], 70);
}
