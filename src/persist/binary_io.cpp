#include "persist/binary_io.h"

#include <cstring>
#include <iostream>

#include "fsrank/status.h"

namespace {

// Reads n bytes; false when fewer arrived or the stream failed.
bool GetBytes(std::istream& stream, unsigned char* bytes, int n) {
  stream.read(reinterpret_cast<char*>(bytes), n);
  return !stream.fail() && stream.gcount() == n;
}

}  // namespace

void ThrowReadError(const std::string& className) {
  std::cerr << "Error reading " << className << "!\n";
  throw new NQFeature::IOException();
}

bool MatchTag(std::istream& stream, const std::string& tag) {
  const int n = static_cast<int>(tag.size());
  std::string bytes(tag.size(), '\0');
  if (n > 0 && !GetBytes(stream, reinterpret_cast<unsigned char*>(&bytes[0]), n)) return false;
  return bytes == tag;
}

bool ReadOptionalTag(std::istream& stream, const std::string& tag, const std::string& className) {
  const std::ios::iostate state = stream.rdstate();
  if (tag.empty() || stream.peek() != static_cast<unsigned char>(tag[0])) {
    stream.clear(state);
    return false;
  }
  ReadTag(stream, tag, className);
  return true;
}

int ReadTag(std::istream& stream, const std::string& tag, const std::string& className) {
  if (!MatchTag(stream, tag)) ThrowReadError(className);
  return static_cast<int>(tag.size());
}

long long RemainingBytes(std::istream& stream) {
  std::streambuf* buffer = stream.rdbuf();
  if (buffer == nullptr) return -1;
  const std::streampos here = buffer->pubseekoff(0, std::ios::cur, std::ios::in);
  if (here == std::streampos(-1)) return -1;
  const std::streampos end = buffer->pubseekoff(0, std::ios::end, std::ios::in);
  buffer->pubseekpos(here, std::ios::in);
  if (end == std::streampos(-1) || end < here) return -1;
  return static_cast<long long>(end - here);
}

std::size_t BoundedReserve(long long count) {
  constexpr long long kMaxReserve = 4096;
  if (count <= 0) return 0;
  return static_cast<std::size_t>(count < kMaxReserve ? count : kMaxReserve);
}

// ---------------------------------------------------------------------------------------------
// FSBinaryWriter

void FSBinaryWriter::Put(const unsigned char* bytes, int n) {
  fStream.write(reinterpret_cast<const char*>(bytes), n);
  fnBytes += n;
}

void FSBinaryWriter::WriteInt(std::int32_t value) {
  // Two's complement through the unsigned type, least significant byte first.
  const std::uint32_t bits = static_cast<std::uint32_t>(value);
  unsigned char bytes[kBinaryIntBytes];
  for (int i = 0; i < kBinaryIntBytes; ++i)
    bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
  Put(bytes, kBinaryIntBytes);
}

void FSBinaryWriter::WriteDouble(double value) {
  static_assert(sizeof(double) == 8 && sizeof(std::uint64_t) == 8, "binary64 doubles expected");
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  unsigned char bytes[kBinaryDoubleBytes];
  for (int i = 0; i < kBinaryDoubleBytes; ++i) {
    bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
  }
  Put(bytes, kBinaryDoubleBytes);
}

void FSBinaryWriter::WriteTag(const std::string& tag) {
  fStream.write(tag.data(), static_cast<std::streamsize>(tag.size()));
  fnBytes += static_cast<int>(tag.size());
}

void FSBinaryWriter::WritePadding(int n) {
  for (int i = 0; i < n; ++i)
    fStream.put('\0');
  if (n > 0) fnBytes += n;
}

// ---------------------------------------------------------------------------------------------
// FSBinaryReader

void FSBinaryReader::Fail() const {
  ThrowReadError(fsClassName);
}

void FSBinaryReader::Get(unsigned char* bytes, int n) {
  if (!GetBytes(fStream, bytes, n)) Fail();
  fnBytes += n;
}

std::int32_t FSBinaryReader::ReadInt() {
  unsigned char bytes[kBinaryIntBytes];
  Get(bytes, kBinaryIntBytes);
  std::uint32_t bits = 0;
  for (int i = 0; i < kBinaryIntBytes; ++i)
    bits |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
  // Back to two's complement without relying on the implementation's narrowing.
  if (bits <= 0x7FFFFFFFu) return static_cast<std::int32_t>(bits);
  return static_cast<std::int32_t>(static_cast<std::int64_t>(bits) - (std::int64_t{1} << 32));
}

double FSBinaryReader::ReadDouble() {
  unsigned char bytes[kBinaryDoubleBytes];
  Get(bytes, kBinaryDoubleBytes);
  std::uint64_t bits = 0;
  for (int i = 0; i < kBinaryDoubleBytes; ++i)
    bits |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
  double value = 0.0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void FSBinaryReader::ReadTag(const std::string& tag) {
  fnBytes += ::ReadTag(fStream, tag, fsClassName);
}

int FSBinaryReader::ReadCount(int minEntryBytes) {
  const std::int32_t n = ReadInt();
  if (n < 0) Fail();
  const long long remaining = RemainingBytes(fStream);
  if (remaining >= 0 && minEntryBytes > 0 &&
      static_cast<long long>(n) * minEntryBytes > remaining) {
    Fail();
  }
  return n;
}

void FSBinaryReader::SkipPadding(int n) {
  unsigned char byte = 0;
  for (int i = 0; i < n; ++i)
    Get(&byte, 1);
}
