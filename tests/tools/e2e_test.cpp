// Runs the built program on small files written by the tests and checks what a user sees:
// standard output, standard error, exit codes and the files it writes.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using namespace fsrank_e2e;

// The rows of one criterion, by predictor name.
std::map<std::string, const Json*> ByName(const Json& criterion) {
  std::map<std::string, const Json*> rows;
  for (const Json& row : criterion["predictors"].items)
    rows[row["name"].text] = &row;
  return rows;
}

const Json& Criterion(const Json& report, const std::string& name) {
  for (const Json& c : report["criteria"].items) {
    if (c["name"].text == name) return c;
  }
  static const Json null;
  ADD_FAILURE() << "no criterion " << name;
  return null;
}

// Both reports give each predictor the same value under each criterion.
void ExpectSameValues(const Json& a, const Json& b, double tolerance) {
  for (const char* criterion : {"Pearson", "Likelihood", "F-Statistic"}) {
    const auto rowsA = ByName(Criterion(a, criterion)), rowsB = ByName(Criterion(b, criterion));
    ASSERT_EQ(rowsA.size(), rowsB.size()) << criterion;
    for (const auto& [name, row] : rowsA) {
      ASSERT_TRUE(rowsB.count(name)) << name;
      EXPECT_NEAR((*row)["value"].number, (*rowsB.at(name))["value"].number, tolerance)
          << criterion << " " << name;
    }
  }
}

// A deterministic data set: a categorical target (labels yes and no), a predictor p that
// follows it (labels a, b and c), one that does not, and a continuous one.
std::string Dataset(const std::vector<std::string>& labels = {"no", "yes", "a", "b", "c"}) {
  std::string text = "y,p,noise,x\n";
  for (int k = 0; k < 60; ++k) {
    const int y = k % 3 == 0 ? 1 : 0;
    const int p = (k % 7 == 0) ? 2 : y;
    text += labels[y] + "," + labels[2 + p] + "," + std::to_string(k % 4) + "," +
            std::to_string(k * 1.5 + (y ? 20 : 0) + (k % 5) * 0.25) + "\n";
  }
  return text;
}

// ---------------------------------------------------------------------------------------------
TEST_F(FsrankProgram, QuotedFieldsCrlfAndUtf8Names) {
  std::string text = "\"target\",\"a,b\",\"n\xC3\xA4me\",\"multi\r\nline\"\r\n";
  for (int k = 0; k < 40; ++k) {
    text += std::string(k % 2 ? "\"x\"" : "y") + ",\"" + (k % 4 < 2 ? "p, q" : "r\"\"s") + "\"," +
            std::to_string(k % 3) + ",\"" + (k % 2 ? "one\r\nline" : "two") + "\"\r\n";
  }
  const Json report = RankJson(Write("q.csv", text), {"--target", "target"});
  EXPECT_EQ(report["records"]["valid"].number, 40);
  EXPECT_EQ(report["target"]["categories"].items.size(), 2u);
  EXPECT_EQ(report["target"]["categories"][0]["label"].text, "y");
  EXPECT_EQ(report["predictors"]["total"].number, 3);
  const auto rows = ByName(Criterion(report, "Pearson"));
  EXPECT_TRUE(rows.count("a,b"));
  EXPECT_TRUE(rows.count("n\xC3\xA4me"));
  EXPECT_TRUE(rows.count("multi\r\nline"));
  // "multi line" follows the target exactly: the strongest association.
  EXPECT_EQ(Criterion(report, "Pearson")["predictors"][0]["name"].text, "multi\r\nline");
}

// Lone CR line ends, standard input, and a "file" that is one endless field: read as a table or
// refused with a clear error, never an abort. Standard input and any number of threads give the
// report of the file read by one.
TEST_F(FsrankProgram, ReaderTakesCrLinesStandardInputAndRefusesEndlessRows) {
  const std::string file = Write("d.csv", Dataset());
  const Result one = Rank(file, {"--target", "y", "--format", "json", "--threads", "1"});
  ASSERT_EQ(one.code, 0) << one.err;
  for (const char* threads : {"2", "5"}) {
    EXPECT_EQ(Rank(file, {"--target", "y", "--format", "json", "--threads", threads}).out, one.out);
  }
  std::string piped = one.out;
  piped.replace(piped.find(file), file.size(), "standard input");
  EXPECT_EQ(Run({"rank", "-", "--target", "y", "--format", "json", "<", file}).out, piped);
  EXPECT_EQ(Run({"rank", "-", "--long", "--target", "y", "<", file}).code, 1);

  std::string cr = Dataset();
  for (char& c : cr)
    c = c == '\n' ? '\r' : c;
  Json report = RankJson(Write("cr.csv", cr), {"--target", "y"});
  EXPECT_EQ(report["records"]["valid"].number, 60);

  const Result zero = Rank("/dev/zero", {"--target", "y"});
  EXPECT_EQ(zero.code, 2);
  EXPECT_NE(zero.err.find("/dev/zero:1: the row is longer than 16 MiB"), std::string::npos)
      << zero.err;
}

// Two reports that differ only in how the sums were split: the same ranks, names and counts,
// statistics within a relative 1e-10 and p-values within 1e-8.
void ExpectEquivalent(const Json& a, const Json& b, const std::string& path = "",
                      bool p_value = false) {
  ASSERT_EQ(a.kind, b.kind) << path;
  if (a.kind == Json::kNumber) {
    const double tolerance = (p_value ? 1e-8 : 1e-10) * std::max(std::fabs(a.number), 1e-300);
    EXPECT_NEAR(a.number, b.number, tolerance) << path;
  } else if (a.kind == Json::kArray) {
    ASSERT_EQ(a.items.size(), b.items.size()) << path;
    for (std::size_t k = 0; k < a.items.size(); ++k)
      ExpectEquivalent(a.items[k], b.items[k], path + "[" + std::to_string(k) + "]", p_value);
  } else if (a.kind == Json::kObject) {
    ASSERT_EQ(a.fields.size(), b.fields.size()) << path;
    for (const auto& [key, value] : a.fields)
      ExpectEquivalent(value, b[key], path + "." + key, key == "value" || key == "neg_log10_p");
  } else {
    EXPECT_EQ(a.text, b.text) << path;
    EXPECT_EQ(a.boolean, b.boolean) << path;
  }
}

// Several threads, each feeding blocks of about 1 MiB to algorithms merged in file order, rank
// like one: here the first block has no usable weight (its rows go to the first algorithm, which
// then has nothing to merge into), later blocks meet new labels of d in another order than the
// file (fed again with the file's codes), the last one none, and a row limit ends the pass
// inside a block. A run repeats byte for
// byte; warnings and the error of a bad row late in the file are the same.
TEST_F(FsrankProgram, ThreadsMergeLikeOneReader) {
  std::string text = "y,c,x,w,n\n";
  unsigned state = 7;
  const auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 16; };
  for (int r = 0; r < 16000; ++r) {
    const unsigned a = next(), b = next();
    const int y = static_cast<int>(a % 3);
    text += std::string(1, static_cast<char>('a' + y));
    const unsigned level = r < 10000 ? (b + static_cast<unsigned>(y)) % (2 + r / 1500) : b % 2;
    text += ",l" + std::to_string(level) + ",";
    text += a % 997 == 0   ? "oops"
            : a % 991 == 0 ? "1e200"
                           : std::to_string(y * 0.5 + (b % 1000) * 0.001 + r * 1e-6);
    text += std::string(",") +
            (r < 6000        ? "0"
             : b % 1999 == 0 ? "1e60"
                             : std::to_string(1 + b % 4)) +
            "," + std::to_string(b % 7) + "," + std::string(180, 'p') + ",k" +
            std::to_string(r >= 6000 && r < 12000 ? r / 300 * 7 % 11 : 0) + "\n";
  }
  text.replace(0, text.find('\n'), "y,c,x,w,n,pad,d");
  const std::string file = Write("big.csv", text);
  const auto run = [&](const char* threads, std::vector<std::string> more) {
    more.insert(more.end(), {"--target", "y", "--weight", "w", "--sample", "100", "--format",
                             "json", "--threads", threads});
    return Rank(file, more);
  };
  for (const std::vector<std::string>& more :
       {std::vector<std::string>{}, std::vector<std::string>{"--max-records", "12345"}}) {
    const Result one = run("1", more);
    ASSERT_EQ(one.code, 0) << one.err;
    EXPECT_NE(one.err.find("column \"x\""), std::string::npos) << one.err;
    for (const char* threads : {"2", "3"}) {
      const Result many = run(threads, more);
      ASSERT_EQ(many.code, 0) << many.err;
      EXPECT_EQ(many.err, one.err);
      ExpectEquivalent(ParseJson(many.out), ParseJson(one.out));
      EXPECT_EQ(run(threads, more).out, many.out);
    }
  }
  std::ofstream(file, std::ios::app) << "a,l1,2\n";
  const Result one = run("1", {});
  EXPECT_EQ(one.code, 2);
  EXPECT_NE(one.err.find(":16002: the row has 3 fields"), std::string::npos) << one.err;
  EXPECT_EQ(run("2", {}).err, one.err);
}

TEST_F(FsrankProgram, TypesAreInferredAndOverridden) {
  const std::string file = Write("d.csv", Dataset());
  Json report = RankJson(file, {"--target", "y"});
  auto types = [](const Json& r) {
    std::map<std::string, std::string> out;
    for (const Json& c : r["criteria"].items) {
      for (const Json& row : c["predictors"].items)
        out[row["name"].text] = row["type"].text;
    }
    for (const Json& row : r["screened"].items)
      out[row["name"].text] = row["type"].text;
    return out;
  };
  EXPECT_EQ(types(report),
            (std::map<std::string, std::string>{
                {"p", "categorical"}, {"noise", "categorical"}, {"x", "continuous"}}));
  EXPECT_EQ(report["target"]["type"].text, "categorical");

  report = RankJson(file, {"--target", "y", "--continuous", "noise", "--categorical", "x"});
  EXPECT_EQ(types(report)["noise"], "continuous");
  EXPECT_EQ(types(report)["x"], "categorical");

  // A numeric target with many values is continuous; few integers can be forced continuous.
  report = RankJson(file, {"--target", "x"});
  EXPECT_EQ(report["target"]["type"].text, "continuous");
  report = RankJson(file, {"--target", "noise", "--continuous", "noise"});
  EXPECT_EQ(report["target"]["type"].text, "continuous");
  EXPECT_FALSE(Criterion(report, "F-Statistic").IsNull());
}

TEST_F(FsrankProgram, LabelsAreRecodedSoMinusOneAndFractionsAreOrdinaryCategories) {
  // The same data with the predictor's categories called a/b/c and -1/2.5/-1.5, and the
  // target's called -1/2.5: every record must stay valid and the results must not change.
  const std::string plain = Write("plain.csv", Dataset());
  const std::string recoded = Write("odd.csv", Dataset({"2.5", "-1", "-1", "2.5", "-1.5"}));
  const Json a = RankJson(plain, {"--target", "y", "--categorical", "p"});
  const Json b = RankJson(recoded, {"--target", "y", "--categorical", "y,p"});
  EXPECT_EQ(b["records"]["valid"].number, 60);
  EXPECT_EQ(b["records"]["excluded"].number, 0);
  EXPECT_EQ(b["target"]["categories"][0]["label"].text, "-1");
  ExpectSameValues(a, b, 0);
}

TEST_F(FsrankProgram, MissingTokensAndUnparsableNumbers) {
  std::string text = "y,x,z\n";
  const char* xs[] = {"1.5", "NA", "?", "", "NaN", "abc", "2.75", "oops", "3.25", "4.5"};
  for (int k = 0; k < 40; ++k) {
    text +=
        std::string(k % 2 ? "a" : "b") + "," + xs[k % 10] + "," + std::to_string(k * 0.5) + "\n";
  }
  const std::string file = Write("m.csv", text);
  Result r = Rank(file, {"--target", "y", "--continuous", "x", "--format", "json"});
  ASSERT_EQ(r.code, 0) << r.err;
  // abc and oops on every tenth row: 8 values, the first on line 7.
  EXPECT_NE(r.err.find("column \"x\": 8 values are not a number and counted as missing (first on "
                       "line 7: \"abc\")"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("column \"z\""), std::string::npos) << r.err;

  // With only "?" as the missing token, NA, NaN and empty fields are not numbers either.
  r = Rank(file, {"--target", "y", "--continuous", "x", "--na", "?"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("column \"x\": 20 values are not a number and counted as missing (first "
                       "on line 3: \"NA\")"),
            std::string::npos)
      << r.err;
}

TEST_F(FsrankProgram, WeightsCountLikeRepeatedRows) {
  // A weighted file and the same data written out row by row must give the same ranking.
  std::string weighted = "w,y,p,x\n", repeated = "y,p,x\n";
  for (int k = 0; k < 30; ++k) {
    const int w = 1 + k % 3;
    const std::string row = std::string(k % 2 ? "a" : "b") + "," + std::to_string(k % 4 == 0) +
                            "," + std::to_string(k * 0.75 + (k % 2) * 3);
    weighted += std::to_string(w) + "," + row + "\n";
    for (int j = 0; j < w; ++j)
      repeated += row + "\n";
  }
  weighted += "0.4,a,1,1\n";  // rounds to 0: skipped
  weighted += "NA,b,0,2\n";   // no weight: skipped
  const Json a = RankJson(Write("w.csv", weighted), {"--target", "y", "--weight", "w"});
  const Json b = RankJson(Write("r.csv", repeated), {"--target", "y"});
  EXPECT_EQ(a["records"]["valid"].number, 30);
  EXPECT_EQ(a["records"]["weighted_valid"].number, 60);
  EXPECT_EQ(a["records"]["skipped"].number, 2);
  EXPECT_EQ(b["records"]["valid"].number, 60);
  ExpectSameValues(a, b, 1e-12);
  // As-is keeps the fractional weight.
  const Json asis =
      RankJson(Path("w.csv"), {"--target", "y", "--weight", "w", "--weight-conversion", "asis"});
  EXPECT_EQ(asis["records"]["weighted_valid"].number, 60.4);
  EXPECT_EQ(asis["records"]["skipped"].number, 1);
}

TEST_F(FsrankProgram, TableCsvAndJsonTellTheSameRanking) {
  const std::string file = Write("d.csv", Dataset());
  const Json json = RankJson(file, {"--target", "y"});
  const Result table = Rank(file, {"--target", "y"});
  const Result csv = Rank(file, {"--target", "y", "--format", "csv"});
  ASSERT_EQ(table.code, 0);
  ASSERT_EQ(csv.code, 0);
  std::size_t ranked_lines = 0;
  std::istringstream lines(csv.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line.rfind("section,criterion,rank,predictor", 0), 0u);
  std::size_t json_rows = 0;
  for (const Json& c : json["criteria"].items) {
    json_rows += c["predictors"].items.size();
    EXPECT_NE(table.out.find(c["name"].text + ": "), std::string::npos) << c["name"].text;
    const Json& best = c["predictors"][0];
    EXPECT_NE(csv.out.find("ranked," + c["name"].text + ",1," + best["name"].text + "," +
                           std::to_string(static_cast<int>(best["index"].number)) + ","),
              std::string::npos);
  }
  while (std::getline(lines, line))
    ranked_lines += line.rfind("ranked,", 0) == 0;
  EXPECT_EQ(ranked_lines, json_rows);
  EXPECT_NE(table.out.find("Records: 60 valid, 0 excluded"), std::string::npos) << table.out;
}

TEST_F(FsrankProgram, APValueOfOneIsZeroEvidenceNeverMinusZero) {
  // p has the same counts in both classes: X2 = G2 = 0 and p = 1 exactly; q's p is 0.92.
  std::string text = "y,p,q\n";
  for (int k = 0; k < 60; ++k)
    text += std::string(k % 2 ? "a" : "b") + "," + std::to_string(k / 2 % 3) + "," +
            std::to_string((k * k + k / 7) % 4) + "\n";
  const std::string file = Write("one.csv", text);
  const Result table = Rank(file, {"--target", "y", "--report", Path("r.html")});
  const Result csv = Rank(file, {"--target", "y", "--format", "csv"});
  const Result json = Rank(file, {"--target", "y", "--format", "json"});
  ASSERT_EQ(table.code, 0) << table.err;
  EXPECT_NE(table.out.find(" 1      0.00 "), std::string::npos) << table.out;
  EXPECT_NE(csv.out.find("categorical,1,0,X2,0,"), std::string::npos) << csv.out;
  EXPECT_NE(json.out.find("\"neg_log10_p\": 0.0"), std::string::npos) << json.out;
  for (const std::string& out : {table.out, json.out, Slurp(Path("r.html"))})
    EXPECT_EQ(out.find("-0.0"), std::string::npos) << out;
  EXPECT_EQ(csv.out.find(",-0,"), std::string::npos) << csv.out;
  // Weak evidence keeps a short bar: q's -log10 p of 0.04 is not drawn across the whole chart.
  const std::string html = Slurp(Path("r.html"));
  const std::size_t bar = html.find("width=\"", html.find("<rect", html.find("Pearson chart")));
  ASSERT_NE(bar, std::string::npos);
  EXPECT_LT(std::stod(html.substr(bar + 7)), 60.0) << html;
}

TEST_F(FsrankProgram, OptionsReachTheLibrary) {
  std::string text = "id,y,p,q,holes,gone,flat\n";
  for (int k = 0; k < 50; ++k) {
    text += std::to_string(1000 + k) + "," + std::to_string(k % 2) + "," + std::to_string(k % 3) +
            "," + std::to_string(k % 5) + "," + (k % 5 < 2 ? "" : std::to_string(k % 4)) + "," +
            (k < 45 ? "" : "1") + ",7\n";
  }
  const std::string file = Write("o.csv", text);
  Json r = RankJson(file, {"--target", "y", "--id", "id", "--top", "1"});
  EXPECT_EQ(r["predictors"]["total"].number, 5);  // the identifier is not ranked
  EXPECT_EQ(Criterion(r, "Pearson")["predictors"].items.size(), 1u);
  EXPECT_EQ(Criterion(r, "Pearson")["ranked"].number, 3);
  auto reasons = [](const Json& report) {
    std::map<std::string, std::string> out;
    for (const Json& s : report["screened"].items)
      out[s["name"].text] = s["reason"].text;
    return out;
  };
  EXPECT_EQ(reasons(r),
            (std::map<std::string, std::string>{{"gone", "allConst"}, {"flat", "allConst"}}));

  // 40% of "holes" is missing: kept by the default threshold of 70%, screened out at 30%, and
  // kept again when screening is off.
  r = RankJson(file, {"--target", "y", "--id", "id", "--max-missing", "30"});
  EXPECT_EQ(reasons(r)["holes"], "manyMissing");
  r = RankJson(file, {"--target", "y", "--id", "id", "--max-missing", "30", "--no-screen"});
  EXPECT_EQ(reasons(r).count("holes"), 0u);

  r = RankJson(file,
               {"--target", "y", "--id", "id", "--max-records", "20", "--criteria", "lambda,V"});
  EXPECT_EQ(r["records"]["valid"].number, 20);
  ASSERT_EQ(r["criteria"].items.size(), 2u);
  EXPECT_EQ(r["criteria"][0]["name"].text, "Cramer");
  EXPECT_EQ(r["criteria"][1]["name"].text, "Lambda");
}

TEST_F(FsrankProgram, ExportDocuments) {
  const std::string file = Write("d.csv", Dataset());
  const Result r = Rank(file, {"--target", "y", "--export-one", Path("one.xml"), "--criterion", "F",
                               "--export-all", Path("all.xml"), "--top", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string one = Slurp(Path("one.xml"));
  const std::string all = Slurp(Path("all.xml"));
  EXPECT_NE(one.find("<FSOutputOne"), std::string::npos) << one;
  EXPECT_NE(one.find("F-Statistic"), std::string::npos);
  EXPECT_NE(all.find("<FSOutputAll"), std::string::npos) << all;
  // The documents name predictors by index; the JSON report gives the same index.
  const Json report = RankJson(file, {"--target", "y"});
  const int best =
      static_cast<int>(Criterion(report, "F-Statistic")["predictors"][0]["index"].number);
  const auto at = one.find("predictorIndex=\"");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(std::atoi(one.c_str() + at + 16), best);
}

// Each mistake gives its exit code (1 for usage, 2 for input) and names the file and line.
TEST_F(FsrankProgram, ErrorsNameFileLineAndExitCode) {
  const std::string ragged = Write("ragged.csv", "y,a,b\n1,2,3\n\"x\ny\",2,3\n1,2\n");
  const std::string good = Write("good.csv", Dataset());
  const struct {
    std::string file;
    std::vector<std::string> args;
    int code;
    std::string message;
  } cases[] = {
      {ragged, {"--sample", "1"}, 2, ragged + ":5: the row has 2 fields but the header has 3"},
      {ragged, {}, 2, ragged + ":5:"},  // found while reading the sample
      {good, {"--categorical", "nosuch"}, 2, good + ":1: no column named \"nosuch\""},
      {Path("absent.csv"), {}, 2, "absent.csv: cannot open"},
      {Write("open.csv", "y,a\n1,\"never closed\n"),
       {},
       2,
       "open.csv:2: quoted field is not closed"},
      {Write("empty.csv", ""), {}, 2, "empty.csv: the file is empty"},
      {good,
       {"--criteria", "Cramer"},
       1,
       "Cramer is not available for a categorical target with categorical and continuous "
       "predictors"},
      {good, {"--criteria", "Pearson"}, 1, "F-Statistic cannot be left out"},
      {good, {"--criteria", "chi-square"}, 1, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--target", "y"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = Rank(c.file, args);
    EXPECT_EQ(r.code, c.code) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  Result r = Rank(good, {"--target", "nosuch"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find(good + ":1: no column named \"nosuch\""), std::string::npos) << r.err;
  EXPECT_EQ(Run({"rank", good}).code, 1);
  r = Run({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("130"), std::string::npos);
}

TEST_F(FsrankProgram, CtrlCCancelsThroughTheLibrary) {
  // The program reads from a pipe that the test keeps open, so it is certainly inside the data
  // pass when the signal arrives; the rows written afterwards let the library see the request.
  const std::string fifo = Path("pipe.csv");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int out = open(Path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(Path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    execl(FSRANK_PROGRAM, FSRANK_PROGRAM, "rank", fifo.c_str(), "--target", "y", "--sample", "5",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  FILE* pipe = std::fopen(fifo.c_str(), "w");
  ASSERT_NE(pipe, nullptr);
  std::fputs("y,a,b\n", pipe);
  for (int k = 0; k < 50; ++k)
    std::fprintf(pipe, "%d,%d,%d\n", k % 2, k % 3, k % 5);
  std::fflush(pipe);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(kill(child, SIGINT), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (int k = 0; k < 50; ++k)
    std::fprintf(pipe, "%d,%d,%d\n", k % 2, k % 3, k % 5);
  std::fclose(pipe);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_NE(Slurp(Path("stderr")).find("fsrank: cancelled"), std::string::npos)
      << Slurp(Path("stderr"));
  EXPECT_EQ(Slurp(Path("stdout")), "");
}

TEST_F(FsrankProgram, CreditTableFitsAHundredColumns) {
  const Result r = Rank(std::string(FSRANK_EXAMPLES_DIR) + "/credit-g.csv", {"--target", "class"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::istringstream lines(r.out);
  std::string line;
  std::size_t count = 0;
  while (std::getline(lines, line)) {
    std::size_t width = 0;
    for (const char c : line)
      width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    EXPECT_LE(width, 100u) << line;
    ++count;
  }
  EXPECT_GT(count, 20u);
  EXPECT_NE(r.out.find("Records: 1,000 valid, 0 excluded"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("checking_status"), std::string::npos);
}

}  // namespace
