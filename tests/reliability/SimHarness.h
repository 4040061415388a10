#pragma once

// Shared by the reliability, load and bad-input suites: a facade pointed at
// the in-process gateway simulator, client options with short time-outs, and
// the identifiers of the simulator's built-in array.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hnasgwsim/Simulator.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/RKLibCurl.h"
#include "support/CaptureLog.h"
#include "support/Certificate.h"
#include "support/RawServer.h"
#include "support/Records.h"
#include "support/TestGateway.h"

namespace reltest {

using hnastest::Certificate;
using hnastest::ClientOptions;
using hnastest::virtualServer;

constexpr long kConnectTimeoutMs = 2000;
constexpr long kRequestTimeoutMs = 2000;

// Trusts the simulator's certificate; short time-outs; no retries.
inline RKLibCurlOptions fastOptions(const hnasgwsim::Simulator& sim) {
    RKLibCurlOptions o;
    o.caFile = sim.caFile();
    o.connectTimeoutMs = kConnectTimeoutMs;
    o.requestTimeoutMs = kRequestTimeoutMs;
    o.maxRetries = 0;
    return o;
}

inline void initFacade(RkManageHNAS& hnas, const hnasgwsim::Simulator& sim,
                       const std::string& host = "", int port = 0) {
    const auto& c = sim.credentials();
    hnas.init(c.user, c.password, c.subsystemType, c.managementIPs,
              host.empty() ? sim.host() : host, port == 0 ? sim.port() : port);
}

// Identifiers of the simulator's built-in array (it is built the same way
// every time).
struct ArrayIds {
    std::string fsFinance, fsEngineering, fsArchive;
    std::string evsProdObject, evsBackupObject;
    std::string cifsFinanceShare, nfsHomeShare;
    std::string snapDaily1, snapDaily2;
    std::string financeAdminsEncoded; // encoded name of the finance share's permission
};

// A started simulator with the built-in array.
inline std::unique_ptr<hnasgwsim::Simulator>
startSimulator(hnasgwsim::SimulatorOptions options = hnasgwsim::SimulatorOptions()) {
    options.keepAliveTimeoutSec = 2;
    auto sim = std::make_unique<hnasgwsim::Simulator>(std::move(options));
    sim->start();
    return sim;
}

// A TCP port on 127.0.0.1 on which nothing listens (bound, then closed).
inline int closedPort() {
    int port = 0;
    ::close(hnastest::loopbackSocket(port, false)); // never listened: connections are refused
    return port;
}

// Simulator options serving this certificate (the simulator keeps no key of
// its own on disk; servers that share one certificate use this).
inline hnasgwsim::SimulatorOptions withCertificate(const Certificate& certificate) {
    hnasgwsim::SimulatorOptions o;
    o.certFile = certificate.certFile();
    o.keyFile = certificate.keyFile();
    return o;
}

inline ArrayIds arrayIds() {
    const hnasgwsim::ArrayState a = hnasgwsim::defaultArray();
    ArrayIds ids;
    ids.fsFinance = a.fileSystems.at(0).filesystemId;
    ids.fsEngineering = a.fileSystems.at(1).filesystemId;
    ids.fsArchive = a.fileSystems.at(2).filesystemId;
    ids.evsProdObject = a.virtualServers.at(0).objectId;
    ids.evsBackupObject = a.virtualServers.at(1).objectId;
    for (const auto& evs : a.virtualServers)
        for (const auto& share : evs.shares) {
            if (share.name == "finance") {
                ids.cifsFinanceShare = share.objectId;
                ids.financeAdminsEncoded = share.cifsAuthentications.at(0).encodedName;
            } else if (share.name == "home") {
                ids.nfsHomeShare = share.objectId;
            }
        }
    ids.snapDaily1 = a.fileSystems.at(0).snapshots.at(0).objectId;
    ids.snapDaily2 = a.fileSystems.at(0).snapshots.at(1).objectId;
    return ids;
}

// Records whose text starts with `prefix` and contains `part`.
inline size_t countLines(const std::vector<LogRecord>& records, const std::string& prefix,
                         const std::string& part = "") {
    size_t n = 0;
    for (const auto& r : records)
        n +=
            r.text.compare(0, prefix.size(), prefix) == 0 && r.text.find(part) != std::string::npos;
    return n;
}

// No record shows `secret`.
inline void expectNoSecret(const std::vector<LogRecord>& records, const std::string& secret) {
    for (const auto& r : records)
        EXPECT_EQ(r.text.find(secret), std::string::npos) << r.function << ": " << r.text;
}

inline long long elapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

} // namespace reltest
