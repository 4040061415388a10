#pragma once

// Hidden flags through which the build asks a program for its manual page and
// its bash completion, generated from the program's own option definitions:
//
//   PROGRAM --generate-man-page          the page (roff) on standard output
//   PROGRAM --generate-bash-completion   the completion script
//
// Both print and exit 0 before any other option is acted on.

#include "ManPage.h"

namespace CLI {
class App;
}

namespace hnastools {

// Adds the two flags to `app`. They read the definitions when they are given,
// so they may be added before the program's other options and subcommands.
void addDocumentationFlags(CLI::App& app, const ManPageInfo& info);

} // namespace hnastools
