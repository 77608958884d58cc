// End to end on input meant to break the program: every case ends in a clear error naming what
// is wrong, or in a true answer, never in a crash, a silent misreading or invalid output.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "e2e_harness.h"
#include "text.h"

namespace {

using namespace fsrank_e2e;

class FsrankHostile : public FsrankProgram {};

TEST_F(FsrankHostile, RefusedOptionsAndColumnsSayWhy) {
  const std::string data = Write("d.csv", "x,y\n1,a\n2,b\n3,a\n4,b\n");
  const struct {
    std::vector<std::string> args;
    int code;
    std::string message;
  } cases[] = {
      {{"rank", data, "--target", ""}, 1, "--target: must not be empty"},
      {{"rank", data, "--target", "y", "--weight", ""}, 1, "--weight: must not be empty"},
      {{"rank", data, "--target", "y", "--categorical", ""}, 1, "must not be empty"},
      // The parser would drop an empty item of a list: the list would not be what was typed.
      {{"rank", data, "--target", "y", "--categorical", "x,"},
       1,
       "--categorical: has an empty item in \"x,\""},
      {{"rank", data, "--target", "y", "--continuous", "x,,z"}, 1, "--continuous: has an empty"},
      {{"rank", data, "--target", "y", "--criteria", ",F"}, 1, "--criteria: has an empty item"},
      {{"rank", data, "--target", "y", "--criteria", "F,chi"}, 1, "unknown criterion \"chi\""},
      {{"rank", data, "--target", "y", "--top", "-1"},
       1,
       "--top: must be a whole number from 0, not \"-1\""},
      {{"rank", data, "--target", "y", "--sample", "0"},
       1,
       "--sample: must be a whole number from 1, not \"0\""},
      {{"rank", data, "--target", "y", "--max-missing", "nan"},
       1,
       "--max-missing: must be a percentage from 0 to 100, not \"nan\""},
      {{"rank", data, "--target", "y", "--min-sd", "inf"}, 1, "must be a number 0 or more"},
      {{"rank", data, "--target", "y", "--delimiter", "\n"}, 1, "cannot be a quote, a line end"},
      {{"rank", data, "--target", "y", "--delimiter", "\""}, 1, "cannot be a quote, a line end"},
      {{"rank", "-", "--long", "--target", "y"}, 1, "--long reads the file twice"},
      {{"rank", "/dev/stdin", "--long", "--target", "y"}, 1, "standard input or a pipe"},
      // A report, a saved state and the options tell columns apart by name only.
      {{"rank", Write("twice.csv", "a,a,y\n1,2,p\n3,4,q\n"), "--target", "y"},
       2,
       "the header: columns 1 and 2 have the same name \"a\""},
      {{"rank", Write("target.csv", "y,a,y\n1,2,p\n3,4,q\n"), "--target", "y"},
       2,
       "columns 1 and 3 have the same name \"y\""},
      {{"check", Write("unnamed.csv", "a,,y\n1,2,p\n3,4,q\n")}, 2, "column 2 has no name"},
      {{"rank", Write("ragged.csv", "x,y\n1\n"), "--target", "y"},
       2,
       "the row has 1 field but the header has 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  // An empty item of --na is a token, that of the empty field.
  const std::string gaps = Write("gaps.csv", "x,y\n1,a\n,b\n3,a\n4,b\n");
  for (const auto& [na, warned] : {std::pair<const char*, bool>{"?", true}, {"?,", false}}) {
    const Result r = Run({"rank", gaps, "--target", "y", "--continuous", "x", "--na", na});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.find("not a number") != std::string::npos, warned) << na << r.err;
  }
}

// Resuming a long-form state with more rows of a case it has counted already would count the
// case twice; one run over both files would count it once, or refuse it when not consecutive.
TEST_F(FsrankHostile, MoreLongFormDataCannotCountACaseTwice) {
  const std::string state = Path("s.bin");
  const std::string first =
      Write("1.csv", "case,predictor,value,y\nc1,p,a,yes\nc2,p,b,no\nc3,p,a,yes\nc3,q,1,yes\n");
  ASSERT_EQ(Rank(first, {"--long", "--target", "y", "--save-state", state}).code, 0);
  const struct {
    const char* more;
    std::string message;
  } cases[] = {
      {"case,predictor,value,y\nc3,q,2,yes\nc4,p,b,no\n", "case \"c3\" continues the last case of"},
      {"case,predictor,value,y\nc4,p,b,no\nc1,q,3,yes\n", "case \"c1\" was read already from"},
      {"case,predictor,value,y\nc4,p,b,no\nc5,q,3,yes\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.more);
    const Result r = Run({"resume", state, "--more", Write("2.csv", c.more)});
    EXPECT_EQ(r.code, c.message.empty() ? 0 : 2) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

// Values beyond what the library's sums can take, weights whose total overflows, and labels
// that are not UTF-8: each output form stays valid and finite, and a warning names the column.
TEST_F(FsrankHostile, UnrepresentableInputIsMissingWithAWarning) {
  const struct {
    std::string data;
    std::vector<std::string> args;
    std::string warning;
  } cases[] = {
      {"x,y\n1e200,a\n1.5,b\n2.5,a\n3.5,b\n0.5,a\n",
       {"rank", "--target", "y"},
       "column \"x\": 1 value is beyond +-1e120"},
      {"x,y\n1e200,1\n1.5,2\n2.5,1.5\n3.5,2\n0.5,1.25\n",
       {"rank", "--target", "y"},
       "column \"x\": 1 value is beyond"},
      {"w,x,y\n1e308,1,a\n1e308,2,b\n1,3,a\n1,4,b\n1,5,a\n1,3,b\n",
       {"rank", "--target", "y", "--weight", "w", "--categorical", "x"},
       "column \"w\": 2 values are outside 1e-50 to 1e50"},
      {"w,x,y\n1e308,1,a\n1e308,2,b\n1,3,a\n", {"check", "--weight", "w"}, "column \"w\""},
      {"y,lab\n\xe9t\xe9,a\nhiver,b\n\xe9t\xe9,a\nhiver,b\n\xe9t\xe9,b\n",
       {"rank", "--target", "y"},
       "the category \"\xef\xbf\xbdt\xef\xbf\xbd\" is not UTF-8"},
      {"y,l\xe9\n1,a\n2,b\n", {"check"}, "the column name \"l\xef\xbf\xbd\" is not UTF-8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.warning);
    const std::string data = Write("d.csv", c.data);
    for (const char* format : {"table", "csv", "json"}) {
      std::vector<std::string> args = c.args;
      args.insert(args.begin() + 1, data);
      args.insert(args.end(), {"--format", format, "--export-all", Path("all.xml")});
      if (args[0] == "check") args.resize(args.size() - 2);
      const Result r = Run(args);
      EXPECT_EQ(r.code, 0) << r.err;
      EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
      for (const std::string& text : {r.out, args[0] == "rank" ? Slurp(Path("all.xml")) : ""}) {
        for (const char* bad : {"nan", "inf", "NaN", "Inf", ": ,", ",,,,,,,,,,"}) {
          EXPECT_EQ(text.find(bad), std::string::npos) << bad << " in\n" << text;
        }
      }
      if (std::string(format) == "json") {
        EXPECT_NO_THROW(ParseJson(r.out)) << r.out;
      }
    }
  }
}

// The check lists every rule a column breaks, with the two that no threshold relaxes.
TEST_F(FsrankHostile, CheckReportsAllMissingAndConstantColumns) {
  const Result r = Run({"check", Write("c.csv", "gone,five,z\n,5,1\n,5,2\n,5,3\n,5,2\n"),
                        "--max-missing", "100", "--max-single", "100", "--format", "csv"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\ngone,0,continuous,allMissing,every value is missing\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\nfive,1,categorical,allConst,"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nz,2,categorical,,\n"), std::string::npos) << r.out;
  // Counts are grouped alike wherever they appear.
  std::string wide, row;
  for (int k = 0; k < 1001; ++k) {
    wide += (k ? ",c" : "c") + std::to_string(k);
    row += (k ? "," : "") + std::to_string(k % 7 + 0.5);
  }
  const Result many = Run({"check", Write("wide.csv", wide + "\n" + row + "\n" + row + "\n")});
  EXPECT_NE(many.out.find("Check of 1,001 columns (0 categorical, 1,001 continuous)"),
            std::string::npos)
      << many.out.substr(0, 200);
}

// Names from a file can hold escape sequences, line ends and wide characters: the table shows
// the first two as text and keeps its columns aligned for the third, and so do messages.
TEST_F(FsrankHostile, NamesCannotMisalignOrDriveTheTerminal) {
  const std::string data = Write(
      "n.csv",
      "a\x1b[2Jb,\"new\nline\",\xE6\x97\xA5\xE6\x9C\xAC,y\n1,2,1,p\n2,1,2,q\n1,2,1,p\n2,1,2,q\n"
      "1,1,1,p\n2,2,2,q\n");
  Result r = Rank(data, {"--target", "y", "--no-screen", "--criteria", "Pearson"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("a\\x1b[2Jb"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("new\\nline"), std::string::npos) << r.out;
  // Every row of the table puts its type in the same terminal column as the heading's.
  std::size_t column = std::string::npos;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  ", 0) != 0) continue;  // the tables' lines only
    const std::size_t at = std::min(line.find("Type"), line.find("categorical"));
    if (at == std::string::npos) continue;
    const std::size_t width = fsrank_cli::DisplayWidth(line.substr(0, at));
    if (column == std::string::npos) column = width;
    EXPECT_EQ(width, column) << r.out;
  }
  r = Rank(data, {"--target", "y", "--categorical", "a\x1b[2J"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  // Warnings too, in both forms, and bytes that are not UTF-8 show as their values.
  const std::string wide = Write("w.csv", "x\x1b\xe9,y\n1,p\nz\x1b\xe9,q\n3,p\n4,q\n");
  const std::string long_form =
      Write("l.csv",
            "case,predictor,value,y\n1,x\x1b\xe9,1,p\n2,x\x1b\xe9,z\x1b\xe9,q\n3,x\x1b\xe9,3,p\n");
  for (const auto& args :
       {std::vector<std::string>{"rank", wide, "--target", "y", "--continuous", "x\x1b\xe9"},
        std::vector<std::string>{"rank", long_form, "--long", "--target", "y", "--continuous",
                                 "x\x1b\xe9"}}) {
    r = Run(args);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("\"x\\x1b\\xe9\": 1 value is not a number"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("(first on line 3: \"z\\x1b\\xe9\")"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find_first_of("\x1b\xe9"), std::string::npos) << r.err;
  }
}

// Every message that echoes a path or another typed text escapes it.
TEST_F(FsrankHostile, MessagesEscapePathsAndTypedText) {
  const std::string data = Write("d.csv", "x,y\n1,a\n2,b\n3,a\n4,b\n");
  const std::string bad = Path("no\x1b[2J\xe9") + "/f";
  const std::vector<std::string> cases[] = {
      {"rank", data, "--target", "y", "--save-state", bad},
      {"rank", data, "--target", "y", "--report", bad},
      {"rank", data, "--target", "y", "--export-all", bad},
      {"select", data, "--target", "y", "--select", "k=1", "--output", bad},
      {"select", data, "--from-state", bad, "--select", "k=1", "--output", Path("o.csv")},
      {"resume", bad},
      {"rank", data, "--target", "y", "--top", "\x1b"},
      {"rank", data, "--target", "y", "--select", "k=\x1b"},
      {"rank", data, "--target", "y", "--criterion", "Cramer", "--select", "fdr=0.1\x1b"},
  };
  for (const auto& args : cases) {
    const Result r = Run(args);
    EXPECT_NE(r.code, 0) << args.back();
    EXPECT_EQ(r.err.find_first_of("\x1b\xe9"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\\x1b"), std::string::npos) << r.err;
  }
}

// A state damaged in a way its checksum cannot catch (the sidecar forged to match) is refused
// with one message, without the library's reader lines before it.
TEST_F(FsrankHostile, DamagedStateGivesOneMessage) {
  const std::string state = Path("s.bin");
  ASSERT_EQ(
      Rank(Write("d.csv", "x,y\n1,a\n2,b\n3,a\n4,b\n"), {"--target", "y", "--save-state", state})
          .code,
      0);
  std::string bytes = Slurp(state);
  bytes.resize(bytes.size() / 2);
  Write("s.bin", bytes);
  const auto fnv = [](const std::string& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text)
      hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char hex[32];
    std::snprintf(hex, sizeof hex, "fnv1a64:%016llx", static_cast<unsigned long long>(hash));
    return std::string(hex);
  };
  auto sidecar = nlohmann::ordered_json::parse(Slurp(state + ".columns.json"));
  sidecar["state_checksum"] = fnv(bytes);
  sidecar.erase("columns_checksum");
  sidecar["columns_checksum"] = fnv(sidecar.dump());
  Write("s.bin.columns.json", sidecar.dump(2));
  const Result r = Run({"resume", state});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err.rfind("fsrank: " + state + ": the state cannot be restored: ", 0), 0u) << r.err;
  EXPECT_EQ(r.err.find("Error reading"), std::string::npos) << r.err;
}

}  // namespace
