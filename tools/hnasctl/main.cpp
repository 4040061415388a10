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

const char* const kFiles =
    "~/.config/hnasctl/config (or $XDG_CONFIG_HOME/hnasctl/config) holds named profiles, chosen "
    "with --profile NAME or HNAS_PROFILE. Each profile gives the connection values that no option "
    "or environment variable gives:\n"
    "  # comment\n"
    "  [prod]\n"
    "  gateway = gw.example.net:8444      # or: gateway = gw.example.net  and  port = 8444\n"
    "  user = backup\n"
    "  management-ip = 192.0.2.10\n"
    "  subsystem-type = HNAS\n"
    "  cacert = gateway-ca.pem            # PEM file of the CA to trust, or: pin = sha256//...\n"
    "  password-file = prod.password      # its first line is the password\n"
    "A profile never holds the password itself. \"cacert\" and \"password-file\" may start "
    "with ~/ (the home directory); a relative path is taken beside the configuration file, "
    "never in the current directory. A trust option given (--cacert, --pin, --insecure) "
    "replaces the profile's cacert and pin; a password in the environment replaces its "
    "password file.\n"
    "The configuration file and the password file must belong to the user or root (as must a "
    "symbolic link to them), only their owner may write the configuration file, and only the "
    "owner may read the password file (chmod 600); otherwise hnasctl refuses them.";

const char* const kExamples =
    "Connect once through the environment, then list, snapshot and clean up:\n"
    "  export HNAS_GATEWAY=gw.example.net:8444 HNAS_USER=backup HNAS_MANAGEMENT_IP=192.0.2.10\n"
    "  export HNAS_PIN=sha256//...   # or HNAS_CACERT=/etc/ssl/gateway-ca.pem\n"
    "  read -rs HNAS_PASSWORD && export HNAS_PASSWORD\n"
    "  hnasctl fs list\n"
    "  hnasctl snapshot create --fs $(hnasctl fs id --label fs-finance) --name RKHNAS_before\n"
    "  hnasctl snapshot delete --fs 0A1B --name my-manual-snap\n"
    "  hnasctl --output csv share list --evs evs-prod --with-perms > shares.csv\n"
    "With a profile:\n"
    "  hnasctl --profile prod info\n"
    "Read a gateway's pin (the SHA-256 of its public key) for --pin, over a path you trust:\n"
    "  openssl s_client -connect gw.example.net:8444 </dev/null 2>/dev/null | openssl x509 "
    "-pubkey -noout | openssl pkey -pubin -outform der | openssl dgst -sha256 -binary | base64";

const char* const kExitStatus =
    "0: done (\"exists\": present; a deletion by name that matched nothing also counts as "
    "done, and says so).\n"
    "1: the operation failed, the answer was \"absent\", or a walk (snapshot list-all, share list "
    "--with-perms) could not read some of its parts; stderr names them.\n"
    "2: the command line, a profile or a password file is wrong; nothing was sent.";

const char* const kOutput =
    "--output table (the default) is for people: times in ISO 8601 UTC, capacities in IEC units "
    "(KiB, MiB, GiB, TiB), directory paths with single slashes, and a share whose permission "
    "entries could not be read shows (unread) (in JSON, \"permissionsRead\": false). --output "
    "json and --output csv keep the array's raw numbers.\n"
    "In CSV, a cell that begins with =, +, -, @, a tab or a carriage return (and is not a plain "
    "negative number) is written with a leading apostrophe, so that a spreadsheet keeps it as "
    "text instead of running it as a formula. JSON keeps every text as it is.\n"
    "A CIFS permission entry is NAME=PERMISSION[,TYPE]: TYPE is USER or GROUP, and PERMISSION "
    "is the array's own number for the rights granted, sent and shown unchanged (hnasctl "
    "neither checks nor translates it; which rights each number grants is defined by the "
    "array).";

// Prints the profile names of the configuration file, for the completion of
// --profile.
const char* const kProfileNames =
    "sed -n 's/^[[:space:]]*\\[[[:space:]]*\\(.*[^[:space:]]\\)[[:space:]]*\\][[:space:]]*$/\\1/p' "
    "\"${XDG_CONFIG_HOME:-$HOME/.config}/hnasctl/config\" 2>/dev/null";

} // namespace

int main(int argc, char** argv) {
    using namespace hnasctl;
    CLI::App app{"hnasctl - manage an HNAS array through its REST management gateway", "hnasctl"};
    app.fallthrough();
    app.require_subcommand(1);
    app.footer(kFooter);
    app.set_version_flag("--version", hnastools::versionText("hnasctl"));
    hnastools::addDocumentationFlags(app, {"hnasctl",
                                           "hnas-gateway-sim(1)",
                                           {{"OUTPUT", kOutput},
                                            {"FILES", kFiles},
                                            {"EXIT STATUS", kExitStatus},
                                            {"EXAMPLES", kExamples}},
                                           {{"--profile", kProfileNames}}});

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
