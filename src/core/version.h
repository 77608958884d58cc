// The component version text of the algorithm facade, built from the one notice that every
// document of the library carries.
#ifndef FSRANK_CORE_VERSION_H
#define FSRANK_CORE_VERSION_H

#include <string>

#include "core/notice.h"

// "fsrank feature selection, version 1.0. Copyright (c) 2026 the fsrank authors"
inline std::string ComponentVersionText() {
  return std::string(NQFeatureXML::kComponentName) + ", version " +
         NQFeatureXML::kComponentVersion + ". " + NQFeatureXML::kCopyrightNotice;
}

#endif  // FSRANK_CORE_VERSION_H
