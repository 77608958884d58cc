// End to end through the program's other modes: the check without a target, saved state and
// resumed runs, and the long form.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using namespace fsrank_e2e;

class FsrankModes : public FsrankProgram {};

// Cases `from` to `to` - 1 of a data set with a categorical target y, a categorical predictor p
// and a continuous x; from case 40 on, y and p take labels that earlier cases never use.
std::string Rows(int from, int to) {
  std::string text = "y,p,x\n";
  for (int k = from; k < to; ++k) {
    const int y = k % 3 == 0 ? 1 : (k >= 40 && k % 5 == 0 ? 2 : 0);
    const char* ys[] = {"no", "yes", "maybe"};
    const char* ps[] = {"a", "b", "c", "d"};
    text += std::string(ys[y]) + "," + ps[k >= 40 && k % 4 == 1 ? 3 : (y + k % 7 / 5) % 3] + "," +
            std::to_string(k * 0.75 + y * 4 + (k % 5) * 0.5) + "\n";
  }
  return text;
}

// A report without the names of the files read: the table's first line or the JSON's "file".
std::string WithoutFile(const std::string& text) {
  const std::size_t file = text.find("\"file\"");
  if (file == std::string::npos) return text.substr(std::min(text.find("\nTarget: "), text.size()));
  return text.substr(0, file) + text.substr(text.find('\n', file) + 1);
}

TEST_F(FsrankModes, CheckListsEveryRuleEachColumnBreaks) {
  std::string text = "fine,spread,gone,dominant,ids,tight,holes\n";
  for (int k = 0; k < 100; ++k) {
    text += std::string(1, "abc"[k % 3]) + "," + std::to_string(k * 0.01) + "," +
            (k < 80 ? "" : std::to_string(k)) + "," + (k < 97 ? "x" : "y") + ",id" +
            std::to_string(k) + "," + std::to_string(1000 + (k % 3) * 0.0001) + "," +
            (k < 75 ? "" : "z") + "\n";
  }
  const std::string file = Write("check.csv", text);
  Result r = Run({"check", file, "--min-sd", "0.5", "--format", "json"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Json report = ParseJson(r.out);
  std::map<std::string, std::string> reasons;
  for (const Json& column : report["columns"].items) {
    std::string words;
    for (const Json& reason : column["reasons"].items)
      words += (words.empty() ? "" : " ") + reason["reason"].text;
    reasons[column["name"].text] = words;
  }
  EXPECT_EQ(reasons,
            (std::map<std::string, std::string>{{"fine", ""},
                                                {"spread", "smallStdDev"},
                                                {"gone", "manyMissing"},
                                                {"dominant", "manyConst"},
                                                {"ids", "manyCategs"},
                                                {"tight", "smallStdDev smallVar"},
                                                {"holes", "allConst manyMissing manyConst"}}));
  // The thresholds given reach the words; the table and CSV list the same rules.
  r = Run({"check", file, "--min-sd", "0.5", "--max-missing", "60"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("6 columns break screening rules"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("more than 60% of the values are missing"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("standard deviation below 0.5"), std::string::npos) << r.out;
  r = Run({"check", file, "--min-sd", "0.5", "--format", "csv"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\nholes,6,categorical,manyConst,one category holds more than 95% of"),
            std::string::npos)
      << r.out;

  r = Run({"check", Write("empty.csv", "a,b\n")});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("there is no data row after the header"), std::string::npos) << r.err;
}

TEST_F(FsrankModes, ResumeRanksAgainAndAddsMoreDataAsOneRunWould) {
  const std::string first = Write("first.csv", Rows(0, 40));
  const std::string second = Write("second.csv", Rows(40, 90));
  std::string both = Rows(0, 40) + Rows(40, 90).substr(6);
  const std::string all = Write("all.csv", both);
  for (const std::string name : {"state.bin", "state.xml"}) {
    SCOPED_TRACE(name);
    const std::string state = Path(name);
    // Resuming without more data prints what the saving run printed.
    const Result saved = Rank(first, {"--target", "y", "--top", "0", "--save-state", state});
    ASSERT_EQ(saved.code, 0) << saved.err;
    Result resumed = Run({"resume", state, "--top", "0"});
    ASSERT_EQ(resumed.code, 0) << resumed.err;
    EXPECT_EQ(resumed.out, saved.out);

    // More data, with labels the first file never had, gives the run over both files: exactly
    // for the binary state, to the display's precision for the XML state (15 digits).
    const std::string format = name == "state.bin" ? "json" : "table";
    const Result one = Rank(all, {"--target", "y", "--top", "0", "--format", format});
    resumed = Run({"resume", state, "--more", second, "--top", "0", "--format", format});
    ASSERT_EQ(resumed.code, 0) << resumed.err;
    EXPECT_EQ(WithoutFile(resumed.out), WithoutFile(one.out));
    EXPECT_NE(one.out.find("maybe"), std::string::npos) << one.out;
  }
}

TEST_F(FsrankModes, ResumeRefusesAMissingOrMismatchedSidecar) {
  const std::string state = Path("s.bin");
  const std::string sidecar = state + ".columns.json";
  ASSERT_EQ(Rank(Write("d.csv", Rows(0, 40)), {"--target", "y", "--save-state", state}).code, 0);
  ASSERT_EQ(Rank(Path("d.csv"), {"--target", "x", "--save-state", Path("other.bin")}).code, 0);
  const std::string good = Slurp(sidecar);
  const auto edit = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  const struct {
    const char* what;
    std::string sidecar;  // empty: deleted
    std::string message;
  } cases[] = {
      {"deleted", "", "s.bin.columns.json: cannot open: No such file or directory (resuming"},
      {"not JSON", "{\"format\": ", "s.bin.columns.json: not valid JSON: "},
      {"nested deeply", std::string(100000, '[') + std::string(100000, ']'), "nested too deeply"},
      {"another run's", Slurp(Path("other.bin.columns.json")), "was not written with"},
      // Every edit is refused, even one that leaves a consistent description: swapping the
      // target's labels would report each category's count under the other's name.
      {"labels swapped", edit("\"yes\",\n      \"no\"", "\"no\",\n      \"yes\""),
       "was edited after it was written"},
      {"type changed", edit("\"type\": \"continuous\"", "\"type\": \"categorical\""),
       "was edited after it was written"},
      {"respaced only", edit("{\n", "{ \n"), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.sidecar.empty()) {
      std::remove(sidecar.c_str());
    } else {
      Write("s.bin.columns.json", c.sidecar);
    }
    const Result r = Run({"resume", state});
    EXPECT_EQ(r.code, c.message.empty() ? 0 : 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

TEST_F(FsrankModes, LongFormRanksAsTheWideFormOfTheSameData) {
  // The long form leaves missing values out, gives the target on one row of a case, and lists
  // the rows of some cases in reverse order; the first case fixes the predictors' order.
  const std::string header = "id,name,val,y\n";
  std::string wide = "y,p,x\n", first = header, second = header;
  for (int k = 0; k < 60; ++k) {
    const std::string y = k % 11 == 5 ? "" : (k % 3 ? "no" : "yes");
    const std::string p(1, "abcd"[k < 30 ? (k + k / 3) % 3 : (k + k / 3) % 4]);
    const std::string x = k % 7 == 3 ? "" : std::to_string(k * 0.5 + (k % 3 == 0) * 6);
    wide += y + "," + p + "," + x + "\n";
    const std::string id = "c" + std::to_string(k);
    const std::string rp = id + ",p," + p + "," + y + "\n";
    const std::string rx = x.empty() ? "" : id + ",x," + x + ",\n";
    (k < 30 ? first : second) += k % 2 ? rx + rp : rp + rx;
  }
  const std::vector<std::string> columns = {"--target",    "y",    "--top",   "0",
                                            "--format",    "json", "--case",  "id",
                                            "--predictor", "name", "--value", "val"};
  std::vector<std::string> longArgs = {"--long"};
  longArgs.insert(longArgs.end(), columns.begin(), columns.end());
  const Result w =
      Rank(Write("wide.csv", wide), {"--target", "y", "--top", "0", "--format", "json"});
  const Result l = Rank(Write("long.csv", first + second.substr(header.size())), longArgs);
  ASSERT_EQ(l.code, 0) << l.err;
  EXPECT_EQ(WithoutFile(l.out), WithoutFile(w.out));
  EXPECT_NE(l.out.find("\"excluded\": 5"), std::string::npos) << l.out;

  // A long-form state resumed with the rest of the cases, which bring the label "d".
  longArgs.insert(longArgs.end(), {"--save-state", Path("long.state")});
  ASSERT_EQ(Rank(Write("first.csv", first), longArgs).code, 0);
  const Result r = Run({"resume", Path("long.state"), "--more", Write("second.csv", second),
                        "--top", "0", "--format", "json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(WithoutFile(r.out), WithoutFile(l.out));

  const struct {
    const char* rows;
    const char* message;
  } faults[] = {
      {"1,p,a,yes\n2,p,b,no\n1,x,3,yes\n",
       ":4: case \"1\" appears again after other cases (its rows must be consecutive; it began on "
       "line 2)"},
      {"1,p,a,yes\n1,x,2,\n1,p,b,\n",
       ":4: case \"1\" gives the predictor \"p\" again (also on line 2)"},
      {"1,p,a,yes\n1,x,2,no\n", ":3: case \"1\" has another target value than on line 2"},
  };
  for (const auto& fault : faults) {
    const Result f = Rank(Write("fault.csv", header + fault.rows), longArgs);
    EXPECT_EQ(f.code, 2);
    EXPECT_NE(f.err.find(fault.message), std::string::npos) << f.err;
  }
}

}  // namespace
