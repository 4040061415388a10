// What a client sees of the simulator over HTTPS: credentials refused, error
// documents, each fault as sent, the admin resources, the
// request and access logs, and 64 requests served at once.

#include <atomic>
#include <chrono>
#include <csignal>
#include <mutex>
#include <set>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>
#include <simdjson.h>

#include "hnasgwsim/Simulator.h"

using hnasgwsim::parseFaultRule;

namespace {

struct Answer {
    bool answered = false; // false: the connection failed or closed without an answer
    int status = 0;
    std::string body;
};

class SimClient {
public:
    const httplib::Headers credentials;

    explicit SimClient(const hnasgwsim::Simulator& sim)
        : credentials({{"X-Subsystem-User", sim.credentials().user},
                       {"X-Subsystem-Password", sim.credentials().password},
                       {"X-Subsystem-Type", sim.credentials().subsystemType},
                       {"X-Management-IPs", sim.credentials().managementIPs}}),
          client_(sim.host(), sim.port()) {
        client_.set_ca_cert_path(sim.caFile().c_str());
        client_.enable_server_certificate_verification(true);
        client_.set_keep_alive(true);
        client_.set_read_timeout(10);
    }

    // METHOD path (below "/v4/storage/" unless it starts with '/') with the
    // simulator's credentials, or with `headers` instead.
    Answer send(const std::string& method, const std::string& path, const std::string& body = "",
                const httplib::Headers* headers = nullptr) {
        httplib::Request request;
        request.method = method;
        request.path = (path[0] == '/' ? "" : "/v4/storage/") + path;
        request.headers = headers ? *headers : credentials;
        request.body = body;
        const auto r = client_.send(request);
        return r ? Answer{true, r->status, r->body} : Answer{};
    }
    Answer get(const std::string& path) { return send("GET", path); }

private:
    httplib::SSLClient client_;
};

// A started simulator with the built-in array, a client for it, and its
// access log.
class Gateway : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }
    void SetUp() override {
        hnasgwsim::SimulatorOptions options;
        options.keepAliveTimeoutSec = 30; // stop() closes idle connections
        options.accessLog = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(line);
        };
        sim = std::make_unique<hnasgwsim::Simulator>(std::move(options));
        sim->start();
        client = std::make_unique<SimClient>(*sim);
    }

    // Checks the gateway's error document ("errorCode", "errorMsg",
    // "errorDetail"."reason") and returns its body.
    std::string expectError(const Answer& a, int status) {
        EXPECT_EQ(a.status, status) << a.body;
        simdjson::dom::element doc;
        std::int64_t code = 0;
        EXPECT_TRUE(parser.parse(a.body).get(doc) == simdjson::SUCCESS &&
                    doc["errorCode"].get(code) == simdjson::SUCCESS && code == status &&
                    doc["errorMsg"].is_string() && doc["errorDetail"]["reason"].is_string())
            << a.body;
        return a.body;
    }
    std::string fsId(int index) { return sim->model()->fileSystems.at(index).filesystemId; }

    // Snapshots and shares the array holds.
    size_t objects() {
        auto array = sim->model();
        size_t n = 0;
        for (const auto& fs : array->fileSystems)
            n += fs.snapshots.size();
        for (const auto& evs : array->virtualServers)
            n += evs.shares.size();
        return n;
    }
    std::unique_ptr<hnasgwsim::Simulator> sim;
    std::unique_ptr<SimClient> client;
    simdjson::dom::parser parser;
    std::mutex mutex;
    std::vector<std::string> lines; // the access log
};

// Every request on one kept connection, each in the access log without a
// credential.
TEST_F(Gateway, RefusesRequestsWithoutTheConfiguredCredentialsAndLogsThemWithoutAny) {
    const std::string password = sim->credentials().password;
    for (const auto& [name, value] : client->credentials) {
        httplib::Headers missing = client->credentials, wrong = missing;
        missing.erase(name);
        wrong.find(name)->second = value + "x";
        SCOPED_TRACE(name);
        const auto body = expectError(client->send("GET", "/admin/state", "", &missing), 401);
        EXPECT_NE(body.find(name), std::string::npos) << body;
        EXPECT_EQ(expectError(client->send("GET", "file-devices", "", &wrong), 401).find(password),
                  std::string::npos);
    }
    std::set<int> ports;
    for (const auto& r : sim->requestLog())
        ports.insert(r.remotePort);
    EXPECT_EQ(ports.size(), 1u);
    sim->stop();
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_NE(lines[1].find("GET /v4/storage/file-devices 401 "), std::string::npos) << lines[1];
    for (const auto& line : lines)
        EXPECT_EQ(line.find(password), std::string::npos);
}

// Each fault kind as sent: whether an answer comes, its status and body,
// whether the array carried the request out; the next request is answered.
TEST_F(Gateway, FaultsAsARawClientSeesThem) {
    const auto nfs = sim->model()->virtualServers[0].shares[2].objectId;
    const auto snap = "{\"displayName\":\"a\", \"filesystemId\":\"" + fsId(3) + "\"}";
    const std::string post = "filesystem-snapshots";
    const struct {
        std::string rule, method, path, body;
        bool answered;
        int status;
        bool carriedOut;
    } cases[] = {
        {"POST " + post + " status=507", "POST", post, snap, true, 507, false},
        {"POST " + post + " close", "POST", post, snap, false, 0, false},
        {"POST " + post + " truncate", "POST", post, snap, false, 0, true},
        {"GET filesystems/* notjson", "GET", "filesystems/", "", true, 200, false},
        {"GET virtual-servers notjson status=502", "GET", "virtual-servers", "", true, 502, false},
        {"DELETE /v4/storage/filesystem-shares/* status=423", "DELETE",
         "filesystem-shares/NFS/" + nfs, "", true, 423, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        sim->clearFaults();
        sim->addFault(parseFaultRule(c.rule));
        const size_t before = objects();
        const auto a = client->send(c.method, c.path, c.body);
        EXPECT_EQ(sim->requestLog().back().fault, c.rule); // as the rule describes itself
        EXPECT_EQ(a.answered, c.answered);
        EXPECT_EQ(a.status, c.status);
        if (c.rule.find("notjson") != std::string::npos) {
            EXPECT_EQ(a.body.rfind("<html>", 0), 0u) << a.body;
        } else if (c.answered) {
            EXPECT_NE(expectError(a, c.status).find(c.rule), std::string::npos);
        }
        EXPECT_EQ(objects(), before + c.carriedOut);
        // Other requests are untouched, and the next comes on a kept connection.
        EXPECT_EQ(client->get("file-devices").status, 200);
    }
}

TEST_F(Gateway, AdminResourcesManageFaultsStateAndTheRequestLog) {
    EXPECT_EQ(client->send("POST", "/admin/faults", "GET file-devices status=500 times=1").status,
              201);
    const auto json = "{\"method\":\"GET\",\"path\":\"virtual-servers\",\"action\":\"status\","
                      "\"status\":503,\"nth\":1}";
    EXPECT_EQ(client->send("POST", "/admin/faults", json).status, 201);
    expectError(client->send("POST", "/admin/faults", "GET x explode"), 400);
    EXPECT_EQ(client->get("file-devices").status, 500);
    EXPECT_EQ(client->get("file-devices").status, 200); // times=1
    EXPECT_EQ(client->get("virtual-servers").status, 503);
    EXPECT_EQ(client->get("virtual-servers").status, 200); // nth=1
    const auto rules = client->get("/admin/faults").body;
    EXPECT_NE(rules.find("{\"rule\":\"GET virtual-servers status=503 nth=1\",\"matched\":2,"
                         "\"fired\":1}"),
              std::string::npos)
        << rules;
    EXPECT_EQ(client->send("DELETE", "/admin/faults").status, 204);
    sim->addFault(parseFaultRule("* /admin/* status=500")); // admin requests are never faulted

    const auto dump = client->get("/admin/state");
    ASSERT_EQ(dump.status, 200);
    const auto snapshot = sim->model()->fileSystems[0].snapshots[0].objectId;
    ASSERT_EQ(client->send("DELETE", "filesystem-snapshots/" + snapshot).status, 204);
    expectError(client->send("PUT", "/admin/state", "{\"filesystems\":7}"), 400);
    ASSERT_EQ(client->send("PUT", "/admin/state", dump.body).status, 204);
    EXPECT_EQ(client->get("/admin/state").body, dump.body);

    // The request log, with bodies, and never a credential.
    client->send("DELETE", "/admin/requests");
    client->send("PUT", "/admin/state", "{\"filesystems\":7}");
    const auto log = client->get("/admin/requests").body;
    EXPECT_NE(log.find("{\"method\":\"PUT\",\"path\":\"/admin/state\",\"status\":400,"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\"body\":\"{\\\"filesystems\\\":7}\""), std::string::npos) << log;
    EXPECT_EQ(log.find(sim->credentials().password), std::string::npos);
}

// A parallel walk's 64 connections, each request held by a latency fault:
// the simulator serves them side by side, not a worker pool's worth at a time.
TEST_F(Gateway, ServesSixtyFourRequestsAtOnceWhileALatencyFaultHoldsThem) {
    constexpr int kClients = 64;
    constexpr int kLatencyMs = 250;
    std::vector<std::unique_ptr<SimClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<SimClient>(*sim));
        ASSERT_EQ(clients.back()->get("file-devices").status, 200); // its connection open
    }
    sim->addFault(parseFaultRule("GET virtual-servers latency=" + std::to_string(kLatencyMs)));
    sim->resetPeakInFlight();
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    for (auto& c : clients)
        threads.emplace_back(
            [&answered, &c] { answered += c->get("virtual-servers").status == 200; });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(answered, kClients);
    EXPECT_EQ(sim->peakInFlight(), kClients);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(kClients * kLatencyMs / 4));
}

} // namespace
