// The scripted test gateway itself: certificate, pin, scripts, recording.

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "support/TestGateway.h"

using hnastest::ScriptedResponse;
using hnastest::TestGateway;

namespace {

struct RawResult {
    bool ok = false;
    int status = 0;
    std::string body;
};

std::unique_ptr<httplib::SSLClient> client(const TestGateway& gw,
                                           const std::string& host = "127.0.0.1") {
    std::unique_ptr<httplib::SSLClient> c(new httplib::SSLClient(host, gw.port()));
    c->set_ca_cert_path(gw.caFile().c_str());
    c->enable_server_certificate_verification(true);
    c->set_keep_alive(true);
    return c;
}

RawResult perform(httplib::SSLClient& c, const std::string& method, const std::string& resource,
                  const std::string& body = "") {
    const std::string path = "/v4/storage/" + resource;
    httplib::Headers headers{{"X-Test", "one"}};
    auto send = [&]() -> httplib::Result {
        if (method == "GET")
            return c.Get(path, headers);
        if (method == "POST")
            return c.Post(path, headers, body, "application/json");
        if (method == "PUT")
            return c.Put(path, headers, body, "application/json");
        return c.Delete(path, headers, body, "application/json");
    };
    httplib::Result res = send();
    RawResult r;
    if (res) {
        r.ok = true;
        r.status = res->status;
        r.body = res->body;
    }
    return r;
}

// One exchange on a new connection that trusts the gateway's CA.
RawResult rawRequest(const TestGateway& gw, const std::string& method, const std::string& resource,
                     const std::string& body = "", const std::string& host = "127.0.0.1") {
    auto c = client(gw, host);
    c->set_keep_alive(false);
    return perform(*c, method, resource, body);
}

} // namespace

TEST(TestGateway, ServesScriptedAnswersOverVerifiedTls) {
    TestGateway gw;
    ASSERT_GT(gw.port(), 0);
    EXPECT_EQ(gw.host(), "127.0.0.1");
    EXPECT_TRUE(std::filesystem::exists(gw.caFile()));
    gw.on("GET", "file-devices", {200, R"({"a":1})"});
    auto r = rawRequest(gw, "GET", "file-devices");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, R"({"a":1})");
    // The certificate also names localhost.
    r = rawRequest(gw, "GET", "file-devices", "", "localhost");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(gw.pin().rfind("sha256//", 0), 0u);
    EXPECT_EQ(gw.pin().size(), 8u + 44u);
}

TEST(TestGateway, TemporaryCertificateFilesGoWithTheGateway) {
    std::string ca;
    {
        TestGateway gw;
        ca = gw.caFile();
        ASSERT_TRUE(std::filesystem::exists(ca));
    }
    EXPECT_FALSE(std::filesystem::exists(ca));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(ca).parent_path()));
}

TEST(TestGateway, QueuedAnswersGoFirstThenPersistentThenFallback) {
    TestGateway gw;
    gw.on("POST", "things", {201, "persistent"});
    gw.enqueue("POST", "things", {202, "first"});
    gw.enqueue("POST", "things", {203, "second"});
    EXPECT_EQ(rawRequest(gw, "POST", "things", "x").body, "first");
    EXPECT_EQ(rawRequest(gw, "POST", "things", "x").body, "second");
    auto r = rawRequest(gw, "POST", "things", "x");
    EXPECT_EQ(r.status, 201);
    EXPECT_EQ(r.body, "persistent");
    r = rawRequest(gw, "GET", "things");
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(r.body,
              R"({"errorCode":404,"errorMsg":"Not found","errorDetail":{"reason":"no script"}})");
    gw.setFallback({500, "boom"});
    r = rawRequest(gw, "PUT", "other", "y");
    EXPECT_EQ(r.status, 500);
    EXPECT_EQ(r.body, "boom");
    ASSERT_EQ(gw.requestCount(), 5u);
    const auto reqs = gw.requests();
    EXPECT_EQ(reqs[0].method, "POST");
    EXPECT_EQ(reqs[0].path, "/v4/storage/things");
    EXPECT_EQ(reqs[0].body, "x");
    EXPECT_EQ(reqs[0].header("x-test"), "one");
    EXPECT_TRUE(reqs[0].hasHeader("X-TEST"));
    EXPECT_FALSE(reqs[0].hasHeader("REMOTE_ADDR"));
    EXPECT_FALSE(reqs[0].hasHeader("X-Absent"));
    EXPECT_EQ(reqs[0].header("X-Absent"), "");
    EXPECT_EQ(reqs[0].remoteAddress, "127.0.0.1");
    EXPECT_GT(reqs[0].remotePort, 0);
    EXPECT_EQ(reqs[4].method, "PUT");
    EXPECT_EQ(gw.connectionCount(), 5u); // a new connection per request
    gw.reset();
    EXPECT_EQ(gw.requestCount(), 0u);
    EXPECT_EQ(gw.connectionCount(), 0u);
    EXPECT_EQ(rawRequest(gw, "POST", "things", "x").status, 404);
}

TEST(TestGateway, NoContentSendsNoBodyAndDelayIsHonoured) {
    TestGateway gw;
    gw.on("DELETE", "x/1", {204, "ignored"});
    auto r = rawRequest(gw, "DELETE", "x/1");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.status, 204);
    EXPECT_EQ(r.body, "");
    ScriptedResponse slow{200, "late"};
    slow.delay = std::chrono::milliseconds(200);
    gw.on("GET", "slow", slow);
    const auto start = std::chrono::steady_clock::now();
    r = rawRequest(gw, "GET", "slow");
    EXPECT_EQ(r.body, "late");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
}

TEST(TestGateway, KeptAliveConnectionsAreCountedOnceAndDoNotDelayTheDestructor) {
    auto gw = std::make_unique<TestGateway>();
    gw->on("GET", "a", {200, "ok"});
    auto c = client(*gw);
    for (int i = 0; i < 12; ++i)
        ASSERT_EQ(perform(*c, "GET", "a").body, "ok");
    EXPECT_EQ(gw->requestCount(), 12u);
    EXPECT_EQ(gw->connectionCount(), 1u);
    const auto start = std::chrono::steady_clock::now();
    gw.reset(); // the client still holds its connection open
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(TestGateway, DestructorInterruptsADelayedAnswer) {
    auto gw = std::make_unique<TestGateway>();
    ScriptedResponse slow{200, "late"};
    slow.delay = std::chrono::seconds(20);
    gw->on("GET", "slow", slow);
    auto c = client(*gw);
    std::thread caller([&] { perform(*c, "GET", "slow"); });
    while (gw->requestCount() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto start = std::chrono::steady_clock::now();
    gw.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    caller.join();
}
