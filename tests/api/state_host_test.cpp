// Saving and restoring whole algorithms as a host does it: only <fsrank/fsrank.h>, linked
// against libfsrank.so (plus the scratch-file helpers and the fuzzers' own exercise, which
// replays the committed fuzz inputs).
#include <fsrank/fsrank.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../../fuzz/restore_exercise.h"
#include "common/state_files.h"

using namespace NQFSCommon;
using NQFeature::NQStatus;

namespace {

using Rows = std::vector<std::vector<double>>;

using fsfuzz::RowIterator;

struct Host : NQQueryCancel, ProgressListener {
  bool IsCancelRequested() override { return false; }
  void OnProgress(ProgressReport&) override {}
};

// Column 0 the target, then the predictors, each related to the target with its own noise;
// predictor 1 is all missing and predictor 3 constant, so that the checks delete both.
Rows MakeRows(int n, const std::vector<bool>& types, bool catTarget, int seed) {
  Rows rows;
  for (int r = 0; r < n; ++r) {
    const double target = catTarget ? (r + seed) % 3 : 0.37 * r + (r * seed) % 5;
    std::vector<double> row{target};
    for (int j = 0; j < static_cast<int>(types.size()); ++j) {
      const int noise = (r * r + r * 7 + seed * 5 + j * 3) % (3 + j);
      double v = types[j] ? (noise < 2 ? static_cast<int>(target) % 3 : noise)
                          : target * (j + 1) * 0.3 + noise * 0.1;
      if (j == 3) v = 2.0;
      if (j == 1 || (r + j + seed) % 9 == 0) v = gMissingValue;
      row.push_back(v);
    }
    rows.push_back(row);
  }
  return rows;
}

struct Scenario {
  const char* name;
  std::vector<bool> types;
  bool catTarget;
  int sort;  // -1: no data pass; otherwise the n of SortAndRank (0: SortAll)
  bool noTarget = false;
};

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios = {
      {"fresh", {true, true, true}, true, -1},
      {"categorical_all", {true, true, true, true, true, true}, true, 0},
      {"categorical_cont_target_best", {true, true, true, true, true}, false, 2},
      {"continuous_cat_target_all", {false, false, false, false, false}, true, 0},
      {"continuous_best", {false, false, false, false, false}, false, 3},
      {"mixed_cat_all", {true, false, true, false, true, false}, true, 0},
      {"mixed_cont_best", {false, true, false, true, false, true}, false, 2},
      {"no_target", {true, false, true, false, true}, true, 0, true},
  };
  return scenarios;
}

// An algorithm of a scenario with the settings it works with.
struct Built {
  explicit Built(const Scenario& s) : settings(s.types, s.catTarget) {
    algorithm = factory.CreateFSAlgorithm(&settings);
    algorithm->SetCancelPtr(&host);
    algorithm->SetProgressListener(&host);
    if (s.sort < 0) return;
    const Rows rows = MakeRows(40, s.types, s.catTarget, 1);
    RowIterator it(rows);
    if (s.noTarget) {
      std::vector<int> indices;
      std::vector<std::vector<int>> reasons;
      EXPECT_FALSE(algorithm->CheckPredictorsNoTarget(it, indices, reasons, -1).IsError());
    } else {
      EXPECT_TRUE(algorithm->AccumulateAndRank(it, -1, true, s.sort).IsOK()) << s.name;
      // Deletions, and enough predictors left to rank.
      EXPECT_GE(algorithm->GetNDeletedPred(), 2) << s.name;
      EXPECT_LE(algorithm->GetNDeletedPred(), static_cast<int>(s.types.size()) - 3) << s.name;
    }
  }
  ~Built() { delete algorithm; }
  Host host;
  FSSettings settings;
  FSFactory factory;
  IFSAlgorithm* algorithm = nullptr;
};

// What a host can query, as exact text and the doubles apart (the XML form keeps 15
// significant digits). The display (binary form only: it shows statistics the XML reader
// recomputes from rounded sums) hides the host's listener and cancel object, which are not
// state, and the unweighted valid count of a categorical predictor, which is not saved.
struct Snapshot {
  std::string text;
  std::vector<double> numbers;
};

Snapshot Observe(IFSAlgorithm& a, bool display, bool maskElapsed) {
  Snapshot s;
  std::ostringstream t;
  double wv, we;
  int nv, ne;
  a.GetNValidNExcluded(wv, we, nv, ne);
  s.numbers = {wv, we};
  t << a.GetStatus().GetErrorCode() << a.IsDataAccumulated() << a.ArePredictorsRanked() << nv << ' '
    << ne << ' ' << a.GetNTargetCategories() << '\n';
  for (int k = 0; k < a.GetNTargetCategories(); ++k) {
    int category;
    std::pair<int, double> counts;
    a.GetTargetCategoryInfo(k, category, counts);
    t << category << ':' << counts.first << ' ';
    s.numbers.push_back(counts.second);
  }
  for (const std::vector<int>* list : {&a.GetIndicesDelPred(), &a.GetReasonsDelPred()})
    for (int i : *list)
      t << i << ' ';
  for (int c = 0; c < kNumCriteria; ++c) {
    const auto criterion = static_cast<RankCriteria>(c);
    t << "\ncriterion " << c << ' ' << a.GetSettings()->GetCriterion(criterion) << ':';
    for (int rank : a.GetRanks(criterion))
      t << ' ' << rank;
    std::vector<int> top;
    std::vector<double> values;
    t << " top " << a.GetTopPredictors(criterion, top, values, 0).GetErrorCode() << ':';
    for (int index : top)
      t << ' ' << index;
    s.numbers.insert(s.numbers.end(), values.begin(), values.end());
    const std::vector<double>& all = a.GetCriterionValues(criterion);
    s.numbers.insert(s.numbers.end(), all.begin(), all.end());
  }
  std::ostringstream exported;
  t << "\nexport " << a.ExportAllXML(exported).GetErrorCode() << '\n';
  // The document's numbers go with the other doubles (compared within the form's tolerance);
  // its text, timestamp masked, must match exactly.
  const std::string document =
      std::regex_replace(exported.str(), std::regex("<Timestamp>[^<]*</Timestamp>"), "<T/>");
  const std::regex number("=\"(-?[0-9][0-9.e+-]*)\"");
  for (std::sregex_iterator m(document.begin(), document.end(), number), end; m != end; ++m)
    s.numbers.push_back(std::stod((*m)[1].str()));
  t << std::regex_replace(document, number, "=\"#\"");
  if (display) {
    std::ostringstream shown;
    a.Display(shown);
    std::string text = std::regex_replace(
        shown.str(), std::regex("(address|unweighted valid cases) = [^\\n]*"), "$1");
    if (maskElapsed) text = std::regex_replace(text, std::regex("elapsed time [^ ]*"), "");
    t << text;
  }
  s.text = t.str();
  return s;
}

void ExpectSame(const Snapshot& expected, const Snapshot& actual, double tolerance,
                const std::string& what) {
  EXPECT_EQ(expected.text, actual.text) << what;
  ASSERT_EQ(expected.numbers.size(), actual.numbers.size()) << what;
  for (std::size_t i = 0; i < expected.numbers.size(); ++i) {
    const double a = expected.numbers[i], b = actual.numbers[i];
    if (a == gMissingValue || b == gMissingValue || tolerance == 0.0) {
      EXPECT_EQ(BitsOf(a), BitsOf(b)) << what << " number " << i;
    } else {
      EXPECT_NEAR(a, b, tolerance * std::max(std::abs(a), std::abs(b))) << what << " number " << i;
    }
  }
}

std::string SaveBinary(IFSAlgorithm& a, ScratchFile& file) {
  EXPECT_FALSE(a.SaveState(file.Binary()).IsError());
  return file.Contents();
}

std::string SaveXml(IFSAlgorithm& a) {
  std::ostringstream os;
  EXPECT_FALSE(a.SaveStateXML(os).IsError());
  return os.str();
}

// The restore of bytes in one form, with the factory's status and what went to std::cerr.
struct Restored {
  Restored(const std::string& bytes, bool binary) : Restored(bytes, binary, own) {}
  Restored(const std::string& bytes, bool binary, ScratchFile& file) {
    CerrCapture capture;
    algorithm = binary ? factory.RestoreFSAlgorithmFromBinary(file.Binary(bytes))
                       : factory.RestoreFSAlgorithmFromXML(file.Text(bytes));
    status = factory.GetStatus();
    messages = capture.Text();
  }
  ~Restored() { delete algorithm; }
  ScratchFile own;
  FSFactory factory;
  IFSAlgorithm* algorithm = nullptr;
  NQStatus status;
  std::string messages;
};

}  // namespace

// Every scenario in both forms: the restored algorithm answers exactly as the saved one, has
// no listener or cancel object, and after one more data pass ranks as the original does.
TEST(StateFiles, RestoredAlgorithmsAnswerAsTheSavedOnes) {
  for (const Scenario& s : Scenarios()) {
    for (const bool binary : {true, false}) {
      const std::string what = std::string(s.name) + (binary ? " binary" : " xml");
      Built original(s);
      ScratchFile file;
      const std::string saved =
          binary ? SaveBinary(*original.algorithm, file) : SaveXml(*original.algorithm);
      std::string bytes;  // the string form holds the file's bytes
      EXPECT_FALSE(original.algorithm->SaveStateToString(bytes).IsError());
      EXPECT_TRUE(!binary || bytes == saved) << what;
      Restored restored(saved, binary);
      ASSERT_NE(restored.algorithm, nullptr) << what << ' ' << restored.messages;
      EXPECT_TRUE(restored.status.IsOK()) << what;
      IFSAlgorithm& back = *restored.algorithm;
      EXPECT_EQ(back.GetSettings()->GetProgressListener(), nullptr) << what;
      EXPECT_EQ(back.GetSettings()->GetCancelPointer(), nullptr) << what;
      // Saving again gives the same state: settings, counts, lists, accumulators, records,
      // ranks, values and flags all came back.
      EXPECT_EQ(binary ? SaveBinary(back, file) : SaveXml(back), saved) << what;
      // The XML form keeps 15 digits of every stored sum. Statistics the documents recompute
      // from them magnify that rounding: t = r sqrt(df / (1 - r^2)) by 1 / (1 - r^2), which
      // these near-perfect test correlations make large.
      ExpectSame(Observe(*original.algorithm, binary, false), Observe(back, binary, false),
                 binary ? 0.0 : 1e-9, what);

      // One more pass and a new ranking, on both.
      const Rows more = MakeRows(25, s.types, s.catTarget, 2);
      for (IFSAlgorithm* a : {original.algorithm, &back}) {
        RowIterator it(more);
        a->Accumulate(it, -1);
        a->SortAndRank(s.sort < 0 ? 0 : s.sort);
      }
      ExpectSame(Observe(*original.algorithm, binary, true), Observe(back, binary, true),
                 binary ? 0.0 : 1e-9, what + " after another pass");
    }
  }
}

TEST(StateFiles, BinaryLayout) {
  FSSettings settings(3, true, true);
  FSFactory factory;
  IFSAlgorithm* a = factory.CreateFSAlgorithm(&settings);
  ScratchFile file;
  const std::string saved = SaveBinary(*a, file);
  delete a;
  // The settings chunk of 3 predictors takes 133 + 12 bytes; the engine follows.
  std::string engine = "PRSET" + Int(3) + Int(0) + Dbl(0.0) + Int(AllCategorical) + Int(1) +
                       Int(0) + Int(0) + Int(1) + Int(1) + Dbl(0.0) + Dbl(0.0) + Int(0) + Int(0) +
                       Int(0);
  ASSERT_EQ(engine.size(), 73u);
  engine += Int(0) + Int(0);  // no accumulators, no target counts
  for (int c = 0; c < kNumCriteria; ++c)
    engine += Int(0);  // no sort records
  std::string ranks, values;
  for (int c = 0; c < kNumCriteria; ++c) {
    const bool on = settings.GetCriterion(static_cast<RankCriteria>(c));
    ranks += Int(on ? 3 : 0) + (on ? Int(-1) + Int(-1) + Int(-1) : "");
    values +=
        Int(on ? 3 : 0) + (on ? Dbl(gMissingValue) + Dbl(gMissingValue) + Dbl(gMissingValue) : "");
  }
  EXPECT_EQ(saved.substr(0, 21), "FSAlgorithm 1.00FSSet");
  EXPECT_EQ(saved.substr(16 + 133 + 12), engine + ranks + values + Int(0) + Int(0));
}

// Damaged files, byte by byte: each is refused with its status and exactly its messages.
TEST(StateFiles, DamagedStatesAreRefused) {
  Built ranked(Scenarios()[5]);
  ScratchFile file;
  const std::string binary = SaveBinary(*ranked.algorithm, file);
  const std::string xml = SaveXml(*ranked.algorithm);
  const std::size_t objectEnd = xml.rfind("\n</Obj>");
  const struct {
    const char* what;
    bool binary;
    std::string bytes;
    long code;
    const char* messages;
  } cases[] = {
      {"header", true, "FSAlgorithm 1.01" + binary.substr(16), NQFeature::StatusBinaryRestoreFailed,
       "Error reading FSAlgorithm!\n"},
      {"settings tag", true, Replace(binary, "FSSet", "FSSeT"),
       NQFeature::StatusBinaryRestoreFailed,
       "Error reading FSSettings!\nError restoring from binary.\n"},
      {"missing ranked flag", true, binary.substr(0, binary.size() - 4),
       NQFeature::StatusBinaryRestoreFailed,
       "Error reading FSAlgorithm!\nError restoring from binary.\n"},
      {"xml header", false, Replace(xml, "<!DOCTYPE", "<!DOCTYPO"),
       NQFeature::StatusXMLRestoreFailed, ""},
      {"xml object name", false, Replace(xml, "FSAlgorithm 1.00", "FSAlgorithm 1.0"),
       NQFeature::StatusXMLRestoreFailed, ""},
      {"xml object end", false, xml.substr(0, objectEnd), NQFeature::StatusXMLRestoreFailed, ""},
  };
  for (const auto& c : cases) {
    Restored restored(c.bytes, c.binary);
    EXPECT_EQ(restored.algorithm, nullptr) << c.what;
    EXPECT_EQ(restored.status.GetErrorCode(), c.code) << c.what;
    EXPECT_TRUE(restored.status.IsError()) << c.what;
    EXPECT_EQ(restored.messages, c.messages) << c.what;
  }

  // A stream already at its end is refused without being read.
  {
    ScratchFile atEnd;
    std::fstream& stream = atEnd.Binary(binary);
    stream.seekg(0, std::ios::end);
    stream.get();
    FSFactory factory;
    EXPECT_EQ(factory.RestoreFSAlgorithmFromBinary(stream), nullptr);
    EXPECT_EQ(factory.GetStatus().GetErrorCode(), NQFeature::StatusBadStream);
  }

  // A flag stored as 2 restores as false.
  Restored two(binary.substr(0, binary.size() - 8) + Int(2) + Int(1), true);
  ASSERT_NE(two.algorithm, nullptr);
  EXPECT_FALSE(two.algorithm->IsDataAccumulated());
  EXPECT_TRUE(two.algorithm->ArePredictorsRanked());
}

// A file cut anywhere is refused cleanly: every proper prefix of each binary state, and every
// prefix of whole lines of each XML state that ends before the algorithm object does.
TEST(StateFiles, TruncatedStatesAreRefused) {
  for (const Scenario& s : Scenarios()) {
    Built built(s);
    ScratchFile file;
    const std::string binary = SaveBinary(*built.algorithm, file);
    // The string restore checks exactly as the file restore: same status, same messages.
    for (std::size_t size = 0; size < binary.size(); ++size) {
      Restored restored(binary.substr(0, size), true, file);
      ASSERT_EQ(restored.algorithm, nullptr) << s.name << " at " << size;
      ASSERT_EQ(restored.status.GetErrorCode(), NQFeature::StatusBinaryRestoreFailed);
      FSFactory factory;
      CerrCapture capture;
      ASSERT_EQ(factory.RestoreFSAlgorithmFromString(binary.substr(0, size)), nullptr);
      ASSERT_EQ(factory.GetStatus(), restored.status) << s.name << " at " << size;
      ASSERT_EQ(capture.Text(), restored.messages) << s.name << " at " << size;
    }
    const std::string xml = SaveXml(*built.algorithm);
    const std::size_t objectEnd = xml.rfind("\n</Obj>");
    for (std::size_t at = xml.find('\n'); at < objectEnd; at = xml.find('\n', at + 1)) {
      Restored restored(xml.substr(0, at), false, file);
      ASSERT_EQ(restored.algorithm, nullptr) << s.name << " at " << at;
      ASSERT_EQ(restored.status.GetErrorCode(), NQFeature::StatusXMLRestoreFailed);
    }
  }
}

TEST(StateFiles, SavesRefuseAfterAnError) {
  FSSettings settings(2, true, true);
  FSFactory factory;
  IFSAlgorithm* a = factory.CreateFSAlgorithm(&settings);
  const Rows rows(5, std::vector<double>{gMissingValue, 1.0, 2.0});
  RowIterator it(rows);
  ASSERT_EQ(a->Accumulate(it, -1).GetErrorCode(), NQFeature::StatusNoValidData);
  ScratchFile file;
  EXPECT_EQ(a->SaveState(file.Binary()).GetErrorCode(), NQFeature::StatusNoValidData);
  EXPECT_EQ(file.Contents(), "");
  std::string bytes = "kept";
  EXPECT_EQ(a->SaveStateToString(bytes).GetErrorCode(), NQFeature::StatusNoValidData);
  EXPECT_EQ(bytes, "kept");
  delete a;
}

// The committed fuzz inputs (seeds and every input that once failed) run through the fuzzers'
// own exercise; a broken invariant aborts the test program.
TEST(StateFiles, FuzzInputsReplay) {
  const std::string scratch = "/tmp/fsrank_replay_" + std::to_string(getpid());
  int restored = 0, files = 0;
  for (const char* dir : {"corpus", "regression"}) {
    for (const bool binary : {true, false}) {
      const std::string path =
          std::string(FSRANK_SOURCE_DIR) + "/fuzz/" + dir + (binary ? "/binary" : "/xml");
      DIR* d = opendir(path.c_str());
      if (d == nullptr) continue;
      while (const dirent* entry = readdir(d)) {
        if (entry->d_name[0] == '.') continue;
        const std::string input = fsfuzz::ReadFile(path + "/" + entry->d_name);
        ++files;
        restored += fsfuzz::RestoreAndExercise(
            reinterpret_cast<const std::uint8_t*>(input.data()), input.size(),
            binary ? fsfuzz::Form::Binary : fsfuzz::Form::XML, scratch);
      }
      closedir(d);
    }
  }
  std::remove(scratch.c_str());
  EXPECT_GT(files, 0);
  EXPECT_GT(restored, 0);
}

// ---------------------------------------------------------------------------------------------
// Merging algorithms that read parts of the data

namespace {

using Algorithm = std::unique_ptr<IFSAlgorithm>;

struct MergeCase {
  const char* name;
  std::vector<bool> types;
  bool catTarget;
  bool transactions;
};

// Cases of [target, weight, predictors...] rows (transactions: [case, index, value, target]
// rows of the valid values). Predictor 0 is missing in the first half, 1 is 3 there and 5
// after, 2 is constant, 3 all missing; the others follow the target with noise, categorical
// ones with some large and negative codes.
std::vector<Rows> MergeData(const MergeCase& c, int n) {
  std::mt19937 rng(7);
  auto u = [&] { return static_cast<double>(rng()) / 4294967296.0; };
  std::vector<Rows> cases;
  for (int r = 0; r < n; ++r) {
    const double t = u() < 0.05 ? gMissingValue : c.catTarget ? std::floor(u() * 4) : 50 + 9 * u();
    const double weights[] = {0.5, 1, 2, 3, 1.25, gMissingValue, 0};
    std::vector<double> row{t, c.transactions ? 1.0 : weights[static_cast<int>(u() * 6.9)]};
    for (std::size_t j = 0; j < c.types.size(); ++j) {
      const double noise = u(), base = NQMV::IsMissing(t) ? 1 : t;
      double v = c.types[j] ? std::floor(noise < 0.5 ? std::fmod(base, 4) : noise * 12) *
                                      (j == 4 ? 997 : 1) -
                                  (j == 5 ? 4 : 0)
                            : 1000 + base * 0.01 * static_cast<double>(j) + noise;
      v = j == 0 ? (r < n / 2 ? gMissingValue : v) : j == 1 ? (r < n / 2 ? 3 : 5) : j == 2 ? 2 : v;
      row.push_back(j == 3 || u() < 0.1 ? gMissingValue : v);
    }
    Rows rows{row};
    if (c.transactions) {
      rows.clear();
      for (std::size_t j = 2; j < row.size(); ++j)
        if (!NQMV::IsMissing(row[j])) rows.push_back({double(r), double(j - 2), row[j], t});
    }
    cases.push_back(rows);
  }
  return cases;
}

struct MergeHost {
  explicit MergeHost(const MergeCase& c) : settings(c.types, c.catTarget) {
    settings.SetFlagTrInput(c.transactions);
    if (!c.transactions) settings.SetWeightPosition(1);
    settings.SetWeightConv(WeightAsIs);
  }
  static Rows Slice(const std::vector<Rows>& cases, int from, int to) {
    Rows rows;
    for (int i = from; i < to; ++i)
      rows.insert(rows.end(), cases[i].begin(), cases[i].end());
    return rows;
  }
  Algorithm Read(const std::vector<Rows>& cases, int from, int to) {
    Algorithm a(factory.CreateFSAlgorithm(&settings));
    const Rows rows = Slice(cases, from, to);
    RowIterator it(rows);
    a->Accumulate(it, -1);
    return a;
  }
  FSSettings settings;
  FSFactory factory;
};

// a merged with b, or the one holding data when the other holds an error (an empty part).
Algorithm Combine(Algorithm a, Algorithm b) {
  if (a->GetStatus().IsError()) return b;
  const NQStatus merged = a->Merge(*b);
  EXPECT_TRUE(merged.IsOK()) << merged.GetErrorCode();
  return a;
}

double gMaxStatDiff = 0, gMaxPDiff = 0;

// Screens and ranks a, then checks it against the single pass.
void ExpectMergedAsOne(IFSAlgorithm& one, IFSAlgorithm& a, const std::string& what) {
  for (IFSAlgorithm* x : {&one, &a}) {
    x->CheckPredAllMissConst();
    x->ScreenPredictors();
    x->SortAndRank(0);
  }
  const std::regex first("first non-missing[^\\n]*");
  Snapshot expected = Observe(one, true, true), actual = Observe(a, true, true);
  expected.text = std::regex_replace(expected.text, first, "");
  actual.text = std::regex_replace(actual.text, first, "");
  ExpectSame(expected, actual, 1e-8, what);
  for (int c = 0; c < kNumCriteria; ++c) {
    for (int i = 0; i < one.GetSettings()->GetNPredictors(); ++i) {
      double e[4], m[4];
      one.GetPredictorStats(c, i, e[0], e[1], e[2], e[3]);
      a.GetPredictorStats(c, i, m[0], m[1], m[2], m[3]);
      for (int k = 0; k < 4; ++k) {
        const bool p = k == 0 && c != Cramer && c != Lambda;
        const double d =
            e[k] == m[k] ? 0 : std::abs(e[k] - m[k]) / std::max(std::abs(e[k]), std::abs(m[k]));
        (p ? gMaxPDiff : gMaxStatDiff) = std::max(p ? gMaxPDiff : gMaxStatDiff, d);
        EXPECT_LE(d, p ? 1e-8 : 1e-10) << what << " criterion " << c << " predictor " << i;
      }
    }
  }
}

const MergeCase kMergeCases[] = {
    {"categorical_cat_target", {true, true, true, true, true, true, true}, true, false},
    {"categorical_cont_target", {true, true, true, true, true, true, true}, false, false},
    {"continuous_cat_target", {false, false, false, false, false, false}, true, false},
    {"continuous_cont_target", {false, false, false, false, false, false}, false, false},
    {"mixed_cat_target", {true, false, true, false, true, true, false}, true, false},
    {"mixed_cont_target", {false, true, false, true, true, true, false}, false, false},
    {"transactions", {true, false, true, false, true, true, false}, true, true},
};

}  // namespace

// Parts merged in order, in reverse and as a balanced tree, and merged then continued by a
// pass over the last part, against one pass over everything.
TEST(Merge, MergedPartsAnswerAsOnePass) {
  const int n = 400;
  const std::vector<std::vector<int>> cuts = {
      {0, 200, n},
      {0, 0, 200, n},
      {0, 9, 30, 30, 50, 99, 120, 150, 151, 200, 230, 260, 290, 300, 330, 370, 399, n}};
  for (const MergeCase& c : kMergeCases) {
    const std::vector<Rows> cases = MergeData(c, n);
    for (const std::vector<int>& bounds : cuts) {
      for (int shape = 0; shape < 4; ++shape) {
        MergeHost host(c);
        std::vector<Algorithm> p;
        for (std::size_t k = 0; k + 1 < bounds.size() - (shape == 3 ? 1 : 0); ++k)
          p.push_back(host.Read(cases, bounds[k], bounds[k + 1]));
        if (shape == 1) std::reverse(p.begin(), p.end());
        for (std::size_t step = 1; step < p.size(); step *= 2) {
          for (std::size_t k = 0; k + step < p.size(); k += (shape == 2 ? 2 * step : p.size())) {
            for (std::size_t j = k + step; j < (shape == 2 ? k + 2 * step : p.size()); j += step)
              p[k] = Combine(std::move(p[k]), std::move(p[j]));
          }
          if (shape != 2) break;
        }
        if (shape == 3) {
          const Rows last = host.Slice(cases, bounds[bounds.size() - 2], n);
          RowIterator it(last);
          EXPECT_FALSE(p[0]->Accumulate(it, -1).IsError());
        }
        ExpectMergedAsOne(*host.Read(cases, 0, n), *p[0],
                          std::string(c.name) + " parts " + std::to_string(bounds.size() - 1) +
                              " shape " + std::to_string(shape));
      }
    }
  }
  std::cout << "largest relative differences: statistics " << gMaxStatDiff << ", p-values "
            << gMaxPDiff << '\n';
}

// Refused merges are answered without being stored and change neither algorithm.
TEST(Merge, RefusalsChangeNothing) {
  const MergeCase& c = kMergeCases[4];
  const std::vector<Rows> cases = MergeData(c, 60);
  MergeHost host(c), other(c);
  other.settings.SetWeightPosition(2);
  Algorithm a = host.Read(cases, 0, 30), b = host.Read(cases, 30, 60);
  Algorithm fresh(host.factory.CreateFSAlgorithm(&host.settings)), ranked = host.Read(cases, 0, 9);
  Algorithm moved = other.Read(cases, 0, 9), empty = host.Read(cases, 0, 0);
  ranked->SortAndRank(0);
  const Rows bad = {{0, 1, 2}};
  RowIterator it(bad);
  Algorithm broken = host.Read(cases, 0, 9);
  broken->Accumulate(it, -1);
  const struct {
    IFSAlgorithm *into, *from;
    long code, data0, data1;
  } refusals[] = {
      {a.get(), a.get(), NQFeature::StatusMergeSelf, 0, 0},
      {a.get(), moved.get(), NQFeature::StatusMergeFieldsDiffer, 5, 0},
      {a.get(), ranked.get(), NQFeature::StatusMergeState, 1, 2},
      {ranked.get(), a.get(), NQFeature::StatusMergeState, 0, 2},
      {fresh.get(), a.get(), NQFeature::StatusMergeState, 0, 1},
      {a.get(), broken.get(), NQFeature::StatusMergeOtherError, NQFeature::StatusShortRecord, 0},
      {empty.get(), a.get(), NQFeature::StatusNoValidWeight, 0, 0},
      {a.get(), empty.get(), NQFeature::StatusOK, 0, 0},
      {a.get(), fresh.get(), NQFeature::StatusOK, 0, 0},
  };
  for (const auto& r : refusals) {
    std::string before[2], after[2];
    r.into->SaveStateToString(before[0]);
    r.from->SaveStateToString(before[1]);
    const NQStatus status = r.into->Merge(*r.from), stored = r.into->GetStatus();
    r.into->SaveStateToString(after[0]);
    r.from->SaveStateToString(after[1]);
    EXPECT_EQ(status.GetErrorCode(), r.code);
    EXPECT_EQ(status.GetDiscreteDatum(0), r.data0) << r.code;
    EXPECT_EQ(status.GetDiscreteDatum(1), r.data1) << r.code;
    EXPECT_TRUE(r.code == NQFeature::StatusNoValidWeight || !stored.IsError()) << r.code;
    EXPECT_EQ(before[0], after[0]) << r.code;
    EXPECT_EQ(before[1], after[1]) << r.code;
  }
  // The merged algorithm goes on: merged again, saved, restored.
  ASSERT_TRUE(a->Merge(*b).IsOK());
  std::string bytes;
  ASSERT_TRUE(a->SaveStateToString(bytes).IsOK());
  Algorithm back(host.factory.RestoreFSAlgorithmFromString(bytes));
  ExpectMergedAsOne(*host.Read(cases, 0, 60), *back, "restored merge");
}

// One algorithm per thread, merged on the main thread (run under the thread sanitizer too).
TEST(Merge, AlgorithmsFilledByThreads) {
  const MergeCase& c = kMergeCases[5];
  const std::vector<Rows> cases = MergeData(c, 400);
  MergeHost hosts[] = {MergeHost(c), MergeHost(c)};
  Algorithm parts[2];
  std::thread workers[2];
  for (int k = 0; k < 2; ++k)
    workers[k] = std::thread([&, k] { parts[k] = hosts[k].Read(cases, 200 * k, 200 * k + 200); });
  for (std::thread& w : workers)
    w.join();
  ASSERT_TRUE(parts[0]->Merge(*parts[1]).IsOK());
  ExpectMergedAsOne(*hosts[0].Read(cases, 0, 400), *parts[0], "threads");
}

// The single-variable accumulators of the no-target check merge too.
TEST(Merge, NoTargetPartsMergeAsOnePass) {
  const std::vector<Rows> cases = MergeData(kMergeCases[4], 200);
  MergeHost host(kMergeCases[4]);
  auto check = [&](int from, int to) {
    Algorithm a(host.factory.CreateFSAlgorithm(&host.settings));
    const Rows rows = MergeHost::Slice(cases, from, to);
    RowIterator it(rows);
    std::vector<int> indices;
    std::vector<std::vector<int>> reasons;
    a->CheckPredictorsNoTarget(it, indices, reasons, -1);
    return a;
  };
  Algorithm one = check(0, 200), a = check(0, 70), b = check(70, 200);
  ASSERT_TRUE(a->Merge(*b).IsOK());
  one->CheckPredAllMissConst();
  a->CheckPredAllMissConst();
  ExpectSame(Observe(*one, true, true), Observe(*a, true, true), 1e-12, "no target");
}
