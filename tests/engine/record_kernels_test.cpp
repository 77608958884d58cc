// The record pass against the straightforward loop: on random data of every set and target
// type, with weights, missing and invalid values, category codes that leave the dense tables
// and incremental passes, every accumulator must come out bit for bit the same, with each
// instruction set the kernels can use.
#include <cmath>
#include <cstdint>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/state_files.h"
#include "engine/pass_util.h"
#include "engine/record_kernels.h"
#include "engine/support/hosts.h"

using enginetest::kMiss;
using enginetest::RowIterator;
using enginetest::Rows;

namespace {

enum class Set { Continuous, Categorical, Mixed };

struct Case {
  const char* name;
  Set set;
  bool catTarget;
  int predictors;
  double missing;    // share of missing (and, for categories, invalid) values
  int categories;    // predictor codes 0 .. categories - 1, plus rare outliers when wide
  bool wide;         // also negative codes, codes beyond the dense range, late new targets
  int targets;       // target codes 0 .. targets - 1 (categorical target)
  bool weighted;     // a weight column with fractional weights
  bool specialCols;  // case id, weight and target between the predictors
};

const Case kCases[] = {
    {"cont_cat", Set::Continuous, true, 13, 0.03, 0, false, 3, true, false},
    {"cont_cont_unit", Set::Continuous, false, 13, 0.03, 0, false, 0, false, false},
    {"cont_cont_complete", Set::Continuous, false, 9, 0.0, 0, false, 0, false, false},
    {"cont_cat_complete", Set::Continuous, true, 9, 0.0, 0, false, 4, false, false},
    {"cat_cat", Set::Categorical, true, 11, 0.05, 5, false, 3, true, false},
    {"cat_cat_wide", Set::Categorical, true, 7, 0.05, 1200, true, 5, false, false},
    {"cat_cont_wide", Set::Categorical, false, 7, 0.05, 1200, true, 0, true, false},
    {"mixed_cat_columns", Set::Mixed, true, 10, 0.04, 6, false, 3, true, true},
    {"mixed_cont_columns", Set::Mixed, false, 10, 0.04, 6, false, 0, true, true},
    {"mixed_many_targets", Set::Mixed, true, 6, 0.02, 4, false, 300, false, false},
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

bool IsCat(Set set, int j) {
  return set == Set::Categorical || (set == Set::Mixed && j % 3 != 1);
}

// Columns: [case id, weight,] predictors with the target after the first third.
struct Layout {
  int target, caseId, weight;
};

Layout LayoutOf(const Case& c) {
  if (!c.specialCols) return {0, -1, -1};
  return {2 + c.predictors / 3, 0, 1};
}

Rows MakeRows(const Case& c, int records, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const Layout lay = LayoutOf(c);
  const int width = c.predictors + 1 + (c.specialCols ? 2 : 0);
  Rows rows;
  for (int r = 0; r < records; ++r) {
    std::vector<double> row(static_cast<std::size_t>(width), 0.0);
    auto at = [&row](int col) -> double& { return row[static_cast<std::size_t>(col)]; };
    // The target: a few missing and invalid ones; new codes late in the data when wide.
    double t = c.catTarget ? std::floor(u(rng) * c.targets) + 0.5 * u(rng) : u(rng) * 8.0 - 3.0;
    if (c.wide && r > records * 3 / 4 && u(rng) < 0.05) t = 300.0;
    if (u(rng) < 0.01) t = kMiss;
    if (c.catTarget && u(rng) < 0.01) t = -1.5;
    if (!c.catTarget && u(rng) < 0.01) t = -0.0;
    at(lay.target) = t;
    if (c.specialCols) {
      at(lay.caseId) = r;
      at(lay.weight) = u(rng) < 0.03 ? kMiss : std::floor(u(rng) * 40.0) / 8.0;
    }
    int col = 0;
    for (int j = 0; j < c.predictors; ++j) {
      while (col == lay.target || col == lay.caseId || col == lay.weight)
        ++col;
      double x;
      if (IsCat(c.set, j)) {
        const int k = c.categories > 0 ? c.categories : 5;
        x = std::floor(u(rng) * k) + 0.9 * u(rng);
        if (c.wide && j == 0 && r == records / 2) x = -3.2;    // these two leave the dense
        if (c.wide && j == 1 && r == records / 3) x = 5000.0;  // tables, the others stay
        if (u(rng) < c.missing) x = -1.0 - 0.5 * u(rng);
      } else {
        x = u(rng) * 200.0 - 100.0;
        if (u(rng) < 0.01) x = -0.0;
        if (j == 2 && r < records / 2) x = 7.0;  // constant for a while
      }
      if (u(rng) < c.missing) x = kMiss;
      at(col++) = x;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

FSSettings SettingsFor(const Case& c) {
  std::vector<bool> types;
  for (int j = 0; j < c.predictors; ++j)
    types.push_back(IsCat(c.set, j));
  FSSettings s(types, c.catTarget);
  const Layout lay = LayoutOf(c);
  s.SetTargetPosition(lay.target);
  if (c.specialCols) {
    s.SetCaseIDPosition(lay.caseId);
    s.SetWeightPosition(lay.weight);
    s.SetWeightConv(NQFSCommon::WeightAsIs);
  }
  return s;
}

// The plain loop: weight, target test, then AddValue or AddMissing on every accumulator.
void ReferencePass(const FSSettings& s, const Rows& rows, FSPredictorSet& engine) {
  engine.AllocateAccumulators(true);
  const std::vector<IFSPredTargetAccum*>& acc = engine.GetAccumulators();
  for (const std::vector<double>& row : rows) {
    double w = 1.0;
    if (s.GetWeightPosition() >= 0 &&
        !fsengine::ConvertWeight(row[static_cast<std::size_t>(s.GetWeightPosition())],
                                 s.GetWeightConv(), w)) {
      continue;
    }
    const double t = row[static_cast<std::size_t>(s.GetTargetPosition())];
    if (NQMV::IsMissing(t) || (s.IsCatTarget() && fsengine::TruncatesToMinusOne(t))) continue;
    int col = 0;
    for (int j = 0; j < s.GetNPredictors(); ++j) {
      while (col == s.GetTargetPosition() || col == s.GetCaseIDPosition() ||
             col == s.GetWeightPosition())
        ++col;
      const double x = row[static_cast<std::size_t>(col++)];
      IFSPredTargetAccum* a = acc[static_cast<std::size_t>(j)];
      if (NQMV::IsMissing(x) || (s.IsCatPredictor(j) && fsengine::TruncatesToMinusOne(x))) {
        a->AddMissing(w);
      } else {
        a->AddValue(x, t, w, 1);
      }
    }
  }
}

// Every accumulator: its binary chunk and its display at full precision (which also shows the
// unweighted count that the chunk leaves out).
std::vector<std::string> States(const FSPredictorSet& engine) {
  std::vector<std::string> states;
  for (const IFSPredTargetAccum* a : engine.GetAccumulators()) {
    ScratchFile file;
    a->WriteObject(file.Binary());
    std::ostringstream os;
    os.precision(17);
    a->Display(os);
    states.push_back(file.Contents() + os.str());
  }
  return states;
}

class RecordKernels : public ::testing::TestWithParam<Case> {
 protected:
  void TearDown() override { FSRecordKernels::UseIsa(FSRecordKernels::BestIsa()); }
};

TEST_P(RecordKernels, SameBitsAsThePlainLoop) {
  const Case& c = GetParam();
  FSSettings s = SettingsFor(c);
  const Rows first = MakeRows(c, 1500, 11);
  const Rows second = MakeRows(c, 1500, 12);
  FSCancelState cancel;
  // Between the passes the first accumulator takes a missing case of its own, so that the
  // second pass starts from accumulators that do not all share their processed weight.
  auto nudge = [](FSPredictorSet& e) { e.GetAccumulators()[0]->AddMissing(0.375); };
  FSPredictorSet reference(&s, &cancel);
  ReferencePass(s, first, reference);
  nudge(reference);
  ReferencePass(s, second, reference);
  const std::vector<std::string> expected = States(reference);

  for (FSRecordKernels::Isa isa : {FSRecordKernels::Isa::Baseline, FSRecordKernels::Isa::Avx2}) {
    if (!FSRecordKernels::UseIsa(isa)) continue;
    FSPredictorSet engine(&s, &cancel);
    RowIterator it1(first), it2(second);
    engine.AccumulateRecords(it1, -1);  // two passes: the second starts from stored state
    nudge(engine);
    engine.AccumulateRecords(it2, -1);
    const std::vector<std::string> actual = States(engine);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
      EXPECT_EQ(actual[i], expected[i]) << "predictor " << i << ", isa " << static_cast<int>(isa);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordKernels, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
