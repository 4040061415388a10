#include "DocumentationFlags.h"

#include <CLI/CLI.hpp>

#include "Completion.h"

namespace hnastools {

namespace {

// CLI11 prints the text of CallForVersion with a newline of its own.
[[noreturn]] void printAndExit(std::string text) {
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    throw CLI::CallForVersion(text, 0);
}

} // namespace

void addDocumentationFlags(CLI::App& app, const ManPageInfo& info) {
    app.add_flag_callback("--generate-man-page", [&app, info] { printAndExit(manPage(app, info)); })
        ->group("")
        ->configurable(false);
    app.add_flag_callback(
           "--generate-bash-completion",
           [&app, info] { printAndExit(bashCompletion(app, info.program, info.valueCommands)); })
        ->group("")
        ->configurable(false);
}

} // namespace hnastools
