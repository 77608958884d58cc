// End to end through the selection: the marks of `rank --select`, the reduced file of
// `fsrank select` (byte for byte, from a ranking or a saved state), and the refusals.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "csv_reader.h"
#include "e2e_harness.h"

namespace {

using namespace fsrank_e2e;

class FsrankSelect : public FsrankProgram {};

std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
  std::istringstream in(text);
  fsrank_cli::CsvReader reader(in, "csv");
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  while (reader.ReadRow(row))
    rows.push_back(row);
  return rows;
}

// The names `rank --select` marks as kept in one criterion's JSON list, best first.
std::vector<std::string> Kept(const Json& report, const std::string& criterion) {
  std::vector<std::string> names;
  for (const Json& c : report["criteria"].items) {
    if (c["name"].text != criterion) continue;
    for (const Json& p : c["predictors"].items) {
      if (p["selected"].boolean) names.push_back(p["name"].text);
    }
    EXPECT_EQ(static_cast<std::size_t>(c["selected"].number), names.size());
  }
  return names;
}

TEST_F(FsrankSelect, ReducedCreditFileHoldsTheKeptColumnsWithIdenticalFields) {
  const std::string data = FSRANK_EXAMPLES_DIR "/credit-g.csv";
  const Json ranked = RankJson(data, {"--target", "class", "--select", "fdr=0.01", "--top", "0"});
  const std::vector<std::string> kept = Kept(ranked, "Pearson");
  ASSERT_GT(kept.size(), 3u);
  ASSERT_LT(kept.size(), 19u);

  const Result r = Run({"select", data, "--target", "class", "--select", "fdr=0.01", "--output",
                        "-", "-q", "--criterion", "pearson"});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto input = ReadCsv(Slurp(data));
  const auto output = ReadCsv(r.out);
  ASSERT_EQ(output.size(), input.size());
  // The kept columns and the target, in the input's order, every field as it was.
  std::vector<std::size_t> columns;
  for (std::size_t k = 0; k < input[0].size(); ++k) {
    const std::string& name = input[0][k];
    if (name == "class" || std::find(kept.begin(), kept.end(), name) != kept.end()) {
      columns.push_back(k);
    }
  }
  ASSERT_EQ(columns.size(), kept.size() + 1);
  for (std::size_t row = 0; row < input.size(); ++row) {
    ASSERT_EQ(output[row].size(), columns.size()) << "row " << row;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      ASSERT_EQ(output[row][k], input[row][columns[k]]) << "row " << row << " column " << k;
    }
  }

  // From a saved state, the same file.
  const std::string state = Path("credit.state");
  ASSERT_EQ(Rank(data, {"--target", "class", "--save-state", state, "-q"}).code, 0);
  const Result again = Run({"select", data, "--from-state", state, "--select", "fdr=0.01",
                            "--output", Path("again.csv"), "-q"});
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(Slurp(Path("again.csv")), r.out);
}

TEST_F(FsrankSelect, QuotedFieldsLineBreaksAndCrlfSurviveByteForByte) {
  // x separates the classes; n is noise. Kept: x, plus the target, weight and id columns.
  std::string text = "\xEF\xBB\xBFid,\"x, the signal\",n,y,w\r\n";
  std::string expected = "\xEF\xBB\xBFid,\"x, the signal\",y,w\r\n";
  for (int k = 0; k < 40; ++k) {
    const bool yes = k % 2 == 0;
    const std::string id = k == 3 ? "\"three\r\nlines \"\"quoted\"\"\nhere\"" : std::to_string(k);
    const std::string x = yes ? "\"a,\"\"1\"\"\"" : "b";
    const std::string y = yes ? "yes" : "\"no\"";
    const std::string end = k == 39 ? "" : (k % 3 == 0 ? "\n" : "\r\n");
    text += id + "," + x + "," + std::to_string(k % 5) + "," + y + ",1" + end;
    expected += id + "," + x + "," + y + ",1" + end;
    if (k == 10) text += "\r\n";  // an empty line is not a row
  }
  const std::string file = Write("odd.csv", text);
  const Result r = Run({"select", file, "--target", "y", "--id", "id", "--weight", "w", "--select",
                        "k=1", "--output", Path("out.csv")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Slurp(Path("out.csv")), expected);
  EXPECT_NE(r.err.find("keeps 1 of 2"), std::string::npos) << r.err;
}

TEST_F(FsrankSelect, MarksInEveryFormatAndRefusals) {
  const std::string data = FSRANK_EXAMPLES_DIR "/credit-g.csv";
  Result r = Rank(data, {"--target", "class", "--select", "k=3", "--format", "csv", "-q"});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto rows = ReadCsv(r.out);
  ASSERT_EQ(rows[0].back(), "selected");
  int kept = 0;
  for (const auto& row : rows)
    kept += row.back() == "true" ? 1 : 0;
  EXPECT_EQ(kept, 3 * 3);  // Pearson, Likelihood, F-Statistic
  r = Rank(data, {"--target", "class", "--select", "percentile=50", "--criterion", "F", "-q"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Selected by percentile=50: 1 of 3 by F-Statistic (not applied to "
                       "Pearson, Likelihood)"),
            std::string::npos)
      << r.out;

  struct Refusal {
    std::vector<std::string> args;
    int code;
    const char* message;
  };
  const std::string table = Write("t.csv", "a,b,y\nx,1,p\ny,2,q\nx,3,p\n");
  const std::vector<Refusal> refusals = {
      {{"rank", table, "--target", "y", "--select", "fdr=0.1", "--criterion", "lambda"},
       1,
       "Lambda has none"},
      {{"rank", table, "--target", "y", "--select", "top=3"}, 1, "unknown selection rule"},
      {{"rank", table, "--target", "y", "--criterion", "V"}, 1, "neither is given"},
      {{"select", table, "--target", "y", "--select", "k=1", "--output", table},
       1,
       "would overwrite DATA"},
      {{"select", "-", "--target", "y", "--select", "k=1", "--output", "-"}, 1, "a pipe"},
      {{"select", table, "--select", "k=1", "--output", "-"}, 1, "--target is required"},
  };
  for (const Refusal& refusal : refusals) {
    r = Run(refusal.args);
    EXPECT_EQ(r.code, refusal.code) << refusal.args[0] << " " << refusal.args.back();
    EXPECT_NE(r.err.find(refusal.message), std::string::npos) << r.err;
  }
}

}  // namespace
