// No exception leaves the REST session: allocation number n on the calling
// thread is made to fail (once, or from then on for good) while the session
// sends a request and is destroyed, for every n until the request completes
// untouched.

#include <gtest/gtest.h>

#include <string>

#include "hnasmgmt/rest/HNASRestAPI.h"
#include "support/Allocator.h"
#include "support/CaptureLog.h"
#include "support/TestGateway.h"

using namespace hnastest;

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
            t_allocationFailures = 0;
            t_failOnce = once;
            t_allocationsLeft = n;
            EXPECT_NO_THROW({
                result = api->post(resource, body, response, 4);
                delete api; // logs and closes the client under the same failures
            }) << "allocation "
               << n;
            t_allocationsLeft = -1;
            untouched = t_allocationFailures == 0;
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
