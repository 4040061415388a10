#pragma once

// A program's bash completion script, generated from its CLI11 definitions:
// every subcommand and option, the fixed choices of an option where it has
// them, file names for the other values.

#include <string>

namespace CLI {
class App;
}

namespace hnastools {

// The script for `program` (installed as
// /usr/share/bash-completion/completions/PROGRAM).
std::string bashCompletion(const CLI::App& app, const std::string& program);

} // namespace hnastools
