// The four pair accumulators against independent reference values on a few hundred random
// weighted samples (tests/data/pair_reference.txt, written by gen/pair_reference.py).
// Statistics agree to 1e-12 relative; p-values, being one minus a distribution function, to
// 1e-13 absolute.
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accum/support/accum_cases.h"

using namespace NQFSCommon;
using namespace accumtest;

namespace {

struct RefCase {
  std::string kind, id;
  std::vector<Case> records;
  std::map<std::string, double> refs;
};

std::vector<RefCase> LoadCases() {
  std::ifstream in(std::string(FSRANK_TEST_DATA_DIR) + "/pair_reference.txt");
  std::vector<RefCase> cases;
  RefCase current;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string tag, x, name;
    if (!(words >> tag) || tag[0] == '#') continue;
    if (tag == "case") {
      current = RefCase();
      words >> current.kind >> current.id;
    } else if (tag == "rec") {
      Case r{};
      words >> x >> r.y >> r.w;
      r.x = x == "NA" ? std::nan("") : std::stod(x);
      current.records.push_back(r);
    } else if (tag == "ref") {
      words >> name >> current.refs[name];
    } else if (tag == "end") {
      cases.push_back(current);
    }
  }
  return cases;
}

// Statistics to 1e-12 relative (exactly where the reference is 0); p-values to 1e-13 absolute.
::testing::AssertionResult Near(double actual, double expected, bool pValue) {
  const double error = std::fabs(actual - expected);
  if (error <= (pValue ? 1e-13 : 1e-12 * std::fabs(expected))) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << actual << " against " << expected << " (error " << error << ")";
}

void CheckCatCat(const RefCase& c) {
  const auto a = Fed<FSCatPCatTAccum>(c.records);
  const auto& ref = c.refs;
  const V p = Criterion(a, Pearson), g = Criterion(a, Likelihood);
  EXPECT_TRUE(Near(p[1], ref.at("X2"), false)) << "X2";
  EXPECT_TRUE(Near(p[0], ref.at("PX2"), true)) << "Pearson p";
  EXPECT_TRUE(Near(g[1], ref.at("G2"), false)) << "G2";
  EXPECT_TRUE(Near(g[0], ref.at("PG2"), true)) << "Likelihood p";
  EXPECT_TRUE(p[2] == ref.at("DF") && g[2] == ref.at("DF"));
  EXPECT_TRUE(Near(Criterion(a, Cramer)[0], ref.at("V"), false)) << "V";
  EXPECT_TRUE(Near(Criterion(a, Lambda)[0], ref.at("LAMBDA"), false)) << "lambda";
}

// The F test, criterion by criterion with the second tie-break expected under each.
void CheckF(const IFSPredTargetAccum& a, const RefCase& c,
            const std::vector<std::pair<int, double>>& criteria) {
  const auto& ref = c.refs;
  for (const auto& [criterion, tieBreak2] : criteria) {
    const V o = Criterion(a, criterion);
    EXPECT_TRUE(Near(o[1], ref.at("F"), false)) << "F, criterion " << criterion;
    EXPECT_TRUE(Near(o[0], ref.at("P"), true)) << "F p, criterion " << criterion;
    EXPECT_EQ(o[2], tieBreak2);
    EXPECT_EQ(o[3], ref.at("DF1"));
    EXPECT_EQ(o[4], ref.at("DF2"));
  }
}

void CheckContCont(const RefCase& c) {
  const V o = Criterion(Fed<FSContPContTAccum>(c.records), TStat);
  const auto& ref = c.refs;
  EXPECT_TRUE(Near(o[3], ref.at("R"), false)) << "r";
  EXPECT_TRUE(Near(o[1], ref.at("R") * ref.at("R"), false)) << "r squared";
  EXPECT_TRUE(Near(o[4], ref.at("T"), false)) << "t";
  EXPECT_TRUE(Near(o[0], ref.at("P"), true)) << "t p";
  EXPECT_EQ(o[2], ref.at("N"));
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
      CheckF(Fed<FSCatPContTAccum>(c.records), c, {{FStat, n}, {TStat, n}});
    } else if (c.kind == "contcat") {
      CheckF(Fed<FSContPCatTAccum>(c.records), c, {{FStat, n}, {Pearson, -n}, {Likelihood, -n}});
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
