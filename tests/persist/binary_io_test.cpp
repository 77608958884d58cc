// The binary primitives: byte images, round trips, the tag check with its message and
// impossible counts. Field lists and streams ending inside a chunk are the whole-state tests'
// (every class saved and read back, every truncation of every saved state refused).
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/state_files.h"
#include "fsrank/missing.h"
#include "fsrank/status.h"
#include "persist/binary_io.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values)
    out += static_cast<char>(v);
  return out;
}

// A stream buffer that cannot seek, like a pipe.
class PipeBuffer : public std::streambuf {
 public:
  explicit PipeBuffer(std::string data) : fData(std::move(data)) {
    setg(&fData[0], &fData[0], &fData[0] + fData.size());
  }

 private:
  std::string fData;
};

}  // namespace

TEST(BinaryEncoding, ByteImageIsLittleEndianAndEveryPrimitiveRoundTrips) {
  const std::int32_t ints[] = {1, -2, INT_MIN, 0, 123456789, INT_MAX};
  const double doubles[] = {1.0,
                            NQMV::Missing(),
                            -0.0,
                            -2.5e-300,
                            std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
  std::stringstream s;
  FSBinaryWriter out(s);
  out.WriteTag("FSSet");
  for (auto v : ints)
    out.WriteInt(v);
  out.WriteBool(true);
  out.WriteBool(false);
  for (double x : doubles)
    out.WriteDouble(x);
  out.WritePadding(2);
  EXPECT_EQ(out.Bytes(), 5 + 6 * 4 + 2 * 4 + 7 * 8 + 2);
  const std::string image = s.str();
  EXPECT_EQ(image.substr(0, 17),
            "FSSet" + Bytes({1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80}));
  EXPECT_EQ(image.substr(37, 16),
            Bytes({0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xFF}));
  EXPECT_EQ(image.substr(image.size() - 2), Bytes({0, 0}));
  FSBinaryReader in(s, "FSCatAccum");
  in.ReadTag("FSSet");
  for (auto v : ints)
    EXPECT_EQ(in.ReadInt(), v);
  EXPECT_TRUE(in.ReadBool());
  EXPECT_FALSE(in.ReadBool());
  for (double x : doubles)
    EXPECT_EQ(BitsOf(in.ReadDouble()), BitsOf(x)) << x;
  EXPECT_EQ(in.Bytes(), out.Bytes() - 2);
}

TEST(BinaryEncoding, OnlyAStoredOneIsTrue) {
  const struct {
    std::int32_t stored;
    bool read;
  } cases[] = {{1, true}, {0, false}, {2, false}, {-1, false}, {256 + 1, false}};
  for (const auto& c : cases) {
    std::stringstream s;
    FSBinaryWriter(s).WriteInt(c.stored);
    FSBinaryReader in(s, "X");
    EXPECT_EQ(in.ReadBool(), c.read) << c.stored;
  }
}

TEST(BinaryEncoding, WrongTagGivesTheClassMessageAndAnIOExceptionButMatchTagIsSilent) {
  for (const char* stored : {"FSSeT", "GSSet", "FSSe", ""}) {
    std::stringstream s(std::string(stored) + std::string(8, '\0'));
    EXPECT_EQ(ReadFailure([&] { ReadTag(s, "FSSet", "FSSettings"); }),
              "Error reading FSSettings!\n")
        << stored;
  }
  testing::internal::CaptureStderr();
  std::stringstream good("FSSet"), right("FSAlgorithm 1.00"), wrong("FSAlgorithm 1.01"),
      shorter("FSAlg");
  EXPECT_EQ(ReadTag(good, "FSSet", "FSSettings"), 5);
  EXPECT_TRUE(MatchTag(right, "FSAlgorithm 1.00"));
  EXPECT_FALSE(MatchTag(wrong, "FSAlgorithm 1.00"));
  EXPECT_FALSE(MatchTag(shorter, "FSAlgorithm 1.00"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A huge count on a stream that cannot seek (a pipe) must grow only as it reads.
TEST(BinaryEncoding, ImpossibleCountsFailBeforeAllocating) {
  const struct {
    const char* what;
    std::int32_t count;
    int payloadBytes;
    bool pipe, ok;
  } cases[] = {
      {"negative", -1, 64, false, false},           {"most negative", INT_MIN, 64, false, false},
      {"huge", INT_MAX, 64, false, false},          {"one more than fits", 9, 64, false, false},
      {"exactly fits", 8, 64, false, true},         {"empty", 0, 0, false, true},
      {"huge on a pipe", INT_MAX, 16, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::stringstream image;
    FSBinaryWriter out(image);
    out.WriteInt(c.count);
    out.WritePadding(c.payloadBytes);
    PipeBuffer pipe(image.str());
    std::istream piped(&pipe);
    std::istream& s = c.pipe ? piped : image;
    if (c.pipe) {
      EXPECT_EQ(RemainingBytes(s), -1);
    }
    std::vector<double> values;
    FSBinaryReader in(s, "FSMapICnt");
    if (c.ok) {
      in.Vector(values);
      EXPECT_EQ(static_cast<int>(values.size()), c.count);
    } else {
      EXPECT_EQ(ReadFailure([&] { in.Vector(values); }), "Error reading FSMapICnt!\n");
      EXPECT_LE(values.capacity(), 4096u);
    }
  }
}

TEST(BinaryEncoding, RemainingBytesLeavesThePositionAlone) {
  std::stringstream s("abcdefgh");
  s.get();
  s.get();
  EXPECT_EQ(RemainingBytes(s), 6);
  EXPECT_EQ(s.get(), 'c');
  EXPECT_EQ(BoundedReserve(-5), 0u);
  EXPECT_EQ(BoundedReserve(12), 12u);
  EXPECT_EQ(BoundedReserve(INT_MAX), 4096u);
}
