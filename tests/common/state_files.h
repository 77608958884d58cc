// Test helpers for the persistence readers and writers, whose interface takes file streams:
// a scratch file to write a chunk or an XML object into and read it back from, and a capture
// of the standard error stream for the readers' messages.
#ifndef FSRANK_TESTS_COMMON_STATE_FILES_H
#define FSRANK_TESTS_COMMON_STATE_FILES_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "fsrank/status.h"

// One scratch file, removed with the object. Each accessor reopens it.
class ScratchFile {
 public:
  ScratchFile() {
    char name[] = "/tmp/fsrank_state_XXXXXX";
    const int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    if (fd >= 0) close(fd);
    fsPath = name;
  }
  ~ScratchFile() {
    fBinary.close();
    fText.close();
    std::remove(fsPath.c_str());
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // The file emptied and opened for binary reading and writing.
  std::fstream& Binary() { return Binary(std::string()); }
  // The file holding bytes, opened for binary reading and writing at its start.
  std::fstream& Binary(const std::string& bytes) {
    fBinary.close();
    fBinary.clear();
    // A new file rather than a truncated one: truncating a file that holds data can make the
    // file system flush it, which is slow when tests rewrite a file thousands of times.
    std::remove(fsPath.c_str());
    fBinary.open(fsPath, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    fBinary.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    fBinary.flush();
    fBinary.seekg(0);
    return fBinary;
  }
  // The file holding text, opened for reading.
  std::ifstream& Text(const std::string& text) {
    fBinary.close();
    fText.close();
    fText.clear();
    {
      std::remove(fsPath.c_str());
      std::ofstream out(fsPath, std::ios::binary | std::ios::trunc);
      out << text;
    }
    fText.open(fsPath, std::ios::in | std::ios::binary);
    return fText;
  }
  // Everything in the file (flushes the binary stream first).
  std::string Contents() {
    if (fBinary.is_open()) fBinary.flush();
    std::ifstream in(fsPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string fsPath;
  std::fstream fBinary;
  std::ifstream fText;
};

// Collects what is written to std::cerr while it lives.
class CerrCapture {
 public:
  CerrCapture() : fpOld(std::cerr.rdbuf(fText.rdbuf())) {}
  ~CerrCapture() { std::cerr.rdbuf(fpOld); }
  CerrCapture(const CerrCapture&) = delete;
  CerrCapture& operator=(const CerrCapture&) = delete;
  std::string Text() const { return fText.str(); }

 private:
  std::ostringstream fText;
  std::streambuf* fpOld;
};

// Runs read(), which must throw a new NQFeature::IOException by pointer; returns what it wrote
// to std::cerr ("<no exception>" when nothing was thrown). The exception object is deleted.
template <class Read>
std::string ReadFailure(Read read) {
  CerrCapture capture;
  try {
    read();
  } catch (NQFeature::IOException* e) {
    delete e;
    return capture.Text();
  }
  return "<no exception>";
}

inline std::uint64_t BitsOf(double x) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

// The little-endian encodings of an int and a double, to spell expected chunks.
inline std::string Int(std::int32_t v) {
  std::string bytes;
  for (int i = 0; i < 4; ++i)
    bytes += static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
  return bytes;
}
inline std::string Dbl(double x) {
  const std::uint64_t bits = BitsOf(x);
  std::string bytes;
  for (int i = 0; i < 8; ++i)
    bytes += static_cast<char>((bits >> (8 * i)) & 0xFF);
  return bytes;
}

// The chunk an object writes; the writer's result must be its size.
template <class T>
std::string Chunk(const T& object) {
  ScratchFile file;
  const int bytes = object.WriteObject(file.Binary());
  const std::string chunk = file.Contents();
  EXPECT_EQ(static_cast<size_t>(bytes), chunk.size());
  return chunk;
}

// The XML object an object writes; the writer's result must be its number of elements, which
// is its number of lines.
template <class T>
std::string Xml(const T& object) {
  std::ostringstream os;
  const int elements = object.WriteObjectXML(os);
  size_t lines = 0;
  for (char c : os.str())
    lines += c == '\n' ? 1 : 0;
  EXPECT_EQ(static_cast<size_t>(elements), lines);
  return os.str();
}

// text with the first occurrence of from replaced by to.
inline std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

#endif  // FSRANK_TESTS_COMMON_STATE_FILES_H
