#include "persist/state_writer.h"

#include <utility>

#include "fsrank/missing.h"
#include "persist/xml_writer.h"

namespace NQFeatureXML {

namespace {

// One value line: "\n", the indentation, and an empty element with its value attribute.
void WriteValueLine(std::ostream& stream, int level, const char* element, const std::string& text) {
  std::string line = "\n";
  line += Tabs(level);
  line += "<";
  line += element;
  line += " ";
  XMLFormat format;
  XMLAttribute("value", text).AppendTo(line, format);
  line += "/";
  line += ">";
  PutText(stream, line);
}

}  // namespace

XMLObjectFrame::XMLObjectFrame(std::string name, int level)
    : fsName(std::move(name)), fnLevel(level) {}

int XMLObjectFrame::WriteObjBegin(std::ostream& stream) const {
  std::string line = "\n";
  line += Tabs(fnLevel);
  line += "<";
  line += "Obj";
  line += " ";
  line += "name";
  line += "=";
  line += "\"";
  line += fsName;
  line += "\"";
  line += ">";
  PutText(stream, line);
  return 0;
}

int XMLObjectFrame::WriteInt(std::ostream& stream, int value) const {
  WriteValueLine(stream, fnLevel + 1, "Int", FormatNumber(static_cast<double>(value)));
  return 0;
}

int XMLObjectFrame::WriteDouble(std::ostream& stream, double value) const {
  WriteValueLine(stream, fnLevel + 1, "Double",
                 NQMV::IsMissing(value) ? std::string("Missing") : FormatNumber(value));
  return 0;
}

int XMLObjectFrame::WriteObjEnd(std::ostream& stream) const {
  std::string line = "\n";
  line += Tabs(fnLevel);
  line += "<";
  line += "/";
  line += "Obj";
  line += ">";
  PutText(stream, line);
  return 0;
}

int WriteStateDocType(std::ostream& stream) {
  XMLFormat format;
  return XMLDocType(kStateRootName, kStateDtdName).WriteTo(stream, format);
}

int WriteRootBegin(std::ostream& stream, const std::string& copyright) {
  std::string line = "<";
  line += kStateRootName;
  line += " ";
  XMLFormat format;
  XMLAttribute("copyright", copyright).AppendTo(line, format);
  line += ">";
  PutText(stream, line);
  return 0;
}

int WriteRootEnd(std::ostream& stream) {
  std::string line = "\n";
  line += "</";
  line += kStateRootName;
  line += ">";
  PutText(stream, line);
  return 0;
}

}  // namespace NQFeatureXML
