#pragma once

// Reads a program's CLI11 definitions for the generated documentation (the
// manual page and the bash completion): the commands, their visible options,
// and what each option takes.

#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace hnastools {

struct Command {
    std::vector<std::string> path; // the subcommand names below the program; empty: the program
    const CLI::App* app;
};

// The program and every subcommand below it, each parent before its children,
// in the order they were defined.
std::vector<Command> commands(const CLI::App& program);

// The options a user sees on a command, its option groups' included, in the
// order they were defined: no hidden options, no positionals.
std::vector<const CLI::Option*> visibleOptions(const CLI::App& app);

// The positional arguments of a command, in order.
std::vector<const CLI::Option*> positionals(const CLI::App& app);

// "-g", "--gateway": every name of the option.
std::vector<std::string> optionNames(const CLI::Option& option);

// Whether the option takes a value (otherwise it is a flag).
bool takesValue(const CLI::Option& option);

// The values an option accepts when it checks them against a fixed set
// (CLI::IsMember), otherwise nothing.
std::vector<std::string> choices(const CLI::Option& option);

// "snapshot create" for a path of two names.
std::string joined(const std::vector<std::string>& path);

} // namespace hnastools
