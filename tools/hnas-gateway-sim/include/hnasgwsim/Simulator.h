#pragma once

// The gateway simulator in-process: an HTTPS server on 127.0.0.1 that speaks
// the array's REST management resources under "/v4/storage/", backed by an
// in-memory array, with fault injection and a request log.
//
//   hnasgwsim::Simulator sim;              // default array, default credentials
//   sim.start();                           // ephemeral port, certificate generated
//   ... point a client at sim.host(), sim.port(), trusting sim.caFile() ...
//   sim.addFault(hnasgwsim::parseFaultRule("GET file-devices status=503"));
//   auto log = sim.requestLog();
//   { auto array = sim.model(); array->fileSystems.size(); }  // locked access
//   sim.stop();

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hnasgwsim/Api.h"
#include "hnasgwsim/Faults.h"
#include "hnasgwsim/Model.h"

namespace hnasgwsim {

// The credential headers every request must carry.
struct Credentials {
    std::string user = "admin";               // "X-Subsystem-User"
    std::string password = "s3cr3t-Pa55";     // "X-Subsystem-Password"
    std::string subsystemType = "HNAS";       // "X-Subsystem-Type"
    std::string managementIPs = "192.0.2.10"; // "X-Management-IPs"
};

struct SimulatorOptions {
    std::string host = "127.0.0.1";
    int port = 0; // 0: an ephemeral port
    Credentials credentials;
    // PEM certificate and key to serve; both empty: use or generate
    // "cert.pem" and "key.pem" in stateDir.
    std::string certFile;
    std::string keyFile;
    // Directory for the generated certificate; empty: a private temporary
    // directory, removed when the simulator is destroyed.
    std::string stateDir;
    ArrayState array = defaultArray();
    std::vector<FaultRule> faults;
    // Receives one access-log line per request (method, path, status,
    // duration; never credentials), called on the worker threads, possibly
    // at the same time; null: no access log.
    std::function<void(const std::string&)> accessLog;
    // The most worker threads: one serves an open connection, and they are
    // started as connections arrive (a connection beyond the limit waits
    // for a worker).
    int threads = 256;
    int keepAliveTimeoutSec = 5;
};

// One request as the simulator saw and answered it.
struct RequestRecord {
    std::string method;
    std::string path; // full path, e.g. "/v4/storage/file-devices"
    std::string body; // request body bytes
    int status = 0;   // status answered; 0 when the connection was closed instead
    double durationMs = 0;
    std::string fault;  // the fault applied (FaultRule::describe), empty if none
    int remotePort = 0; // the client's port: tells the connections apart
};

// Exclusive access to the array while the object lives.
class LockedArray {
public:
    LockedArray(std::mutex& mutex, ArrayState& state) : lock_(mutex), state_(&state) {}
    ArrayState* operator->() { return state_; }
    ArrayState& operator*() { return *state_; }

private:
    std::unique_lock<std::mutex> lock_;
    ArrayState* state_;
};

class HNASGWSIM_API Simulator {
public:
    explicit Simulator(SimulatorOptions options = SimulatorOptions());
    ~Simulator(); // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds, prepares the certificate and starts serving on background
    // threads. Throws std::runtime_error when it cannot.
    void start();
    // Stops serving and closes open connections. Safe to call twice.
    void stop();
    bool running() const;

    const std::string& host() const;
    int port() const;
    std::string url() const;           // "https://host:port"
    const std::string& caFile() const; // PEM certificate to trust
    const std::string& pin() const;    // public-key pin, "sha256//<base64>"
    const Credentials& credentials() const;

    // Holds the array's lock while the result lives: do not keep it (not
    // even as a temporary in the same expression) across a request to this
    // simulator, which would wait for the lock.
    LockedArray model();

    void addFault(const FaultRule& rule);
    void clearFaults();
    std::vector<FaultRule> faults() const;

    std::vector<RequestRecord> requestLog() const;
    void clearRequestLog();

    // The most requests that were being handled at once (a latency fault's
    // wait included) since the start or the last resetPeakInFlight().
    int peakInFlight() const;
    void resetPeakInFlight();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace hnasgwsim
