// What the end-to-end tests share: running the built program with its output captured, and the
// scratch directory each test writes its files into.
#ifndef FSRANK_TOOLS_TESTS_E2E_HARNESS_H
#define FSRANK_TOOLS_TESTS_E2E_HARNESS_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "json_reader.h"

namespace fsrank_e2e {

using fsrank_cli::Json;
using fsrank_cli::ParseJson;

// ---------------------------------------------------------------------------------------------
struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string ShellQuote(const std::string& arg) {
  std::string out = "'";
  for (const char c : arg) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

class FsrankProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = ::testing::TempDir() + "fsrank_e2e_" + info->test_suite_name() + "_" + info->name() +
           "_" + std::to_string(getpid());
    std::system(("rm -rf " + ShellQuote(dir_) + " && mkdir -p " + ShellQuote(dir_)).c_str());
  }
  void TearDown() override {
    if (!HasFailure()) std::system(("rm -rf " + ShellQuote(dir_)).c_str());
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }

  // Runs `fsrank ARGS...` with output captured in files; an argument "<" redirects standard
  // input from the next.
  Result Run(std::vector<std::string> args) const {
    std::string command = ShellQuote(FSRANK_PROGRAM);
    for (const std::string& arg : args)
      command += arg == "<" ? " <" : " " + ShellQuote(arg);
    command += " >" + ShellQuote(Path("stdout")) + " 2>" + ShellQuote(Path("stderr"));
    const int status = std::system(command.c_str());
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(Path("stdout"));
    r.err = Slurp(Path("stderr"));
    return r;
  }
  Result Rank(const std::string& file, std::vector<std::string> args) const {
    args.insert(args.begin(), {"rank", file});
    return Run(args);
  }
  Json RankJson(const std::string& file, std::vector<std::string> args) const {
    args.insert(args.end(), {"--format", "json"});
    const Result r = Rank(file, args);
    EXPECT_EQ(r.code, 0) << r.err;
    try {
      return ParseJson(r.out);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "not JSON (" << e.what() << "):\n" << r.out;
      return Json();
    }
  }

  std::string dir_;
};

}  // namespace fsrank_e2e

#endif  // FSRANK_TOOLS_TESTS_E2E_HARNESS_H
