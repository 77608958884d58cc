#include "column_types.h"
#include "data_source.h"

#include <fsrank/fsrank.h>

#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace fsrank_cli {
namespace {

TEST(ParseNumber, AcceptsOnlyWholeFiniteDecimalNumbers) {
  struct {
    const char* text;
    bool ok;
    double value;
  } cases[] = {{"42", true, 42.0},
               {" -2.5 ", true, -2.5},
               {"+1e3", true, 1000.0},
               {".5", true, 0.5},
               {"1.", true, 1.0},
               {"", false, 0},
               {"abc", false, 0},
               {"1,5", false, 0},
               {"12abc", false, 0},
               {"inf", false, 0},
               {"-Infinity", false, 0},
               {"nan", false, 0},
               {"0x10", false, 0},
               {"1e999", false, 0},
               {"--1", false, 0},
               {"+", false, 0},
               {"1 2", false, 0},
               {"+-5", false, 0},
               {"-+5", false, 0},
               {"1.5e-400", true, 0.0},
               {"-1e-310", true, -1e-310},
               {"0.1", true, 0.1},
               {"123456789.987654321e-5", true, 1234.56789987654321},
               {"9007199254740993", true, 9007199254740992.0},
               {"12345678.87654321", true, 12345678.87654321},
               {"-0.0000000000000000001", true, -1e-19},
               {"12345678901234567890", true, 12345678901234567890.0},
               {"1234567.", true, 1234567.0},
               {"1.2345678e1", true, 12.345678},
               {"12345678x", false, 0}};
  for (const auto& c : cases) {
    double value = -7.0;
    EXPECT_EQ(ParseNumber(c.text, value), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
    // Inside a block the parser reads eight bytes at a time: digits after the field are not
    // part of it.
    const std::string text(c.text);
    const std::string block = text + "987654321";
    double wide = -7.0;
    EXPECT_EQ(
        ParseNumber(std::string_view(block.data(), text.size()), block.data() + block.size(), wide),
        c.ok)
        << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(wide, c.value) << c.text;
    }
  }
}

TEST(MissingTokens, DefaultsAndReplacement) {
  const MissingTokens defaults;
  for (const char* token : {"", "  ", "NA", " NaN ", "?"}) {
    EXPECT_TRUE(defaults.IsMissing(token)) << '"' << token << '"';
  }
  for (const char* token : {"na", "N/A", "0", "-"})
    EXPECT_FALSE(defaults.IsMissing(token)) << token;
  const MissingTokens custom({"-", "N/A"});
  EXPECT_TRUE(custom.IsMissing("-"));
  EXPECT_TRUE(custom.IsMissing("N/A"));
  EXPECT_FALSE(custom.IsMissing(""));
  EXPECT_FALSE(custom.IsMissing("NA"));
}

TEST(TypeGuesser, TextOrFewIntegersAreCategorical) {
  struct {
    const char* name;
    std::vector<std::string> values;
    ColumnType type;
  } cases[] = {
      {"text", {"a", "b", "1"}, ColumnType::kCategorical},
      {"few integers", {"1", "2", "3", "1", "NA"}, ColumnType::kCategorical},
      {"integers written as reals", {"1.0", "2.0"}, ColumnType::kCategorical},
      {"fractions", {"0.5", "1", "1"}, ColumnType::kContinuous},
      {"many integers",
       {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"},
       ColumnType::kContinuous},
      {"ten integers",
       {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "10"},
       ColumnType::kCategorical},
      {"all missing", {"", "NA"}, ColumnType::kContinuous},
  };
  const MissingTokens missing;
  for (const auto& c : cases) {
    TypeGuesser guesser;
    for (const std::string& v : c.values)
      guesser.Add(v, missing);
    EXPECT_EQ(guesser.Guess(), c.type) << c.name;
  }
}

TEST(LabelEncoder, CodesFollowFirstAppearance) {
  LabelEncoder encoder;
  EXPECT_EQ(encoder.Encode("-1"), 0);
  EXPECT_EQ(encoder.Encode("2.5"), 1);
  EXPECT_EQ(encoder.Encode("-1"), 0);
  EXPECT_EQ(encoder.Encode("x"), 2);
  EXPECT_EQ(encoder.Size(), 3u);
  EXPECT_EQ(encoder.Label(1), "2.5");
  EXPECT_EQ(encoder.Label(3), "");
  EXPECT_EQ(encoder.Label(-1), "");
}

// A data source over an in-memory file.
struct Source {
  explicit Source(const std::string& text, std::size_t sample = 2)
      : in(text), source(in, "d.csv", ',', MissingTokens(), sample) {}
  std::istringstream in;
  CsvDataSource source;
};

TEST(CsvDataSource, StreamsPastTheSampleWithTheRecordLayout) {
  Source s("id,w,y,a,b\n7,1,no,-1,1.5\n8,2,yes,2.5,x\n9,3,no,-1,2\n");
  PlanRequest request;
  request.target = "y";
  request.weight = "w";
  request.id = "id";
  request.categorical = {"a"};
  request.continuous = {"b"};
  DataPlan plan = s.source.MakePlan(request);
  ASSERT_EQ(plan.predictors.size(), 2u);
  EXPECT_EQ(plan.target.type, ColumnType::kCategorical);
  EXPECT_EQ(plan.predictors[0].type, ColumnType::kCategorical);
  EXPECT_EQ(plan.predictors[1].type, ColumnType::kContinuous);
  ColumnSchema schema = s.source.SchemaFor(plan);
  EXPECT_EQ(schema.RecordSize(), 5);
  s.source.SetPlan(plan, schema);

  const double M = NQMV::Missing();
  const std::vector<std::vector<double>> expected = {
      {0, 1, 7, 0, 1.5}, {1, 2, 8, 1, M}, {0, 3, 9, 0, 2}};
  std::vector<double> row;
  for (const auto& want : expected) {
    ASSERT_TRUE(s.source.NextRow(row));
    EXPECT_EQ(row, want);
    s.source.CommitLastRow();
  }
  EXPECT_FALSE(s.source.NextRow(row));
  EXPECT_EQ(schema.target.labels.Label(1), "yes");
  ASSERT_EQ(s.source.Unparsable().count(4), 1u);
  EXPECT_EQ(s.source.Unparsable().at(4).count, 1u);
  EXPECT_EQ(s.source.Unparsable().at(4).first_line, 3);
  EXPECT_EQ(s.source.Unparsable().at(4).first_text, "x");
}

TEST(CsvDataSource, RowsNeverUsedAreNotCounted) {
  Source s("y,a\n1,bad\n2,worse\n", 5);
  PlanRequest request;
  request.target = "y";
  request.continuous = {"a"};
  const DataPlan plan = s.source.MakePlan(request);
  ColumnSchema schema = s.source.SchemaFor(plan);
  s.source.SetPlan(plan, schema);
  std::vector<double> row;
  ASSERT_TRUE(s.source.NextRow(row));
  s.source.CommitLastRow();
  ASSERT_TRUE(s.source.NextRow(row));  // read ahead, never committed
  EXPECT_EQ(s.source.RowsDelivered(), 2u);
  EXPECT_EQ(s.source.RowsCommitted(), 1u);
  EXPECT_EQ(s.source.Unparsable().at(1).count, 1u);
}

// A column asked to be two things, and a request that leaves nothing to rank.
TEST(CsvDataSource, ContradictoryRequestsAreUsageErrors) {
  Source s("y,a,b\n1,2,3\n");
  PlanRequest both, weightIsTarget, nothingLeft;
  both.target = weightIsTarget.target = weightIsTarget.weight = nothingLeft.target = "y";
  both.categorical = both.continuous = {"a"};
  nothingLeft.weight = "a";
  nothingLeft.id = "b";
  for (const PlanRequest& request : {both, weightIsTarget, nothingLeft})
    EXPECT_THROW(s.source.MakePlan(request), UsageError);
}

}  // namespace
}  // namespace fsrank_cli
