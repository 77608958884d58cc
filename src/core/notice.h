// Who wrote the documents the library writes: the component's name and version and its fixed
// copyright notice. The version query, the header of the result documents and the root of a
// saved-state document all read them from here.
#ifndef FSRANK_CORE_NOTICE_H
#define FSRANK_CORE_NOTICE_H

namespace NQFeatureXML {

inline constexpr char kCopyrightNotice[] = "Copyright (c) 2026 the fsrank authors";
inline constexpr char kComponentName[] = "fsrank feature selection";
inline constexpr char kComponentVersion[] = "1.0";

}  // namespace NQFeatureXML

#endif  // FSRANK_CORE_NOTICE_H
