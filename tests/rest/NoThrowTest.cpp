// No exception leaves the REST session: every allocation on the calling
// thread is made to fail in turn (once, and from some point on for good)
// while the session sends a request, and every call must return normally.
//
// This file replaces the global operator new and delete for the whole
// test_rest program; the failure switch is per thread and off unless a test
// arms it, so the gateway's threads and the other tests are not affected.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>

#include "hnasmgmt/host/LogWriters.h"
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "support/CaptureLog.h"
#include "support/TestGateway.h"

namespace {

// -1: off; n >= 0: n more allocations succeed, then they fail.
thread_local long t_allocationsLeft = -1;
// When set, only the first failing allocation fails; later ones succeed.
thread_local bool t_failOnce = false;
thread_local long t_failures = 0;

void* allocate(std::size_t size) {
    if (t_allocationsLeft == 0) {
        ++t_failures;
        if (t_failOnce)
            t_allocationsLeft = -1;
        throw std::bad_alloc();
    }
    if (t_allocationsLeft > 0)
        --t_allocationsLeft;
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

struct Armed {
    Armed(long allowed, bool once) {
        t_failures = 0;
        t_failOnce = once;
        t_allocationsLeft = allowed;
    }
    ~Armed() { t_allocationsLeft = -1; }
};

} // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using hnastest::CaptureLog;
using hnastest::GatewayLogin;
using hnastest::TestGateway;
using hnastest::TrustGateway;

void configure(HNASRestAPI& api, const TestGateway& gw) {
    GatewayLogin login;
    api.setUserName(login.user);
    api.setPassword(login.password);
    api.setSubsystemType(login.subsystemType);
    api.setManagementIP(login.managementIP);
    api.setMetroServer(gw.host());
    api.setMetroServerPort(gw.port());
}

// Runs one POST with allocation number `n` failing; true when no failure was
// injected (the call ran to its end untouched).
bool postWithFailureAt(const TestGateway& gw, long n, bool once, bool& result,
                       std::string& response) {
    HNASRestAPI* api = new HNASRestAPI(77);
    configure(*api, gw);
    const std::string resource = "filesystem-snapshots";
    const std::string body = R"({"displayName":"s","filesystemId":"fs-1","appSearchId":"x"})";
    long failures = 0;
    {
        Armed armed(n, once);
        result = api->post(resource, body, response, 4);
        failures = t_failures;
        // The destructor logs and closes the client under the same failures.
        delete api;
    }
    return failures == 0;
}

TEST(RestNoThrow, AllocationFailuresAnywhereInARequestGiveFalseNotAnException) {
    TestGateway gateway;
    TrustGateway trust(gateway);
    CaptureLog log(5);
    gateway.on("POST", "filesystem-snapshots", {201, R"({"snapshot":{}})"});
    for (bool once : {true, false}) {
        bool untouched = false;
        long n = 0;
        for (; n < 5000 && !untouched; ++n) {
            bool result = true;
            std::string response;
            EXPECT_NO_THROW(untouched = postWithFailureAt(gateway, n, once, result, response))
                << "allocation " << n;
            // A failure in a log line only loses the line; the request may still succeed.
            if (result || untouched) {
                EXPECT_TRUE(result);
                EXPECT_EQ(response, R"({"snapshot":{}})");
            }
        }
        EXPECT_TRUE(untouched) << "the request never completed";
        std::printf("%s failure: %ld allocations in one request\n", once ? "one" : "lasting",
                    n - 1);
        EXPECT_GT(n, 5) << "too few allocations to be a real exchange";
    }
    // Some line told of the exception.
    EXPECT_TRUE(log->contains("Unexpected exception: std::bad_alloc", -1));
}

TEST(RestNoThrow, SettersAndTheCheckSurviveAllocationFailures) {
    CaptureLog log(5);
    HNASRestAPI api(78);
    const std::string longValue(1000, 'x'); // beyond the small-string buffer
    bool threw = false;
    bool valid = true;
    bool initialised = true;
    bool headers = true;
    bool sent = true;
    std::string response;
    std::string resource = longValue; // formRequestURL takes its argument by value
    {
        Armed armed(0, false);
        try {
            api.setUserName(longValue);
            api.setPassword(longValue);
            api.setSubsystemType(longValue);
            api.setManagementIP(longValue);
            api.setMetroServer(longValue);
            api.formRequestURL(std::move(resource));
            valid = api.validateServerParams();
            initialised = api.Init();
            headers = api.setCommonCurlHeaders();
            sent = api.get(longValue, response, 1);
        } catch (...) {
            threw = true;
        }
    }
    EXPECT_FALSE(threw);
    EXPECT_FALSE(valid);
    EXPECT_FALSE(initialised);
    EXPECT_FALSE(headers);
    EXPECT_FALSE(sent);
    EXPECT_EQ(api.getRequestURL(), "");
}

} // namespace
