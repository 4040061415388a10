// hnasctl: manage an HNAS array through its REST management gateway.
//
// Exit status: 0 done, 1 the operation failed (or, for "exists", the object
// is absent), 2 the command line is wrong.

#include <exception>
#include <iostream>

#include <CLI/CLI.hpp>

#include "Checks.h"
#include "Commands.h"
#include "Connection.h"
#include "common/DocumentationFlags.h"
#include "common/VersionText.h"

namespace {

constexpr int kUsageError = 2;

const char* const kFooter =
    "The password comes from the environment variable HNAS_PASSWORD (see --password-env), "
    "from --password-file, or from a prompt when stdin is a terminal; never from the command "
    "line.\n"
    "Trust a self-signed gateway with --pin (or --cacert); --insecure turns checking off.\n"
    "--profile NAME (or HNAS_PROFILE) takes the connection values from a profile of "
    "~/.config/hnasctl/config; options and environment variables override it.\n"
    "Exit status: 0 done, 1 the operation failed (\"exists\": absent), 2 usage error.";

} // namespace

int main(int argc, char** argv) {
    using namespace hnasctl;
    CLI::App app{"hnasctl - manage an HNAS array through its REST management gateway", "hnasctl"};
    app.fallthrough();
    app.require_subcommand(1);
    app.footer(kFooter);
    app.set_version_flag("--version", hnastools::versionText("hnasctl"));
    hnastools::addDocumentationFlags(app, {"hnasctl", "hnas-gateway-sim(1)"});

    ConnectionOptions options;
    Selection selection;
    try {
        addConnectionOptions(app, options);
        addDeviceCommands(app, selection);
        addFileSystemCommands(app, selection);
        addSnapshotCommands(app, selection);
        addShareCommands(app, selection);
        addDirectoryCommands(app, selection);
    } catch (const std::exception& e) {
        printError(std::string("internal error: ") + e.what());
        return 1;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        printError(e.what());
        std::cerr << "Run with --help for more information.\n";
        return kUsageError;
    } catch (const std::exception& e) {
        printError(e.what());
        return kUsageError;
    }
    if (!selection.action) {
        std::cerr << "hnasctl: no command given\nRun with --help for more information.\n";
        return kUsageError;
    }

    try {
        applyProfile(app, options);
        Session session(options);
        return selection.action(session);
    } catch (const UsageError& e) {
        printError(e.what());
        return kUsageError;
    } catch (const std::exception& e) {
        printError(selection.name + " failed: " + e.what());
        return 1;
    }
}
