#include "csv_reader.h"

#include <sstream>

#include <gtest/gtest.h>

namespace fsrank_cli {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct Case {
  const char* name;
  std::string text;
  char delimiter;
  Rows rows;
  std::vector<long> lines;
};

class CsvReaderCases : public ::testing::TestWithParam<Case> {};

TEST_P(CsvReaderCases, ReadsRowsAndTheirLines) {
  const Case& c = GetParam();
  std::istringstream in(c.text);
  CsvReader reader(in, "t.csv", c.delimiter);
  Rows rows;
  std::vector<long> lines;
  std::vector<std::string> fields;
  while (reader.ReadRow(fields)) {
    rows.push_back(fields);
    lines.push_back(reader.RowLine());
  }
  EXPECT_EQ(rows, c.rows);
  EXPECT_EQ(lines, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Rfc4180, CsvReaderCases,
    ::testing::Values(
        Case{"plain", "a,b\n1,2\n", ',', {{"a", "b"}, {"1", "2"}}, {1, 2}},
        Case{"no_final_newline", "a,b\n1,2", ',', {{"a", "b"}, {"1", "2"}}, {1, 2}},
        Case{"crlf", "a,b\r\n1,2\r\n", ',', {{"a", "b"}, {"1", "2"}}, {1, 2}},
        Case{"empty_fields", ",\n,x,\n", ',', {{"", ""}, {"", "x", ""}}, {1, 2}},
        Case{"quoted_delimiter", "\"a,b\",c\n", ',', {{"a,b", "c"}}, {1}},
        Case{"doubled_quote", "\"say \"\"hi\"\"\",x\n", ',', {{"say \"hi\"", "x"}}, {1}},
        Case{"empty_quoted", "\"\",x\n", ',', {{"", "x"}}, {1}},
        Case{"newline_in_quotes",
             "h\n\"two\nlines\"\nnext\n",
             ',',
             {{"h"}, {"two\nlines"}, {"next"}},
             {1, 2, 4}},
        Case{"crlf_in_quotes_kept", "\"a\r\nb\"\r\nc\r\n", ',', {{"a\r\nb"}, {"c"}}, {1, 3}},
        Case{"blank_lines_skipped", "a\n\n\r\nb\n\n", ',', {{"a"}, {"b"}}, {1, 4}},
        Case{"byte_order_mark", "\xEF\xBB\xBFname,x\n", ',', {{"name", "x"}}, {1}},
        Case{"utf8_kept", "n\xC3\xA4me\n", ',', {{"n\xC3\xA4me"}}, {1}},
        Case{"semicolon", "a;\"b;c\"\n", ';', {{"a", "b;c"}}, {1}},
        Case{"tab", "a\tb,c\n", '\t', {{"a", "b,c"}}, {1}},
        Case{"stray_quote_is_text", "ab\"c,d\n", ',', {{"ab\"c", "d"}}, {1}}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(CsvReader, UnclosedQuoteNamesTheLineWhereTheRowStarts) {
  std::istringstream in("a\nb\n\"open\n\nstill open");
  CsvReader reader(in, "data.csv");
  std::vector<std::string> fields;
  ASSERT_TRUE(reader.ReadRow(fields));
  ASSERT_TRUE(reader.ReadRow(fields));
  try {
    reader.ReadRow(fields);
    FAIL() << "expected an InputError";
  } catch (const InputError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("data.csv:3: ", 0), 0u) << e.what();
  }
}

TEST(CsvReader, EmptyInputHasNoRow) {
  std::istringstream in("");
  CsvReader reader(in, "e.csv");
  std::vector<std::string> fields{"stale"};
  EXPECT_FALSE(reader.ReadRow(fields));
  EXPECT_TRUE(fields.empty());
}

}  // namespace
}  // namespace fsrank_cli
