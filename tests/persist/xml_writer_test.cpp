// The XML tree writer: the number and escaping helpers, byte-exact node goldens with AppendTo and
// WriteTo agreeing on every one, and the document frame. The pretty layout (and xmllint's verdict)
// of whole documents is held by the golden result documents (result_documents_test.cpp).
#include <functional>
#include <locale>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "persist/xml_writer.h"

using namespace NQFeatureXML;

namespace {

const std::string kDecl = kXMLDeclaration;

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
  EXPECT_EQ(header->AddChild(application), 1);
  auto* stamp = new XMLElement("Timestamp");
  stamp->AddChild(new XMLString("Mon Jan  5 10:00:00 2026"));
  EXPECT_EQ(header->AddChild(stamp), 2);
  EXPECT_EQ(header->AddChild(nullptr), 2);
  root->AddChild(header);
  root->AddChild(new XMLElement("Target"));
  return root;
}

}  // namespace

TEST(XMLHelpers, FormatNumberGivesThePrintfText) {
  const std::pair<double, const char*> cases[] = {
      {3.0, "3"},
      {0.5, "0.5"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.5e-7, "2.5e-07"},
      {-0.0, "-0"},
      {-7.0, "-7"},
      {2147483647.0, "2147483647"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1e+15"},
      {0.1 + 0.2, "0.3"},
      {1e-20, "1e-20"},
      {-1.7976931348623157e308, "-1.79769313486232e+308"},
  };
  for (const auto& [value, text] : cases)
    EXPECT_EQ(FormatNumber(value), text) << value;
  // A global locale with grouping and another decimal point must not show.
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

TEST(XMLHelpers, ReplaceAllNeverRescansReplacements) {
  const char* const cases[][4] = {
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
    std::string text = c[0];
    ReplaceAll(text, c[1], c[2]);
    EXPECT_EQ(text, c[3]) << c[0] << " / " << c[1];
  }
}

TEST(XMLNodes, GoldenTextsAndBothRenderingsAgree) {
  struct Case {
    const char* what;
    std::function<std::unique_ptr<XMLInterface>()> make;
    int level;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"attribute escaping", [] { return std::make_unique<XMLAttribute>("v", "a&b<c>\""); }, 0,
       "v=\"a&amp;b&lt;c&gt;&quot;\""},
      {"attribute escapes an entity again",
       [] { return std::make_unique<XMLAttribute>("v", "&amp;"); }, 0, "v=\"&amp;amp;\""},
      {"attribute name is not escaped", [] { return std::make_unique<XMLAttribute>("a<b", "x"); },
       0, "a<b=\"x\""},
      {"numeric attribute", [] { return std::make_unique<XMLAttribute>("n", 1.0 / 3.0); }, 0,
       "n=\"0.333333333333333\""},
      {"text escaping keeps quotes",
       [] { return std::make_unique<XMLString>("1 < 2 > 0 & \"x\""); }, 2,
       "1 &lt; 2 > 0 &amp; \"x\""},
      {"doctype", [] { return std::make_unique<XMLDocType>("FSOutputOne", "fsoutputonecrit.dtd"); },
       0, kDecl + "\n<!DOCTYPE FSOutputOne SYSTEM \"fsoutputonecrit.dtd\">\n"},
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
      {"children after text continue on its line",
       [] {
         auto e = std::make_unique<XMLElement>("P");
         e->AddChild(new XMLString("a"));
         e->AddChild(new XMLElement("B"));
         e->AddChild(new XMLElement("C"));
         return e;
       },
       0, "\n<P>a<B/>\n\t<C/>\n</P>"},
      {"nested tree", [] { return SampleTree(); }, 0,
       "\n<FSOutputOne\n\tversion=\"1.0\"\n\tnumberOfPredictors=\"2\">"
       "\n\t<Header\n\t\tcopyright=\"(c) A &amp; B\">"
       "\n\t\t<Application\n\t\t\tname=\"fsrank\"/>"
       "\n\t\t<Timestamp>Mon Jan  5 10:00:00 2026</Timestamp>"
       "\n\t</Header>\n\t<Target/>\n</FSOutputOne>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto node = c.make();
    XMLFormat appendFormat, writeFormat;
    appendFormat.level = writeFormat.level = c.level;
    std::string appended;
    std::ostringstream written;
    node->AppendTo(appended, appendFormat);
    node->WriteTo(written, writeFormat);
    EXPECT_EQ(appended, c.expected);
    EXPECT_EQ(written.str(), appended);
    EXPECT_EQ(appendFormat.level, c.level);
    EXPECT_EQ(writeFormat.newLines, appendFormat.newLines);
    EXPECT_EQ(writeFormat.indent, appendFormat.indent);
    EXPECT_EQ(writeFormat.level, appendFormat.level);
  }
}

TEST(XMLDocument, CompactLayoutAndTheFrameWithoutDoctype) {
  XMLDocType docType("FSOutputAll", "fsoutputallcrit.dtd");
  auto root = SampleTree();
  EXPECT_EQ(Document(&docType, root.get(), false),
            kDecl + "\n<!DOCTYPE FSOutputAll SYSTEM \"fsoutputallcrit.dtd\">\n" +
                "<FSOutputOne version=\"1.0\" numberOfPredictors=\"2\">"
                "<Header copyright=\"(c) A &amp; B\"><Application name=\"fsrank\"/>"
                "<Timestamp>Mon Jan  5 10:00:00 2026</Timestamp></Header><Target/></FSOutputOne>");
  XMLElement bare("R");
  EXPECT_EQ(Document(nullptr, &bare, true), kDecl + "\n\n<R/>");
  EXPECT_EQ(Document(nullptr, &bare, false), kDecl + "\n<R/>");
}
