#pragma once

// Where hnasctl takes the password from: a file only its owner can read, an
// environment variable, or a prompt on the terminal. Never the command line.

#include <string>

#include "Secret.h"

namespace hnasctl {

// Reads the password: from the first line of `file` when one is named, else
// from the environment variable `envName`, else from a prompt when stdin is a
// terminal. Throws UsageError when there is none, when the file can be read
// by its group or by others, or when it is longer than Secret::kMaxSize.
void readPassword(const std::string& file, const std::string& envName, const std::string& user,
                  Secret& password);

} // namespace hnasctl
