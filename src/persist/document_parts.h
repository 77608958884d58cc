// Pieces of the two result documents ("FSOutputOne", "FSOutputAll") that do not need the
// engine: the criterion names, the missing-aware numeric attribute and the header block. The
// documents themselves are built by FSPredictorSet::ExportOne and ExportAll.
#ifndef FSRANK_PERSIST_DOCUMENT_PARTS_H
#define FSRANK_PERSIST_DOCUMENT_PARTS_H

#include <string>

#include "persist/xml_writer.h"

namespace NQFeatureXML {

// The name of ranking criterion c in a "CriteriaList" or "CriterionAndRank": "Pearson",
// "Likelihood", "Cramer", "Lambda", "F-Statistic", "t-Statistic"; empty for any other value.
const char* CriterionTagName(int c);

// Adds attribute name with the text "Missing" when value is the missing value, otherwise the
// number.
void AddValueOrMissing(XMLElement& element, const std::string& name, double value);

// The current local time in the standard library's ctime form, without its trailing newline
// ("Wed Jun 30 21:49:08 1993"); empty when the clock cannot be converted.
std::string TimestampText();

// A new "Header" element: the copyright notice, the component's name and version, and the
// time stamp. The caller owns it.
XMLElement* NewHeaderBlock();

}  // namespace NQFeatureXML

#endif  // FSRANK_PERSIST_DOCUMENT_PARTS_H
