#pragma once

// The connection of hnasctl to a gateway: the options, the profile, the TLS
// settings, the log routing and the facade object of one run.

#include <memory>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "CliLogWriter.h"
#include "Output.h"
#include "Secret.h"
#include "hnasmgmt/facade/RkManageHNAS.h"

namespace CLI {
class App;
}

namespace hnasctl {

struct ConnectionOptions {
    std::string profile;
    std::string gateway; // HOST:PORT
    std::string user;
    std::string subsystemType = "HNAS";
    std::string managementIP;
    std::string passwordFile;
    std::string passwordEnv = "HNAS_PASSWORD";
    std::string caFile;
    std::string pin;
    bool insecure = false;
    double connectTimeout = 10;
    double timeout = 120;
    unsigned long long jobId = 0;
    int verbosity = 0; // number of -v
    std::string output = "table";
    bool json = false;                 // --json, the same as --output json
    std::string passwordOnCommandLine; // refused
    bool passwordGiven = false;
};

// Adds the connection and output options to the top-level command.
void addConnectionOptions(CLI::App& app, ConnectionOptions& options);

// After parsing: fills the connection options that neither the command line
// nor the environment gave from the chosen profile (--profile, HNAS_PROFILE).
// A trust option given (--cacert, --pin, --insecure) replaces the profile's
// trust as a whole, and a password in the environment its password file.
// Throws UsageError (see readProfile).
void applyProfile(const CLI::App& app, ConnectionOptions& options);

// One run against the gateway: reads the password, applies the TLS options,
// routes the log and initialises the facade. Throws UsageError for options
// that cannot work.
class Session {
public:
    explicit Session(const ConnectionOptions& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    RkManageHNAS& hnas() { return *hnas_; }
    Format output() const { return output_; }
    bool json() const { return output_ == Format::Json; }

    // Starts an operation: forgets the log lines of earlier ones.
    void begin() { writer_->reset(); }
    // True when the library wrote exactly this line since begin(); levels 0
    // and below are kept.
    bool logged(const std::string& text) const { return writer_->logged(text); }
    // Reports a failed operation on stderr with the library's last error
    // line and the gateway's explanation, and returns the exit status 1.
    int fail(const std::string& what) const;

private:
    boost::shared_ptr<CliLogWriter> writer_;
    boost::shared_ptr<CLogWriterInterface> previousWriter_;
    std::unique_ptr<RkManageHNAS> hnas_;
    Format output_;
    std::string gateway_; // HOST:PORT, as given
};

// Writes "hnasctl: MESSAGE" on stderr, escaped for a terminal.
void printError(const std::string& message);

} // namespace hnasctl
