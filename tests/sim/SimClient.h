#pragma once

// Raw HTTPS access to an in-process simulator, for tests that look at the
// gateway's answers byte for byte without going through the library.

#include <csignal>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>
#include <simdjson.h>

#include "hnasgwsim/Simulator.h"

namespace simtest {

struct Answer {
    bool answered = false; // false: the connection failed or closed without an answer
    int status = 0;
    std::string body;
    httplib::Error error = httplib::Error::Success;
};

class SimClient {
public:
    explicit SimClient(const hnasgwsim::Simulator& sim)
        : client_(sim.host(), sim.port()), credentials_(sim.credentials()) {
        client_.set_ca_cert_path(sim.caFile().c_str());
        client_.enable_server_certificate_verification(true);
        client_.set_keep_alive(true);
        client_.set_connection_timeout(5);
        client_.set_read_timeout(10);
    }

    // Sends METHOD path with the simulator's credentials (or `headers` instead).
    Answer send(const std::string& method, const std::string& path, const std::string& body = "",
                const httplib::Headers* headers = nullptr) {
        httplib::Request request;
        request.method = method;
        request.path = path;
        request.headers = headers ? *headers : credentialHeaders();
        if (method != "GET") {
            request.body = body;
            request.set_header("Content-Type", "application/json");
        }
        const auto r = client_.send(request);
        Answer a;
        a.error = r.error();
        if (r) {
            a.answered = true;
            a.status = r->status;
            a.body = r->body;
        }
        return a;
    }
    Answer get(const std::string& resource) { return send("GET", "/v4/storage/" + resource); }
    Answer post(const std::string& resource, const std::string& body) {
        return send("POST", "/v4/storage/" + resource, body);
    }
    Answer del(const std::string& resource) { return send("DELETE", "/v4/storage/" + resource); }

    httplib::Headers credentialHeaders() const {
        return {{"X-Subsystem-User", credentials_.user},
                {"X-Subsystem-Password", credentials_.password},
                {"X-Subsystem-Type", credentials_.subsystemType},
                {"X-Management-IPs", credentials_.managementIPs}};
    }

private:
    httplib::SSLClient client_;
    hnasgwsim::Credentials credentials_;
};

// A started simulator with the built-in array, and a client for it.
class SimTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }
    void SetUp() override {
        hnasgwsim::SimulatorOptions options;
        options.keepAliveTimeoutSec = 1;
        customise(options);
        sim = std::make_unique<hnasgwsim::Simulator>(std::move(options));
        sim->start();
        client = std::make_unique<SimClient>(*sim);
    }
    void TearDown() override {
        client.reset();
        sim.reset();
    }
    virtual void customise(hnasgwsim::SimulatorOptions&) {}

    std::string fsId(const std::string& label) {
        auto array = sim->model();
        for (const auto& fs : array->fileSystems)
            if (fs.label == label)
                return fs.filesystemId;
        return {};
    }

    std::unique_ptr<hnasgwsim::Simulator> sim;
    std::unique_ptr<SimClient> client;
    simdjson::dom::parser parser;
};

// The parsed body, or a failed expectation and an empty object.
inline simdjson::dom::element parse(simdjson::dom::parser& parser, const std::string& body) {
    simdjson::dom::element root;
    EXPECT_EQ(parser.parse(body).get(root), simdjson::SUCCESS) << body;
    return root;
}

inline std::string str(simdjson::dom::element e, const char* key) {
    std::string_view v;
    return e[key].get(v) == simdjson::SUCCESS ? std::string(v)
                                              : "<missing " + std::string(key) + ">";
}

inline std::int64_t num(simdjson::dom::element e, const char* key) {
    std::int64_t v = -1;
    return e[key].get(v) == simdjson::SUCCESS ? v : -1;
}

// Checks the gateway's error document: "errorCode", "errorMsg" and
// "errorDetail"."reason"; returns the reason.
inline std::string expectErrorDocument(simdjson::dom::parser& parser, const Answer& a, int status) {
    EXPECT_TRUE(a.answered);
    EXPECT_EQ(a.status, status) << a.body;
    auto doc = parse(parser, a.body);
    EXPECT_EQ(num(doc, "errorCode"), status);
    EXPECT_FALSE(str(doc, "errorMsg").empty());
    simdjson::dom::element detail;
    EXPECT_EQ(doc["errorDetail"].get(detail), simdjson::SUCCESS) << a.body;
    return str(detail, "reason");
}

} // namespace simtest
