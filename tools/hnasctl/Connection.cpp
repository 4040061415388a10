// Connection options, profile, TLS settings, log routing and the facade.

#include "Connection.h"

#include <cstdlib>
#include <iostream>

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <boost/make_shared.hpp>

#include "Checks.h"
#include "FailureReason.h"
#include "Password.h"
#include "Profile.h"
#include "hnasmgmt/host/RKLibCurl.h"

namespace hnasctl {

namespace {

void addOutputOptions(CLI::App& app, ConnectionOptions& o) {
    const std::string out = "Output";
    auto* json = app.add_flag("--json", o.json, "The same as --output json")->group(out);
    app.add_option("-o,--output", o.output,
                   "table for people, json for scripts, csv for spreadsheets")
        ->check(CLI::IsMember({"table", "json", "csv"}))
        ->capture_default_str()
        ->excludes(json)
        ->group(out);
    app.add_flag("-v,--verbose", o.verbosity,
                 "Show the library's log on stderr; -vv adds wire detail, -vvv response dumps")
        ->group(out);
}

bool given(const CLI::App& app, const char* option) {
    return app.get_option(option)->count() > 0;
}

// The gateway of a profile: "gateway" alone, or with "port".
std::string profileGateway(const Profile& p) {
    const auto gateway = p.find("gateway");
    const auto port = p.find("port");
    if (gateway == p.end() || port == p.end()) {
        return gateway == p.end() ? std::string() : gateway->second;
    }
    const std::string& host = gateway->second;
    const bool ipv6 = host.find(':') != std::string::npos && host.front() != '[';
    return (ipv6 ? "[" + host + "]" : host) + ":" + port->second;
}

// A file named in the profile at `configFile`: "~/x" is in the home
// directory, a relative path beside the configuration file (never in the
// current directory, which someone else may choose).
std::string profilePath(const std::string& path, const std::string& configFile) {
    const char* home = std::getenv("HOME");
    if (path.compare(0, 2, "~/") == 0 && home != nullptr && *home != '\0') {
        return std::string(home) + path.substr(1);
    }
    if (path.empty() || path.front() == '/') {
        return path;
    }
    return configFile.substr(0, configFile.rfind('/') + 1) + path;
}

// The TLS settings the options ask for.
RKLibCurlOptions trustOptions(const ConnectionOptions& o) {
    RKLibCurlOptions tls = RKLibCurl::getOptions();
    if (!o.caFile.empty()) {
        if (access(o.caFile.c_str(), R_OK) != 0) {
            throw UsageError("cannot read the --cacert file " + quoted(o.caFile));
        }
        tls.caFile = o.caFile;
    }
    if (!o.pin.empty()) {
        std::string pin = o.pin;
        if (pin.compare(0, 8, "sha256//") != 0) {
            pin = "sha256//" + pin;
        }
        const std::string allowed =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=;";
        if (pin.size() <= 8 || pin.find_first_not_of(allowed, 8) != std::string::npos) {
            throw UsageError("--pin must be \"sha256//\" followed by the base64 SHA-256 of the "
                             "public key: " +
                             quoted(o.pin));
        }
        tls.pinnedPublicKey = pin;
        if (o.caFile.empty()) {
            // The pin authenticates the gateway; its self-signed chain need not verify.
            tls.verifyPeer = false;
            tls.verifyHost = false;
        }
    }
    if (o.insecure) {
        tls.verifyPeer = false;
        tls.verifyHost = false;
        printError("warning: --insecure: the gateway's certificate is not verified; the "
                   "password can reach anyone who intercepts the connection");
    }
    tls.connectTimeoutMs = std::max(1L, static_cast<long>(o.connectTimeout * 1000.0));
    tls.requestTimeoutMs = std::max(1L, static_cast<long>(o.timeout * 1000.0));
    return tls;
}

} // namespace

void addConnectionOptions(CLI::App& app, ConnectionOptions& o) {
    const std::string conn = "Connection";
    app.add_option(
           "--profile", o.profile,
           "Take the connection values that no option or variable gives from this "
           "profile of " +
               (configPath().empty() ? std::string("~/.config/hnasctl/config") : configPath()))
        ->envname("HNAS_PROFILE")
        ->group(conn);
    app.add_option("-g,--gateway", o.gateway, "The management gateway as HOST:PORT")
        ->envname("HNAS_GATEWAY")
        ->group(conn);
    app.add_option("-u,--user", o.user, "Array user name")->envname("HNAS_USER")->group(conn);
    app.add_option("--subsystem-type", o.subsystemType, "Subsystem type sent to the gateway")
        ->envname("HNAS_SUBSYSTEM_TYPE")
        ->capture_default_str()
        ->group(conn);
    app.add_option("--management-ip", o.managementIP, "The array's management IP address")
        ->envname("HNAS_MANAGEMENT_IP")
        ->group(conn);
    app.add_option("--password-file", o.passwordFile,
                   "Read the password from the first line of this file (which only its owner "
                   "may read)")
        ->group(conn);
    app.add_option("--password-env", o.passwordEnv,
                   "Read the password from this environment variable")
        ->capture_default_str()
        ->group(conn);
    app.add_option("--cacert", o.caFile,
                   "PEM file with the certificate(s) to trust for the gateway")
        ->envname("HNAS_CACERT")
        ->group(conn);
    app.add_option("--pin", o.pin,
                   "Trust the gateway whose public key has this pin, \"sha256//BASE64\"; "
                   "enough on its own for a self-signed gateway (the chain and the name are "
                   "then not checked)")
        ->envname("HNAS_PIN")
        ->group(conn);
    app.add_flag("--insecure", o.insecure,
                 "Do not verify the gateway's certificate at all (unsafe; warns on stderr)")
        ->group(conn);
    app.add_option("--connect-timeout", o.connectTimeout, "Seconds to wait for a connection")
        ->check(CLI::Range(0.001, 3600.0))
        ->capture_default_str()
        ->group(conn);
    app.add_option("--timeout", o.timeout, "Seconds one request may take, retries included")
        ->check(CLI::Range(0.001, 86400.0))
        ->capture_default_str()
        ->group(conn);
    app.add_option("--job-id", o.jobId, "Job identifier carried by the log lines")
        ->capture_default_str()
        ->group(conn);
    // Refused with a message that does not repeat the value.
    app.add_option("--password", o.passwordOnCommandLine)
        ->each([&o](const std::string&) { o.passwordGiven = true; })
        ->group("");
    addOutputOptions(app, o);
}

void applyProfile(const CLI::App& app, ConnectionOptions& o) {
    if (o.profile.empty()) {
        return;
    }
    const std::string path = configPath();
    if (path.empty()) {
        throw UsageError("--profile: neither XDG_CONFIG_HOME nor HOME is set");
    }
    const Profile p = readProfile(path, o.profile);
    const auto take = [&](const char* key, const char* option, std::string& field) {
        const auto it = p.find(key);
        if (it != p.end() && (option == nullptr || !given(app, option))) {
            field = it->second;
        }
    };
    const std::string gateway = profileGateway(p);
    if (!gateway.empty() && !given(app, "--gateway")) {
        o.gateway = gateway;
    }
    take("user", "--user", o.user);
    take("management-ip", "--management-ip", o.managementIP);
    take("subsystem-type", "--subsystem-type", o.subsystemType);
    if (!given(app, "--cacert") && !given(app, "--pin") && !o.insecure) {
        const auto cacert = p.find("cacert");
        if (cacert != p.end()) {
            o.caFile = profilePath(cacert->second, path);
        }
        take("pin", nullptr, o.pin);
    }
    const char* envPassword = std::getenv(o.passwordEnv.c_str());
    const auto passwordFile = p.find("password-file");
    if ((envPassword == nullptr || *envPassword == '\0') && passwordFile != p.end() &&
        !given(app, "--password-file")) {
        o.passwordFile = profilePath(passwordFile->second, path);
    }
}

// --- Session ---

Session::Session(const ConnectionOptions& o)
    : output_(o.json || o.output == "json" ? Format::Json
              : o.output == "csv"          ? Format::Csv
                                           : Format::Table),
      gateway_(o.gateway) {
    if (o.passwordGiven) {
        throw UsageError("the password is not taken from the command line: set " + o.passwordEnv +
                         ", use --password-file, or run on a terminal");
    }
    if (o.gateway.empty()) {
        throw UsageError("--gateway HOST:PORT is required (or set HNAS_GATEWAY)");
    }
    std::string host;
    int port = 0;
    splitGateway(o.gateway, host, port);
    if (o.user.empty()) {
        throw UsageError("--user is required (or set HNAS_USER)");
    }
    if (o.managementIP.empty()) {
        throw UsageError("--management-ip is required (or set HNAS_MANAGEMENT_IP)");
    }
    requireNonEmpty("--subsystem-type", o.subsystemType);
    const RKLibCurlOptions tls = trustOptions(o);

    Secret password;
    readPassword(o.passwordFile, o.passwordEnv, o.user, password);
    RKLibCurl::setOptions(tls);

    writer_ = boost::make_shared<CliLogWriter>(o.verbosity, password.str());
    previousWriter_ = GetLogWriter();
    SetLogWriter(writer_);
    hnas_ = std::make_unique<RkManageHNAS>(o.jobId);
    hnas_->init(o.user, password.str(), o.subsystemType, o.managementIP, host, port);
}

Session::~Session() {
    hnas_.reset(); // its closing line still reaches the writer
    SetLogWriter(previousWriter_);
}

int Session::fail(const std::string& what) const {
    const std::string line = writer_->lastError();
    printError(what + " failed" + (line.empty() ? "" : ": " + line));
    const std::string explanation = writer_->explanation();
    if (!explanation.empty() && explanation != line) {
        printError(explanation);
    }
    const long status = writer_->lastHttpStatus();
    if (status == 401 || status == 403) {
        printError("the gateway refused the credentials (HTTP " + std::to_string(status) +
                   "): check --user, --subsystem-type, --management-ip and the password");
    } else if (status == 0) {
        const std::string reason = writer_->noAnswerReason();
        if (reason.empty()) {
            printError("no answer from the gateway (run with -v for the reason)");
        } else {
            const NoAnswer cause = describeNoAnswer(reason, gateway_);
            printError("no answer from the gateway: " + cause.what +
                       (cause.what == reason ? "" : " (" + reason + ")") +
                       (cause.hint.empty() ? "" : ": " + cause.hint) + "; run with -v for more");
        }
    } else if (status > 0) {
        printError("the gateway answered with HTTP status " + std::to_string(status));
    }
    return 1;
}

void printError(const std::string& message) {
    std::cerr << "hnasctl: " << printable(message) << '\n';
}

} // namespace hnasctl
