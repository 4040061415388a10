// The simulator's storage resources, credentials and error documents, seen
// over HTTPS exactly as a client receives them.

#include <set>
#include <thread>
#include <unistd.h>

#include "sim/SimClient.h"

using namespace simtest;

namespace {

class Gateway : public SimTest {};

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
    // The admin resource is guarded the same way, and nothing reached the array.
    httplib::Headers none;
    expectErrorDocument(parser, client->send("GET", "/admin/state", "", &none), 401);
    expectErrorDocument(parser, client->send("DELETE", "/admin/faults", "", &none), 401);
}

TEST_F(Gateway, AnswersUnknownResourcesWrongVerbsAndBadBodiesWithErrorDocuments) {
    expectErrorDocument(parser, client->get("no-such-thing"), 404);
    expectErrorDocument(parser, client->send("GET", "/v3/storage/file-devices"), 404);
    expectErrorDocument(parser, client->get("filesystems/NOPE"), 404);
    expectErrorDocument(parser, client->get("filesystem-snapshots/NOPE/RKHNAS"), 404);
    expectErrorDocument(parser, client->del("filesystem-snapshots/NOPE"), 404);
    expectErrorDocument(parser, client->post("filesystem-snapshots/NOPE/recover", ""), 404);
    expectErrorDocument(parser, client->get("virtual-servers/NOPE/CIFS"), 404);
    expectErrorDocument(parser, client->del("file-devices"), 405);
    expectErrorDocument(parser, client->post("filesystem-snapshots", "{\"displayName\":"), 400);
    expectErrorDocument(parser, client->post("filesystem-snapshots", "[1,2]"), 400);
    const auto fs = fsId("fs-finance");
    auto reason =
        expectErrorDocument(parser,
                            client->post("filesystem-snapshots",
                                         "{\"displayName\": 7, \"filesystemId\":\"" + fs + "\"}"),
                            400);
    EXPECT_NE(reason.find("displayName"), std::string::npos) << reason;
}

TEST_F(Gateway, ListsTheBuiltInArray) {
    auto a = client->get("file-devices");
    ASSERT_EQ(a.status, 200);
    auto device = parse(parser, a.body);
    EXPECT_EQ(str(device, "name"), "hnas-sim-cluster");
    EXPECT_EQ(num(device, "nodeCount"), 2);
    simdjson::dom::array licenses;
    ASSERT_EQ(device["licenses"].get(licenses), simdjson::SUCCESS);
    EXPECT_GT(licenses.size(), 0u);

    a = client->get("virtual-servers");
    ASSERT_EQ(a.status, 200);
    simdjson::dom::array servers;
    ASSERT_EQ(parse(parser, a.body)["virtualServers"].get(servers), simdjson::SUCCESS);
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(str(servers.at(0).value(), "name"), "evs-prod");
    EXPECT_EQ(num(servers.at(1).value(), "virtualServerId"), 2);

    a = client->get("filesystems/");
    ASSERT_EQ(a.status, 200);
    simdjson::dom::array filesystems;
    ASSERT_EQ(parse(parser, a.body)["filesystems"].get(filesystems), simdjson::SUCCESS);
    EXPECT_EQ(filesystems.size(), 4u);

    const auto fs = fsId("fs-archive");
    a = client->get("filesystems/" + fs);
    ASSERT_EQ(a.status, 200);
    simdjson::dom::element one;
    ASSERT_EQ(parse(parser, a.body)["filesystem"].get(one), simdjson::SUCCESS);
    EXPECT_EQ(str(one, "label"), "fs-archive");
    EXPECT_EQ(str(one, "filesystemId"), fs);

    a = client->get("filesystems/" + fs + "/virtual-servers");
    ASSERT_EQ(a.status, 200);
    ASSERT_EQ(parse(parser, a.body)["virtualServers"].get(servers), simdjson::SUCCESS);
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(str(servers.at(0).value(), "name"), "evs-backup");
}

TEST_F(Gateway, ShareLifecycleWithPermissions) {
    const auto evs = evsObjectId("evs-prod");
    const auto fs = fsId("fs-finance");
    const std::string body =
        "{\"name\":\"Payroll\", \"virtualServerId\":1, \"filesystemId\":\"" + fs +
        "\", \"filesystemPath\":\"/finance/2026\", \"settings\":{\"accessConfig\":\"10.0.0.0/8\", "
        "\"comment\":\"Rekanto Created Share\", \"maxConcurrentUsers\":25, \"isABEEnabled\":true}}";
    auto a = client->post("filesystem-shares/CIFS", body);
    ASSERT_EQ(a.status, 201) << a.body;
    simdjson::dom::element share;
    ASSERT_EQ(parse(parser, a.body)["filesystemShare"].get(share), simdjson::SUCCESS);
    const auto objectId = str(share, "objectId");
    EXPECT_EQ(str(share, "name"), "Payroll");
    EXPECT_EQ(num(share, "virtualServerId"), 1);
    EXPECT_EQ(str(share, "filesystemId"), fs);
    EXPECT_EQ(str(share, "path"), "/finance/2026");
    EXPECT_FALSE(str(share, "shareId").empty());
    EXPECT_EQ(str(share["settings"].value(), "accessConfig"), "10.0.0.0/8");

    // Listed under its virtual server with its settings, and only as CIFS.
    a = client->get("virtual-servers/" + evs + "/CIFS");
    EXPECT_NE(a.body.find("\"name\":\"Payroll\""), std::string::npos);
    EXPECT_NE(a.body.find("\"maxConcurrentUsers\":25"), std::string::npos);
    EXPECT_EQ(client->get("virtual-servers/" + evs + "/NFS").body.find("Payroll"),
              std::string::npos);

    // A second share of that name, in any letter case, is refused.
    auto dup = body;
    dup.replace(dup.find("Payroll"), 7, "PAYROLL");
    expectErrorDocument(parser, client->post("filesystem-shares/CIFS", dup), 409);

    // A new CIFS share starts with one entry for everyone.
    const std::string auth = "filesystem-shares/cifs/" + objectId + "/authentications";
    a = client->get(auth);
    ASSERT_EQ(a.status, 200);
    simdjson::dom::array entries;
    ASSERT_EQ(parse(parser, a.body)["cifsAuthentications"].get(entries), simdjson::SUCCESS);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(str(entries.at(0).value(), "name"), "Everyone");
    const auto everyone = str(entries.at(0).value(), "encodedName");

    // Entries as the library writes them: a doubled backslash decodes to one.
    ASSERT_EQ(client->del(auth + "/" + everyone).status, 204);
    a = client->post(auth, "{\"cifsAuthentications\":[{\"encodedName\":\"\", "
                           "\"name\":\"CORP\\\\payroll\", \"permission\":5, \"type\":\"GROUP\" },"
                           "{\"encodedName\":\"\", \"name\":\"bob\", \"permission\":1, "
                           "\"type\":\"USER\" }]}");
    ASSERT_EQ(a.status, 201) << a.body;
    a = client->get(auth);
    ASSERT_EQ(parse(parser, a.body)["cifsAuthentications"].get(entries), simdjson::SUCCESS);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(str(entries.at(0).value(), "name"), "CORP\\payroll");
    EXPECT_EQ(num(entries.at(0).value(), "permission"), 5);
    EXPECT_EQ(str(entries.at(1).value(), "type"), "USER");
    expectErrorDocument(parser, client->del(auth + "/" + everyone), 404);

    ASSERT_EQ(client->del("filesystem-shares/CIFS/" + objectId).status, 204);
    EXPECT_EQ(client->get("virtual-servers/" + evs + "/CIFS").body.find("Payroll"),
              std::string::npos);
    expectErrorDocument(parser, client->del("filesystem-shares/CIFS/" + objectId), 404);
    expectErrorDocument(parser, client->get(auth), 404);
}

TEST_F(Gateway, ShareCreationChecksItsBody) {
    const auto fs = fsId("fs-finance");
    auto body = [&](const std::string& name, const std::string& evs, const std::string& fsid,
                    const std::string& path, const std::string& settings) {
        return "{\"name\":\"" + name + "\", \"virtualServerId\":" + evs + ", \"filesystemId\":\"" +
               fsid + "\", \"filesystemPath\":\"" + path + "\", \"settings\":" + settings + "}";
    };
    // Each of these is refused and leaves the array as it was.
    const std::pair<std::string, std::string> bad[] = {
        {"CIFS", body("", "1", fs, "/x", "{}")},
        {"CIFS", body("a*b", "1", fs, "/x", "{}")},
        {"CIFS", body("ok", "\"1\"", fs, "/x", "{}")},
        {"CIFS", body("ok", "9", fs, "/x", "{}")},
        {"CIFS", body("ok", "2", fs, "/x", "{}")}, // fs-finance is served by evs 1
        {"CIFS", body("ok", "1", "NOPE", "/x", "{}")},
        {"CIFS", body("ok", "1", fs, "relative", "{}")},
        {"CIFS", body("ok", "1", fs, "/x", "{\"maxConcurrentUsers\":\"many\"}")},
        {"NFS", body("ok", "1", fs, "/x", "{\"accessConfig\":false}")},
        {"NFS", body("ok", "1", fs, "/x", "[]")},
        {"NFS", "{\"name\":\"ok\"}"},
    };
    for (const auto& [type, text] : bad) {
        SCOPED_TRACE(text);
        expectErrorDocument(parser, client->post("filesystem-shares/" + type, text), 400);
    }
    auto array = sim->model();
    size_t shares = 0;
    for (const auto& evs : array->virtualServers)
        shares += evs.shares.size();
    EXPECT_EQ(shares, 6u);
}

TEST_F(Gateway, SnapshotsAreCreatedFilteredDeletedAndRecovered) {
    const auto fs = fsId("fs-scratch");
    auto a = client->post("filesystem-snapshots", "{\"displayName\":\"RKHNAS_job7\", "
                                                  "\"filesystemId\":\"" +
                                                      fs + "\", \"appSearchId\":\"7\" }");
    ASSERT_EQ(a.status, 201) << a.body;
    simdjson::dom::element snap;
    ASSERT_EQ(parse(parser, a.body)["snapshot"].get(snap), simdjson::SUCCESS);
    const auto objectId = str(snap, "objectId");
    EXPECT_FALSE(objectId.empty());
    EXPECT_EQ(str(snap, "displayName"), "RKHNAS_job7");
    EXPECT_EQ(str(snap, "filesystemId"), fs);
    EXPECT_GT(num(snap, "creationTime"), 1700000000);
    EXPECT_LT(num(snap, "creationTime"), 2147483647); // the library reads it into 32 bits
    ASSERT_EQ(client
                  ->post("filesystem-snapshots", "{\"displayName\":\"other\", "
                                                 "\"filesystemId\":\"" +
                                                     fs + "\", \"appSearchId\":\"7\" }")
                  .status,
              201);

    // The last path segment is a prefix of the display name.
    auto names = [&](const std::string& filter) {
        std::vector<std::string> out;
        simdjson::dom::array list;
        auto r = client->get("filesystem-snapshots/" + fs + "/" + filter);
        EXPECT_EQ(r.status, 200);
        if (parse(parser, r.body)["snapshots"].get(list) == simdjson::SUCCESS)
            for (auto e : list)
                out.push_back(str(e, "displayName"));
        return out;
    };
    EXPECT_EQ(names("RKHNAS"), std::vector<std::string>{"RKHNAS_job7"});
    EXPECT_EQ(names("oth"), std::vector<std::string>{"other"});
    EXPECT_TRUE(names("rkhnas").empty());
    EXPECT_EQ(names("").size(), 2u);

    EXPECT_EQ(client->post("filesystem-snapshots/" + objectId + "/recover", "").status, 204);
    a = client->del("filesystem-snapshots/" + objectId);
    EXPECT_EQ(a.status, 204);
    EXPECT_TRUE(a.body.empty());
    EXPECT_TRUE(names("RKHNAS").empty());
    expectErrorDocument(parser, client->del("filesystem-snapshots/" + objectId), 404);
    EXPECT_EQ(sim->model()->recoveries, 1u);
}

TEST_F(Gateway, DirectoriesAreListedLevelByLevelWithFullPathNames) {
    const auto fs = fsId("fs-finance");
    auto listing = [&](const std::string& dir) {
        std::vector<std::pair<std::string, std::string>> out; // display name, object ID
        auto r = client->get("filesystems/" + fs + "/directories/" + dir);
        EXPECT_EQ(r.status, 200) << r.body;
        simdjson::dom::array list;
        if (parse(parser, r.body)["directories"].get(list) == simdjson::SUCCESS)
            for (auto e : list) {
                simdjson::dom::array names;
                std::string_view name;
                if (e["displayName"].get(names) == simdjson::SUCCESS &&
                    names.at(0).get(name) == simdjson::SUCCESS)
                    out.emplace_back(std::string(name), str(e, "objectId"));
            }
        return out;
    };
    auto root = listing("");
    ASSERT_EQ(root.size(), 2u);
    EXPECT_EQ(root[0].first, "//finance");
    EXPECT_EQ(root[1].first, "//reports");
    auto finance = listing(root[0].second);
    ASSERT_EQ(finance.size(), 2u);
    EXPECT_EQ(finance[0].first, "//finance/2025");
    EXPECT_EQ(finance[1].first, "//finance/2026");
    auto year = listing(finance[1].second);
    ASSERT_EQ(year.size(), 1u);
    EXPECT_EQ(year[0].first, "//finance/2026/q1");
    EXPECT_TRUE(listing(year[0].second).empty());
    expectErrorDocument(parser, client->get("filesystems/" + fs + "/directories/NOPE"), 404);
}

TEST_F(Gateway, KeepsOneConnectionForManyRequestsAndLogsThemWithoutCredentials) {
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(client->get("file-devices").status, 200);
    auto log = sim->requestLog();
    ASSERT_EQ(log.size(), 20u);
    std::set<int> ports;
    for (const auto& r : log) {
        ports.insert(r.remotePort);
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(r.path, "/v4/storage/file-devices");
        EXPECT_EQ(r.status, 200);
    }
    EXPECT_EQ(ports.size(), 1u);
}

TEST_F(Gateway, ConcurrentClientsChangeTheArrayConsistently) {
    const auto fs = fsId("fs-engineering");
    const int threads = 6, each = 15;
    std::vector<std::thread> workers;
    std::vector<int> created(threads, 0);
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            SimClient own(*sim);
            for (int i = 0; i < each; ++i) {
                auto r =
                    own.post("filesystem-snapshots",
                             "{\"displayName\":\"c" + std::to_string(t) + "_" + std::to_string(i) +
                                 "\", \"filesystemId\":\"" + fs + "\", \"appSearchId\":\"1\" }");
                created[t] += r.status == 201;
                own.get("filesystem-snapshots/" + fs + "/c");
            }
        });
    for (auto& w : workers)
        w.join();
    for (int t = 0; t < threads; ++t)
        EXPECT_EQ(created[t], each);
    auto array = sim->model();
    std::set<std::string> ids;
    for (const auto& snap : array->findFileSystem(fs)->snapshots)
        ids.insert(snap.objectId);
    EXPECT_EQ(ids.size(), 1u + threads * each); // one built-in snapshot
}

TEST(Accesslog, HasOneLinePerRequestAndNoCredentials) {
    std::signal(SIGPIPE, SIG_IGN);
    auto lines = std::make_shared<std::vector<std::string>>();
    auto mutex = std::make_shared<std::mutex>();
    hnasgwsim::SimulatorOptions options;
    options.accessLog = [lines, mutex](const std::string& line) {
        std::lock_guard<std::mutex> lock(*mutex);
        lines->push_back(line);
    };
    hnasgwsim::Simulator sim(options);
    sim.start();
    SimClient client(sim);
    client.get("file-devices");
    client.get("nowhere");
    sim.stop();
    std::lock_guard<std::mutex> lock(*mutex);
    ASSERT_EQ(lines->size(), 2u);
    EXPECT_NE((*lines)[0].find("GET /v4/storage/file-devices 200 "), std::string::npos);
    EXPECT_NE((*lines)[1].find("GET /v4/storage/nowhere 404 "), std::string::npos);
    for (const auto& line : *lines) {
        EXPECT_EQ(line.find(sim.credentials().password), std::string::npos);
        EXPECT_EQ(line.find(sim.credentials().user), std::string::npos);
    }
}

} // namespace

namespace {

TEST(Lifecycle, PrivateDirectoryKeepsNoKeyAndGoesWithTheSimulator) {
    std::signal(SIGPIPE, SIG_IGN);
    std::string dir;
    {
        hnasgwsim::Simulator sim;
        sim.start();
        dir = sim.caFile().substr(0, sim.caFile().rfind('/'));
        EXPECT_EQ(::access(sim.caFile().c_str(), R_OK), 0);
        EXPECT_NE(::access((dir + "/key.pem").c_str(), F_OK), 0);
        EXPECT_EQ(SimClient(sim).get("file-devices").status, 200);

        // Stopped and started again: a fresh certificate, the same array.
        sim.stop();
        EXPECT_FALSE(sim.running());
        sim.start();
        EXPECT_EQ(SimClient(sim).get("file-devices").status, 200);
        EXPECT_EQ(sim.requestLog().size(), 2u);
    }
    EXPECT_NE(::access(dir.c_str(), F_OK), 0);
}

} // namespace
