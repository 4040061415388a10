#pragma once

// A program's manual page (roff, man(7) macros), generated from its CLI11
// definitions so that the page always lists the options the program has.

#include <map>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace hnastools {

// A section of the page written by hand: its title ("FILES") and its text, a
// paragraph per line; lines that start with two blanks are shown as they
// stand (commands, file contents).
struct ManSection {
    std::string title;
    std::string text;
};

struct ManPageInfo {
    std::string program;              // "hnasctl", in section 1 of the manual
    std::string seeAlso;              // "hnas-gateway-sim(1)", or empty
    std::vector<ManSection> sections; // after NOTES, in this order
    // For the bash completion: the command that lists an option's values.
    std::map<std::string, std::string> valueCommands;
};

// The page: NAME and DESCRIPTION from the program's description, OPTIONS,
// COMMANDS (every subcommand with its arguments and options), ENVIRONMENT
// (every option that reads a variable), NOTES from the footer, the sections
// of `info`, SEE ALSO.
std::string manPage(const CLI::App& program, const ManPageInfo& info);

} // namespace hnastools
