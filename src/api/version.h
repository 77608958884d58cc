// The component's name, version and copyright notice, shared by the version query, the result
// documents and the saved-state documents.
#ifndef FSRANK_API_VERSION_H
#define FSRANK_API_VERSION_H

inline constexpr const char* kComponentName = "fsrank feature selection";
inline constexpr const char* kComponentVersion = "1.0";
inline constexpr const char* kCopyrightNotice = "Copyright (c) 2026 the fsrank authors";
inline constexpr const char* kComponentVersionText =
    "fsrank feature selection, version 1.0. Copyright (c) 2026 the fsrank authors";

#endif  // FSRANK_API_VERSION_H
