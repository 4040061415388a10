// No exception leaves the REST session: allocation number n on the calling
// thread is made to fail (once, or from then on for good) while the session
// sends a request and is destroyed, for every n until the request completes
// untouched. Replaces the global operator new and delete for test_rest; the
// switch is per thread and off unless armed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "hnasmgmt/rest/HNASRestAPI.h"
#include "support/CaptureLog.h"
#include "support/TestGateway.h"

namespace {
thread_local long t_left = -1; // -1: off; n >= 0: n more allocations succeed
thread_local bool t_once = false;
thread_local long t_failures = 0;
} // namespace

namespace {
void* allocate(std::size_t size) {
    if (t_left == 0) {
        ++t_failures;
        if (t_once)
            t_left = -1;
        throw std::bad_alloc();
    }
    if (t_left > 0)
        --t_left;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
// The JSON reader allocates with the nothrow form: it must pair with the
// replaced delete as well.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

TEST(RestNoThrow, AllocationFailuresAnywhereInARequestGiveFalseNotAnException) {
    hnastest::TestGateway gateway;
    hnastest::TrustGateway trust(gateway);
    hnastest::CaptureLog log(5);
    gateway.on("POST", "filesystem-snapshots", {201, R"({"snapshot":{}})"});
    const std::string resource = "filesystem-snapshots", body = R"({"displayName":"s"})";
    for (bool once : {true, false}) {
        long n = 0;
        for (bool untouched = false; n < 5000 && !untouched; ++n) {
            auto* api = new HNASRestAPI(77);
            hnastest::configureSession(*api, gateway);
            std::string response;
            bool result = false;
            t_failures = 0;
            t_once = once;
            t_left = n;
            EXPECT_NO_THROW({
                result = api->post(resource, body, response, 4);
                delete api; // logs and closes the client under the same failures
            }) << "allocation "
               << n;
            t_left = -1;
            untouched = t_failures == 0;
            // A failure in a log line only loses the line; the request may still succeed.
            if (result || untouched) {
                EXPECT_EQ(response, R"({"snapshot":{}})") << "allocation " << n;
            }
            EXPECT_TRUE(result || !untouched);
        }
        EXPECT_LT(n, 5000) << "the request never completed";
        EXPECT_GT(n, 5) << "too few allocations to be a real exchange";
    }
    EXPECT_TRUE(log->contains("Unexpected exception: std::bad_alloc", -1));
}
