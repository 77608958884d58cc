#include "block_reader.h"

#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "data_source.h"

namespace fsrank_cli {
namespace {

// A file with what reading in parallel blocks must keep as reading row by row gives it: labels
// first seen late and in changing orders, quoted fields with delimiters and line breaks, LF,
// CRLF and CR line ends, empty lines, missing values, unparsable numbers, text identifiers.
std::string MixedFile(int rows, const std::string& tail) {
  std::string text = "id,x,c,w,y\n";
  unsigned state = 12345;
  const auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 16; };
  const char* ends[] = {"\n", "\r\n", "\r", "\n\n"};
  for (int r = 0; r < rows; ++r) {
    const unsigned a = next(), b = next(), c = next();
    text += (a % 7 == 0 ? "id" + std::to_string(r) : std::to_string(r)) + ",";
    text += a % 11 == 0 ? "n/a"
            : a % 13 == 0
                ? ""
                : std::to_string(static_cast<int>(b % 1000) - 500) + "." + std::to_string(c % 100);
    text += ",";
    const int level = static_cast<int>(b % (3 + r / 50));
    text += c % 5 == 0 ? "\"l,\n" + std::to_string(level) + "\"" : "l" + std::to_string(level);
    text += "," + std::to_string(1 + c % 3) + ",";
    text += a % 17 == 0 ? "NA" : std::string(1, static_cast<char>('p' + (a + r / 40) % 4));
    text += ends[c % 4];
  }
  return text + tail;
}

struct Outcome {
  std::vector<double> values;
  std::vector<std::vector<std::string>> labels;
  std::string warnings;
  std::string error;
  std::size_t rows = 0;
};

Outcome ReadAll(const std::string& text, std::size_t sample, int threads, std::size_t block) {
  std::istringstream in(text);
  Outcome out;
  try {
    CsvDataSource source(in, "f.csv", ',', MissingTokens(), sample);
    PlanRequest request;
    request.target = "y";
    request.id = "id";
    request.weight = "w";
    request.categorical = {"c", "y"};
    request.continuous = {"x"};
    const DataPlan plan = source.MakePlan(request);
    ColumnSchema schema = source.SchemaFor(plan);
    source.SetPlan(plan, schema, threads, block);
    std::vector<double> row;
    try {
      while (source.NextRow(row)) {
        source.CommitLastRow();
        out.values.insert(out.values.end(), row.begin(), row.end());
        ++out.rows;
      }
    } catch (const InputError& e) {
      out.error = e.what();
    }
    for (const LabelEncoder* labels : {&schema.target.labels, &schema.predictors[0].labels}) {
      out.labels.emplace_back();
      for (std::size_t k = 0; k < labels->Size(); ++k)
        out.labels.back().push_back(labels->Label(static_cast<int>(k)));
    }
    std::ostringstream warnings;
    source.WriteWarnings(warnings);
    out.warnings = warnings.str();
  } catch (const InputError& e) {
    out.error = e.what();
  }
  return out;
}

void ExpectSame(const Outcome& a, const Outcome& b, const std::string& what) {
  EXPECT_EQ(a.error, b.error) << what;
  if (!b.error.empty()) return;  // the reference stopped while reading its sample
  EXPECT_EQ(a.rows, b.rows) << what;
  EXPECT_TRUE(a.values.size() == b.values.size() &&
              (a.values.empty() || std::memcmp(a.values.data(), b.values.data(),
                                               a.values.size() * sizeof(double)) == 0))
      << what;
  EXPECT_EQ(a.labels, b.labels) << what;
  EXPECT_EQ(a.warnings, b.warnings) << what;
}

// The whole file read as the sample (row by row, the reference) and read in blocks of many
// sizes by one to three threads give the same records, codes, warnings and first error.
TEST(BlockReader, BlocksAndThreadsReadLikeOneRowAtATime) {
  const struct {
    const char* name;
    std::string tail;
    const char* error;
  } cases[] = {
      {"clean", "", ""},
      {"ragged row, then an unclosed quote", "1,2,l1,1,p\n1,2\n3,\"open,l1,1,p\n",
       "the row has 2 fields"},
      {"unclosed quote at the end", "1,2,\"l1,1,p\n", "quoted field is not closed"},
      {"no final line end", "7,8.5,l2,1,q", ""},
  };
  for (const auto& c : cases) {
    const std::string text = MixedFile(1200, c.tail);
    const Outcome reference = ReadAll(text, 1 << 20, 1, 1);
    EXPECT_NE(reference.error.find(c.error), std::string::npos) << c.name << reference.error;
    if (reference.error.empty()) {
      EXPECT_EQ(reference.rows, 1200u + (c.tail.empty() ? 0 : 1)) << c.name;
      EXPECT_NE(reference.warnings.find("\"x\""), std::string::npos) << c.name;
    }
    for (const int threads : {1, 2, 3}) {
      for (const std::size_t block : {std::size_t{1}, std::size_t{100}, std::size_t{1} << 20}) {
        ExpectSame(ReadAll(text, 3, threads, block), reference,
                   std::string(c.name) + ", " + std::to_string(threads) + " threads, blocks of " +
                       std::to_string(block));
      }
    }
  }
}

// A consumer that stops early (an error, --max-records, Ctrl-C) leaves the workers blocked on a
// full queue: they must still stop.
TEST(BlockReader, StopsWhenTheConsumerLeavesEarly) {
  const std::string text = MixedFile(3000, "");
  for (int k = 0; k < 5; ++k) {
    std::istringstream in(text);
    RowPlan plan;
    plan.record_size = 1;
    plan.actions.resize(5);
    BlockReader reader(in, "", std::move(plan), 3, 64);
    for (int b = 0; b < k; ++b)
      ASSERT_NE(reader.Next(), nullptr);
  }
}

// Ctrl-C ends the blocks at once, with one thread or with workers, whatever is left to read.
TEST(BlockReader, EndsOnceCancelled) {
  const std::string text = MixedFile(3000, "");
  for (int threads : {1, 3}) {
    std::istringstream in(text);
    RowPlan plan;
    plan.record_size = 1;
    plan.actions.resize(5);
    std::atomic<bool> cancel{false};
    BlockReader reader(in, "", std::move(plan), threads, 64, &cancel);
    ASSERT_NE(reader.Next(), nullptr);
    cancel = true;
    EXPECT_EQ(reader.Next(), nullptr) << threads;
  }
}

}  // namespace
}  // namespace fsrank_cli
