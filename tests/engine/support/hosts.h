// Driving the engine in tests: the shared host doubles, the pass counts, rows and types written
// as text, and a fingerprint of everything a data pass builds.
#ifndef FSRANK_TESTS_ENGINE_HOSTS_H
#define FSRANK_TESTS_ENGINE_HOSTS_H

#include <cstddef>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "accum/accumulator.h"
#include "common/hosts.h"
#include "engine/predictor_set.h"
#include "fsrank/fsrank.h"

namespace enginetest {

constexpr double kMiss = gMissingValue;

using testhosts::CancelAt;
using testhosts::RecordingListener;
using testhosts::RowIterator;
using testhosts::Rows;

// An engine on settings s with a cancel state of its own (asking query, when given).
struct TestEngine : FSCancelState, FSPredictorSet {
  explicit TestEngine(FSSettings& s, NQQueryCancel* query = nullptr)
      : FSCancelState(query), FSPredictorSet(&s, this) {}
};

struct Counts {
  double wValid = 0, wExcluded = 0;
  int nValid = 0, nExcluded = 0;
};

inline Counts GetCounts(const FSPredictorSet& e) {
  Counts c;
  e.GetNValidNExcluded(c.wValid, c.wExcluded, c.nValid, c.nExcluded);
  return c;
}

// Rows written as text: rows split by ';', values by blanks, "m" for the missing value.
inline Rows ParseRows(const std::string& text) {
  Rows rows(1);
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    const bool last = word.back() == ';';
    if (last) word.pop_back();
    if (!word.empty()) rows.back().push_back(word == "m" ? kMiss : std::stod(word));
    if (last) rows.emplace_back();
  }
  if (rows.back().empty()) rows.pop_back();
  return rows;
}

// Predictor types written as text: 'c' categorical, anything else continuous.
inline std::vector<bool> Types(const std::string& text) {
  std::vector<bool> types;
  for (char c : text)
    types.push_back(c == 'c');
  return types;
}

// Settings with the target in column 0 and the predictors after it.
inline FSSettings TargetFirst(const std::vector<bool>& types, bool catTarget) {
  FSSettings s(types, catTarget);
  s.SetTargetPosition(0);
  return s;
}

// Everything a data pass leaves behind, in text exact to the bit (17 significant digits): the
// counts, the target category table and every accumulator's own display.
inline std::string Fingerprint(const FSPredictorSet& engine) {
  std::ostringstream os;
  os << std::setprecision(17);
  const Counts c = GetCounts(engine);
  os << c.wValid << ' ' << c.wExcluded << ' ' << c.nValid << ' ' << c.nExcluded << '\n';
  os << engine.IsNoValidData() << engine.IsNoValidWeight() << '\n';
  for (int k = 0; k < engine.GetNTargetCategories(); ++k) {
    int category = 0;
    std::pair<int, double> counts;
    engine.GetTargetCategoryInfo(k, category, counts);
    os << category << ':' << counts.first << ',' << counts.second << '\n';
  }
  for (const IFSPredTargetAccum* accum : engine.GetAccumulators()) {
    if (accum == nullptr) {
      os << "null\n";
    } else {
      accum->Display(os);
    }
  }
  return os.str();
}

}  // namespace enginetest

// Places sort records straight into the engine's lists, so that sorting and ranking can be
// tested with chosen values.
class FSPredictorSetTestAccess {
 public:
  static void AddRecord(FSPredictorSet& engine, NQFSCommon::RankCriteria c, double value,
                        double tieBreak1, double tieBreak2, int index) {
    engine.SortList(c).push_back(new FSPredSort(value, tieBreak1, tieBreak2, index));
  }
  static void MarkDeleted(FSPredictorSet& engine, int index, int reason) {
    engine.fvIndicesDel.push_back(index);
    engine.fvReasonsDel.push_back(reason);
  }
};

#endif  // FSRANK_TESTS_ENGINE_HOSTS_H
