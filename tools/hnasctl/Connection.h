#pragma once

// The connection of hnasctl to a gateway: the options, the password, the TLS
// settings, the log routing and the facade object of one run.

#include <memory>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"

namespace CLI {
class App;
}

namespace hnasctl {

struct ConnectionOptions {
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
    bool json = false;
    std::string passwordOnCommandLine; // refused
    bool passwordGiven = false;
};

// Adds the connection and output options to the top-level command.
void addConnectionOptions(CLI::App& app, ConnectionOptions& options);

// Takes the library's log lines: keeps the error lines (level -1) of the
// current operation, passes lines up to the chosen level on to stderr, and
// replaces the password by "********" wherever it would appear.
class CliLogWriter : public CLogWriterInterface {
public:
    // verbosity 0: nothing is shown; 1, 2, 3: levels 0, 4, 5 and below.
    CliLogWriter(int verbosity, std::string password);
    ~CliLogWriter() override;

    int GetLevel() const override;
    void Write(int level, const char* function, int line, long long jobId, int flags,
               const char* format, ...) override;

    // Forgets the lines seen so far.
    void reset();
    // True when a line of level 0 or below with exactly this text, or
    // starting with this prefix, was written since reset().
    bool logged(const std::string& text) const;
    bool loggedPrefix(const std::string& prefix) const;
    // The last error line since reset(); empty when there was none.
    std::string lastError() const;
    size_t errorCount() const;
    // The HTTP status of the last refused or failed request since reset(), as
    // the REST session reports it; -1 when none was reported.
    long lastHttpStatus() const;

private:
    std::string redact(std::string text) const;

    int level_; // lines up to this level go to stderr
    std::string password_;
    std::vector<std::string> lines_; // texts of level 0 and below since reset()
    boost::shared_ptr<CLogWriterInterface> stream_;
    std::string lastError_;
    size_t errorCount_ = 0;
    long lastHttpStatus_ = -1;
};

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
    bool json() const { return json_; }

    // Starts an operation: forgets the error lines of earlier ones.
    void begin() { writer_->reset(); }
    // True when an error line was logged since begin().
    bool errorLogged() const { return writer_->errorCount() > 0; }
    size_t errorCount() const { return writer_->errorCount(); }
    std::string lastError() const { return writer_->lastError(); }
    // True when the library wrote exactly this line (or a line starting with
    // this prefix) since begin(); levels 0 and below are kept.
    bool logged(const std::string& text) const { return writer_->logged(text); }
    bool loggedPrefix(const std::string& prefix) const { return writer_->loggedPrefix(prefix); }
    // Reports a failed operation on stderr with the library's last error
    // line, and returns the exit status 1.
    int fail(const std::string& what) const;

private:
    boost::shared_ptr<CliLogWriter> writer_;
    boost::shared_ptr<CLogWriterInterface> previousWriter_;
    std::unique_ptr<RkManageHNAS> hnas_;
    bool json_;
};

// Reads the password: from --password-file, else from the environment
// variable, else from a prompt when stdin is a terminal. Throws UsageError
// when there is none.
std::string readPassword(const ConnectionOptions& options);

} // namespace hnasctl
