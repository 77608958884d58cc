// The console examples of the README, run as written: each "$ " line (with its "\"
// continuation lines) runs in bash in one scratch directory, in order, with the built fsrank
// first on PATH and the repository's examples/ beside it, and what it prints (standard output
// and error) must be the lines that follow it in the README, where a line "..." stands for any
// number of lines.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using namespace fsrank_e2e;

struct Example {
  int line = 0;  // of the "$ " line in the README
  std::string command;
  std::vector<std::string> expected;
};

std::vector<Example> ConsoleExamples(const std::string& readme) {
  std::vector<Example> examples;
  std::istringstream in(readme);
  std::string line;
  bool inside = false, continued = false;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.rfind("```", 0) == 0) {
      inside = !inside && line == "```console";
      continue;
    }
    if (!inside) continue;
    if (continued) {
      examples.back().command += "\n" + line;
    } else if (line.rfind("$ ", 0) == 0) {
      examples.push_back({number, line.substr(2), {}});
    } else if (!examples.empty()) {
      examples.back().expected.push_back(line);
    }
    continued = (continued || line.rfind("$ ", 0) == 0) && !line.empty() && line.back() == '\\';
  }
  return examples;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line, expanded;
  while (std::getline(in, line)) {
    expanded.clear();
    for (const char c : line) {  // tabs (jq's @tsv) as a terminal shows them
      if (c == '\t') {
        expanded.append(8 - expanded.size() % 8, ' ');
      } else {
        expanded.push_back(c);
      }
    }
    lines.push_back(expanded);
  }
  return lines;
}

// Whether `actual` from line a on matches `expected` from line e on; "..." matches any run.
bool Matches(const std::vector<std::string>& expected, std::size_t e,
             const std::vector<std::string>& actual, std::size_t a) {
  if (e == expected.size()) return a == actual.size();
  if (expected[e] == "...") {
    for (std::size_t skip = a; skip <= actual.size(); ++skip) {
      if (Matches(expected, e + 1, actual, skip)) return true;
    }
    return false;
  }
  return a < actual.size() && actual[a] == expected[e] && Matches(expected, e + 1, actual, a + 1);
}

class FsrankReadme : public FsrankProgram {};

TEST_F(FsrankReadme, ConsoleExamplesRunAsWritten) {
  const std::vector<Example> examples = ConsoleExamples(Slurp(FSRANK_README));
  ASSERT_GE(examples.size(), 8u);
  std::system(
      ("ln -s " + ShellQuote(FSRANK_EXAMPLES_DIR) + " " + ShellQuote(Path("examples"))).c_str());
  const std::string program = FSRANK_PROGRAM;
  const std::string bin = program.substr(0, program.rfind('/'));
  int last = 0;
  for (const Example& example : examples) {
    SCOPED_TRACE("README.md:" + std::to_string(example.line) + ": " + example.command);
    // `$?` in a command is the exit code of the one before it, as in the reader's shell.
    std::ofstream(Path("command.sh")) << "cd " << ShellQuote(dir_) << " && PATH=" << ShellQuote(bin)
                                      << ":\"$PATH\" && (exit " << last << ")\n"
                                      << example.command << "\n";
    const int status = std::system(
        ("bash " + ShellQuote(Path("command.sh")) + " >" + ShellQuote(Path("output")) + " 2>&1")
            .c_str());
    last = WEXITSTATUS(status);
    const std::string output = Slurp(Path("output"));
    EXPECT_TRUE(Matches(example.expected, 0, Lines(output), 0)) << output;
  }
}

}  // namespace
