// The selection rules against scikit-learn's selectors on the same lists
// (tests/data/selection_reference.txt, made by gen/selection_reference.py), and the refusals.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsrank/missing.h"
#include "fsrank/selection.h"

namespace {

using NQFSSelect::Rule;
using NQFSSelect::Selection;

TEST(Selection, CountsAsScikitLearn) {
  std::ifstream in(FSRANK_TEST_DATA_DIR "/selection_reference.txt");
  ASSERT_TRUE(in) << "cannot open selection_reference.txt";
  std::string text, name;
  std::vector<double> ranked;
  bool pValues = false;
  int checked = 0;
  for (int line = 1; std::getline(in, text); ++line) {
    std::istringstream fields(text);
    std::string kind, word;
    fields >> kind;
    if (kind == "list") {
      std::size_t n = 0;
      fields >> name >> word >> n;
      pValues = word == "pvalues";
      ranked.clear();
      // "nan" marks a missing entry; the library's ranking holds its missing value there.
      while (fields >> word) {
        ranked.push_back(word == "nan" ? NQMV::Missing() : std::strtod(word.c_str(), nullptr));
      }
      ASSERT_EQ(ranked.size(), n) << "line " << line;
    } else if (kind == "select") {
      int expected = -1;
      fields >> word >> expected;
      Selection s;
      std::string error;
      ASSERT_TRUE(NQFSSelect::ParseSelection(word, s, error)) << word << ": " << error;
      int kept = -1;
      EXPECT_TRUE(NQFSSelect::CountSelected(s, pValues, ranked, kept).IsOK());
      EXPECT_EQ(kept, expected) << name << " " << word << " (line " << line << ")";
      ++checked;
    }
  }
  EXPECT_GT(checked, 400);
}

TEST(Selection, ParsesAndRefuses) {
  struct Case {
    const char* text;
    bool ok;
    Rule rule;
    double value;
    const char* errorPart;
  };
  const Case cases[] = {
      {"k=10", true, Rule::KBest, 10, ""},
      {"percentile=12.5", true, Rule::Percentile, 12.5, ""},
      {"fpr=1e-3", true, Rule::Fpr, 1e-3, ""},
      {"fdr=0", true, Rule::Fdr, 0, ""},
      {"fwe=1", true, Rule::Fwe, 1, ""},
      {"k=2.5", false, Rule::KBest, 0, "whole number"},
      {"k=-1", false, Rule::KBest, 0, "whole number"},
      {"percentile=101", false, Rule::KBest, 0, "0 to 100"},
      {"fdr=1.5", false, Rule::KBest, 0, "0 to 1"},
      {"fpr=nan", false, Rule::KBest, 0, "0 to 1"},
      {"fwe=0.05x", false, Rule::KBest, 0, "not a number"},
      {"fwe=", false, Rule::KBest, 0, "not a number"},
      {"top=5", false, Rule::KBest, 0, "unknown selection rule 'top'"},
      {"K=5", false, Rule::KBest, 0, "unknown selection rule"},
      {"fdr", false, Rule::KBest, 0, "RULE=VALUE"},
  };
  for (const Case& c : cases) {
    Selection s;
    std::string error;
    EXPECT_EQ(NQFSSelect::ParseSelection(c.text, s, error), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(s.rule, c.rule) << c.text;
      EXPECT_EQ(s.value, c.value) << c.text;
      Selection back;
      EXPECT_TRUE(NQFSSelect::ParseSelection(NQFSSelect::FormatSelection(s), back, error));
      EXPECT_EQ(back.value, s.value) << c.text;
    } else {
      EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.text << ": " << error;
    }
  }
}

TEST(Selection, PValueRulesNeedPValuesAndCutOffsFollowTheRule) {
  const std::vector<double> values = {0.5, 0.3, 0.3, 0.1};
  int kept = -1;
  const NQFeature::NQStatus refused =
      NQFSSelect::CountSelected({Rule::Fdr, 0.05}, false, values, kept);
  EXPECT_EQ(refused.GetErrorCode(), NQFeature::StatusSelectionNotApplicable);
  EXPECT_EQ(kept, 0);
  const NQFeature::NQStatus bad = NQFSSelect::CountSelected({Rule::KBest, -2}, false, values, kept);
  EXPECT_EQ(bad.GetErrorCode(), NQFeature::StatusSelectionValueInvalid);
  EXPECT_EQ(bad.GetScaleDatum(0), -2);

  const std::vector<double> p = {0.001, 0.004, 0.03, 0.2};
  EXPECT_EQ(NQFSSelect::SelectionCutOff({Rule::Fwe, 0.04}, true, p, 1), 0.01);
  EXPECT_EQ(NQFSSelect::SelectionCutOff({Rule::Fdr, 0.04}, true, p, 2), 0.02);
  EXPECT_EQ(NQFSSelect::SelectionCutOff({Rule::KBest, 3}, true, p, 3), 0.03);
  EXPECT_TRUE(std::isnan(NQFSSelect::SelectionCutOff({Rule::KBest, 0}, true, p, 0)));
}

}  // namespace
