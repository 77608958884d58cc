#include "persist/xml_writer.h"

#include <locale>
#include <sstream>
#include <utility>

namespace NQFeatureXML {

namespace {

// Where an element's pieces go. Building a string and writing to a stream share one walk of
// the element (Emit), so the two can never disagree; only the way a piece or a child node is
// delivered differs.
class StringSink {
 public:
  explicit StringSink(std::string& out) : fsOut(out) {}
  void Put(const std::string& text) { fsOut += text; }
  void Put(char c) { fsOut += c; }
  void Node(const XMLInterface& node, XMLFormat& format) { node.AppendTo(fsOut, format); }

 private:
  std::string& fsOut;
};

class StreamSink {
 public:
  explicit StreamSink(std::ostream& stream) : fStream(stream) {}
  void Put(const std::string& text) { PutText(fStream, text); }
  void Put(char c) { fStream.put(c); }
  void Node(const XMLInterface& node, XMLFormat& format) { node.WriteTo(fStream, format); }

 private:
  std::ostream& fStream;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Helpers

std::string FormatNumber(double value) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text.precision(15);
  text << value;
  return text.str();
}

std::string Tabs(int n) {
  return n < 1 ? std::string() : std::string(static_cast<size_t>(n), '\t');
}

void ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement) {
  if (pattern.empty()) return;
  std::string::size_type p = 0;
  while (p <= text.size()) {
    const std::string::size_type i = text.find(pattern, p);
    if (i == std::string::npos) break;
    text.replace(i, pattern.size(), replacement);
    p = i + replacement.size();
  }
}

void PutText(std::ostream& stream, const std::string& text) {
  for (char c : text)
    stream.put(c);
}

// ---------------------------------------------------------------------------------------------
// XMLInterface

int XMLInterface::WriteTo(std::ostream& stream, XMLFormat& format) const {
  std::string text;
  AppendTo(text, format);
  PutText(stream, text);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// XMLDocType

XMLDocType::XMLDocType(std::string rootName, std::string dtdName)
    : fsRootName(std::move(rootName)), fsDtdName(std::move(dtdName)) {}

int XMLDocType::AppendTo(std::string& out, XMLFormat& /*format*/) const {
  out += kXMLDeclaration;
  out += "\n";
  out += "<";
  out += "!";
  out += "DOCTYPE";
  out += " ";
  out += fsRootName;
  out += " ";
  out += "SYSTEM";
  out += " ";
  out += "\"";
  out += fsDtdName;
  out += "\"";
  out += ">";
  out += "\n";
  return 0;
}

// ---------------------------------------------------------------------------------------------
// XMLAttribute

XMLAttribute::XMLAttribute(std::string name, std::string value)
    : fsName(std::move(name)), fsValue(std::move(value)) {}

XMLAttribute::XMLAttribute(std::string name, double value)
    : fsName(std::move(name)), fsValue(FormatNumber(value)) {}

int XMLAttribute::AppendTo(std::string& out, XMLFormat& /*format*/) const {
  // "&" first, so that the ampersands of the other replacements are not escaped again.
  std::string v = fsValue;
  ReplaceAll(v, "&", "&amp;");
  ReplaceAll(v, "<", "&lt;");
  ReplaceAll(v, ">", "&gt;");
  ReplaceAll(v, "\"", "&quot;");
  out += fsName;
  out += "=";
  out += "\"";
  out += v;
  out += "\"";
  return 0;
}

// ---------------------------------------------------------------------------------------------
// XMLString

XMLString::XMLString(std::string text) : fsText(std::move(text)) {}

int XMLString::AppendTo(std::string& out, XMLFormat& format) const {
  std::string t = fsText;
  ReplaceAll(t, "&", "&amp;");
  ReplaceAll(t, "<", "&lt;");
  out += t;
  // The enclosing element's end tag must follow the text directly.
  format.newLines = false;
  format.indent = false;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// XMLElement

XMLElement::XMLElement(std::string name) : fsName(std::move(name)) {}

void XMLElement::AddAttribute(const std::string& name, const std::string& value) {
  fvpAttributes.push_back(std::make_unique<XMLAttribute>(name, value));
}

void XMLElement::AddAttribute(const std::string& name, double value) {
  fvpAttributes.push_back(std::make_unique<XMLAttribute>(name, value));
}

int XMLElement::AddChild(XMLInterface* child) {
  if (child != nullptr) fvpChildren.emplace_back(child);
  return static_cast<int>(fvpChildren.size());
}

template <class Sink>
void XMLElement::Emit(Sink& sink, XMLFormat& format) const {
  const int entryLevel = format.level;
  const std::string tabs = Tabs(entryLevel);

  if (format.WantNewLine()) sink.Put('\n');
  if (format.WantIndent()) sink.Put(tabs);
  sink.Put('<');
  sink.Put(fsName);

  if (!fvpAttributes.empty()) {
    format.level = entryLevel + 1;
    for (const auto& attribute : fvpAttributes) {
      sink.Put(format.WantNewLine() ? '\n' : ' ');
      if (format.WantIndent()) sink.Put(Tabs(format.level));
      sink.Node(*attribute, format);
    }
    format.level = entryLevel;
  }

  if (!fvpChildren.empty()) {
    sink.Put('>');
    format.level = entryLevel + 1;
    for (const auto& child : fvpChildren)
      sink.Node(*child, format);
    format.level = entryLevel;
    if (format.WantNewLine()) sink.Put('\n');
    if (format.WantIndent()) sink.Put(tabs);
    sink.Put("</");
    sink.Put(fsName);
    sink.Put('>');
  } else {
    sink.Put('/');
    sink.Put('>');
  }

  format.newLines = true;
  format.indent = true;
}

int XMLElement::AppendTo(std::string& out, XMLFormat& format) const {
  StringSink sink(out);
  Emit(sink, format);
  return 0;
}

int XMLElement::WriteTo(std::ostream& stream, XMLFormat& format) const {
  StreamSink sink(stream);
  Emit(sink, format);
  return 0;
}

// ---------------------------------------------------------------------------------------------

int WriteXMLDocument(std::ostream& stream, const XMLDocType* docType, const XMLElement* root,
                     bool pretty) {
  XMLFormat format;
  format.pretty = pretty;
  if (docType == nullptr) {
    PutText(stream, kXMLDeclaration);
    stream.put('\n');
  } else {
    docType->WriteTo(stream, format);
  }
  if (root != nullptr) root->WriteTo(stream, format);
  return 0;
}

}  // namespace NQFeatureXML
