// The int counts of a restored engine near the int range: passes stop and merges are refused
// before a count could overflow; negative counts are refused on restore.
#include <climits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "common/state_files.h"
#include "engine/support/hosts.h"

using namespace enginetest;

namespace {

// Each count is 2 after these rows ("target predictor"; one case per row in transaction form).
const Rows kRows = ParseRows("0 1; 0 2; m 1; m 2;");
const Rows kCases = ParseRows("1 0 1 0; 2 0 2 0; 3 0 1 m; 4 0 1 m;");

// Restores into engine the state of the rows with the count at place set to value (0 valid,
// 1 excluded, 2 target category 0, 3 the predictor's valid values); the restore's messages.
std::string Craft(TestEngine& engine, FSSettings& settings, int place, int value) {
  TestEngine plain(settings);
  RowIterator rows(settings.GetFlagTrInput() ? kCases : kRows);
  settings.GetFlagTrInput() ? plain.AccumulateTransactions(rows)
                            : plain.AccumulateRecords(rows, -1);
  const std::string chunk = Chunk(plain);
  std::ostringstream extra;
  plain.WriteAdditions(extra);
  std::string state = chunk + extra.str();
  const std::size_t at[] = {61, 65, chunk.rfind("FSMII") + 13, state.size() - 4};
  state.replace(at[place], 4, Int(value));
  ScratchFile file;
  return ReadFailure([&] {
    std::fstream& in = file.Binary(state);
    engine.ReadObject(in, &settings);
    engine.ReadAdditions(in);
  });
}

}  // namespace

TEST(CountLimits, PassesStopMergesAreRefusedAndNegativesAreNotRestored) {
  const char* classes[] = {"FSPredictorSet", "FSPredictorSet", "FSMapIPCnt", "FSStateExtra"};
  for (bool transactions : {false, true}) {
    FSSettings settings = TargetFirst(Types("c"), true);
    settings.SetFlagTrInput(transactions);
    for (int place = 0; place < 4; ++place) {
      TestEngine negative(settings);
      EXPECT_EQ(Craft(negative, settings, place, -1),
                std::string("Error reading ") + classes[place] + "!\n");
      for (int room : {1, 2}) {
        TestEngine engine(settings), plain(settings);
        ASSERT_EQ(Craft(engine, settings, place, INT_MAX - room), "<no exception>");
        Craft(plain, settings, place, 2);
        EXPECT_EQ(engine.CheckMerge(plain).GetErrorCode(), room == 1 ? 80110 : 0) << place;
        EXPECT_EQ(plain.CheckMerge(engine).GetErrorCode(), room == 1 ? 80110 : 0) << place;
        RowIterator rows(transactions ? kCases : kRows);
        const NQFeature::NQStatus status =
            transactions ? engine.AccumulateTransactions(rows) : engine.AccumulateRecords(rows, -1);
        EXPECT_EQ(status.GetErrorCode(), 80110) << place;
        EXPECT_EQ(status.GetDiscreteDatum(0), room + 1) << place;
      }
    }
  }
}
