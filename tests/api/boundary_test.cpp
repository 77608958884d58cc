// Status values, the missing value and records.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "fsrank/fsrank.h"

using NQCommon::Record;
using NQFeature::NQStatus;

TEST(NQStatus, SeverityFollowsTheConstructorFlag) {
  NQStatus warning(NQFeature::StatusFewerPredictors, true);
  EXPECT_TRUE(warning.IsWarning());
  EXPECT_FALSE(warning.IsError());
  EXPECT_FALSE(warning.IsOK());
  NQStatus error(NQFeature::StatusCancelled, false);
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(error.GetErrorCode(), 1);
  NQStatus ok;
  EXPECT_TRUE(ok.IsOK());
  EXPECT_EQ(ok.GetErrorCode(), 0);
}

TEST(NQStatus, EqualityComparesEveryField) {
  EXPECT_EQ(NQStatus(), NQStatus());
  EXPECT_NE(NQStatus(80012, true), NQStatus(80012, false));
  NQStatus a(80007, false), b(80007, false);
  a.SetDiscreteDatum(2, 17);
  EXPECT_NE(a, b);
  b.SetDiscreteDatum(2, 17);
  EXPECT_EQ(a, b);
  a.SetScaleDatum(1, 0.5);
  EXPECT_NE(a, b);
  NQStatus copy = a;
  EXPECT_EQ(copy, a);
  EXPECT_EQ(copy.GetDiscreteDatum(2), 17);
  EXPECT_EQ(copy.GetScaleDatum(1), 0.5);
}

TEST(NQMV, MissingIsMinusTheLargestDouble) {
  const double m = NQMV::Missing();
  std::uint64_t bits;
  std::memcpy(&bits, &m, sizeof bits);
  EXPECT_EQ(bits, 0xFFEFFFFFFFFFFFFFull);
  EXPECT_TRUE(NQMV::IsMissing(gMissingValue));
  EXPECT_FALSE(NQMV::IsMissing(std::nan("")));
  EXPECT_FALSE(NQMV::IsMissing(0.0));
  EXPECT_FALSE(NQMV::IsMissing(-std::numeric_limits<double>::infinity()));
}

TEST(Record, SizesAndInitialValues) {
  Record three(3);
  EXPECT_EQ(three.Size(), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(three[i], 0.0);
  Record negative(-3);
  EXPECT_EQ(negative.Size(), 1);
  EXPECT_EQ(negative[0], 0.0);
  Record empty(0);
  EXPECT_EQ(empty.Size(), 0);
  EXPECT_EQ(empty.GetAll(), nullptr);
  Record defaulted;
  EXPECT_EQ(defaulted.Size(), 2);
}

TEST(Record, CopyAndAssignment) {
  Record a(3);
  a[0] = 1.5, a[1] = -2.0, a[2] = NQMV::Missing();
  Record b(a);
  ASSERT_EQ(b.Size(), 3);
  EXPECT_EQ(b[2], NQMV::Missing());
  Record c(5);
  c = a;
  ASSERT_EQ(c.Size(), 3);
  EXPECT_EQ(c[0], 1.5);
  Record& alias = c;
  c = alias;  // self-assignment keeps everything
  EXPECT_EQ(c[1], -2.0);
  Record empty(0);
  Record fromEmpty(empty);
  EXPECT_EQ(fromEmpty.Size(), 0);
  c = empty;
  EXPECT_EQ(c.Size(), 0);
}

TEST(Record, Resize) {
  Record r(2);
  r[0] = 4.0, r[1] = 5.0;
  EXPECT_TRUE(r.Resize(2));
  EXPECT_EQ(r[0], 4.0);
  EXPECT_EQ(r[1], 5.0);
  EXPECT_TRUE(r.Resize(6));
  EXPECT_EQ(r.Size(), 6);
  EXPECT_TRUE(r.Resize(-4));
  EXPECT_EQ(r.Size(), 0);
  EXPECT_EQ(r.GetAll(), nullptr);
}
