// The scripted test gateway itself, whose scripts and counts the other tests
// rely on: verified TLS for both names, script order, recording, connections.

#include <gtest/gtest.h>
#include <httplib.h>

#include <string>

#include "support/TestGateway.h"

TEST(TestGateway, ScriptsRecordingAndConnectionsOverVerifiedTls) {
    hnastest::TestGateway gw;
    EXPECT_EQ(gw.pin().rfind("sha256//", 0), 0u);
    EXPECT_EQ(gw.pin().size(), 8u + 44u);
    gw.on("POST", "things", {201, "persistent"});
    gw.enqueue("POST", "things", {202, "first"});
    gw.on("DELETE", "x/1", {204, "ignored"});
    auto exchange = [&](const std::string& host, bool keepAlive, const std::string& method) {
        httplib::SSLClient c(host, gw.port());
        c.set_ca_cert_path(gw.caFile().c_str());
        c.enable_server_certificate_verification(true);
        c.set_keep_alive(keepAlive);
        const httplib::Headers headers{{"X-Test", "one"}};
        auto res = method == "POST"     ? c.Post("/v4/storage/things", headers, "x", "text/plain")
                   : method == "DELETE" ? c.Delete("/v4/storage/x/1", headers)
                                        : c.Get("/v4/storage/things", headers);
        if (keepAlive) // a second request on the same connection
            res = c.Get("/v4/storage/things", headers);
        return res ? std::to_string(res->status) + " " + res->body : std::string("failed");
    };
    EXPECT_EQ(exchange("127.0.0.1", false, "POST"), "202 first");
    EXPECT_EQ(exchange("localhost", false, "POST"), "201 persistent");
    EXPECT_EQ(exchange("127.0.0.1", false, "DELETE"), "204 ");
    EXPECT_EQ(
        exchange("127.0.0.1", false, "GET"),
        R"(404 {"errorCode":404,"errorMsg":"Not found","errorDetail":{"reason":"no script"}})");
    gw.setFallback({500, "boom"});
    EXPECT_EQ(exchange("127.0.0.1", true, "GET"), "500 boom");
    ASSERT_EQ(gw.requestCount(), 6u);
    const auto req = gw.requests()[0];
    EXPECT_EQ(req.method + " " + req.path + " " + req.body, "POST /v4/storage/things x");
    EXPECT_EQ(req.header("x-test"), "one");
    EXPECT_TRUE(req.hasHeader("X-TEST"));
    EXPECT_FALSE(req.hasHeader("X-Absent"));
    EXPECT_EQ(req.remoteAddress, "127.0.0.1");
    EXPECT_EQ(gw.connectionCount(), 5u); // the kept-alive pair counts once
    gw.reset();
    EXPECT_EQ(gw.requestCount() + gw.connectionCount(), 0u);
}
