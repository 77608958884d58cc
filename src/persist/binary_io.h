// The binary encoding every persistent class writes its chunk with: 4-byte little-endian
// ints (bools and enumerations too), 8-byte little-endian IEEE doubles, fixed ASCII tags, and
// counted sequences (a 4-byte count, then the elements). The byte image is the same on every
// host whatever its own byte order.
//
// A chunk starts with its tag. A reader whose tag does not match writes
// "Error reading <Class>!\n" to the standard error stream and throws a new
// NQFeature::IOException by pointer (the catcher deletes it).
//
// Stream ends and impossible counts are detected the same way. Every read checks the stream
// state afterwards: a read that gets fewer bytes than it asked for (the stream ended inside a
// chunk, or was already failed) is treated exactly like a bad tag, with the reading class's
// message and an IOException. A sequence count that is negative, or that announces more
// elements than the bytes left in the stream could hold, fails the same way before anything
// is allocated; on a stream that cannot tell how many bytes remain, sequences grow only as
// their elements are actually read.
//
// Every persistent class can list its fields once, in a template run by both directions:
//
//   template <class IO, class Self>
//   static void Fields(IO& io, Self& self) {
//     io.Tag("COPRE");
//     io.Field(self.fdProcessed);
//     io.Field(self.fbConstant);
//     io.Vector(self.fvValues);
//   }
//   int WriteObject(std::ostream& s) const { FSBinaryWriter o(s); Fields(o, *this); return
//   o.Bytes(); } int ReadObject(std::istream& s) { FSBinaryReader i(s, "FSContAccum"); Fields(i,
//   *this); return i.Bytes(); }
//
// The writer's Field takes values, the reader's takes references; Bytes() counts what was
// written or consumed, and AddNested adds a nested chunk's own count.
#ifndef FSRANK_PERSIST_BINARY_IO_H
#define FSRANK_PERSIST_BINARY_IO_H

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// Encoded sizes in bytes.
inline constexpr int kBinaryIntBytes = 4;
inline constexpr int kBinaryBoolBytes = 4;
inline constexpr int kBinaryDoubleBytes = 8;

// Writes "Error reading " + className + "!\n" to the standard error stream and throws
// new NQFeature::IOException.
[[noreturn]] void ThrowReadError(const std::string& className);

// Reads tag.size() bytes and compares them with tag; on a mismatch or a short read, the
// message of className and an IOException. Returns the number of bytes read.
int ReadTag(std::istream& stream, const std::string& tag, const std::string& className);

// Reads tag.size() bytes; true when they are all there and equal tag. Writes no message and
// throws nothing (for the state file header, whose failure is a status, not an exception).
bool MatchTag(std::istream& stream, const std::string& tag);

// The tag of an optional section at the end of what a reader knows: false, with nothing
// consumed and the stream's state as it was, when the stream ends there or goes on with a byte
// other than the tag's first; true once the whole tag is read. A stream that goes on with the
// tag's first byte but not the whole tag is damaged: the message of className and an
// IOException.
bool ReadOptionalTag(std::istream& stream, const std::string& tag, const std::string& className);

// Bytes left between the read position and the end of the stream, or -1 when the stream
// cannot tell (it is not seekable). The read position and the stream state are unchanged.
long long RemainingBytes(std::istream& stream);

// How many elements to reserve room for ahead of reading a count that came from outside:
// the count itself when small, a bounded number otherwise (the rest grows as elements are
// actually read), and 0 for a negative count.
std::size_t BoundedReserve(long long count);

// Empties elements, then appends n elements in stream order, each value-initialised and then
// filled by read(element); room is reserved only up to BoundedReserve(n), so a damaged count
// fails at its first missing element instead of allocating for all of them.
template <class T, class Read>
void ReadElements(std::vector<T>& elements, int n, Read read) {
  elements.clear();
  elements.reserve(BoundedReserve(n));
  for (int i = 0; i < n; ++i) {
    T element{};
    read(element);
    elements.push_back(element);
  }
}

class FSBinaryWriter {
 public:
  explicit FSBinaryWriter(std::ostream& stream) : fStream(stream) {}

  void WriteInt(std::int32_t value);
  void WriteBool(bool value) { WriteInt(value ? 1 : 0); }
  void WriteDouble(double value);
  // The tag's characters, without length or terminator.
  void WriteTag(const std::string& tag);
  // A sequence count (must fit in an int).
  void WriteCount(std::size_t count) { WriteInt(static_cast<std::int32_t>(count)); }
  // n zero bytes.
  void WritePadding(int n);

  // The symmetric interface (see the file comment).
  void Tag(const std::string& tag) { WriteTag(tag); }
  void Field(int value) { WriteInt(static_cast<std::int32_t>(value)); }
  void Field(long value) { WriteInt(static_cast<std::int32_t>(value)); }
  void Field(bool value) { WriteBool(value); }
  void Field(double value) { WriteDouble(value); }
  template <class E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
  void Field(E value) {
    WriteInt(static_cast<std::int32_t>(value));
  }
  void Padding(int n) { WritePadding(n); }
  // The count, then each element through entry(io, element). minEntryBytes is used only by
  // the reader.
  template <class T, class F>
  void Sequence(const std::vector<T>& elements, int /*minEntryBytes*/, F entry) {
    WriteCount(elements.size());
    for (const T& element : elements)
      entry(*this, element);
  }
  // A sequence of plain fields.
  template <class T>
  void Vector(const std::vector<T>& elements) {
    WriteCount(elements.size());
    for (const T& element : elements)
      Field(element);
  }
  void AddNested(int bytes) { fnBytes += bytes; }

  int Bytes() const { return fnBytes; }

 private:
  void Put(const unsigned char* bytes, int n);

  std::ostream& fStream;
  int fnBytes = 0;
};

class FSBinaryReader {
 public:
  // className names the reading class in the error message.
  FSBinaryReader(std::istream& stream, std::string className)
      : fStream(stream), fsClassName(std::move(className)) {}

  std::int32_t ReadInt();
  // Exactly 1 is true; every other stored value is false.
  bool ReadBool() { return ReadInt() == 1; }
  double ReadDouble();
  void ReadTag(const std::string& tag);
  // A sequence count, checked: negative, or more than the remaining bytes could hold at
  // minEntryBytes (> 0) per element, fails with the class's message and an IOException.
  int ReadCount(int minEntryBytes);
  void SkipPadding(int n);

  // The symmetric interface (see the file comment).
  void Tag(const std::string& tag) { ReadTag(tag); }
  void Field(int& value) { value = ReadInt(); }
  void Field(long& value) { value = ReadInt(); }
  void Field(bool& value) { value = ReadBool(); }
  void Field(double& value) { value = ReadDouble(); }
  template <class E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
  void Field(E& value) {
    value = static_cast<E>(ReadInt());
  }
  void Padding(int n) { SkipPadding(n); }
  // Empties elements, then appends each element read by entry(io, element) in file order.
  template <class T, class F>
  void Sequence(std::vector<T>& elements, int minEntryBytes, F entry) {
    ReadElements(elements, ReadCount(minEntryBytes), [&](T& element) { entry(*this, element); });
  }
  template <class T>
  void Vector(std::vector<T>& elements) {
    Sequence(elements, EncodedSize<T>(), [](FSBinaryReader& io, T& e) { io.Field(e); });
  }
  void AddNested(int bytes) { fnBytes += bytes; }

  int Bytes() const { return fnBytes; }
  const std::string& GetClassName() const { return fsClassName; }

  // Message and IOException for this reader's class.
  [[noreturn]] void Fail() const;

 private:
  template <class T>
  static constexpr int EncodedSize() {
    return std::is_same_v<T, double> ? kBinaryDoubleBytes : kBinaryIntBytes;
  }
  void Get(unsigned char* bytes, int n);

  std::istream& fStream;
  std::string fsClassName;
  int fnBytes = 0;
};

#endif  // FSRANK_PERSIST_BINARY_IO_H
