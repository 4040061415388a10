#pragma once

// Files that choose where the password goes (the configuration file) or hold
// it (a password file) are taken only from the user or root.

#include <string>

namespace hnasctl {

// Throws UsageError when the file open as `fd`, or the symbolic link at
// `path` that led to it, belongs to neither the user nor root. `what` names
// the file in the message, e.g. "the configuration file".
void requireTrustedOwner(int fd, const std::string& path, const std::string& what);

} // namespace hnasctl
