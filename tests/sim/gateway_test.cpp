// What only a raw client sees of the simulator: credentials refused, error
// documents and statuses, the share rules, each fault as sent over HTTPS,
// the admin resources, the request and access logs.
// Resources as the library reads them are checked in library_faults_test
// and in the end-to-end workflow.

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "sim/SimClient.h"

using namespace simtest;
using hnasgwsim::parseFaultRule;

namespace {

class Gateway : public SimTest {
protected:
    void customise(hnasgwsim::SimulatorOptions& options) override {
        options.accessLog = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(line);
        };
    }
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
    std::string snapshotBody(const std::string& name) {
        return "{\"displayName\":\"" + name + "\", \"filesystemId\":\"" + fsId("fs-scratch") +
               "\", \"appSearchId\":\"1\" }";
    }
    std::mutex mutex;
    std::vector<std::string> lines; // the access log
};

TEST_F(Gateway, RefusesRequestsWithoutTheConfiguredCredentials) {
    const auto good = client->credentialHeaders();
    for (const char* name :
         {"X-Subsystem-User", "X-Subsystem-Password", "X-Subsystem-Type", "X-Management-IPs"}) {
        httplib::Headers missing, wrong;
        for (const auto& [k, v] : good) {
            if (k != name)
                missing.emplace(k, v);
            wrong.emplace(k, k == name ? v + "x" : v);
        }
        SCOPED_TRACE(name);
        auto reason = expectErrorDocument(
            parser, client->send("GET", "/v4/storage/file-devices", "", &missing), 401);
        EXPECT_NE(reason.find(name), std::string::npos) << reason;
        reason = expectErrorDocument(
            parser, client->send("GET", "/v4/storage/virtual-servers", "", &wrong), 401);
        EXPECT_EQ(reason.find(sim->credentials().password), std::string::npos) << reason;
    }
    // The admin resource is guarded the same way.
    httplib::Headers none;
    expectErrorDocument(parser, client->send("GET", "/admin/state", "", &none), 401);
    expectErrorDocument(parser, client->send("DELETE", "/admin/faults", "", &none), 401);
}

// Unknown resources, wrong verbs and bad bodies get an error document and
// leave the array as it was.
TEST_F(Gateway, AnswersMistakesWithErrorDocuments) {
    const auto fs = fsId("fs-finance");
    auto share = [&](const std::string& name, const std::string& evs, const std::string& fsid,
                     const std::string& path, const std::string& settings) {
        return "{\"name\":\"" + name + "\", \"virtualServerId\":" + evs + ", \"filesystemId\":\"" +
               fsid + "\", \"filesystemPath\":\"" + path + "\", \"settings\":" + settings + "}";
    };
    struct Case {
        std::string method, path, body; // path under /v4/storage/ unless absolute
        int status;
        std::string reason; // a part of "errorDetail"."reason"
    };
    const std::string shares = "filesystem-shares/", snaps = "filesystem-snapshots";
    const Case cases[] = {
        {"GET", "no-such-thing", "", 404, ""},
        {"GET", "filesystems/NOPE", "", 404, ""},
        {"GET", snaps + "/NOPE/RKHNAS", "", 404, ""},
        {"GET", "virtual-servers/NOPE/CIFS", "", 404, ""},
        {"GET", "filesystems/" + fs + "/directories/NOPE", "", 404, ""},
        {"DELETE", "file-devices", "", 405, ""},
        {"POST", snaps, "{\"displayName\":", 400, ""},
        {"POST", snaps, "{\"displayName\": 7, \"filesystemId\":\"" + fs + "\"}", 400,
         "displayName"},
        {"POST", shares + "CIFS", share("", "1", fs, "/x", "{}"), 400, ""},
        {"POST", shares + "CIFS", share("a*b", "1", fs, "/x", "{}"), 400, ""},
        {"POST", shares + "CIFS", share("ok", "9", fs, "/x", "{}"), 400, ""},
        {"POST", shares + "CIFS", share("ok", "2", fs, "/x", "{}"), 400, ""}, // fs is on evs 1
        {"POST", shares + "CIFS", share("ok", "1", "NOPE", "/x", "{}"), 400, ""},
        {"POST", shares + "CIFS", share("ok", "1", fs, "relative", "{}"), 400, ""},
        {"POST", shares + "CIFS", share("ok", "1", fs, "/x", "{\"maxConcurrentUsers\":\"x\"}"), 400,
         ""},
        {"POST", shares + "NFS", share("ok", "1", fs, "/x", "{\"accessConfig\":false}"), 400, ""},
        {"POST", shares + "NFS", "{\"name\":\"ok\"}", 400, ""},
    };
    const size_t before = objects();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method + " " + c.path + " " + c.body);
        const auto reason = expectErrorDocument(
            parser,
            client->send(c.method, (c.path[0] == '/' ? "" : "/v4/storage/") + c.path, c.body),
            c.status);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
    EXPECT_EQ(objects(), before);
}

TEST_F(Gateway, ShareNamesAreUniqueInAnyCaseAndACIFSShareStartsWithEveryone) {
    const std::string body =
        "{\"name\":\"Payroll\", \"virtualServerId\":1, \"filesystemId\":\"" + fsId("fs-finance") +
        "\", \"filesystemPath\":\"/finance/2026\", \"settings\":{\"maxConcurrentUsers\":25}}";
    auto a = client->post("filesystem-shares/CIFS", body);
    ASSERT_EQ(a.status, 201) << a.body;
    simdjson::dom::element share;
    ASSERT_EQ(parse(parser, a.body)["filesystemShare"].get(share), simdjson::SUCCESS);
    EXPECT_FALSE(str(share, "shareId").empty());
    const auto auth = "filesystem-shares/cifs/" + str(share, "objectId") + "/authentications";
    auto dup = body;
    dup.replace(dup.find("Payroll"), 7, "PAYROLL");
    expectErrorDocument(parser, client->post("filesystem-shares/CIFS", dup), 409);

    simdjson::dom::array entries;
    ASSERT_EQ(parse(parser, client->get(auth).body)["cifsAuthentications"].get(entries),
              simdjson::SUCCESS);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(str(entries.at(0).value(), "name"), "Everyone");
    const auto everyone = str(entries.at(0).value(), "encodedName");
    ASSERT_EQ(client->del(auth + "/" + everyone).status, 204);
    expectErrorDocument(parser, client->del(auth + "/" + everyone), 404);
}

// Each fault kind as sent: whether an answer comes, its status and body,
// whether the array carried the request out; the next request is answered.
TEST_F(Gateway, FaultsAsARawClientSeesThem) {
    const auto share = sim->model()->virtualServers[0].shares[2].objectId; // an NFS share
    struct Case {
        std::string rule, method, resource, body;
        bool answered;
        int status;
        std::string start; // of the body, or a part of the error reason
        bool carriedOut;
    };
    const Case cases[] = {
        {"POST filesystem-snapshots status=507", "POST", "filesystem-snapshots", snapshotBody("a"),
         true, 507, "POST filesystem-snapshots status=507", false},
        {"POST filesystem-snapshots close", "POST", "filesystem-snapshots", snapshotBody("b"),
         false, 0, "", false},
        {"POST filesystem-snapshots truncate", "POST", "filesystem-snapshots", snapshotBody("c"),
         false, 0, "", true},
        {"GET filesystems/* notjson", "GET", "filesystems/", "", true, 200, "<html>", false},
        {"GET virtual-servers notjson status=502", "GET", "virtual-servers", "", true, 502,
         "<html>", false},
        {"DELETE /v4/storage/filesystem-shares/* status=423", "DELETE",
         "filesystem-shares/NFS/" + share, "", true, 423, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        ASSERT_EQ(client->get("file-devices").status, 200); // an open keep-alive connection
        sim->clearFaults();
        sim->addFault(parseFaultRule(c.rule));
        const size_t before = objects();
        const auto a = client->send(c.method, "/v4/storage/" + c.resource, c.body);
        const auto record = sim->requestLog().back();
        EXPECT_EQ(record.fault, parseFaultRule(c.rule).describe());
        EXPECT_EQ(a.answered, c.answered);
        EXPECT_EQ(a.status, c.status);
        // Not carried out: logged with the status it was answered with.
        EXPECT_EQ(record.status, c.carriedOut ? record.status : c.status);
        if (!c.answered) {
            EXPECT_EQ(a.error, c.carriedOut ? httplib::Error::Read : a.error);
        } else if (c.start == "<html>") {
            EXPECT_EQ(a.body.rfind("<html>", 0), 0u) << a.body;
        } else {
            EXPECT_NE(expectErrorDocument(parser, a, c.status).find(c.start), std::string::npos);
        }
        EXPECT_EQ(objects(), before + c.carriedOut);
        // Other verbs and paths are untouched.
        EXPECT_EQ(client->get("file-devices").status, 200);
    }
}

TEST_F(Gateway, NthAndTimesChooseWhichRequestsFail) {
    sim->addFault(parseFaultRule("GET file-devices status=500 nth=2"));
    sim->addFault(parseFaultRule("* virtual-servers status=503 times=2"));
    std::vector<int> devices, servers;
    for (int i = 0; i < 4; ++i) {
        devices.push_back(client->get("file-devices").status);
        servers.push_back(client->get("virtual-servers").status);
    }
    EXPECT_EQ(devices, (std::vector<int>{200, 500, 200, 200}));
    EXPECT_EQ(servers, (std::vector<int>{503, 503, 200, 200}));
}

TEST_F(Gateway, AdminResourcesManageFaultsStateAndTheRequestLog) {
    auto a = client->send("POST", "/admin/faults", "GET file-devices status=500");
    ASSERT_EQ(a.status, 201) << a.body;
    a = client->send("POST", "/admin/faults",
                     "{\"method\":\"GET\",\"path\":\"virtual-servers\",\"action\":\"status\","
                     "\"status\":503,\"nth\":1}");
    ASSERT_EQ(a.status, 201) << a.body;
    expectErrorDocument(parser, client->send("POST", "/admin/faults", "GET x explode"), 400);
    expectErrorDocument(parser, client->send("POST", "/admin/faults", "{\"status\":\"x\"}"), 400);
    EXPECT_EQ(client->get("file-devices").status, 500);
    EXPECT_EQ(client->get("virtual-servers").status, 503);
    EXPECT_EQ(client->get("virtual-servers").status, 200);
    a = client->send("GET", "/admin/faults");
    ASSERT_EQ(a.status, 200);
    simdjson::dom::array list;
    ASSERT_EQ(parse(parser, a.body)["faults"].get(list), simdjson::SUCCESS);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(str(list.at(1).value(), "rule"), "GET virtual-servers status=503 nth=1");
    EXPECT_EQ(num(list.at(1).value(), "matched"), 2);
    EXPECT_EQ(num(list.at(1).value(), "fired"), 1);
    EXPECT_EQ(client->send("DELETE", "/admin/faults").status, 204);
    EXPECT_EQ(client->get("file-devices").status, 200);
    EXPECT_TRUE(sim->faults().empty());
    sim->addFault(parseFaultRule("* /admin/* status=500")); // admin requests are never faulted

    auto dump = client->send("GET", "/admin/state");
    ASSERT_EQ(dump.status, 200);
    const auto snapshot = sim->model()->fileSystems[0].snapshots[0].objectId;
    ASSERT_EQ(client->del("filesystem-snapshots/" + snapshot).status, 204);
    expectErrorDocument(parser, client->send("PUT", "/admin/state", "{\"filesystems\":7}"), 400);
    ASSERT_EQ(client->send("PUT", "/admin/state", dump.body).status, 204);
    EXPECT_EQ(sim->model()->fileSystems[0].snapshots.size(), 3u);
    EXPECT_EQ(client->send("GET", "/admin/state").body, dump.body);

    // The request log, with bodies, and never a credential.
    client->send("DELETE", "/admin/requests");
    client->send("PUT", "/admin/state", "{\"filesystems\":7}");
    a = client->send("GET", "/admin/requests");
    ASSERT_EQ(a.status, 200);
    ASSERT_EQ(parse(parser, a.body)["requests"].get(list), simdjson::SUCCESS);
    ASSERT_EQ(list.size(), 2u); // not yet this GET itself
    EXPECT_EQ(str(list.at(1).value(), "method"), "PUT");
    EXPECT_EQ(str(list.at(1).value(), "body"), "{\"filesystems\":7}");
    EXPECT_EQ(num(list.at(1).value(), "status"), 400);
    EXPECT_EQ(a.body.find(sim->credentials().password), std::string::npos);
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

// One connection serves many requests; each has one access log line and a
// request record, none with a credential.
TEST_F(Gateway, KeepsOneConnectionAndLogsEveryRequestWithoutCredentials) {
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(client->get("file-devices").status, 200);
    client->get("nowhere");
    std::set<int> ports;
    for (const auto& r : sim->requestLog()) {
        ports.insert(r.remotePort);
        EXPECT_EQ(r.method, "GET");
    }
    EXPECT_EQ(sim->requestLog()[0].path, "/v4/storage/file-devices");
    EXPECT_EQ(ports.size(), 1u);
    sim->stop();
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_NE(lines[0].find("GET /v4/storage/file-devices 200 "), std::string::npos);
    EXPECT_NE(lines[10].find("GET /v4/storage/nowhere 404 "), std::string::npos);
    for (const auto& line : lines) {
        EXPECT_EQ(line.find(sim->credentials().password), std::string::npos);
        EXPECT_EQ(line.find(sim->credentials().user), std::string::npos);
    }
}

} // namespace
