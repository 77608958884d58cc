// The engine-free pieces of the result documents: criterion names, the missing-aware numeric
// attribute and the header block.
#include "persist/document_parts.h"

#include <ctime>
#include <memory>

#include "core/notice.h"
#include "fsrank/enums.h"
#include "fsrank/missing.h"

namespace NQFeatureXML {

const char* CriterionTagName(int c) {
  switch (c) {
    case NQFSCommon::Pearson:
      return "Pearson";
    case NQFSCommon::Likelihood:
      return "Likelihood";
    case NQFSCommon::Cramer:
      return "Cramer";
    case NQFSCommon::Lambda:
      return "Lambda";
    case NQFSCommon::FStat:
      return "F-Statistic";
    case NQFSCommon::TStat:
      return "t-Statistic";
    default:
      return "";
  }
}

void AddValueOrMissing(XMLElement& element, const std::string& name, double value) {
  if (NQMV::IsMissing(value)) {
    element.AddAttribute(name, "Missing");
  } else {
    element.AddAttribute(name, value);
  }
}

std::string TimestampText() {
  const std::time_t now = std::time(nullptr);
  const char* text = std::ctime(&now);
  if (text == nullptr) return std::string();
  std::string out(text);
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

XMLElement* NewHeaderBlock() {
  auto header = std::make_unique<XMLElement>("Header");
  header->AddAttribute("copyright", kCopyrightNotice);
  auto application = std::make_unique<XMLElement>("Application");
  application->AddAttribute("name", kComponentName);
  application->AddAttribute("version", kComponentVersion);
  header->AddChild(application.release());
  auto timestamp = std::make_unique<XMLElement>("Timestamp");
  timestamp->AddChild(new XMLString(TimestampText()));
  header->AddChild(timestamp.release());
  return header.release();
}

}  // namespace NQFeatureXML
