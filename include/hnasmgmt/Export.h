#pragma once

/// @file
/// Symbols of the hnasmgmt libraries are hidden by default; only what carries
/// HNASMGMT_API is exported from the shared objects.
#if defined(__GNUC__)
/// Exports a class, function or variable from the hnasmgmt shared libraries.
#define HNASMGMT_API __attribute__((visibility("default")))
#else
/// Exports a class, function or variable from the hnasmgmt shared libraries.
#define HNASMGMT_API
#endif
