// Safe retries, TLS verification and the secrecy of the password, through
// the facade against the simulator.

#include <gtest/gtest.h>

#include "reliability/SimHarness.h"
#include "support/CaptureLog.h"

using namespace reltest;

namespace {

constexpr unsigned long long kJobId = 77;

size_t countRequests(const hnasgwsim::Simulator& sim, const std::string& method,
                     const std::string& resource) {
    size_t n = 0;
    for (const auto& r : sim.requestLog())
        n += r.method == method && r.path == "/v4/storage/" + resource;
    return n;
}

class Transport : public ::testing::Test {
protected:
    void SetUp() override { sim = startSimulator(); }

    // Retries on, with short delays; a request time-out that leaves room for them.
    RKLibCurlOptions retrying() const {
        RKLibCurlOptions o = fastOptions(*sim);
        o.requestTimeoutMs = 3000;
        o.maxRetries = 2;
        o.retryFirstDelayMs = 20;
        o.retryMaxDelayMs = 80;
        return o;
    }

    std::unique_ptr<hnasgwsim::Simulator> sim;
    hnastest::CaptureLog log{5};
};

// A GET answered 429, 502, 503 or 504 is retried and then succeeds; a POST or
// DELETE answered so is sent once and fails. A refused connection is retried
// for every verb.
TEST_F(Transport, OnlyAGetAnsweredWithATransientStatusIsRetried) {
    ClientOptions options(retrying());
    const ArrayIds ids = arrayIds();
    struct Call {
        std::string method, resource;
        std::function<bool(RkManageHNAS&)> run;
    };
    const Call calls[] = {
        {"GET", "file-devices",
         [](RkManageHNAS& h) {
             __HNASStorageSubSystemInfo info;
             return h.getFileDevice(info) && info.name == "hnas-sim-cluster";
         }},
        {"POST", "filesystem-snapshots",
         [&](RkManageHNAS& h) {
             __HNASFileSystemSnapshot s;
             return h.createFileSystemSnapshot("RKHNAS_x", ids.fsFinance, "job", s);
         }},
        {"DELETE", "filesystem-snapshots/" + ids.snapDaily2,
         [&](RkManageHNAS& h) { return h.deleteFileSystemSnapshot(ids.snapDaily2); }},
    };
    for (const Call& c : calls)
        for (int status : {429, 502, 503, 504}) {
            const std::string fault =
                c.method + " " + c.resource + " status=" + std::to_string(status);
            SCOPED_TRACE(fault);
            sim->clearFaults();
            sim->clearRequestLog();
            log->clear();
            sim->addFault(hnasgwsim::parseFaultRule(fault + " times=1"));
            RkManageHNAS hnas(kJobId);
            initFacade(hnas, *sim);
            const bool get = c.method == "GET";
            EXPECT_EQ(c.run(hnas), get);
            EXPECT_EQ(countRequests(*sim, c.method, c.resource), get ? 2u : 1u);
            const auto records = log->records();
            EXPECT_EQ(countLines(records, "Retrying"), get ? 1u : 0u);
            if (get) {
                EXPECT_EQ(countLines(records, "Retrying GET request (retry 1 of 2) in "), 1u);
                EXPECT_GE(countLines(records, "", "HTTP status " + std::to_string(status)), 1u);
            }
        }
    // A refused connection sent nothing: every verb is tried again.
    for (const Call& c : calls) {
        log->clear();
        RkManageHNAS hnas(kJobId);
        initFacade(hnas, *sim, "", closedPort());
        EXPECT_FALSE(c.run(hnas));
        EXPECT_EQ(countLines(log->records(), "Retrying " + c.method + " request (retry 2 of 2)"),
                  1u);
    }
}

TEST_F(Transport, CertificatesAreVerifiedByDefaultAndTrustedOnlyThroughTheOptions) {
    auto attempt = [&](const RKLibCurlOptions& o) {
        ClientOptions scoped(o);
        RkManageHNAS hnas(kJobId);
        initFacade(hnas, *sim);
        std::vector<__HNASVirtualServers> list;
        return hnas.getVirtualServers(list);
    };
    RKLibCurlOptions o = fastOptions(*sim); // the defaults but for the CA file and the times
    o.caFile.clear();
    EXPECT_FALSE(attempt(o)) << "a self-signed gateway is refused";
    EXPECT_TRUE(sim->requestLog().empty());
    o.pinnedPublicKey = sim->pin();
    EXPECT_FALSE(attempt(o)) << "a pin does not replace the chain check";
    o.caFile = sim->caFile();
    EXPECT_TRUE(attempt(o));
    o.pinnedPublicKey = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    EXPECT_FALSE(attempt(o)) << "a trusted certificate with another key";
    EXPECT_EQ(sim->requestLog().size(), 1u);
}

// (The fault suite checks every operation's log lines at level 5.)
TEST_F(Transport, ARefusedInitShowsItsParametersWithThePasswordMasked) {
    const auto& c = sim->credentials();
    RkManageHNAS bad(kJobId);
    bad.init("", c.password, c.subsystemType, c.managementIPs, sim->host(), sim->port());
    __HNASStorageSubSystemInfo info;
    EXPECT_FALSE(bad.getFileDevice(info));
    EXPECT_TRUE(log->contains("Set the server params correctly. Params: [:********:192.0.2.10:"
                              "HNAS:127.0.0.1:" +
                              std::to_string(sim->port()) + "]"));
    expectNoSecret(log->records(), c.password);
}

} // namespace
