// The saved-state XML encoding: line goldens of the writer, the reader's token rules and
// edge cases, and a written document read back.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "fsrank/missing.h"
#include "xml/notice.h"
#include "xml/state_reader.h"
#include "xml/state_writer.h"

using namespace NQFeatureXML;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>";

std::uint64_t BitsOf(double x) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

// Writes one object with a few values and nested objects, the way a persistent class does.
void WriteSampleDocument(std::ostream& s) {
  WriteStateDocType(s);
  WriteRootBegin(s, kCopyrightNotice);
  XMLObjectFrame top("FSAlgorithm 1.00", 0);
  top.WriteObjBegin(s);
  XMLObjectFrame settings("FSSettings", 1);
  settings.WriteObjBegin(s);
  settings.WriteInt(s, 25);
  settings.WriteDouble(s, 0.1);
  settings.WriteDouble(s, NQMV::Missing());
  XMLObjectFrame map("FSMapICnt", 3);
  map.WriteObjBegin(s);
  map.WriteInt(s, INT_MIN);
  map.WriteDouble(s, 1.0 / 3.0);
  map.WriteObjEnd(s);
  settings.WriteObjEnd(s);
  top.WriteInt(s, 1);
  top.WriteInt(s, 0);
  top.WriteObjEnd(s);
  WriteRootEnd(s);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Writer

TEST(StateWriter, LevelZeroFrameLines) {
  std::ostringstream s;
  XMLObjectFrame frame("Top", 0);
  EXPECT_EQ(frame.WriteObjBegin(s), 0);
  EXPECT_EQ(frame.WriteInt(s, -7), 0);
  frame.WriteInt(s, INT_MAX);
  frame.WriteInt(s, INT_MIN);
  EXPECT_EQ(frame.WriteDouble(s, NQMV::Missing()), 0);
  frame.WriteDouble(s, 1e-20);
  frame.WriteDouble(s, 0.1);
  frame.WriteDouble(s, 0.1 + 0.2);
  EXPECT_EQ(frame.WriteObjEnd(s), 0);
  EXPECT_EQ(s.str(),
            "\n<Obj name=\"Top\">"
            "\n\t<Int value=\"-7\"/>"
            "\n\t<Int value=\"2147483647\"/>"
            "\n\t<Int value=\"-2147483648\"/>"
            "\n\t<Double value=\"Missing\"/>"
            "\n\t<Double value=\"1e-20\"/>"
            "\n\t<Double value=\"0.1\"/>"
            "\n\t<Double value=\"0.3\"/>"
            "\n</Obj>");
}

TEST(StateWriter, LevelSetsTheIndentationOnly) {
  const struct {
    int level;
    const char* expected;
  } cases[] = {
      {1, "\n\t<Obj name=\"FSSettings\">\n\t\t<Int value=\"25\"/>\n\t</Obj>"},
      {3, "\n\t\t\t<Obj name=\"FSSettings\">\n\t\t\t\t<Int value=\"25\"/>\n\t\t\t</Obj>"},
      {-1, "\n<Obj name=\"FSSettings\">\n<Int value=\"25\"/>\n</Obj>"},
  };
  for (const auto& c : cases) {
    std::ostringstream s;
    XMLObjectFrame frame("FSSettings", c.level);
    frame.WriteObjBegin(s);
    frame.WriteInt(s, 25);
    frame.WriteObjEnd(s);
    EXPECT_EQ(s.str(), c.expected) << c.level;
  }
}

TEST(StateWriter, ObjectNameIsNotEscapedButTheCopyrightIs) {
  std::ostringstream s;
  XMLObjectFrame("a<b&c", 0).WriteObjBegin(s);
  WriteRootBegin(s, "A & \"B\"");
  EXPECT_EQ(s.str(), "\n<Obj name=\"a<b&c\"><NQXMLRoot copyright=\"A &amp; &quot;B&quot;\">");
}

TEST(StateWriter, DocumentForAnObjectWithNoValues) {
  std::ostringstream s;
  EXPECT_EQ(WriteStateDocType(s), 0);
  EXPECT_EQ(WriteRootBegin(s, kCopyrightNotice), 0);
  XMLObjectFrame frame("FSAlgorithm 1.00", 0);
  frame.WriteObjBegin(s);
  frame.WriteObjEnd(s);
  EXPECT_EQ(WriteRootEnd(s), 0);
  EXPECT_EQ(s.str(), kDecl +
                         "\n<!DOCTYPE NQXMLRoot SYSTEM \"savexml.dtd\">\n"
                         "<NQXMLRoot copyright=\"Copyright (c) 2026 the fsrank authors\">\n"
                         "<Obj name=\"FSAlgorithm 1.00\">\n"
                         "</Obj>\n"
                         "</NQXMLRoot>");
}

// ---------------------------------------------------------------------------------------------
// Reader

TEST(StateReader, DocumentHeader) {
  const struct {
    const char* what;
    std::string text;
    bool ok;
  } cases[] = {
      {"as written",
       kDecl + "\n<!DOCTYPE NQXMLRoot SYSTEM \"savexml.dtd\">\n<NQXMLRoot copyright=\"x\">\n",
       true},
      {"other declaration spacing and attributes",
       "  <?xml version='1.0'   standalone=\"yes\"?>\r\n<!DOCTYPE NQXMLRoot>\r\n<NQXMLRoot>\n",
       true},
      {"comment before the doctype",
       kDecl + "\n<!-- saved -->\n<!DOCTYPE NQXMLRoot SYSTEM \"savexml.dtd\">\n<NQXMLRoot>\n",
       false},
      {"other root", kDecl + "\n<!DOCTYPE NQXMLRoot SYSTEM \"x\">\n<FSOutputOne>\n", false},
      {"root name case", kDecl + "\n<!DOCTYPE NQXMLRoot SYSTEM \"x\">\n<nqxmlroot>\n", false},
      {"no declaration", "<!DOCTYPE NQXMLRoot SYSTEM \"x\">\n<NQXMLRoot>\n", false},
      {"cut short", kDecl + "\n<!DOCTYPE NQXMLRoot SYSTEM \"x\">\n", false},
      {"empty", "", false},
  };
  for (const auto& c : cases) {
    std::istringstream s(c.text);
    EXPECT_EQ(ReadDocumentHeader(s), c.ok) << c.what;
  }
}

TEST(StateReader, ObjectBegin) {
  const struct {
    const char* what;
    const char* text;
    const char* expected;
    bool ok;
  } cases[] = {
      {"as written", "\t<Obj name=\"FSSettings\">\n", "FSSettings", true},
      {"name with blanks", "<Obj name=\"FSAlgorithm 1.00\">\n", "FSAlgorithm 1.00", true},
      {"name with markup characters", "<Obj name=\"a<b>=c\">\n", "a<b>=c", true},
      {"one empty line skipped", "\n\t<Obj name=\"FSSettings\">\n", "FSSettings", true},
      {"two empty lines refused", "\n\n\t<Obj name=\"FSSettings\">\n", "FSSettings", false},
      {"longer name", "<Obj name=\"FSSettings2\">\n", "FSSettings", false},
      {"other case", "<Obj name=\"fssettings\">\n", "FSSettings", false},
      {"shorter name", "<Obj name=\"FSSet\">\n", "FSSettings", false},
      {"other element", "<Object name=\"FSSettings\">\n", "FSSettings", false},
      {"other attribute", "<Obj id=\"FSSettings\">\n", "FSSettings", false},
      {"no name", "<Obj>\n", "FSSettings", false},
      {"end tag", "</Obj>\n", "FSSettings", false},
      {"last line without newline", "<Obj name=\"FSSettings\">", "FSSettings", true},
      {"empty stream", "", "FSSettings", false},
  };
  for (const auto& c : cases) {
    std::istringstream s(c.text);
    EXPECT_EQ(ReadObjBegin(s, c.expected), c.ok) << c.what;
  }
}

TEST(StateReader, IntegerValues) {
  const struct {
    const char* what;
    const char* text;
    bool ok;
    int value;  // the value read; 99 (the starting value) when unchanged
  } cases[] = {
      {"as written", "\t\t<Int value=\"25\"/>\n", true, 25},
      {"negative", "<Int value=\"-7\"/>\n", true, -7},
      {"largest", "<Int value=\"2147483647\"/>\n", true, INT_MAX},
      {"smallest", "<Int value=\"-2147483648\"/>\n", true, INT_MIN},
      {"trailing letters", "<Int value=\"12abc\"/>\n", true, 12},
      {"no digits", "<Int value=\"abc\"/>\n", true, 0},
      {"decimal text", "<Int value=\"3.9\"/>\n", true, 3},
      {"explicit plus", "<Int value=\"+5\"/>\n", true, 5},
      {"overflow saturates", "<Int value=\"99999999999\"/>\n", true, INT_MAX},
      {"indented with blanks and tabs", " \t \t<Int value=\"4\"/>\n", true, 4},
      {"further attributes ignored", "<Int value=\"4\" unit=\"x\"/>\n", true, 4},
      {"empty value text: the next token is />", "<Int value=\"\"/>\n", true, 0},
      {"double element", "<Double value=\"4\"/>\n", false, 99},
      {"attribute name", "<Int val=\"4\"/>\n", false, 99},
      {"two blanks before the attribute", "<Int  value=\"4\"/>\n", false, 99},
      {"no attribute", "<Int/>\n", false, 99},
      {"empty line", "\n<Int value=\"4\"/>\n", false, 99},
  };
  for (const auto& c : cases) {
    std::istringstream s(c.text);
    int value = 99;
    EXPECT_EQ(ReadInt(s, value), c.ok) << c.what;
    EXPECT_EQ(value, c.value) << c.what;
  }
}

TEST(StateReader, DoubleValues) {
  const double kUnchanged = 99.5;
  const struct {
    const char* what;
    const char* text;
    bool ok;
    double value;
  } cases[] = {
      {"as written", "\t\t<Double value=\"0.5\"/>\n", true, 0.5},
      {"missing", "<Double value=\"Missing\"/>\n", true, NQMV::Missing()},
      {"three-digit exponent", "<Double value=\"1e-005\"/>\n", true, 0.00001},
      {"fifteen digits", "<Double value=\"0.333333333333333\"/>\n", true, 0.333333333333333},
      {"not a number keeps the value", "<Double value=\"abc\"/>\n", true, kUnchanged},
      {"out of range keeps the value", "<Double value=\"1e999\"/>\n", true, kUnchanged},
      {"missing in other case is no number", "<Double value=\"missing\"/>\n", true, kUnchanged},
      {"indented", "\t\t\t\t\t<Double value=\"-2.5\"/>\n", true, -2.5},
      {"int element", "<Int value=\"4\"/>\n", false, kUnchanged},
      {"no value text", "<Double value=/>\n", true, kUnchanged},
      {"no attribute", "<Double/>\n", false, kUnchanged},
  };
  for (const auto& c : cases) {
    std::istringstream s(c.text);
    double value = kUnchanged;
    EXPECT_EQ(ReadDouble(s, value), c.ok) << c.what;
    EXPECT_EQ(BitsOf(value), BitsOf(c.value)) << c.what << ": " << value;
  }
}

TEST(StateReader, ObjectEnd) {
  const struct {
    const char* text;
    bool ok;
  } cases[] = {
      {"</Obj>\n", true},          {"\t\t\t</Obj>\n", true}, {"  </Obj>", true},
      {"</Object>\n", false},      {"<Obj>\n", false},       {"</ Obj>\n", false},
      {"<Obj name=\"x\">", false}, {"\n</Obj>\n", false},    {"", false},
  };
  for (const auto& c : cases) {
    std::istringstream s(c.text);
    EXPECT_EQ(ReadObjEnd(s), c.ok) << c.text;
  }
}

TEST(StateReader, LinesLongerThan255CharactersFail) {
  const struct {
    std::size_t indent;
    bool ok;
  } cases[] = {
      {255 - std::strlen("<Int value=\"1\"/>"), true},
      {256 - std::strlen("<Int value=\"1\"/>"), false},
      {300, false},
  };
  for (const auto& c : cases) {
    const std::string line = std::string(c.indent, '\t') + "<Int value=\"1\"/>";
    std::istringstream s(line + "\n");
    int value = 0;
    EXPECT_EQ(ReadInt(s, value), c.ok) << line.size();
  }
}

// ---------------------------------------------------------------------------------------------
// Both halves

TEST(StateEncoding, WrittenDocumentReadsBackInOrder) {
  std::stringstream s;
  WriteSampleDocument(s);
  ASSERT_TRUE(ReadDocumentHeader(s));
  ASSERT_TRUE(ReadObjBegin(s, "FSAlgorithm 1.00"));
  ASSERT_TRUE(ReadObjBegin(s, "FSSettings"));
  int n = 0;
  double x = 0.0;
  EXPECT_TRUE(ReadInt(s, n));
  EXPECT_EQ(n, 25);
  EXPECT_TRUE(ReadDouble(s, x));
  EXPECT_EQ(x, 0.1);
  EXPECT_TRUE(ReadDouble(s, x));
  EXPECT_TRUE(NQMV::IsMissing(x));
  ASSERT_TRUE(ReadObjBegin(s, "FSMapICnt"));
  EXPECT_TRUE(ReadInt(s, n));
  EXPECT_EQ(n, INT_MIN);
  EXPECT_TRUE(ReadDouble(s, x));
  EXPECT_EQ(x, 0.333333333333333);  // the 15-digit text, not 1/3 bit for bit
  EXPECT_TRUE(ReadObjEnd(s));
  EXPECT_TRUE(ReadObjEnd(s));
  EXPECT_TRUE(ReadInt(s, n));
  EXPECT_EQ(n, 1);
  EXPECT_TRUE(ReadInt(s, n));
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(ReadObjEnd(s));
  // The root end line is not part of the encoding the reader checks, but it is there.
  std::string last;
  EXPECT_TRUE(static_cast<bool>(std::getline(s, last)));
  EXPECT_EQ(last, "</NQXMLRoot>");
  EXPECT_TRUE(s.eof());
}

TEST(StateEncoding, WrittenDocumentIsWellFormed) {
  if (std::system("command -v xmllint >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "xmllint is not installed (Debian package libxml2-utils)";
  }
  char name[] = "/tmp/fsrank_state_XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    std::ofstream file(name, std::ios::binary);
    WriteSampleDocument(file);
  }
  const std::string command = std::string("xmllint --noout --nonet '") + name + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  std::remove(name);
}
