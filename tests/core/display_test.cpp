// The shared display routines.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
  EXPECT_EQ(os.str(),
            "Empty: <empty>\n"
            "Types (1 element): \n  true \n"
            "Types (3 elements): \n  true  false   true \n"
            "Ints (12 elements): \n"
            "          1           2           3           4           5           6"
            "           7           8           9          10 \n"
            "         11          12 \n"
            "Values (3 elements): \n  0.3333333 <missing>        -2.5 \n"
            "All categorical\nMixed\nUnrecognized\nUnrecognized\n"
            "Criterion value = <missing>\n1st tie-breaking value = 0.25\n");
}
