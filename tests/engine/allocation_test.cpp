// The record pass allocates nothing per record once the categories are known: a pass over 40
// times as many records makes exactly as many allocations as a short one.
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "engine/support/hosts.h"

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};

void* CountedAlloc(std::size_t size) {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

// Allocations made by f.
template <class F>
long CountAllocations(F f) {
  gAllocations = 0;
  gCounting = true;
  f();
  gCounting = false;
  return gAllocations.load();
}

}  // namespace

void* operator new(std::size_t size) {
  return CountedAlloc(size);
}
void* operator new[](std::size_t size) {
  return CountedAlloc(size);
}
// The nothrow forms too, so that every allocation of the program pairs with these deletes.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return CountedAlloc(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return CountedAlloc(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

TEST(RecordPassAllocation, NoAllocationPerRecord) {
  for (bool catTarget : {true, false}) {
    SCOPED_TRACE(catTarget);
    // Two categorical and two continuous predictors, a weight column and a listener.
    FSSettings s(std::vector<bool>{true, false, true, false}, catTarget);
    s.SetTargetPosition(0);
    s.SetWeightPosition(5);
    enginetest::RecordingListener listener;
    s.SetProgressListener(&listener);
    s.SetNSkippedRecordReports(9);
    enginetest::Rows rows;
    for (int i = 0; i < 400; ++i) {
      rows.push_back({static_cast<double>(i % 3), static_cast<double>(i % 4), i * 0.5,
                      static_cast<double>(i % 5), i % 7 == 0 ? enginetest::kMiss : -i * 0.25,
                      1.0 + i % 2});
    }
    FSCancelState cancel;
    FSPredictorSet e(&s, &cancel);
    enginetest::RowIterator warmUp(rows);
    ASSERT_TRUE(e.AccumulateRecords(warmUp, -1).IsOK());  // every category now exists
    listener.records.reserve(1000);
    listener.predictors.reserve(1000);
    listener.elapsed.reserve(1000);

    enginetest::RowIterator shortPass(rows);
    enginetest::RowIterator longPass(rows);
    const long few = CountAllocations([&] { e.AccumulateRecords(shortPass, 10); });
    const long many = CountAllocations([&] { e.AccumulateRecords(longPass, -1); });
    EXPECT_EQ(many, few);
    // Per pass only: the column plan and the kernels' state (a few arrays per predictor).
    EXPECT_LE(few, 60);
  }
}
