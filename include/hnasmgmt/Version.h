#pragma once

/// @file
/// The version of the hnasmgmt headers, and a function that returns the
/// version of the library actually loaded. The two differ when a program was
/// built against one release and runs with another of the same ABI (the same
/// SONAME, libhnasmgmt.so.MAJOR).
///
/// The build checks that these numbers match the project's version.

#include "hnasmgmt/Export.h"

/// Major version: changes with the SONAME, on an incompatible ABI change.
#define HNASMGMT_VERSION_MAJOR 0
/// Minor version: compatible additions.
#define HNASMGMT_VERSION_MINOR 1
/// Patch version: fixes only.
#define HNASMGMT_VERSION_PATCH 0
/// The version as text, "MAJOR.MINOR.PATCH".
#define HNASMGMT_VERSION_STRING "0.1.0"

/// @return the version of the loaded libhnasmgmt as "MAJOR.MINOR.PATCH", a
///         static text that the caller does not free.
HNASMGMT_API const char* hnasmgmtVersion();
