// xmllint's verdict on a written document, shared by the XML tests. The DTDs are not ours to
// ship, so it checks well-formedness only; without xmllint (Debian package libxml2-utils) the
// check is skipped.
#ifndef FSRANK_TESTS_XML_SUPPORT_XMLLINT_H
#define FSRANK_TESTS_XML_SUPPORT_XMLLINT_H

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

inline bool HaveXmllint() {
  return std::system("command -v xmllint >/dev/null 2>&1") == 0;
}

inline void ExpectWellFormed(const std::string& doc) {
  if (!HaveXmllint()) return;
  char path[] = "/tmp/fsrank_xml_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  std::ofstream(path, std::ios::binary) << doc;
  const std::string command = std::string("xmllint --noout --nonet '") + path + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << doc;
  std::remove(path);
}

#endif  // FSRANK_TESTS_XML_SUPPORT_XMLLINT_H
