#pragma once

// A gateway simulator in this process and the hnasctl binary run against it.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <simdjson.h>

#include "hnasctl/RunTool.h"
#include "hnasgwsim/Simulator.h"

namespace hnasctltest {

class HnasctlTest : public ::testing::Test {
protected:
    static constexpr const char* kPassword = "Pw-7f3a9c-Sekret";

    void SetUp() override {
        hnasgwsim::SimulatorOptions options;
        options.credentials.password = kPassword;
        sim = std::make_unique<hnasgwsim::Simulator>(std::move(options));
        sim->start();
    }
    void TearDown() override { sim->stop(); }

    std::string gateway() const { return sim->host() + ":" + std::to_string(sim->port()); }

    // The connection options, trusting the simulator's certificate.
    std::vector<std::string> connection() const {
        return {"--gateway",       gateway(),    "--user",   "admin",
                "--management-ip", "192.0.2.10", "--cacert", sim->caFile()};
    }

    std::map<std::string, std::string> env() const { return {{"HNAS_PASSWORD", kPassword}}; }

    // hnasctl with the connection options in front of `args`.
    ToolResult run(const std::vector<std::string>& args) const {
        std::vector<std::string> all = connection();
        all.insert(all.end(), args.begin(), args.end());
        return runTool(all, env());
    }
    // The same with --json; fails the test unless stdout is one JSON document.
    simdjson::dom::element runJson(const std::vector<std::string>& args,
                                   ToolResult* out = nullptr) {
        std::vector<std::string> all = {"--json"};
        all.insert(all.end(), args.begin(), args.end());
        ToolResult r = run(all);
        if (out) {
            *out = r;
        }
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return parse(r.out);
    }
    simdjson::dom::element parse(const std::string& text) {
        documents.push_back(std::make_unique<simdjson::dom::parser>());
        simdjson::dom::element root;
        const auto error = documents.back()->parse(text).get(root);
        EXPECT_FALSE(error) << "not JSON: " << text;
        if (error) {
            // An empty object, so that the test fails without crashing.
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
    if (e[key].get_string().get(v)) {
        return "<missing " + std::string(key) + ">";
    }
    return std::string(v);
}

inline size_t count(simdjson::dom::element e) {
    simdjson::dom::array a;
    if (e.get_array().get(a)) {
        return static_cast<size_t>(-1);
    }
    return a.size();
}

} // namespace hnasctltest
