#pragma once

// The library's facade initialised against an in-process simulator over
// HTTPS, trusting the simulator's certificate, with the log captured.

#include <csignal>
#include <memory>

#include <gtest/gtest.h>

#include "hnasgwsim/Simulator.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/RKLibCurl.h"
#include "support/CaptureLog.h"

namespace simtest {

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::signal(SIGPIPE, SIG_IGN);
        hnasgwsim::SimulatorOptions options;
        options.keepAliveTimeoutSec = 1;
        customise(options);
        sim = std::make_unique<hnasgwsim::Simulator>(std::move(options));
        sim->start();
        saved_ = RKLibCurl::getOptions();
        RKLibCurlOptions trust = saved_;
        trust.caFile = sim->caFile();
        RKLibCurl::setOptions(trust);
        const auto& c = sim->credentials();
        hnas.init(c.user, c.password, c.subsystemType, c.managementIPs, sim->host(), sim->port());
        log->clear();
    }

    void TearDown() override {
        RKLibCurl::setOptions(saved_);
        sim.reset();
    }

    virtual void customise(hnasgwsim::SimulatorOptions&) {}

    std::string url(const std::string& resource) const {
        return sim->url() + "/v4/storage/" + resource;
    }

    std::string fsId(const std::string& label) {
        auto array = sim->model();
        for (const auto& fs : array->fileSystems)
            if (fs.label == label)
                return fs.filesystemId;
        return {};
    }

    // Every captured line, for failure messages.
    std::string dump() {
        std::string out;
        for (const auto& r : log->records())
            out += "  [" + std::to_string(r.level) + "] " + r.function + ": " + r.text + "\n";
        return out;
    }

    std::unique_ptr<hnasgwsim::Simulator> sim;
    hnastest::CaptureLog log;
    RkManageHNAS hnas{9001}; // a job ID

private:
    RKLibCurlOptions saved_;
};

} // namespace simtest
