// The XML tree writer: byte-exact goldens for escaping, layout and numbers, AppendTo and
// WriteTo agreeing on every case, and a written document checked by xmllint.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "xml/xml_writer.h"

using namespace NQFeatureXML;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>";

// Both renderings of one node from the same starting format; the final formats must agree too.
struct Rendered {
  std::string appended;
  std::string written;
  XMLFormat appendFormat;
  XMLFormat writeFormat;
};

Rendered Render(const XMLInterface& node, const XMLFormat& start = XMLFormat()) {
  Rendered r;
  r.appendFormat = start;
  r.writeFormat = start;
  node.AppendTo(r.appended, r.appendFormat);
  std::ostringstream stream;
  node.WriteTo(stream, r.writeFormat);
  r.written = stream.str();
  return r;
}

std::string Document(const XMLDocType* docType, const XMLElement* root, bool pretty) {
  std::ostringstream stream;
  EXPECT_EQ(WriteXMLDocument(stream, docType, root, pretty), 0);
  return stream.str();
}

// A small result-like tree: root with two attributes, a header with a nested element and a
// text child, and an empty element.
std::unique_ptr<XMLElement> SampleTree() {
  auto root = std::make_unique<XMLElement>("FSOutputOne");
  root->AddAttribute("version", "1.0");
  root->AddAttribute("numberOfPredictors", 2.0);
  auto* header = new XMLElement("Header");
  header->AddAttribute("copyright", "(c) A & B");
  auto* application = new XMLElement("Application");
  application->AddAttribute("name", "fsrank");
  application->AddAttribute("version", "1.0");
  EXPECT_EQ(header->AddChild(application), 1);
  auto* stamp = new XMLElement("Timestamp");
  stamp->AddChild(new XMLString("Mon Jan  5 10:00:00 2026"));
  EXPECT_EQ(header->AddChild(stamp), 2);
  root->AddChild(header);
  root->AddChild(new XMLElement("Target"));
  return root;
}

struct NodeCase {
  const char* what;
  std::function<std::unique_ptr<XMLInterface>()> make;
  int level;
  std::string expected;
};

}  // namespace

TEST(XMLHelpers, FormatNumberGivesThePrintfText) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {3.0, "3"},
      {0.5, "0.5"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.5e-7, "2.5e-07"},
      {-0.0, "-0"},
      {0.0, "0"},
      {-7.0, "-7"},
      {2147483647.0, "2147483647"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1e+15"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.3"},
      {1e-20, "1e-20"},
      {-1.7976931348623157e308, "-1.79769313486232e+308"},
      {1234.5, "1234.5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatNumber(c.value), c.text) << c.value;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", c.value);
    EXPECT_EQ(FormatNumber(c.value), buffer) << c.value;
  }
}

TEST(XMLHelpers, FormatNumberIgnoresTheGlobalLocale) {
  // A stream default locale with grouping would otherwise turn 1234567 into 1,234,567.
  struct Grouping : std::numpunct<char> {
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
    char do_decimal_point() const override { return ';'; }
  };
  const std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new Grouping));
  const std::string big = FormatNumber(1234567.25);
  std::locale::global(previous);
  EXPECT_EQ(big, "1234567.25");
}

TEST(XMLHelpers, Tabs) {
  EXPECT_EQ(Tabs(0), "");
  EXPECT_EQ(Tabs(-1), "");
  EXPECT_EQ(Tabs(1), "\t");
  EXPECT_EQ(Tabs(3), "\t\t\t");
}

TEST(XMLHelpers, ReplaceAllNeverRescansReplacements) {
  const struct {
    const char* text;
    const char* pattern;
    const char* replacement;
    const char* expected;
  } cases[] = {
      {"a&b&", "&", "&amp;", "a&amp;b&amp;"},
      {"&amp;", "&", "&amp;", "&amp;amp;"},
      {"aaa", "a", "aa", "aaaaaa"},
      {"aaaa", "aa", "a", "aa"},
      {"xyz", "q", "r", "xyz"},
      {"", "a", "b", ""},
      {"abc", "", "-", "abc"},
      {"abab", "ab", "", ""},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    ReplaceAll(text, c.pattern, c.replacement);
    EXPECT_EQ(text, c.expected) << c.text << " / " << c.pattern;
  }
}

TEST(XMLNodes, GoldenTextsAndBothRenderingsAgree) {
  const std::vector<NodeCase> cases = {
      {"attribute escaping", [] { return std::make_unique<XMLAttribute>("v", "a&b<c>\""); }, 0,
       "v=\"a&amp;b&lt;c&gt;&quot;\""},
      {"attribute escapes an existing entity again",
       [] { return std::make_unique<XMLAttribute>("v", "&amp;"); }, 0, "v=\"&amp;amp;\""},
      {"attribute name is not escaped", [] { return std::make_unique<XMLAttribute>("a<b", "x"); },
       0, "a<b=\"x\""},
      {"numeric attribute", [] { return std::make_unique<XMLAttribute>("n", 1.0 / 3.0); }, 0,
       "n=\"0.333333333333333\""},
      {"text escaping", [] { return std::make_unique<XMLString>("1 < 2 > 0 & x"); }, 0,
       "1 &lt; 2 > 0 &amp; x"},
      {"text keeps quotes", [] { return std::make_unique<XMLString>("say \"hi\""); }, 2,
       "say \"hi\""},
      {"doctype", [] { return std::make_unique<XMLDocType>("FSOutputOne", "fsoutputonecrit.dtd"); },
       0, kDecl + "\n<!DOCTYPE FSOutputOne SYSTEM \"fsoutputonecrit.dtd\">\n"},
      {"empty element", [] { return std::make_unique<XMLElement>("Target"); }, 0, "\n<Target/>"},
      {"empty element at level 2", [] { return std::make_unique<XMLElement>("Target"); }, 2,
       "\n\t\t<Target/>"},
      {"attributes only",
       [] {
         auto e = std::make_unique<XMLElement>("Predictor");
         e->AddAttribute("predictorIndex", 4.0);
         e->AddAttribute("criterionValue", 2.5e-7);
         return e;
       },
       1, "\n\t<Predictor\n\t\tpredictorIndex=\"4\"\n\t\tcriterionValue=\"2.5e-07\"/>"},
      {"text child",
       [] {
         auto e = std::make_unique<XMLElement>("Timestamp");
         e->AddChild(new XMLString("text"));
         return e;
       },
       1, "\n\t<Timestamp>text</Timestamp>"},
      {"nested tree", [] { return SampleTree(); }, 0,
       "\n<FSOutputOne"
       "\n\tversion=\"1.0\""
       "\n\tnumberOfPredictors=\"2\">"
       "\n\t<Header"
       "\n\t\tcopyright=\"(c) A &amp; B\">"
       "\n\t\t<Application"
       "\n\t\t\tname=\"fsrank\""
       "\n\t\t\tversion=\"1.0\"/>"
       "\n\t\t<Timestamp>Mon Jan  5 10:00:00 2026</Timestamp>"
       "\n\t</Header>"
       "\n\t<Target/>"
       "\n</FSOutputOne>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto node = c.make();
    XMLFormat start;
    start.level = c.level;
    const Rendered r = Render(*node, start);
    EXPECT_EQ(r.appended, c.expected);
    EXPECT_EQ(r.written, r.appended);
    EXPECT_EQ(r.appendFormat.level, c.level);
    EXPECT_EQ(r.writeFormat.newLines, r.appendFormat.newLines);
    EXPECT_EQ(r.writeFormat.indent, r.appendFormat.indent);
    EXPECT_EQ(r.writeFormat.level, r.appendFormat.level);
  }
}

TEST(XMLNodes, MixedChildrenAfterTextContinueOnTheSameLine) {
  XMLElement parent("P");
  parent.AddChild(new XMLString("a"));
  parent.AddChild(new XMLElement("B"));
  parent.AddChild(new XMLElement("C"));
  const Rendered r = Render(parent);
  EXPECT_EQ(r.appended, "\n<P>a<B/>\n\t<C/>\n</P>");
  EXPECT_EQ(r.written, r.appended);
  EXPECT_EQ(parent.AddChild(nullptr), 3);
}

TEST(XMLDocument, PrettyLayout) {
  XMLDocType docType("FSOutputOne", "fsoutputonecrit.dtd");
  auto root = SampleTree();
  const std::string text = Document(&docType, root.get(), true);
  const std::string expected = kDecl +
                               "\n<!DOCTYPE FSOutputOne SYSTEM \"fsoutputonecrit.dtd\">\n"
                               "\n<FSOutputOne"
                               "\n\tversion=\"1.0\""
                               "\n\tnumberOfPredictors=\"2\">"
                               "\n\t<Header"
                               "\n\t\tcopyright=\"(c) A &amp; B\">"
                               "\n\t\t<Application"
                               "\n\t\t\tname=\"fsrank\""
                               "\n\t\t\tversion=\"1.0\"/>"
                               "\n\t\t<Timestamp>Mon Jan  5 10:00:00 2026</Timestamp>"
                               "\n\t</Header>"
                               "\n\t<Target/>"
                               "\n</FSOutputOne>";
  EXPECT_EQ(text, expected);
}

TEST(XMLDocument, NonPrettyLayoutIsOneLineAfterTheDoctype) {
  XMLDocType docType("FSOutputAll", "fsoutputallcrit.dtd");
  auto root = SampleTree();
  const std::string expected =
      kDecl + "\n<!DOCTYPE FSOutputAll SYSTEM \"fsoutputallcrit.dtd\">\n" +
      "<FSOutputOne version=\"1.0\" numberOfPredictors=\"2\">"
      "<Header copyright=\"(c) A &amp; B\"><Application name=\"fsrank\" version=\"1.0\"/>"
      "<Timestamp>Mon Jan  5 10:00:00 2026</Timestamp></Header><Target/></FSOutputOne>";
  EXPECT_EQ(Document(&docType, root.get(), false), expected);
}

TEST(XMLDocument, WithoutDoctypeOnlyTheDeclarationPrecedesTheRoot) {
  XMLElement root("R");
  EXPECT_EQ(Document(nullptr, &root, true), kDecl + "\n\n<R/>");
  EXPECT_EQ(Document(nullptr, &root, false), kDecl + "\n<R/>");
}

TEST(XMLDocument, WrittenDocumentIsWellFormed) {
  if (std::system("command -v xmllint >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "xmllint is not installed (Debian package libxml2-utils)";
  }
  char dir[] = "/tmp/fsrank_xml_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string base = dir;
  const bool prettyModes[] = {true, false};
  for (bool pretty : prettyModes) {
    SCOPED_TRACE(pretty ? "pretty" : "compact");
    const std::string path = base + (pretty ? "/pretty.xml" : "/compact.xml");
    {
      XMLDocType docType("FSOutputOne", "fsoutputonecrit.dtd");
      auto root = SampleTree();
      auto* tricky = new XMLElement("Tricky");
      tricky->AddAttribute("v", "a&b<c>\"d'");
      tricky->AddChild(new XMLString("1 < 2 > 0 & x \"q\""));
      root->AddChild(tricky);
      std::ofstream file(path, std::ios::binary);
      WriteXMLDocument(file, &docType, root.get(), pretty);
    }
    const std::string command = "xmllint --noout --nonet '" + path + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::remove(path.c_str());
  }
  rmdir(dir);
}
