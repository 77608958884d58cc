#include "output.h"
#include "options.h"
#include "text.h"

#include <sstream>

#include <gtest/gtest.h>

namespace fsrank_cli {
namespace {

TEST(TextHelpers, WidthCountsCodePointsAndCutsWithAnEllipsis) {
  EXPECT_EQ(DisplayWidth("abc"), 3u);
  EXPECT_EQ(DisplayWidth("\xC3\xA4\xE2\x82\xAC"), 2u);  // ä€
  EXPECT_EQ(FitWidth("abcdef", 6), "abcdef");
  EXPECT_EQ(FitWidth("abcdefg", 6), "abcde\xE2\x80\xA6");
  // Never cuts inside a multi-byte character.
  EXPECT_EQ(FitWidth("\xC3\xA4\xC3\xA4\xC3\xA4", 2), "\xC3\xA4\xE2\x80\xA6");
  // A terminal gives CJK characters and emoji two columns, combining marks none.
  EXPECT_EQ(DisplayWidth("\xE6\x97\xA5\xE6\x9C\xAC"), 4u);   // 日本
  EXPECT_EQ(DisplayWidth("e\xCC\x81\xF0\x9F\x98\x80"), 3u);  // e + acute, 😀
  EXPECT_EQ(FitWidth("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", 4), "\xE6\x97\xA5\xE2\x80\xA6");
  // Control characters are shown, never sent to the terminal.
  EXPECT_EQ(Printable("a\nb\x1b[2J\t\xC2\x85\xC3\xA4"), "a\\nb\\x1b[2J\\t\\x85\xC3\xA4");
}

TEST(TextHelpers, CsvQuotingAndUtf8Repair) {
  bool replaced = false;
  EXPECT_EQ(ToValidUtf8("\xC3\xA4t\xE9\xED\xA0\x80", replaced),
            "\xC3\xA4t\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_TRUE(replaced);
  EXPECT_EQ(CsvField("plain"), "plain");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"x\""), "\"say \"\"x\"\"\"");
}

TEST(Reasons, WordsMatchTheResultDocumentsAndTextsCarryThresholds) {
  ScreeningThresholds t;
  t.max_missing_pct = 40;
  EXPECT_EQ(ReasonWord(3), "manyMissing");
  EXPECT_EQ(ReasonWord(7), "smallVar");
  EXPECT_EQ(ReasonWord(8), "");
  EXPECT_EQ(ReasonText(3, t), "more than 40% of the values are missing");
  EXPECT_EQ(ReasonText(7, t), "coefficient of variation below 0.001");
}

RankingReport SampleReport() {
  RankingReport r;
  r.file = "examples/credit-g.csv";
  r.target = "class";
  r.target_type = "categorical";
  r.target_categories = {{"good", 700, 700}, {"bad", 300, 300}};
  r.predictors = 3;
  r.categorical_predictors = 2;
  CriterionRanking c;
  c.name = "Pearson";
  c.value_label = "p-value";
  c.description = "p-value of the Pearson chi-square test, smallest first";
  c.ranked = 4;
  c.predictors = {
      {1, "a_predictor_with_a_really_long_descriptive_name", 0, "categorical", 1.25e-26, "X2",
       123.7234, 3, std::nullopt, 25.903089986991944},
      {2, "credit_amount", 1, "continuous", 0.5, "F", 12345678.9, 1, 998, 0.3010299956639812},
      {3, "age", 2, "continuous", 0.0, "F", 200.0, 1, 998, std::nullopt},
  };
  r.criteria.push_back(c);
  r.screened = {{"flag", 3, "categorical", 4, "manyConst",
                 "one category holds more than 95% of "
                 "the values"}};
  r.valid = 1000;
  return r;
}

TEST(Table, AlignedAndNarrow) {
  std::ostringstream out;
  WriteTable(out, SampleReport());
  const std::string text = out.str();
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line))
    EXPECT_LE(DisplayWidth(line), 100u) << line;
  EXPECT_NE(text.find("(best 3 of 4)"), std::string::npos);
  // Upper tails computed directly: 0 is below the smallest normal double, and -log10 p shows.
  EXPECT_NE(text.find("<2.2e-308"), std::string::npos);
  EXPECT_NE(text.find("-log10 p"), std::string::npos);
  EXPECT_NE(text.find("25.90"), std::string::npos);
  EXPECT_NE(text.find(">307.65"), std::string::npos);
  EXPECT_NE(text.find("X2 123.72"), std::string::npos);
  EXPECT_NE(text.find("F 1.235e+07"), std::string::npos);
  EXPECT_NE(text.find("1, 998"), std::string::npos);
  EXPECT_NE(text.find("Records: 1,000 valid, 0 excluded"), std::string::npos);
  EXPECT_NE(text.find("class, categorical (good: 700, bad: 300)"), std::string::npos);
  // The name column is as wide as the longest (shortened) name, in both rows.
  const auto first = text.find("a_predictor");
  const auto second = text.find("credit_amount");
  const auto type1 = text.find("categorical", first);
  const auto type2 = text.find("continuous", second);
  const auto column = [&](std::size_t at) {
    const std::size_t start = text.rfind('\n', at) + 1;
    return DisplayWidth(text.substr(start, at - start));
  };
  EXPECT_EQ(column(type1), column(type2));

  // One minus the lower tail: 0 is below machine precision, and no -log10 p column.
  RankingReport complement = SampleReport();
  complement.exact_tails = false;
  std::ostringstream old;
  WriteTable(old, complement);
  EXPECT_NE(old.str().find("<2.2e-16"), std::string::npos);
  EXPECT_EQ(old.str().find("-log10"), std::string::npos);
}

TEST(Csv, OneLinePerRankedOrScreenedPredictor) {
  std::ostringstream out;
  WriteCsv(out, SampleReport());
  EXPECT_EQ(out.str(),
            "section,criterion,rank,predictor,index,type,value,neg_log10_p,statistic,"
            "statistic_value,df,df2,reason,reason_text\n"
            "ranked,Pearson,1,a_predictor_with_a_really_long_descriptive_name,0,categorical,"
            "1.25e-26,25.903089986991944,X2,123.7234,3,,,\n"
            "ranked,Pearson,2,credit_amount,1,continuous,0.5,0.3010299956639812,F,12345678.9,1,"
            "998,,\n"
            "ranked,Pearson,3,age,2,continuous,0,,F,200,1,998,,\n"
            "screened,,,flag,3,categorical,,,,,,,manyConst,one category holds more than 95% of "
            "the values\n");
}

TEST(CriterionNames, LongShortAndAnyCase) {
  struct {
    const char* text;
    int criterion;
  } cases[] = {{"Pearson", 0}, {"CHI2", 0},   {"likelihood", 1},  {"LR", 1}, {"cramer", 2},
               {"V", 2},       {"Lambda", 3}, {"F-Statistic", 4}, {"f", 4},  {"t-statistic", 5},
               {"T", 5},       {"tstat", 5},  {"Pearsons", -1},   {"", -1}};
  for (const auto& c : cases)
    EXPECT_EQ(ParseCriterionName(c.text), c.criterion) << c.text;
  EXPECT_EQ(CriterionName(4), "F-Statistic");
  EXPECT_EQ(CriterionName(6), "");
}

// Parses a command line given as words separated by blanks ('' is an empty word).
int Parse(const std::string& line, Options& options, std::string* err_text = nullptr) {
  std::vector<std::string> words = {"fsrank"};
  std::istringstream in(line);
  for (std::string word; in >> word;)
    words.push_back(word == "''" ? "" : word);
  std::vector<const char*> args;
  for (const std::string& word : words)
    args.push_back(word.c_str());
  std::ostringstream out, err;
  const int code = ParseCommandLine(static_cast<int>(args.size()), args.data(), options, out, err);
  if (err_text) *err_text = err.str() + out.str();
  return code;
}

TEST(CommandLine, ReadsTheOptions) {
  Options o;
  ASSERT_EQ(Parse("rank d.csv --target y --delimiter tab --categorical a,b --na NA --na '' "
                  "--weight w --weight-conversion asis --criteria F,pearson,f --max-missing 40 "
                  "--format json --export-one o.xml --criterion t --top 0 -q",
                  o),
            -1);
  EXPECT_EQ(o.data_file, "d.csv");
  EXPECT_EQ(o.delimiter, '\t');
  EXPECT_EQ(o.categorical, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(o.na_given);
  EXPECT_EQ(o.na, (std::vector<std::string>{"NA", ""}));
  EXPECT_EQ(o.weight_conversion, "asis");
  EXPECT_EQ(o.criteria, (std::vector<int>{4, 0}));
  EXPECT_EQ(o.max_missing, 40.0);
  EXPECT_FALSE(o.max_single.has_value());
  EXPECT_EQ(o.format, OutputFormat::kJson);
  EXPECT_EQ(o.criterion, 5);
  EXPECT_EQ(o.top, 0);
  EXPECT_TRUE(o.quiet);
}

TEST(CommandLine, MistakesAreUsageErrors) {
  const char* const prefix = "rank d.csv --target y ";
  for (const std::string& args :
       {std::string(), std::string("rank d.csv"), prefix + std::string("--criteria gini"),
        prefix + std::string("--max-missing 150"), prefix + std::string("--min-sd -1"),
        prefix + std::string("--delimiter ;;"), prefix + std::string("--format xml"),
        prefix + std::string("--export-one o.xml"),
        prefix + std::string("--weight-conversion round"), prefix + std::string("--bogus")}) {
    Options o;
    std::string err;
    EXPECT_EQ(Parse(args, o, &err), kExitUsage) << args;
    EXPECT_FALSE(err.empty()) << args;
  }
}

}  // namespace
}  // namespace fsrank_cli
