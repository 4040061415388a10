#pragma once

// A facade initialised against a fresh scripted test gateway, with the log
// captured at level 5.

#include <gtest/gtest.h>

#include "hnasmgmt/facade/RkManageHNAS.h"
#include "support/CaptureLog.h"
#include "support/TestGateway.h"

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

    // Path of a resource as the gateway records it.
    static std::string storagePath(const std::string& resource) {
        return "/v4/storage/" + resource;
    }

    TestGateway gateway;
    TrustGateway trust{gateway};
    CaptureLog log;
    RkManageHNAS hnas{kJobId};
};

} // namespace hnastest
