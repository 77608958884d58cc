// The fixed copyright notice of every document the library writes: the root attribute of a
// saved-state document and the header of the result documents.
#ifndef FSRANK_XML_NOTICE_H
#define FSRANK_XML_NOTICE_H

namespace NQFeatureXML {

inline constexpr char kCopyrightNotice[] = "Copyright (c) 2026 the fsrank authors";

}  // namespace NQFeatureXML

#endif  // FSRANK_XML_NOTICE_H
