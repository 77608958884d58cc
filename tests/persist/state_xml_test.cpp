// The saved-state XML encoding: a golden document of the writer, the reader's token rules and
// edge cases, and the written document through xmllint.
#include <climits>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "common/state_files.h"
#include "core/notice.h"
#include "fsrank/missing.h"
#include "persist/state_reader.h"
#include "persist/state_writer.h"
#include "persist/support/xmllint.h"
#include "persist/xml_writer.h"

using namespace NQFeatureXML;

namespace {

const std::string kDecl = kXMLDeclaration;

// One object with values and nested objects at levels 1, 3 and -1 (no indentation), the way
// a persistent class writes itself.
std::string SampleDocument() {
  std::ostringstream s;
  WriteStateDocType(s);
  WriteRootBegin(s, kCopyrightNotice);
  XMLObjectFrame top("FSAlgorithm 1.00", 0), settings("FSSettings", 1), map("FSMapICnt", 3),
      flat("Flat", -1);
  top.WriteObjBegin(s);
  settings.WriteObjBegin(s);
  settings.WriteInt(s, 25);
  settings.WriteDouble(s, 0.1);
  settings.WriteDouble(s, NQMV::Missing());
  map.WriteObjBegin(s);
  map.WriteInt(s, INT_MIN);
  map.WriteDouble(s, 1.0 / 3.0);
  map.WriteObjEnd(s);
  settings.WriteObjEnd(s);
  flat.WriteObjBegin(s);
  flat.WriteInt(s, INT_MAX);
  flat.WriteDouble(s, 1e-20);
  flat.WriteDouble(s, 0.1 + 0.2);
  flat.WriteObjEnd(s);
  top.WriteInt(s, -7);
  top.WriteObjEnd(s);
  WriteRootEnd(s);
  return s.str();
}

}  // namespace

TEST(StateWriter, GoldenDocument) {
  EXPECT_EQ(SampleDocument(),
            kDecl +
                "\n<!DOCTYPE NQXMLRoot SYSTEM \"savexml.dtd\">\n"
                "<NQXMLRoot copyright=\"Copyright (c) 2026 the fsrank authors\">\n"
                "<Obj name=\"FSAlgorithm 1.00\">\n"
                "\t<Obj name=\"FSSettings\">\n"
                "\t\t<Int value=\"25\"/>\n"
                "\t\t<Double value=\"0.1\"/>\n"
                "\t\t<Double value=\"Missing\"/>\n"
                "\t\t\t<Obj name=\"FSMapICnt\">\n"
                "\t\t\t\t<Int value=\"-2147483648\"/>\n"
                "\t\t\t\t<Double value=\"0.333333333333333\"/>\n"
                "\t\t\t</Obj>\n"
                "\t</Obj>\n"
                "<Obj name=\"Flat\">\n"
                "<Int value=\"2147483647\"/>\n"
                "<Double value=\"1e-20\"/>\n"
                "<Double value=\"0.3\"/>\n"
                "</Obj>\n"
                "\t<Int value=\"-7\"/>\n"
                "</Obj>\n"
                "</NQXMLRoot>");
  std::ostringstream s;
  XMLObjectFrame("a<b&c", 0).WriteObjBegin(s);
  WriteRootBegin(s, "A & \"B\"");
  EXPECT_EQ(s.str(), "\n<Obj name=\"a<b&c\"><NQXMLRoot copyright=\"A &amp; &quot;B&quot;\">");
  ExpectWellFormed(SampleDocument());
}

// Each reader on the start of a stream: whether it accepts it, and the value it leaves (99 where
// it leaves the value unchanged). Values the reader takes as the writer writes them are the
// whole-state tests' (every state saved as XML, read back and saved again text for text).
TEST(StateReader, TokenRules) {
  enum Reader { kHeader, kBegin, kInt, kDouble, kEnd };
  const std::string doctype = "\n<!DOCTYPE NQXMLRoot SYSTEM \"x\">\n";
  // No line may be longer than 255 characters.
  const std::string tabs(255 - std::strlen("<Int value=\"1\"/>"), '\t');
  const double kMissing = NQMV::Missing();
  const struct {
    Reader reader;
    const char* what;
    std::string text;
    bool ok;
    double value = 99;
    const char* name = "FSSettings";  // the object name expected
  } cases[] = {
      {kHeader, "as written", kDecl + doctype + "<NQXMLRoot copyright=\"x\">\n", true},
      {kHeader, "other declaration spacing and attributes",
       "  <?xml version='1.0'   standalone=\"yes\"?>\r\n<!DOCTYPE NQXMLRoot>\r\n<NQXMLRoot>\n",
       true},
      {kHeader, "comment before the doctype",
       kDecl + "\n<!-- saved -->" + doctype + "<NQXMLRoot>\n", false},
      {kHeader, "other root", kDecl + doctype + "<FSOutputOne>\n", false},
      {kHeader, "root name case", kDecl + doctype + "<nqxmlroot>\n", false},
      {kHeader, "no declaration", doctype.substr(1) + "<NQXMLRoot>\n", false},
      {kHeader, "cut short", kDecl + doctype, false},
      {kBegin, "as written", "\t<Obj name=\"FSSettings\">\n", true},
      {kBegin, "name with blanks", "<Obj name=\"FSAlgorithm 1.00\">\n", true, 99,
       "FSAlgorithm 1.00"},
      {kBegin, "name with markup characters", "<Obj name=\"a<b>=c\">\n", true, 99, "a<b>=c"},
      {kBegin, "one empty line skipped", "\n\t<Obj name=\"FSSettings\">\n", true},
      {kBegin, "two empty lines refused", "\n\n\t<Obj name=\"FSSettings\">\n", false},
      {kBegin, "longer name", "<Obj name=\"FSSettings2\">\n", false},
      {kBegin, "other case", "<Obj name=\"fssettings\">\n", false},
      {kBegin, "shorter name", "<Obj name=\"FSSet\">\n", false},
      {kBegin, "other element", "<Object name=\"FSSettings\">\n", false},
      {kBegin, "other attribute", "<Obj id=\"FSSettings\">\n", false},
      {kBegin, "end tag", "</Obj>\n", false},
      {kBegin, "last line without newline", "<Obj name=\"FSSettings\">", true},
      {kBegin, "empty stream", "", false},
      {kInt, "trailing letters", "<Int value=\"12abc\"/>\n", true, 12},
      {kInt, "no digits", "<Int value=\"abc\"/>\n", true, 0},
      {kInt, "decimal text", "<Int value=\"3.9\"/>\n", true, 3},
      {kInt, "explicit plus", "<Int value=\"+5\"/>\n", true, 5},
      {kInt, "overflow saturates", "<Int value=\"99999999999\"/>\n", true, INT_MAX},
      {kInt, "indented with blanks and tabs", " \t \t<Int value=\"4\"/>\n", true, 4},
      {kInt, "further attributes ignored", "<Int value=\"4\" unit=\"x\"/>\n", true, 4},
      {kInt, "empty value text: the next token is />", "<Int value=\"\"/>\n", true, 0},
      {kInt, "double element", "<Double value=\"4\"/>\n", false},
      {kInt, "attribute name", "<Int val=\"4\"/>\n", false},
      {kInt, "two blanks before the attribute", "<Int  value=\"4\"/>\n", false},
      {kInt, "no attribute", "<Int/>\n", false},
      {kInt, "empty line", "\n<Int value=\"4\"/>\n", false},
      {kInt, "255 characters", tabs + "<Int value=\"1\"/>\n", true, 1},
      {kInt, "256 characters", "\t" + tabs + "<Int value=\"1\"/>\n", false},
      {kDouble, "three-digit exponent", "<Double value=\"1e-005\"/>\n", true, 0.00001},
      {kDouble, "missing", "\t\t<Double value=\"Missing\"/>\n", true, kMissing},
      {kDouble, "not a number keeps the value", "<Double value=\"abc\"/>\n", true},
      {kDouble, "out of range keeps the value", "<Double value=\"1e999\"/>\n", true},
      {kDouble, "missing in other case is no number", "<Double value=\"missing\"/>\n", true},
      {kDouble, "no value text", "<Double value=/>\n", true},
      {kDouble, "int element", "<Int value=\"4\"/>\n", false},
      {kDouble, "no attribute", "<Double/>\n", false},
      {kEnd, "as written", "\t\t\t</Obj>\n", true},
      {kEnd, "last line", "  </Obj>", true},
      {kEnd, "other element", "</Object>\n", false},
      {kEnd, "start tag", "<Obj>\n", false},
      {kEnd, "blank in the tag", "</ Obj>\n", false},
      {kEnd, "empty line", "\n</Obj>\n", false},
      {kEnd, "empty stream", "", false},
  };
  for (const auto& c : cases) {
    std::istringstream s(c.text);
    int n = 99;
    double x = 99;
    const bool ok = c.reader == kHeader   ? ReadDocumentHeader(s)
                    : c.reader == kBegin  ? ReadObjBegin(s, c.name)
                    : c.reader == kInt    ? ReadInt(s, n)
                    : c.reader == kDouble ? ReadDouble(s, x)
                                          : ReadObjEnd(s);
    if (c.reader == kInt) x = n;
    EXPECT_EQ(ok, c.ok) << c.what;
    EXPECT_EQ(BitsOf(x), BitsOf(c.value)) << c.what << ": " << x;
  }
}
