#pragma once

// A gateway simulator in this process and the hnasctl binary run against it.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <simdjson.h>

#include "hnasgwsim/Simulator.h"
#include "support/ChildProcess.h"

namespace hnasctltest {

using ToolResult = hnastest::ChildResult;

// The built hnasctl run with `args` and exactly the environment `env`.
inline ToolResult runTool(std::vector<std::string> args,
                          const std::map<std::string, std::string>& env,
                          std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    args.insert(args.begin(), HNASCTL_PATH);
    return hnastest::runChild(args, env, limit);
}

class HnasctlTest : public ::testing::Test {
protected:
    static constexpr const char* kPassword = "Pw-7f3a9c-Sekret";

    void SetUp() override {
        hnasgwsim::SimulatorOptions options;
        options.credentials.password = kPassword;
        sim = std::make_unique<hnasgwsim::Simulator>(std::move(options));
        sim->start();
    }

    std::string gateway() const { return sim->host() + ":" + std::to_string(sim->port()); }

    // The connection options, trusting the simulator's certificate unless not `trust`.
    std::vector<std::string> connection(bool trust = true) const {
        std::vector<std::string> out = {"--gateway", gateway(),         "--user",
                                        "admin",     "--management-ip", "192.0.2.10"};
        if (trust)
            out.insert(out.end(), {"--cacert", sim->caFile()});
        return out;
    }

    std::map<std::string, std::string> env() const { return {{"HNAS_PASSWORD", kPassword}}; }

    // hnasctl with the connection options in front of `args`.
    ToolResult run(const std::vector<std::string>& args) const {
        std::vector<std::string> all = connection();
        all.insert(all.end(), args.begin(), args.end());
        return runTool(all, env());
    }
    // The same with --json; fails the test unless it exits with 0 and stdout
    // is one JSON document.
    simdjson::dom::element runJson(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"--json"};
        all.insert(all.end(), args.begin(), args.end());
        const ToolResult r = run(all);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        documents.push_back(std::make_unique<simdjson::dom::parser>());
        simdjson::dom::element root;
        if (documents.back()->parse(r.out).get(root)) {
            ADD_FAILURE() << "not JSON: " << r.out;
            EXPECT_FALSE(documents.back()->parse(std::string("{}")).get(root));
        }
        return root;
    }

    // Values of the simulator's default array.
    std::string filesystemId(const std::string& label) {
        auto array = sim->model();
        for (const auto& fs : array->fileSystems) {
            if (fs.label == label) {
                return fs.filesystemId;
            }
        }
        return {};
    }

    std::unique_ptr<hnasgwsim::Simulator> sim;
    std::vector<std::unique_ptr<simdjson::dom::parser>> documents;
};

// A share setting's JSON text as the simulated array stores it.
inline std::string setting(const hnasgwsim::Share& share, const std::string& key) {
    for (const auto& [k, v] : share.settings)
        if (k == key)
            return v;
    return "<unset>";
}

// `text` split at single spaces: a command line without spaces inside its
// arguments.
inline std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    for (size_t start = 0, end; start <= text.size(); start = end + 1) {
        end = std::min(text.find(' ', start), text.size());
        out.push_back(text.substr(start, end - start));
    }
    return out;
}

inline std::string str(simdjson::dom::element e, const char* key) {
    std::string_view v;
    return e[key].get_string().get(v) ? "<missing " + std::string(key) + ">" : std::string(v);
}

inline size_t count(simdjson::dom::element e) {
    simdjson::dom::array a;
    return e.get_array().get(a) ? static_cast<size_t>(-1) : a.size();
}

} // namespace hnasctltest
