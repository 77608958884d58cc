// The writing half of the saved-state XML encoding: a line-oriented document of nested "Obj"
// elements whose contents are unnamed "Int" and "Double" values, one element per line. The
// reader (state_reader.h) recognises the lines positionally, so the exact layout is the format.
#ifndef FSRANK_PERSIST_STATE_WRITER_H
#define FSRANK_PERSIST_STATE_WRITER_H

#include <ostream>
#include <string>

namespace NQFeatureXML {

inline constexpr char kStateRootName[] = "NQXMLRoot";
inline constexpr char kStateDtdName[] = "savexml.dtd";

// Writes one object: its start line, its values and its end line. The level only sets the
// indentation (start and end at level tabs, values one tab deeper).
class XMLObjectFrame {
 public:
  // name is written without escaping and must not hold a double quote (it could not be read
  // back).
  XMLObjectFrame(std::string name, int level);

  int WriteObjBegin(std::ostream& stream) const;
  // The value as FormatNumber of the int converted to double: every int is written exactly.
  int WriteInt(std::ostream& stream, int value) const;
  // "Missing" for the missing value, else FormatNumber (15 significant digits).
  int WriteDouble(std::ostream& stream, double value) const;
  int WriteObjEnd(std::ostream& stream) const;

  const std::string& GetName() const { return fsName; }
  int GetLevel() const { return fnLevel; }

 private:
  std::string fsName;
  int fnLevel;
};

// The declaration and the DOCTYPE line of a saved-state document (root NQXMLRoot,
// "savexml.dtd"), through the tree writer's document-type node.
int WriteStateDocType(std::ostream& stream);

// The root start tag with its escaped copyright attribute; no newline before or after it (the
// next element's own newline ends the line).
int WriteRootBegin(std::ostream& stream, const std::string& copyright);

// A newline and the root end tag, with no newline after it.
int WriteRootEnd(std::ostream& stream);

}  // namespace NQFeatureXML

#endif  // FSRANK_PERSIST_STATE_WRITER_H
