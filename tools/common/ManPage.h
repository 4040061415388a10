#pragma once

// A program's manual page (roff, man(7) macros), generated from its CLI11
// definitions so that the page always lists the options the program has.

#include <string>

namespace CLI {
class App;
}

namespace hnastools {

struct ManPageInfo {
    std::string program; // "hnasctl", in section 1 of the manual
    std::string seeAlso; // "hnas-gateway-sim(1)", or empty
};

// The page: NAME and DESCRIPTION from the program's description, OPTIONS,
// COMMANDS (every subcommand with its arguments and options), ENVIRONMENT
// (every option that reads a variable), NOTES from the footer, SEE ALSO.
std::string manPage(const CLI::App& program, const ManPageInfo& info);

} // namespace hnastools
