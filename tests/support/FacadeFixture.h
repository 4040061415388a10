#pragma once

// A facade initialised against a fresh scripted test gateway, with the log
// captured at level 5.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "hnasmgmt/facade/RkManageHNAS.h"
#include "support/CaptureLog.h"
#include "support/TestGateway.h"

// EXPECT_FAILS(call, function, line[, sends[, level]]): `call` returns false,
// logs `line` under `function` at `level` (-1) and sends `sends` requests (0).
#define EXPECT_FAILS(call, ...) EXPECT_TRUE(fails([&] { return call; }, __VA_ARGS__))

namespace hnastest {

class FacadeTest : public ::testing::Test {
protected:
    static constexpr unsigned long long kJobId = 4711;

    void SetUp() override {
        GatewayLogin login;
        hnas.init(login.user, login.password, login.subsystemType, login.managementIP,
                  gateway.host(), gateway.port());
        log->clear();
    }

    // True when a record has exactly this function, level, text and the job identifier.
    bool logged(const std::string& function, int level, const std::string& text,
                long long job = static_cast<long long>(kJobId)) const {
        return log.logged(function, level, text, job);
    }

    // "METHOD resource" of every request so far, resource relative to "/v4/storage/".
    std::vector<std::string> sent() const {
        std::vector<std::string> lines;
        for (const RecordedRequest& r : gateway.requests())
            lines.push_back(r.method + " " + r.target.substr(std::string("/v4/storage/").size()));
        return lines;
    }

    // Runs an operation that must fail: it returns false, logs `line` under
    // `function` at `level`, and sends exactly `sends` requests.
    ::testing::AssertionResult fails(const std::function<bool()>& operation,
                                     const std::string& function, const std::string& line,
                                     size_t sends = 0, int level = -1) {
        log->clear();
        const size_t before = gateway.requestCount();
        if (operation())
            return ::testing::AssertionFailure() << "succeeded";
        if (gateway.requestCount() - before != sends)
            return ::testing::AssertionFailure()
                   << gateway.requestCount() - before << " requests sent, not " << sends;
        if (!logged(function, level, line))
            return ::testing::AssertionFailure() << "no line [" << line << "]\n" << log.dump();
        return ::testing::AssertionSuccess();
    }

    TestGateway gateway;
    TrustGateway trust{gateway};
    CaptureLog log;
    RkManageHNAS hnas{kJobId};
};

} // namespace hnastest
