// Writes the fuzzers' seed corpora: real saved states of small algorithms in every shape the
// state can take (fresh, each set type and target type, deletions, SortAll and SortBest, the
// no-target check, transactions), as <dir>/binary/<name> and <dir>/xml/<name>.
//   make_seeds fuzz/corpus
#include <fsrank/fsrank.h>

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "restore_exercise.h"

namespace {

using Rows = std::vector<std::vector<double>>;

using fsfuzz::RowIterator;

// Column 0 the target, then the predictors: each a noisy function of the target, the last but
// one constant and the last all missing (so that both deletion checks find something).
Rows MakeRows(int n, int predictors, bool catTarget) {
  Rows rows;
  for (int r = 0; r < n; ++r) {
    const double target = catTarget ? r % 3 : r * 0.5;
    std::vector<double> row{target};
    for (int j = 0; j < predictors; ++j) {
      double v = static_cast<double>((r * (j + 2) + j) % 4) + (r % 3 == j % 3 ? target : 0.0);
      if (j == predictors - 2) v = 1.0;
      if (j == predictors - 1 || (r + j) % 7 == 0) v = gMissingValue;
      row.push_back(v);
    }
    rows.push_back(row);
  }
  return rows;
}

void Save(IFSAlgorithm& a, const std::string& dir, const std::string& name) {
  {
    std::fstream out(dir + "/binary/" + name, std::ios::out | std::ios::binary | std::ios::trunc);
    a.SaveState(out);
  }
  std::ofstream xml(dir + "/xml/" + name, std::ios::binary | std::ios::trunc);
  a.SaveStateXML(xml);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_seeds <corpus directory>\n";
    return 2;
  }
  const std::string dir = argv[1];
  FSFactory factory;
  struct Case {
    const char* name;
    std::vector<bool> types;
    bool catTarget;
    int sort;  // -1: no data; otherwise SortAndRank's n
  };
  const std::vector<Case> cases = {
      {"fresh", {true, true, true}, true, -1},
      {"categorical_all", {true, true, true, true, true}, true, 0},
      {"continuous_best", {false, false, false, false}, false, 2},
      {"mixed_cat_all", {true, false, true, false, true}, true, 0},
      {"mixed_cont_best", {false, true, false, true}, false, 2},
  };
  for (const Case& c : cases) {
    FSSettings settings(c.types, c.catTarget);
    IFSAlgorithm* a = factory.CreateFSAlgorithm(&settings);
    if (c.sort >= 0) {
      const Rows rows = MakeRows(18, static_cast<int>(c.types.size()), c.catTarget);
      RowIterator it(rows);
      a->AccumulateAndRank(it, -1, true, c.sort);
    }
    Save(*a, dir, c.name);
    delete a;
  }
  {  // The no-target check: single-variable accumulators.
    FSSettings settings(std::vector<bool>{true, false, true}, true);
    IFSAlgorithm* a = factory.CreateFSAlgorithm(&settings);
    const Rows rows = MakeRows(12, 3, true);
    RowIterator it(rows);
    std::vector<int> indices;
    std::vector<std::vector<int>> reasons;
    a->CheckPredictorsNoTarget(it, indices, reasons, -1);
    Save(*a, dir, "no_target");
    delete a;
  }
  {  // Transactions with a categorical target.
    FSSettings settings(3, true, true);
    settings.SetFlagTrInput(true);
    IFSAlgorithm* a = factory.CreateFSAlgorithm(&settings);
    Rows rows;
    for (int t = 0; t < 10; ++t) {
      for (int p = 0; p < 3; ++p) {
        if ((t + p) % 4 != 0)
          rows.push_back({double(t), double(p), double((t * p) % 3), double(t % 2)});
      }
    }
    RowIterator it(rows);
    a->AccumulateAndRank(it, -1, false, 0);
    Save(*a, dir, "transactions");
    delete a;
  }
  return 0;
}
