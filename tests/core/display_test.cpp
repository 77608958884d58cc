// The shared display routines.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/golden.h"
#include "core/display.h"
#include "fsrank/fsrank.h"

// Each printer's output for a few inputs; the double printer restores the stream's precision.
TEST(DisplayRoutines, Texts) {
  std::vector<int> twelve;
  for (int i = 1; i <= 12; ++i)
    twelve.push_back(i);
  std::ostringstream os;
  os.precision(3);
  DisplayVector(os, "Empty", std::vector<int>{});
  DisplayVector(os, "Types", std::vector<bool>{true});
  DisplayVector(os, "Types", std::vector<bool>{true, false, true});
  DisplayVector(os, "Ints", twelve);
  DisplayVector(os, "Values", std::vector<double>{1.0 / 3.0, NQMV::Missing(), -2.5});
  EXPECT_EQ(os.precision(), 3);
  for (int type : {0, 2, 3, -1})
    DisplaySetType(os, type);
  DisplayNamedValue(os, "Criterion value", NQMV::Missing());
  DisplayNamedValue(os, "1st tie-breaking value", 0.25);
  ExpectGoldens({{"goldens/display_routines.txt", os.str()}});
}
