#pragma once

// A program's bash completion script, generated from its CLI11 definitions:
// every subcommand and option, the fixed choices of an option where it has
// them, the values a command prints for the options given one, file names for
// the other values.

#include <map>
#include <string>

namespace CLI {
class App;
}

namespace hnastools {

// The bash command that prints the values of an option, one a line, keyed by
// the option's long name ("--profile").
using ValueCommands = std::map<std::string, std::string>;

// The script for `program` (installed as
// /usr/share/bash-completion/completions/PROGRAM); the options in
// `valueCommands` complete what their command prints.
std::string bashCompletion(const CLI::App& app, const std::string& program,
                           const ValueCommands& valueCommands = {});

} // namespace hnastools
