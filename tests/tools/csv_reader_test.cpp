#include "csv_reader.h"

#include <sstream>

#include "csv_blocks.h"

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

// The rows of a whole input as the block cutter and splitter of parallel reading see them.
struct Collected {
  Rows rows;
  std::vector<long> lines;
  std::vector<std::string> fields;
  long first_line = 1;
  void Field(std::size_t, std::string_view text, long) { fields.emplace_back(text); }
  bool Row(std::size_t, long line) {
    rows.push_back(fields);
    fields.clear();
    lines.push_back(first_line + line);
    return true;
  }
};

Collected SplitInBlocks(const std::string& text, char delimiter, std::size_t block_size) {
  std::istringstream in(text);
  BlockCutter cutter(in, "", delimiter, block_size);
  Collected out;
  ByteBuffer block;
  std::string scratch;
  while (cutter.Next(block) == BlockCutter::Cut::kRows) {
    block.push_back('\n');
    long line = 0;
    EXPECT_EQ(
        SplitRows(block.data(), block.data() + block.size() - 1, delimiter, scratch, line, out),
        SplitEnd::kDone);
    out.first_line += line;
  }
  return out;
}

// Every block size cuts the input somewhere else, inside quotes and between CR and LF too.
TEST_P(CsvReaderCases, BlocksOfAnySizeGiveTheSameRows) {
  const Case& c = GetParam();
  if (c.text.rfind("\xEF\xBB\xBF", 0) == 0) return;  // the header reader takes the mark
  for (std::size_t size : {1, 2, 3, 5, 8, 1 << 20}) {
    const Collected out = SplitInBlocks(c.text, c.delimiter, size);
    EXPECT_EQ(out.rows, c.rows) << "blocks of " << size;
    EXPECT_EQ(out.lines, c.lines) << "blocks of " << size;
  }
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
        Case{"stray_quote_is_text", "ab\"c,d\n", ',', {{"ab\"c", "d"}}, {1}},
        Case{
            "text_after_closing_quote", "\"a\"b\"\",c\nd\n", ',', {{"ab\"\"", "c"}, {"d"}}, {1, 2}},
        Case{"lone_cr",
             "a,b,y\r1,x,p\r\r2,\"y\rz\",q\r",
             ',',
             {{"a", "b", "y"}, {"1", "x", "p"}, {"2", "y\rz", "q"}},
             {1, 2, 4}},
        Case{"mixed_line_ends", "a\r\nb\rc\nd", ',', {{"a"}, {"b"}, {"c"}, {"d"}}, {1, 2, 3, 4}}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// Rows far wider than the splitter's 64-byte windows: fields of every length up to 150 bytes,
// quoted fields with delimiters and line ends in them across window edges, CRLF and CR ends.
TEST(CsvReader, WideRowsSplitLikeTheRowReader) {
  std::string text;
  for (int row = 0; row < 40; ++row) {
    for (int k = 0; k < 12; ++k) {
      if (k > 0) text += ',';
      const int length = (row * 7 + k * 13) % 150;
      if ((row + k) % 5 == 0) {
        text += '"' + std::string(length / 2, 'q') + ",\n\"\"" + std::string(length / 2, 'r') + '"';
      } else {
        text += std::string(length, static_cast<char>('a' + k));
      }
    }
    text += row % 3 == 0 ? "\r\n" : row % 3 == 1 ? "\n" : "\r";
  }
  std::istringstream in(text);
  CsvReader reader(in, "t.csv");
  Collected expected;
  std::vector<std::string> fields;
  while (reader.ReadRow(fields)) {
    expected.rows.push_back(fields);
    expected.lines.push_back(reader.RowLine());
  }
  ASSERT_EQ(expected.rows.size(), 40u);
  for (std::size_t size : {64, 100, 1 << 20}) {
    const Collected out = SplitInBlocks(text, ',', size);
    EXPECT_EQ(out.rows, expected.rows) << "blocks of " << size;
    EXPECT_EQ(out.lines, expected.lines) << "blocks of " << size;
  }
}

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

// Both readers stop at a row longer than the limit, naming the line where it starts, instead of
// filling the memory (a stream of zeros, an unclosed quote).
TEST(CsvReader, RowLongerThanTheLimitIsAnError) {
  for (const std::string& tail : {std::string(100, '\0'), "\"open" + std::string(100, 'x')}) {
    const std::string text = "a\n\n" + tail;
    std::istringstream in(text);
    CsvReader reader(in, "z.csv", ',', 64);
    std::vector<std::string> fields;
    ASSERT_TRUE(reader.ReadRow(fields));
    try {
      reader.ReadRow(fields);
      FAIL() << "expected an InputError";
    } catch (const InputError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("z.csv:3: the row is longer than 64 bytes", 0), 0u)
          << e.what();
    }
    std::istringstream rest(text.substr(2));
    BlockCutter cutter(rest, "", ',', 16, 64);
    ByteBuffer block;
    BlockCutter::Cut cut;
    while ((cut = cutter.Next(block)) == BlockCutter::Cut::kRows) {
    }
    EXPECT_EQ(cut, BlockCutter::Cut::kOverlong);
    EXPECT_EQ(cutter.Quoted(), tail[0] == '"');
    EXPECT_EQ(cutter.Next(block), BlockCutter::Cut::kEnd);
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
