// Progress reports, the reporting countdown and the cancel state.
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/hosts.h"
#include "core/cancel_state.h"
#include "core/progress_ticker.h"
#include "fsrank/fsrank.h"

using testhosts::RecordingListener;
using CountingCancel = testhosts::CancelAt;

TEST(FSReporter, Measures) {
  FSReporter r(0, -1, 0.0);
  r.SetNRecords(12, 3.5);
  EXPECT_EQ(r.DiscreteMeasure("records"), 12);
  EXPECT_EQ(r.DiscreteMeasure("predictors"), -1);
  EXPECT_EQ(r.DiscreteMeasure("elapsedTime"), -1);
  EXPECT_EQ(r.ScaleMeasure("elapsedTime"), 3.5);
  EXPECT_TRUE(NQMV::IsMissing(r.ScaleMeasure("records")));
  r.SetNPredictors(4, 1.0);
  EXPECT_EQ(r.DiscreteMeasure("records"), -1);
  EXPECT_EQ(FSReporter(r).DiscreteMeasure("predictors"), 4);
}

TEST(FSProgressTicker, ReportsAfterEverySkipPlusOneItems) {
  struct Case {
    int skip;
    int items;
    FSProgressTicker::Measure measure;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {0, 3, FSProgressTicker::Measure::Records, {1, 2, 3}},
      {2, 7, FSProgressTicker::Measure::Predictors, {3, 6}},
      {2, 9, FSProgressTicker::Measure::Records, {3, 6, 9}},
      {99, 250, FSProgressTicker::Measure::Records, {100, 200}},
  };
  FSProgressTicker silent(nullptr, 0, FSProgressTicker::Measure::Records, 0.0);
  silent.Tick(1);  // no listener: nothing to dereference
  for (const Case& c : cases) {
    RecordingListener listener;
    FSProgressTicker ticker(&listener, c.skip, c.measure, 0.0);
    for (int n = 1; n <= c.items; ++n)
      ticker.Tick(n);
    const bool records = c.measure == FSProgressTicker::Measure::Records;
    const std::vector<int> none(c.expected.size(), -1);
    EXPECT_EQ(listener.records, records ? c.expected : none) << "skip " << c.skip;
    EXPECT_EQ(listener.predictors, records ? none : c.expected) << "skip " << c.skip;
    for (double t : listener.elapsed)
      EXPECT_GE(t, 0.0);
  }
}

TEST(FSCancelState, AsksTheHostOnlyUntilCancelled) {
  CountingCancel host(2);
  FSCancelState state(&host);
  EXPECT_FALSE(state.IsCancelled());
  EXPECT_TRUE(state.IsCancelled());
  EXPECT_TRUE(state.IsCancelled());
  EXPECT_EQ(host.asked, 2);
  CountingCancel never(1000);
  state.SetQuery(&never);  // a new object does not undo the cancellation
  EXPECT_TRUE(state.IsCancelled());
  EXPECT_EQ(never.asked, 0);
  FSCancelState asked(&never);
  EXPECT_FALSE(asked.IsCancelled());
  asked.Cancel();  // stops asking the host
  EXPECT_TRUE(asked.IsCancelled());
  EXPECT_EQ(never.asked, 1);
  FSCancelState none;
  EXPECT_FALSE(none.IsCancelled());
}

TEST(FSCancelState, CancelFromAnotherThreadIsSeenByThePollingThread) {
  FSCancelState state;
  std::atomic<bool> polling{false};
  long polls = 0;
  std::thread worker([&] {
    polling.store(true);
    while (!state.IsCancelled())
      ++polls;
  });
  while (!polling.load())
    std::this_thread::yield();
  state.Cancel();
  worker.join();
  EXPECT_TRUE(state.WasCancelled());
  EXPECT_GE(polls, 0);  // keeps the loop from being optimised away
}
