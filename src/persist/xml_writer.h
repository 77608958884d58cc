// A small in-memory XML tree and its serializer. The result documents build a tree of
// elements, attributes and text nodes and write it behind an XML declaration and a DOCTYPE
// line; the saved-state writer uses only the document-type and attribute nodes and writes the
// rest of its lines itself. Nothing here parses, validates names or checks stream errors.
#ifndef FSRANK_PERSIST_XML_WRITER_H
#define FSRANK_PERSIST_XML_WRITER_H

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace NQFeatureXML {

// The XML declaration, exactly as every document of the library starts (note the blank
// before "?>").
inline constexpr char kXMLDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>";

// Layout options handed down the tree by reference and changed while it is walked: text
// nodes switch newLines and indent off so that their element's end tag follows the text, and
// every element switches them back on when it ends.
struct XMLFormat {
  bool newLines = true;  // start tags, attributes and end tags begin on a new line
  bool indent = true;    // lines are indented with one tab per level
  bool pretty = true;    // master switch: newLines and indent act only while this is true
  int level = 0;         // current nesting depth

  bool WantNewLine() const { return pretty && newLines; }
  bool WantIndent() const { return pretty && indent; }
};

// Every node is heap-allocated and reached through this base. AppendTo and WriteTo produce
// exactly the same characters; both return 0.
class XMLInterface {
 public:
  virtual ~XMLInterface() = default;
  virtual int AppendTo(std::string& out, XMLFormat& format) const = 0;
  // By default, the text AppendTo gives, written at once.
  virtual int WriteTo(std::ostream& stream, XMLFormat& format) const;

 protected:
  XMLInterface() = default;
  XMLInterface(const XMLInterface&) = default;
  XMLInterface& operator=(const XMLInterface&) = default;
};

// The declaration line followed by <!DOCTYPE root SYSTEM "dtd">, each ended by a newline.
class XMLDocType : public XMLInterface {
 public:
  XMLDocType(std::string rootName, std::string dtdName);
  int AppendTo(std::string& out, XMLFormat& format) const override;

 private:
  std::string fsRootName;
  std::string fsDtdName;
};

// name="value" with &, <, > and the double quote escaped in the value; the name is written
// as it is.
class XMLAttribute : public XMLInterface {
 public:
  XMLAttribute(std::string name, std::string value);
  // The value is FormatNumber(value).
  XMLAttribute(std::string name, double value);
  int AppendTo(std::string& out, XMLFormat& format) const override;

 private:
  std::string fsName;
  std::string fsValue;
};

// Character data with & and < escaped. Writing it switches newLines and indent off.
class XMLString : public XMLInterface {
 public:
  explicit XMLString(std::string text);
  int AppendTo(std::string& out, XMLFormat& format) const override;

 private:
  std::string fsText;
};

// An element with ordered attributes and children, both owned by the element and deleted
// with it (the whole subtree goes when the element goes).
class XMLElement : public XMLInterface {
 public:
  explicit XMLElement(std::string name);
  XMLElement(const XMLElement&) = delete;
  XMLElement& operator=(const XMLElement&) = delete;

  // Attributes keep insertion order; duplicates are not detected.
  void AddAttribute(const std::string& name, const std::string& value);
  void AddAttribute(const std::string& name, double value);
  // Takes ownership of child (a null child is ignored); returns the new number of children.
  int AddChild(XMLInterface* child);

  const std::string& GetName() const { return fsName; }
  int GetNAttributes() const { return static_cast<int>(fvpAttributes.size()); }
  int GetNChildren() const { return static_cast<int>(fvpChildren.size()); }

  int AppendTo(std::string& out, XMLFormat& format) const override;
  int WriteTo(std::ostream& stream, XMLFormat& format) const override;

 private:
  template <class Sink>
  void Emit(Sink& sink, XMLFormat& format) const;

  std::vector<std::unique_ptr<XMLAttribute>> fvpAttributes;
  std::string fsName;
  std::vector<std::unique_ptr<XMLInterface>> fvpChildren;
};

// Writes the declaration (when docType is null) or docType, then root, with a default format
// whose pretty flag is the argument. The caller keeps ownership of both nodes. Returns 0.
int WriteXMLDocument(std::ostream& stream, const XMLDocType* docType, const XMLElement* root,
                     bool pretty);

// The "%.15g" text of value in the classic locale: up to 15 significant digits, no grouping,
// no trailing zeros, exponent form for very small or large magnitudes.
std::string FormatNumber(double value);

// n tab characters; empty when n < 1.
std::string Tabs(int n);

// Replaces every occurrence of pattern in text, scanning left to right and continuing after
// each inserted replacement, so replacements are never rescanned. An empty pattern changes
// nothing.
void ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement);

// Passes every character of text to the stream's put operation in order.
void PutText(std::ostream& stream, const std::string& text);

}  // namespace NQFeatureXML

#endif  // FSRANK_PERSIST_XML_WRITER_H
