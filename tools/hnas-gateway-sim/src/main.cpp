// hnas-gateway-sim: the array's REST management gateway, simulated over HTTPS
// with an in-memory array, for demos, end-to-end tests and benchmarks.

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>

#include <CLI/CLI.hpp>

#include "common/DocumentationFlags.h"
#include "hnasgwsim/Simulator.h"

int main(int argc, char** argv) {
    CLI::App app{"Simulated HNAS REST management gateway (HTTPS, in-memory array)"};
    hnastools::addDocumentationFlags(app, {"hnas-gateway-sim", "hnasctl(1)"});

    hnasgwsim::SimulatorOptions options;
    std::string listen = "127.0.0.1:0";
    std::string stateFile;
    bool generate = false;
    hnasgwsim::GenerateOptions sizes;
    std::vector<std::string> faultTexts;
    std::string accessLogFile;
    bool quiet = false;

    app.add_option("--listen", listen, "Address and port to listen on (port 0: ephemeral)")
        ->capture_default_str();
    app.add_option("--user", options.credentials.user, "Expected X-Subsystem-User")
        ->capture_default_str();
    app.add_option("--password", options.credentials.password,
                   "Expected X-Subsystem-Password (or the environment variable "
                   "HNAS_SIM_PASSWORD, which keeps it off the command line)")
        ->envname("HNAS_SIM_PASSWORD");
    app.add_option("--subsystem-type", options.credentials.subsystemType,
                   "Expected X-Subsystem-Type")
        ->capture_default_str();
    app.add_option("--management-ips", options.credentials.managementIPs,
                   "Expected X-Management-IPs")
        ->capture_default_str();
    app.add_option("--cert", options.certFile, "PEM certificate to serve (with --key)");
    app.add_option("--key", options.keyFile, "PEM private key to serve (with --cert)");
    app.add_option("--state-dir", options.stateDir,
                   "Directory for the generated certificate, kept across runs "
                   "(default: a private temporary directory removed at exit)");
    app.add_option("--state", stateFile, "Seed the array from this JSON state file")
        ->check(CLI::ExistingFile);
    app.add_flag("--generate", generate, "Build a large array for benchmarks");
    app.add_option("--gen-virtual-servers", sizes.virtualServers, "With --generate")
        ->capture_default_str();
    app.add_option("--gen-filesystems", sizes.fileSystems, "With --generate")
        ->capture_default_str();
    app.add_option("--gen-shares", sizes.shares, "With --generate")->capture_default_str();
    app.add_option("--gen-snapshots", sizes.snapshotsPerFileSystem,
                   "With --generate: snapshots per file system")
        ->capture_default_str();
    app.add_option("--gen-directories", sizes.directoriesPerFileSystem,
                   "With --generate: top-level directories per file system")
        ->capture_default_str();
    app.add_option("--fault", faultTexts,
                   "Fault rule 'METHOD PATTERN ACTION [latency=MS] [nth=N] [times=N]', "
                   "ACTION one of status=N, close, truncate, notjson (repeatable)");
    app.add_option("--access-log", accessLogFile,
                   "Write the access log to this file "
                   "(default: standard error)");
    app.add_flag("--quiet", quiet, "No access log");
    app.add_option("--threads", options.threads, "Worker threads")->capture_default_str();
    app.add_option("--keep-alive-timeout", options.keepAliveTimeoutSec,
                   "Seconds an idle connection is kept open")
        ->capture_default_str();
    app.get_option("--state")->excludes("--generate");
    CLI11_PARSE(app, argc, argv);

    auto colon = listen.rfind(':');
    if (colon == std::string::npos) {
        std::cerr << "hnas-gateway-sim: --listen needs HOST:PORT\n";
        return 2;
    }
    options.host = listen.substr(0, colon);
    if (options.host.size() >= 2 && options.host.front() == '[' && options.host.back() == ']')
        options.host = options.host.substr(1, options.host.size() - 2);
    try {
        options.port = std::stoi(listen.substr(colon + 1));
    } catch (const std::exception&) {
        std::cerr << "hnas-gateway-sim: bad port in --listen " << listen << "\n";
        return 2;
    }

    try {
        for (const auto& text : faultTexts)
            options.faults.push_back(hnasgwsim::parseFaultRule(text));
        if (!stateFile.empty())
            options.array = hnasgwsim::loadStateFile(stateFile);
        else if (generate)
            options.array = hnasgwsim::generateArray(sizes);
    } catch (const std::exception& e) {
        std::cerr << "hnas-gateway-sim: " << e.what() << "\n";
        return 2;
    }

    auto logMutex = std::make_shared<std::mutex>();
    std::shared_ptr<std::ostream> logFile;
    if (!quiet) {
        if (!accessLogFile.empty()) {
            logFile = std::make_shared<std::ofstream>(accessLogFile, std::ios::app);
            if (!*logFile) {
                std::cerr << "hnas-gateway-sim: cannot write " << accessLogFile << "\n";
                return 2;
            }
        }
        options.accessLog = [logMutex, logFile](const std::string& line) {
            std::lock_guard<std::mutex> lock(*logMutex);
            std::ostream& out = logFile ? *logFile : std::cerr;
            out << line << '\n';
            out.flush();
        };
    }

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
