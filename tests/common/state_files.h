// Test helpers for the persistence readers and writers, whose interface takes file streams:
// a scratch file to write a chunk or an XML object into and read it back from, and a capture
// of the standard error stream for the readers' messages.
#ifndef FSRANK_TESTS_COMMON_STATE_FILES_H
#define FSRANK_TESTS_COMMON_STATE_FILES_H

#include <cstdio>
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

#endif  // FSRANK_TESTS_COMMON_STATE_FILES_H
