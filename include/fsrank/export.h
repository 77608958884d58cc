// Visibility of the exported classes. The library is built with hidden visibility by default;
// only classes marked FSRANK_API are visible to hosts.
#ifndef FSRANK_EXPORT_H
#define FSRANK_EXPORT_H

#if defined(_WIN32)
#if defined(FSRANK_BUILDING)
#define FSRANK_API __declspec(dllexport)
#else
#define FSRANK_API __declspec(dllimport)
#endif
#else
#define FSRANK_API __attribute__((visibility("default")))
#endif

#endif  // FSRANK_EXPORT_H
