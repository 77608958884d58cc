// Status values, the missing value and records.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "fsrank/fsrank.h"

using NQCommon::Record;
using NQFeature::NQStatus;

TEST(NQStatus, SeverityAndEqualityOfEveryField) {
  NQStatus warning(NQFeature::StatusFewerPredictors, true),
      error(NQFeature::StatusCancelled, false);
  EXPECT_TRUE(warning.IsWarning() && !warning.IsError() && !warning.IsOK());
  EXPECT_TRUE(error.IsError() && NQStatus().IsOK());
  EXPECT_EQ(error.GetErrorCode(), 1);
  EXPECT_EQ(NQStatus().GetErrorCode(), 0);
  EXPECT_NE(NQStatus(80012, true), NQStatus(80012, false));
  NQStatus a(80007, false), b(80007, false);
  a.SetDiscreteDatum(2, 17);
  EXPECT_NE(a, b);
  b.SetDiscreteDatum(2, 17);
  EXPECT_EQ(a, b);
  a.SetScaleDatum(1, 0.5);
  EXPECT_NE(a, b);
  const NQStatus copy = a;
  EXPECT_EQ(copy, a);
  EXPECT_EQ(copy.GetScaleDatum(1), 0.5);
}

TEST(NQMV, MissingIsMinusTheLargestDouble) {
  const double m = NQMV::Missing();
  std::uint64_t bits;
  std::memcpy(&bits, &m, sizeof bits);
  EXPECT_EQ(bits, 0xFFEFFFFFFFFFFFFFull);
  EXPECT_TRUE(NQMV::IsMissing(gMissingValue));
  for (double x : {std::nan(""), 0.0, -std::numeric_limits<double>::infinity()})
    EXPECT_FALSE(NQMV::IsMissing(x)) << x;
}

TEST(Record, SizesCopiesAndResizes) {
  const struct { int asked, size; } sizes[] = {{3, 3}, {-3, 1}, {0, 0}};
  for (const auto& c : sizes) {
    Record r(c.asked);
    EXPECT_EQ(r.Size(), c.size) << c.asked;
    for (int i = 0; i < c.size; ++i)
      EXPECT_EQ(r[i], 0.0);
    EXPECT_EQ(r.GetAll() == nullptr, c.size == 0);
  }
  EXPECT_EQ(Record().Size(), 2);
  Record a(3);
  a[0] = 1.5, a[1] = -2.0, a[2] = NQMV::Missing();
  Record b(a), c(5);
  c = a;
  Record& alias = c;
  c = alias;  // self-assignment keeps everything
  for (const Record* r : {&b, &c}) {
    ASSERT_EQ(r->Size(), 3);
    EXPECT_EQ((*r)[0], 1.5);
    EXPECT_EQ((*r)[2], NQMV::Missing());
  }
  Record empty(0);
  EXPECT_EQ(Record(empty).Size(), 0);
  c = empty;
  EXPECT_EQ(c.Size(), 0);
  EXPECT_TRUE(a.Resize(3));
  EXPECT_EQ(a[1], -2.0);  // same size keeps the values
  EXPECT_TRUE(a.Resize(6));
  EXPECT_EQ(a.Size(), 6);
  EXPECT_TRUE(a.Resize(-4));
  EXPECT_EQ(a.Size(), 0);
  EXPECT_EQ(a.GetAll(), nullptr);
}
