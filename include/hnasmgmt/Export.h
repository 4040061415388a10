#pragma once

// Symbols of the hnasmgmt libraries are hidden by default; only what carries
// HNASMGMT_API is exported from the shared objects.
#if defined(__GNUC__)
#define HNASMGMT_API __attribute__((visibility("default")))
#else
#define HNASMGMT_API
#endif
