// The seed corpora and regression inputs of the program's reader fuzzers, replayed on every
// `make test` through the same exercise as the fuzzers (an abort fails the test binary).
#include <dirent.h>

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "csv_reader_exercise.h"
#include "tool_readers_exercise.h"

namespace {

int Replay(const std::string& name, void (*exercise)(const std::string&)) {
  int files = 0;
  for (const char* dir : {"corpus", "regression"}) {
    const std::string path = std::string(FSRANK_SOURCE_DIR) + "/fuzz/" + dir + "/" + name;
    DIR* d = opendir(path.c_str());
    if (d == nullptr) continue;
    while (const dirent* entry = readdir(d)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream in(path + "/" + entry->d_name, std::ios::binary);
      std::ostringstream text;
      text << in.rdbuf();
      SCOPED_TRACE(entry->d_name);
      exercise(text.str());
      ++files;
    }
    closedir(d);
  }
  return files;
}

TEST(FuzzInputs, ReplayThroughTheReaders) {
  EXPECT_GT(Replay("long", fsfuzz::ExerciseLongReader), 0);
  EXPECT_GT(Replay("sidecar", fsfuzz::ExerciseSidecar), 0);
  EXPECT_GT(Replay("csv", fsfuzz::ExerciseCsvReader), 0);
}

}  // namespace
