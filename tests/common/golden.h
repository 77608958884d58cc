// Expected texts kept as data files under tests/data (displays in goldens/, result documents in
// results/), each holding exactly the text the code must write. With FSRANK_UPDATE_GOLDEN=1 in
// the environment a mismatch rewrites the file instead of failing (review the diff before
// committing it).
#ifndef FSRANK_TESTS_COMMON_GOLDEN_H
#define FSRANK_TESTS_COMMON_GOLDEN_H

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

// What an object's Display writes.
template <class T>
std::string Shown(const T& object) {
  std::ostringstream os;
  object.Display(os);
  return os.str();
}

// Each (file under tests/data, text written) pair against its file.
inline void ExpectGoldens(const std::vector<std::pair<std::string, std::string>>& cases) {
  for (const auto& [name, actual] : cases) {
    const std::string path = std::string(FSRANK_TEST_DATA_DIR) + "/" + name;
    std::ifstream in(path, std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (expected != actual && std::getenv("FSRANK_UPDATE_GOLDEN") != nullptr) {
      std::ofstream(path, std::ios::binary) << actual;
      continue;
    }
    EXPECT_TRUE(in.is_open()) << path;
    EXPECT_EQ(actual, expected) << path;
  }
}

#endif  // FSRANK_TESTS_COMMON_GOLDEN_H
