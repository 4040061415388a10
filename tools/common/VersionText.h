#pragma once

// What `PROGRAM --version` prints: the program's version, the version of the
// libhnasmgmt it runs with, and those of libcurl and its TLS library.

#include <string>

namespace hnastools {

std::string versionText(const std::string& program);

} // namespace hnastools
