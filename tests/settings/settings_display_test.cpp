// The settings display, against its golden texts.
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "common/golden.h"
#include "fsrank/fsrank.h"

TEST(FSSettingsDisplay, Goldens) {
  FSSettings s(3, false, false);
  s.SetTargetPosition(-1);
  s.SetCaseIDPosition(2);
  s.SetWeightPosition(1);
  s.SetWeightConv(NQFSCommon::WeightTruncate);
  s.SetFlagTrInput(true);
  s.SetFlagDeleteIfManyMiss(false);
  const std::string positions = Shown(s);
  s.SetWeightConv(static_cast<NQFSCommon::WeightToFreq>(7));
  ExpectGoldens({{"goldens/settings_default.txt", Shown(FSSettings())},
                 {"goldens/settings_positions.txt", positions},
                 {"goldens/settings_unknown_conversion.txt", Shown(s)}});
  // The exact-tails line shows only when the flag is on, just before the end.
  const std::string off = Shown(s);
  s.SetFlagExactTails(true);
  const std::string line = "P-values are upper tails computed directly\n";
  EXPECT_EQ(off.find("P-values"), std::string::npos);
  EXPECT_EQ(Shown(s), off.substr(0, off.rfind("End")) + line + off.substr(off.rfind("End")));
}
