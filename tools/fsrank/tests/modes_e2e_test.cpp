// End to end through the program's other modes: the check without a target, saved state and
// resumed runs, and the long form.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using namespace fsrank_e2e;

class FsrankModes : public FsrankProgram {};

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
  EXPECT_EQ(reasons, (std::map<std::string, std::string>{{"fine", ""},
                                                         {"spread", "smallStdDev"},
                                                         {"gone", "manyMissing"},
                                                         {"dominant", "manyConst"},
                                                         {"ids", "manyCategs"},
                                                         {"tight", "smallStdDev smallVar"},
                                                         {"holes", "manyMissing manyConst"}}));
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

}  // namespace
