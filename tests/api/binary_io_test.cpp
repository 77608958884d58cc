// The binary primitives: byte images, round trips on a file stream, the tag check with its
// message, short streams and impossible counts.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "api/binary_io.h"
#include "fsrank/missing.h"
#include "fsrank/status.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values)
    out += static_cast<char>(v);
  return out;
}

std::uint64_t BitsOf(double x) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

// Runs f, expects an IOException by pointer (deleted here) and returns what went to stderr.
template <class F>
std::string ExpectReadError(F f) {
  testing::internal::CaptureStderr();
  bool thrown = false;
  try {
    f();
  } catch (NQFeature::IOException* e) {
    thrown = true;
    delete e;
  }
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(thrown);
  return message;
}

enum class Kind { A = 0, B = 7 };

// A persistent shape that lists its fields once for both directions, as the real classes do.
struct Entry {
  int key = 0;
  int count = 0;
  double weight = 0.0;
};

struct Sample {
  int n = 0;
  long l = 0;
  bool flag = false;
  double x = 0.0;
  Kind kind = Kind::A;
  std::vector<double> values;
  std::vector<Entry> entries;

  template <class IO, class Self>
  static void Fields(IO& io, Self& self) {
    io.Tag("SAMPL");
    io.Field(self.n);
    io.Field(self.l);
    io.Field(self.flag);
    io.Field(self.x);
    io.Field(self.kind);
    io.Vector(self.values);
    io.Sequence(self.entries, 20, [](auto& sub, auto& e) {
      sub.Field(e.key);
      sub.Field(e.count);
      sub.Padding(4);
      sub.Field(e.weight);
    });
  }
  int Write(std::ostream& s) const {
    FSBinaryWriter out(s);
    Fields(out, *this);
    return out.Bytes();
  }
  int Read(std::istream& s) {
    FSBinaryReader in(s, "Sample");
    Fields(in, *this);
    return in.Bytes();
  }
};

// A stream buffer that cannot seek, like a pipe.
class PipeBuffer : public std::streambuf {
 public:
  explicit PipeBuffer(std::string data) : fData(std::move(data)) {
    setg(&fData[0], &fData[0], &fData[0] + fData.size());
  }

 private:
  std::string fData;
};

class TempFile {
 public:
  TempFile() {
    char name[] = "/tmp/fsrank_bin_XXXXXX";
    const int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    if (fd >= 0) close(fd);
    fsPath = name;
  }
  ~TempFile() { std::remove(fsPath.c_str()); }
  const std::string& Path() const { return fsPath; }

 private:
  std::string fsPath;
};

}  // namespace

TEST(BinaryEncoding, ByteImageIsLittleEndian) {
  std::ostringstream s;
  FSBinaryWriter out(s);
  out.WriteInt(1);
  out.WriteInt(-2);
  out.WriteInt(INT_MIN);
  out.WriteBool(true);
  out.WriteBool(false);
  out.WriteDouble(1.0);
  out.WriteDouble(NQMV::Missing());
  out.WriteTag("FSSet");
  out.WritePadding(2);
  EXPECT_EQ(out.Bytes(), 4 * 5 + 8 * 2 + 5 + 2);
  const std::string expected =
      Bytes({1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80, 1, 0, 0, 0, 0, 0, 0, 0}) +
      Bytes({0, 0, 0, 0, 0, 0, 0xF0, 0x3F}) +
      Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xFF}) + "FSSet" + Bytes({0, 0});
  EXPECT_EQ(s.str(), expected);
}

TEST(BinaryEncoding, EveryPrimitiveRoundTripsThroughAFile) {
  TempFile file;
  const std::int32_t ints[] = {0, 1, -1, 123456789, INT_MAX, INT_MIN};
  const double doubles[] = {0.0,
                            -0.0,
                            0.1,
                            -2.5e-300,
                            std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN(),
                            NQMV::Missing()};
  int written = 0;
  {
    std::fstream s(file.Path(), std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    FSBinaryWriter out(s);
    out.WriteTag("CAPRE");
    for (auto v : ints)
      out.WriteInt(v);
    out.WriteBool(true);
    out.WriteBool(false);
    for (double x : doubles)
      out.WriteDouble(x);
    written = out.Bytes();
  }
  std::fstream s(file.Path(), std::ios::in | std::ios::binary);
  FSBinaryReader in(s, "FSCatAccum");
  in.ReadTag("CAPRE");
  for (auto v : ints)
    EXPECT_EQ(in.ReadInt(), v);
  EXPECT_TRUE(in.ReadBool());
  EXPECT_FALSE(in.ReadBool());
  for (double x : doubles)
    EXPECT_EQ(BitsOf(in.ReadDouble()), BitsOf(x)) << x;
  EXPECT_EQ(in.Bytes(), written);
  EXPECT_EQ(written, 5 + 6 * 4 + 2 * 4 + 8 * 8);
  EXPECT_EQ(s.peek(), std::char_traits<char>::eof());
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

TEST(BinaryEncoding, FieldsListedOnceRoundTrip) {
  Sample a;
  a.n = -42;
  a.l = 70000;
  a.flag = true;
  a.x = NQMV::Missing();
  a.kind = Kind::B;
  a.values = {0.5, -1.0, 3.25};
  a.entries = {{1, 2, 0.5}, {9, 1, 7.0}};
  std::stringstream s;
  const int written = a.Write(s);
  EXPECT_EQ(written, 5 + 4 + 4 + 4 + 8 + 4 + (4 + 3 * 8) + (4 + 2 * 20));
  EXPECT_EQ(static_cast<int>(s.str().size()), written);
  Sample b;
  b.entries = {{5, 5, 5.0}};  // replaced, not appended to
  EXPECT_EQ(b.Read(s), written);
  EXPECT_EQ(b.n, a.n);
  EXPECT_EQ(b.l, a.l);
  EXPECT_EQ(b.flag, a.flag);
  EXPECT_EQ(BitsOf(b.x), BitsOf(a.x));
  EXPECT_EQ(b.kind, Kind::B);
  EXPECT_EQ(b.values, a.values);
  ASSERT_EQ(b.entries.size(), 2u);
  EXPECT_EQ(b.entries[1].key, 9);
  EXPECT_EQ(b.entries[1].count, 1);
  EXPECT_EQ(b.entries[1].weight, 7.0);
}

TEST(BinaryEncoding, WrongTagGivesTheClassMessageAndAnIOException) {
  const char* const tags[] = {"FSSeT", "GSSet", "FSSe", ""};
  for (const char* stored : tags) {
    SCOPED_TRACE(stored);
    std::stringstream s(std::string(stored) + std::string(8, '\0'));
    EXPECT_EQ(ExpectReadError([&] { ReadTag(s, "FSSet", "FSSettings"); }),
              "Error reading FSSettings!\n");
  }
  std::stringstream good("FSSet");
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadTag(good, "FSSet", "FSSettings"), 5);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(BinaryEncoding, MatchTagNeitherPrintsNorThrows) {
  testing::internal::CaptureStderr();
  std::stringstream right("FSAlgorithm 1.00");
  std::stringstream wrong("FSAlgorithm 1.01");
  std::stringstream shorter("FSAlg");
  EXPECT_TRUE(MatchTag(right, "FSAlgorithm 1.00"));
  EXPECT_FALSE(MatchTag(wrong, "FSAlgorithm 1.00"));
  EXPECT_FALSE(MatchTag(shorter, "FSAlgorithm 1.00"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A stream that ends inside a chunk is noticed at the read that comes up short, with the same
// message and exception as a bad tag.
TEST(BinaryEncoding, StreamEndingInsideAChunkIsAReadError) {
  std::stringstream whole;
  {
    FSBinaryWriter out(whole);
    out.WriteTag("COPRE");
    out.WriteDouble(1.5);
    out.WriteInt(3);
    out.WriteDouble(2.5);
  }
  const std::string image = whole.str();
  for (std::size_t cut = 0; cut < image.size(); ++cut) {
    SCOPED_TRACE(cut);
    std::stringstream s(image.substr(0, cut));
    const std::string message = ExpectReadError([&] {
      FSBinaryReader in(s, "FSContAccum");
      in.ReadTag("COPRE");
      in.ReadDouble();
      in.ReadInt();
      in.ReadDouble();
    });
    EXPECT_EQ(message, "Error reading FSContAccum!\n");
  }
}

TEST(BinaryEncoding, ImpossibleCountsFailBeforeAllocating) {
  const struct {
    const char* what;
    std::int32_t count;
    int payloadBytes;
    bool ok;
  } cases[] = {
      {"negative", -1, 64, false},
      {"most negative", INT_MIN, 64, false},
      {"beyond the remaining bytes", INT_MAX, 64, false},
      {"one more than fits", 9, 64, false},
      {"exactly fits", 8, 64, true},
      {"empty", 0, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::stringstream s;
    FSBinaryWriter out(s);
    out.WriteInt(c.count);
    out.WritePadding(c.payloadBytes);
    std::vector<double> values;
    FSBinaryReader in(s, "FSMapICnt");
    if (c.ok) {
      in.Vector(values);
      EXPECT_EQ(static_cast<int>(values.size()), c.count);
    } else {
      EXPECT_EQ(ExpectReadError([&] { in.Vector(values); }), "Error reading FSMapICnt!\n");
      EXPECT_LE(values.capacity(), 4096u);
    }
  }
}

TEST(BinaryEncoding, HugeCountOnAStreamThatCannotSeekGrowsOnlyAsItReads) {
  std::stringstream image;
  FSBinaryWriter out(image);
  out.WriteInt(INT_MAX);
  out.WriteDouble(1.0);
  out.WriteDouble(2.0);
  PipeBuffer pipe(image.str());
  std::istream s(&pipe);
  EXPECT_EQ(RemainingBytes(s), -1);
  std::vector<double> values;
  FSBinaryReader in(s, "FSMapIStat");
  EXPECT_EQ(ExpectReadError([&] { in.Vector(values); }), "Error reading FSMapIStat!\n");
  EXPECT_LE(values.capacity(), 4096u);
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
