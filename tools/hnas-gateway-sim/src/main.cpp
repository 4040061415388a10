// hnas-gateway-sim: the array's REST management gateway, simulated over HTTPS
// with an in-memory array, for demos, end-to-end tests and benchmarks.

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>

#include <CLI/CLI.hpp>
#include <openssl/crypto.h>

#include "common/DocumentationFlags.h"
#include "hnasgwsim/Simulator.h"
#include "hnasmgmt/Version.h"

namespace {

// Everything the command line sets.
struct Settings {
    hnasgwsim::SimulatorOptions options;
    std::string listen = "127.0.0.1:0";
    std::string stateFile;
    bool generate = false;
    hnasgwsim::GenerateOptions sizes;
    std::vector<std::string> faultTexts;
    std::string accessLogFile;
    bool quiet = false;
};

// An option whose help shows its default.
template <typename T>
void addDefaulted(CLI::App& app, const std::string& name, T& value, const std::string& help) {
    app.add_option(name, value, help)->capture_default_str();
}

void addCredentialOptions(CLI::App& app, hnasgwsim::Credentials& c) {
    addDefaulted(app, "--user", c.user, "Expected X-Subsystem-User");
    app.add_option("--password", c.password,
                   "Expected X-Subsystem-Password (or the environment variable "
                   "HNAS_SIM_PASSWORD, which keeps it off the command line)")
        ->envname("HNAS_SIM_PASSWORD");
    addDefaulted(app, "--subsystem-type", c.subsystemType, "Expected X-Subsystem-Type");
    addDefaulted(app, "--management-ips", c.managementIPs, "Expected X-Management-IPs");
}

void addArrayOptions(CLI::App& app, Settings& s) {
    app.add_option("--state", s.stateFile, "Seed the array from this JSON state file")
        ->check(CLI::ExistingFile);
    app.add_flag("--generate", s.generate, "Build a large array for benchmarks");
    addDefaulted(app, "--gen-virtual-servers", s.sizes.virtualServers, "With --generate");
    addDefaulted(app, "--gen-filesystems", s.sizes.fileSystems, "With --generate");
    addDefaulted(app, "--gen-shares", s.sizes.shares, "With --generate");
    addDefaulted(app, "--gen-snapshots", s.sizes.snapshotsPerFileSystem,
                 "With --generate: snapshots per file system");
    addDefaulted(app, "--gen-directories", s.sizes.directoriesPerFileSystem,
                 "With --generate: top-level directories per file system");
    app.get_option("--state")->excludes("--generate");
}

void addServerOptions(CLI::App& app, Settings& s) {
    addDefaulted(app, "--listen", s.listen, "Address and port to listen on (port 0: ephemeral)");
    addCredentialOptions(app, s.options.credentials);
    app.add_option("--cert", s.options.certFile, "PEM certificate to serve (with --key)");
    app.add_option("--key", s.options.keyFile, "PEM private key to serve (with --cert)");
    app.add_option("--state-dir", s.options.stateDir,
                   "Directory for the generated certificate, kept across runs "
                   "(default: a private temporary directory removed at exit)");
    addArrayOptions(app, s);
    app.add_option("--fault", s.faultTexts,
                   "Fault rule 'METHOD PATTERN ACTION [latency=MS] [nth=N] [times=N]', "
                   "ACTION one of " +
                       hnasgwsim::faultActionsText() + " (repeatable)");
    app.add_option("--access-log", s.accessLogFile,
                   "Write the access log to this file "
                   "(default: standard error)");
    app.add_flag("--quiet", s.quiet, "No access log");
    addDefaulted(app, "--threads", s.options.threads,
                 "The most worker threads, one per open connection, started as needed");
    addDefaulted(app, "--keep-alive-timeout", s.options.keepAliveTimeoutSec,
                 "Seconds an idle connection is kept open");
}

// HOST:PORT or [V6]:PORT into the options; false (and a message) when it is not.
bool takeListenAddress(Settings& s) {
    const auto colon = s.listen.rfind(':');
    if (colon == std::string::npos) {
        std::cerr << "hnas-gateway-sim: --listen needs HOST:PORT\n";
        return false;
    }
    std::string host = s.listen.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    s.options.host = host;
    try {
        s.options.port = std::stoi(s.listen.substr(colon + 1));
    } catch (const std::exception&) {
        std::cerr << "hnas-gateway-sim: bad port in --listen " << s.listen << "\n";
        return false;
    }
    return true;
}

// The fault rules and the array the simulator starts with.
bool takeFaultsAndArray(Settings& s) {
    try {
        for (const auto& text : s.faultTexts)
            s.options.faults.push_back(hnasgwsim::parseFaultRule(text));
        if (!s.stateFile.empty())
            s.options.array = hnasgwsim::loadStateFile(s.stateFile);
        else if (s.generate)
            s.options.array = hnasgwsim::generateArray(s.sizes);
    } catch (const std::exception& e) {
        std::cerr << "hnas-gateway-sim: " << e.what() << "\n";
        return false;
    }
    return true;
}

// The access log to standard error or to the file asked for, or none.
bool takeAccessLog(Settings& s) {
    if (s.quiet)
        return true;
    auto logMutex = std::make_shared<std::mutex>();
    std::shared_ptr<std::ostream> logFile;
    if (!s.accessLogFile.empty()) {
        logFile = std::make_shared<std::ofstream>(s.accessLogFile, std::ios::app);
        if (!*logFile) {
            std::cerr << "hnas-gateway-sim: cannot write " << s.accessLogFile << "\n";
            return false;
        }
    }
    s.options.accessLog = [logMutex, logFile](const std::string& line) {
        std::lock_guard<std::mutex> lock(*logMutex);
        std::ostream& out = logFile ? *logFile : std::cerr;
        out << line << '\n';
        out.flush();
    };
    return true;
}

// Serves until SIGINT or SIGTERM; the exit status.
int serveUntilStopped(hnasgwsim::SimulatorOptions options) {
    // SIGINT and SIGTERM are taken by sigwait below; every thread the
    // simulator starts inherits the blocked set.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    hnasgwsim::Simulator sim(std::move(options));
    try {
        sim.start();
    } catch (const std::exception& e) {
        std::cerr << "hnas-gateway-sim: " << e.what() << "\n";
        return 1;
    }
    std::cout << "READY url=" << sim.url() << " cafile=" << sim.caFile() << " pin=" << sim.pin()
              << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::cerr << "hnas-gateway-sim: stopping on signal " << signal << "\n";
    sim.stop();
    return 0;
}

} // namespace

// What --help and the manual page say about the credentials the simulator
// expects and the line it prints once it listens.
std::string footer() {
    const hnasgwsim::Credentials expected;
    return "Unless the options say otherwise, requests must carry the user " + expected.user +
           ", the password " + expected.password + ", the subsystem type " +
           expected.subsystemType + " and the management IP " + expected.managementIPs +
           ": hnasctl --user " + expected.user + " --management-ip " + expected.managementIPs +
           " with HNAS_PASSWORD=" + expected.password +
           ". The default password is public: give another one (HNAS_SIM_PASSWORD) for "
           "anything but a demo on 127.0.0.1.\n"
           "Once it listens, the simulator prints one line on standard output, READY "
           "url=https://HOST:PORT cafile=FILE pin=sha256//BASE64: its address (for --gateway), "
           "the PEM file of its certificate (for --cacert) and the pin of its public key (for "
           "--pin). It serves until SIGINT or SIGTERM; exit status 0 then, 1 when it cannot "
           "start, 2 for a wrong command line.";
}

const char* const kExamples =
    "Start it with a password of your own, then point hnasctl at the READY line's values:\n"
    "  HNAS_SIM_PASSWORD=demo-pw hnas-gateway-sim --listen 127.0.0.1:0 --quiet\n"
    "  READY url=https://127.0.0.1:40123 cafile=/tmp/hnas-sim-XXXX/cert.pem pin=sha256//...\n"
    "  HNAS_PASSWORD=demo-pw hnasctl --gateway 127.0.0.1:40123 --pin sha256//... --user admin "
    "--management-ip 192.0.2.10 info\n"
    "Answer every second snapshot listing with HTTP 503:\n"
    "  hnas-gateway-sim --fault 'GET filesystem-snapshots/* status=503 nth=2'";

int main(int argc, char** argv) {
    CLI::App app{"Simulated HNAS REST management gateway (HTTPS, in-memory array)"};
    const std::string notes = footer();
    app.footer(notes);
    app.set_version_flag("--version",
                         std::string("hnas-gateway-sim " HNASMGMT_VERSION_STRING "\n") +
                             OpenSSL_version(OPENSSL_VERSION));
    hnastools::addDocumentationFlags(
        app, {"hnas-gateway-sim", "hnasctl(1)", {{"EXAMPLES", kExamples}}, {}});
    Settings settings;
    addServerOptions(app, settings);
    CLI11_PARSE(app, argc, argv);

    if (!takeListenAddress(settings) || !takeFaultsAndArray(settings) || !takeAccessLog(settings))
        return 2;
    return serveUntilStopped(std::move(settings.options));
}
