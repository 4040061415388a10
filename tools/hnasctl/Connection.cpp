// Connection options, password, TLS settings, log routing and the facade.

#include "Connection.h"

#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <boost/make_shared.hpp>

#include "Checks.h"
#include "Output.h"
#include "hnasmgmt/host/LogWriters.h"
#include "hnasmgmt/host/RKLibCurl.h"

namespace hnasctl {

namespace {

// Library log level shown for each -v.
int levelForVerbosity(int verbosity) {
    if (verbosity <= 0) {
        return -1;
    }
    if (verbosity == 1) {
        return 0;
    }
    if (verbosity == 2) {
        return 4;
    }
    return 5;
}

// Longest error line kept for the report on stderr.
constexpr size_t kMaxErrorLine = 4000;

// Reads the number after `marker` in `text` (the last occurrence); -1 if none.
long statusAfter(const std::string& text, const std::string& marker) {
    const size_t at = text.rfind(marker);
    if (at == std::string::npos) {
        return -1;
    }
    const char* start = text.c_str() + at + marker.size();
    char* end = nullptr;
    const long value = std::strtol(start, &end, 10);
    return end != start && end != nullptr && *end == ']' ? value : -1;
}

// The terminal state to restore when the password prompt is interrupted.
struct termios g_savedTerminal;
volatile sig_atomic_t g_terminalSaved = 0;

extern "C" void restoreTerminalAndExit(int signal) {
    if (g_terminalSaved) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    }
    const char nl = '\n';
    (void)!write(STDERR_FILENO, &nl, 1);
    _exit(128 + signal);
}

std::string promptPassword(const std::string& prompt) {
    std::cerr << prompt << std::flush;
    struct termios old;
    const bool haveTerminal = tcgetattr(STDIN_FILENO, &old) == 0;
    struct sigaction action {};
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    if (haveTerminal) {
        g_savedTerminal = old;
        g_terminalSaved = 1;
        action.sa_handler = restoreTerminalAndExit;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt);
        sigaction(SIGTERM, &action, &oldTerm);
        struct termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string password;
    std::getline(std::cin, password);
    if (haveTerminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
        g_terminalSaved = 0;
        sigaction(SIGINT, &oldInt, nullptr);
        sigaction(SIGTERM, &oldTerm, nullptr);
    }
    if (!password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    return password;
}

} // namespace

void addConnectionOptions(CLI::App& app, ConnectionOptions& o) {
    const std::string conn = "Connection";
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
                   "Read the password from the first line of this file")
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
                   "enough on its own for a self-signed gateway")
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
    app.add_option("--job-id", o.jobId, "Job identifier carried by every log line")
        ->capture_default_str()
        ->group(conn);

    const std::string out = "Output";
    // Refused with a message that does not repeat the value.
    app.add_option("--password", o.passwordOnCommandLine)
        ->each([&o](const std::string&) { o.passwordGiven = true; })
        ->group("");
    app.add_flag("--json", o.json, "Print JSON for scripts instead of tables")->group(out);
    app.add_flag("-v,--verbose", o.verbosity,
                 "Show the library's log on stderr; -vv adds wire detail, -vvv response dumps")
        ->group(out);
}

std::string readPassword(const ConnectionOptions& o) {
    std::string password;
    if (!o.passwordFile.empty()) {
        std::ifstream in(o.passwordFile, std::ios::binary);
        if (!in) {
            throw UsageError("cannot read the password file " + JsonWriter::quote(o.passwordFile));
        }
        std::getline(in, password);
        if (!password.empty() && password.back() == '\r') {
            password.pop_back();
        }
        if (password.empty()) {
            throw UsageError("the password file " + JsonWriter::quote(o.passwordFile) +
                             " is empty");
        }
        return password;
    }
    if (!o.passwordEnv.empty()) {
        const char* value = std::getenv(o.passwordEnv.c_str());
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    if (isatty(STDIN_FILENO)) {
        password = promptPassword("Password for " + o.user + ": ");
        if (!password.empty()) {
            return password;
        }
        throw UsageError("no password given");
    }
    throw UsageError("no password: set " + o.passwordEnv +
                     ", use --password-file, or run on a terminal to be asked");
}

// --- CliLogWriter ---

CliLogWriter::CliLogWriter(int verbosity, std::string password)
    : level_(levelForVerbosity(verbosity)), password_(std::move(password)) {
    if (verbosity > 0) {
        stream_ = boost::make_shared<StreamLogWriter>(level_);
    }
}

CliLogWriter::~CliLogWriter() = default;

// Lines of level 0 and below are always taken: they tell an answer ("not
// found") from a failure.
int CliLogWriter::GetLevel() const {
    return level_ > 0 ? level_ : 0;
}

std::string CliLogWriter::redact(std::string text) const {
    if (password_.empty()) {
        return text;
    }
    size_t at = 0;
    while ((at = text.find(password_, at)) != std::string::npos) {
        text.replace(at, password_.size(), "********");
        at += 8;
    }
    return text;
}

void CliLogWriter::Write(int level, const char* function, int line, long long jobId, int flags,
                         const char* format, ...) {
    try {
        va_list args;
        va_start(args, format);
        const std::string text = redact(hnasFormatV(format, args));
        va_end(args);
        if (level <= 0 && lines_.size() < 10000) {
            lines_.push_back(text);
        }
        if (level <= -1) {
            ++errorCount_;
            lastError_ = text.size() > kMaxErrorLine ? text.substr(0, kMaxErrorLine) + "..." : text;
            const std::string fn = function ? function : "";
            if (fn.compare(0, 12, "HNASRestAPI:") == 0) {
                long status = statusAfter(text, "Http error code [");
                if (status < 0) {
                    status = statusAfter(text, "ResponseCode[");
                }
                if (status >= 0) {
                    lastHttpStatus_ = status;
                }
            }
        }
        if (stream_ && level <= level_) {
            stream_->Write(level, function, line, jobId, flags, "%s", text.c_str());
        }
    } catch (...) {
        // A log line is never worth a failure.
    }
}

void CliLogWriter::reset() {
    lines_.clear();
    lastError_.clear();
    errorCount_ = 0;
    lastHttpStatus_ = -1;
}

std::string CliLogWriter::lastError() const {
    return lastError_;
}
size_t CliLogWriter::errorCount() const {
    return errorCount_;
}
long CliLogWriter::lastHttpStatus() const {
    return lastHttpStatus_;
}

bool CliLogWriter::logged(const std::string& text) const {
    for (const auto& line : lines_) {
        if (line == text) {
            return true;
        }
    }
    return false;
}

bool CliLogWriter::loggedPrefix(const std::string& prefix) const {
    for (const auto& line : lines_) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

// --- Session ---

Session::Session(const ConnectionOptions& o) : json_(o.json) {
    if (o.passwordGiven) {
        throw UsageError("the password is not taken from the command line: set " + o.passwordEnv +
                         ", use --password-file, or run on a terminal");
    }
    std::string host;
    int port = 0;
    if (o.gateway.empty()) {
        throw UsageError("--gateway HOST:PORT is required (or set HNAS_GATEWAY)");
    }
    splitGateway(o.gateway, host, port);
    if (o.user.empty()) {
        throw UsageError("--user is required (or set HNAS_USER)");
    }
    if (o.managementIP.empty()) {
        throw UsageError("--management-ip is required (or set HNAS_MANAGEMENT_IP)");
    }
    requireNonEmpty("--subsystem-type", o.subsystemType);

    RKLibCurlOptions tls = RKLibCurl::getOptions();
    if (!o.caFile.empty()) {
        if (access(o.caFile.c_str(), R_OK) != 0) {
            throw UsageError("cannot read the --cacert file " + JsonWriter::quote(o.caFile));
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
                             JsonWriter::quote(o.pin));
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
        std::cerr << "hnasctl: warning: --insecure: the gateway's certificate is not verified; "
                     "the password can reach anyone who intercepts the connection\n";
    }
    tls.connectTimeoutMs = static_cast<long>(o.connectTimeout * 1000.0);
    tls.requestTimeoutMs = static_cast<long>(o.timeout * 1000.0);
    if (tls.connectTimeoutMs < 1) {
        tls.connectTimeoutMs = 1;
    }
    if (tls.requestTimeoutMs < 1) {
        tls.requestTimeoutMs = 1;
    }

    const std::string password = readPassword(o);
    RKLibCurl::setOptions(tls);

    writer_ = boost::make_shared<CliLogWriter>(o.verbosity, password);
    previousWriter_ = g_ptrLogWriter;
    g_ptrLogWriter = writer_;
    hnas_ = std::make_unique<RkManageHNAS>(o.jobId);
    hnas_->init(o.user, password, o.subsystemType, o.managementIP, host, port);
}

Session::~Session() {
    hnas_.reset(); // its closing line still reaches the writer
    g_ptrLogWriter = previousWriter_;
}

int Session::fail(const std::string& what) const {
    std::cerr << "hnasctl: " << what << " failed";
    const std::string line = writer_->lastError();
    if (!line.empty()) {
        std::cerr << ": " << printable(line);
    }
    std::cerr << '\n';
    const long status = writer_->lastHttpStatus();
    if (status == 401 || status == 403) {
        std::cerr << "hnasctl: the gateway refused the credentials (HTTP " << status
                  << "): check --user, --subsystem-type, --management-ip and the password\n";
    } else if (status == 0) {
        std::cerr << "hnasctl: no answer from the gateway: it is not reachable, timed out, or "
                     "its certificate is not trusted (see --cacert and --pin)\n";
    } else if (status > 0) {
        std::cerr << "hnasctl: the gateway answered with HTTP status " << status << '\n';
    }
    return 1;
}

} // namespace hnasctl
