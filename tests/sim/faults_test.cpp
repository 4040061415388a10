// Fault injection as a raw client sees it: statuses with error documents,
// latency, closed connections, truncated and non-JSON bodies, the Nth
// request, limited repeats, and the admin resource that manages the rules.

#include "sim/SimClient.h"

using namespace simtest;
using hnasgwsim::FaultKind;
using hnasgwsim::parseFaultRule;

namespace {

class Faults : public SimTest {
protected:
    std::string createSnapshot(const std::string& name) {
        return client
            ->post("filesystem-snapshots", "{\"displayName\":\"" + name +
                                               "\", \"filesystemId\":\"" + fsId("fs-scratch") +
                                               "\", \"appSearchId\":\"1\" }")
            .body;
    }
    size_t scratchSnapshots() {
        const auto id = fsId("fs-scratch");
        return sim->model()->findFileSystem(id)->snapshots.size();
    }
};

TEST_F(Faults, StatusAnswersAnErrorDocumentAndLeavesTheArrayAlone) {
    sim->addFault(parseFaultRule("POST filesystem-snapshots status=507"));
    auto a = client->post("filesystem-snapshots", "{\"displayName\":\"x\", \"filesystemId\":\"" +
                                                      fsId("fs-scratch") +
                                                      "\", \"appSearchId\":\"1\" }");
    auto reason = expectErrorDocument(parser, a, 507);
    EXPECT_NE(reason.find("POST filesystem-snapshots status=507"), std::string::npos);
    EXPECT_EQ(scratchSnapshots(), 0u);
    // Other verbs and paths are untouched.
    EXPECT_EQ(client->get("filesystem-snapshots/" + fsId("fs-scratch") + "/x").status, 200);
    EXPECT_EQ(client->get("file-devices").status, 200);
}

TEST_F(Faults, LatencyDelaysTheAnswer) {
    sim->addFault(parseFaultRule("GET file-devices latency=150"));
    EXPECT_EQ(client->get("file-devices").status, 200);
    EXPECT_EQ(client->get("virtual-servers").status, 200);
    auto log = sim->requestLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_GE(log[0].durationMs, 150.0);
    EXPECT_EQ(log[0].fault, "GET file-devices latency=150");
    EXPECT_TRUE(log[1].fault.empty());
}

TEST_F(Faults, CloseDropsTheConnectionWithoutAnswerAndWithoutCarryingOut) {
    ASSERT_EQ(client->get("file-devices").status, 200); // an open keep-alive connection
    const auto before = scratchSnapshots();
    sim->addFault(parseFaultRule("POST filesystem-snapshots close"));
    auto a = client->post("filesystem-snapshots", "{\"displayName\":\"x\", \"filesystemId\":\"" +
                                                      fsId("fs-scratch") +
                                                      "\", \"appSearchId\":\"1\" }");
    EXPECT_FALSE(a.answered);
    EXPECT_EQ(scratchSnapshots(), before);
    auto log = sim->requestLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].status, 0);
    // The next request gets a fresh connection and an answer.
    EXPECT_EQ(client->get("file-devices").status, 200);
}

TEST_F(Faults, TruncateCarriesOutThenSendsAShortBody) {
    sim->addFault(parseFaultRule("POST filesystem-snapshots truncate"));
    createSnapshot("cut");
    auto a = client->post("filesystem-snapshots", "{\"displayName\":\"cut2\", \"filesystemId\":\"" +
                                                      fsId("fs-scratch") +
                                                      "\", \"appSearchId\":\"1\" }");
    EXPECT_FALSE(a.answered);
    EXPECT_EQ(a.error, httplib::Error::Read);
    EXPECT_EQ(scratchSnapshots(), 2u); // both were created
    EXPECT_EQ(client->get("file-devices").status, 200);
}

TEST_F(Faults, NotJsonSendsAnHtmlPage) {
    sim->addFault(parseFaultRule("GET filesystems/* notjson"));
    sim->addFault(parseFaultRule("GET virtual-servers notjson status=502"));
    auto a = client->get("filesystems/");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body.rfind("<html>", 0), 0u) << a.body;
    a = client->get("virtual-servers");
    EXPECT_EQ(a.status, 502);
    EXPECT_EQ(a.body.rfind("<html>", 0), 0u);
}

TEST_F(Faults, NthAndTimesChooseWhichRequestsFail) {
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

TEST_F(Faults, WholePathPatternsAndMethodFilters) {
    sim->addFault(parseFaultRule("DELETE /v4/storage/filesystem-shares/* status=423"));
    auto evsShares = client->get("virtual-servers/" + evsObjectId("evs-prod") + "/NFS");
    EXPECT_EQ(evsShares.status, 200);
    const auto objectId = sim->model()->virtualServers[0].shares[2].objectId;
    expectErrorDocument(parser, client->del("filesystem-shares/NFS/" + objectId), 423);
    EXPECT_NE(sim->model()->findShare("NFS", objectId), nullptr);
}

TEST_F(Faults, AdminResourceAddsListsAndClearsRules) {
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
    simdjson::dom::array rules;
    ASSERT_EQ(parse(parser, a.body)["faults"].get(rules), simdjson::SUCCESS);
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(str(rules.at(1).value(), "rule"), "GET virtual-servers status=503 nth=1");
    EXPECT_EQ(num(rules.at(1).value(), "matched"), 2);
    EXPECT_EQ(num(rules.at(1).value(), "fired"), 1);

    EXPECT_EQ(client->send("DELETE", "/admin/faults").status, 204);
    EXPECT_EQ(client->get("file-devices").status, 200);
    EXPECT_TRUE(sim->faults().empty());
    // Admin requests are never faulted themselves.
    sim->addFault(parseFaultRule("* /admin/* status=500"));
    EXPECT_EQ(client->send("GET", "/admin/faults").status, 200);
}

TEST(FaultRules, ParseAndDescribe) {
    auto rule = parseFaultRule("post filesystem-shares/* close latency=20 nth=3");
    EXPECT_EQ(rule.kind, FaultKind::Close);
    EXPECT_EQ(rule.latencyMs, 20);
    EXPECT_EQ(rule.nth, 3);
    EXPECT_TRUE(rule.matches("POST", "/v4/storage/filesystem-shares/CIFS"));
    EXPECT_FALSE(rule.matches("GET", "/v4/storage/filesystem-shares/CIFS"));
    EXPECT_FALSE(rule.matches("POST", "/v4/storage/filesystem-snapshots"));
    EXPECT_EQ(parseFaultRule(rule.describe()).describe(), rule.describe());
    EXPECT_EQ(parseFaultRule("* * latency=5").kind, FaultKind::None);
    for (const char* bad : {"", "GET", "GET x", "GET x status=abc", "GET x status=99",
                            "GET x nth=-1", "GET x frobnicate", "GET x color=red"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(parseFaultRule(bad), std::invalid_argument);
    }
    EXPECT_TRUE(hnasgwsim::globMatch("a*c?e", "abbbcde"));
    EXPECT_FALSE(hnasgwsim::globMatch("a*c?e", "abbbce"));
}

class StartupFaults : public SimTest {
    void customise(hnasgwsim::SimulatorOptions& o) override {
        o.faults.push_back(parseFaultRule("GET file-devices status=418 times=1"));
    }
};

TEST_F(StartupFaults, RulesGivenAtStartApply) {
    expectErrorDocument(parser, client->get("file-devices"), 418);
    EXPECT_EQ(client->get("file-devices").status, 200);
}

} // namespace
