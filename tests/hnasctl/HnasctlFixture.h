#pragma once

// A gateway simulator in this process and the hnasctl binary run against it.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "hnasgwsim/Simulator.h"
#include "support/ChildProcess.h"

namespace hnasctltest {

using ToolResult = hnastest::ChildResult;

// `text` split at blanks: a command line without blanks inside its arguments.
inline std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

inline std::vector<std::string> operator+(std::vector<std::string> a,
                                          const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The built hnasctl run with `args` and exactly the environment `env`.
inline ToolResult runTool(const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env) {
    return hnastest::runChild(std::vector<std::string>{HNASCTL_PATH} + args, env);
}

// One run and what it must give: the exit status, and a text that stdout and
// one that stderr must hold (empty: anything).
struct Expect {
    std::string args; // split at blanks
    int exitCode;
    std::string out;
    std::string err = "";
    std::map<std::string, std::string> env = {}; // over the environment of check()
};

class HnasctlTest : public ::testing::Test {
protected:
    static constexpr const char* kPassword = "Pw-7f3a9c-Sekret";
    static constexpr const char* kWrongPassword = "n0t-the-Pw";

    void SetUp() override {
        hnasgwsim::SimulatorOptions options;
        options.credentials.password = kPassword;
        sim = std::make_unique<hnasgwsim::Simulator>(std::move(options));
        sim->start();
    }

    std::string gateway() const { return sim->host() + ":" + std::to_string(sim->port()); }

    // The connection options, trusting the simulator's certificate unless not `trust`.
    std::vector<std::string> connection(bool trust = true) const {
        std::vector<std::string> out =
            words("--gateway " + gateway() + " --user admin --management-ip 192.0.2.10");
        if (trust)
            out.insert(out.end(), {"--cacert", sim->caFile()});
        return out;
    }

    // hnasctl with the password and the connection options.
    ToolResult run(const std::vector<std::string>& args) const {
        return runTool(connection() + args, password());
    }

    using Environment = std::map<std::string, std::string>;
    Environment password() const { return {{"HNAS_PASSWORD", kPassword}}; }

    // Runs each row in `base` with the row's environment over it, with the
    // connection options in front unless not `connect`, and checks what it
    // gave; no password is ever shown.
    void check(const std::vector<Expect>& rows, const Environment& base, bool connect = true,
               bool trust = true) const {
        for (const Expect& row : rows) {
            SCOPED_TRACE(row.args);
            Environment environment = row.env;
            environment.insert(base.begin(), base.end());
            const ToolResult r = runTool(
                (connect ? connection(trust) : std::vector<std::string>{}) + words(row.args),
                environment);
            EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
            EXPECT_NE(r.out.find(row.out), std::string::npos) << r.out;
            EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
            for (const char* secret : {kPassword, kWrongPassword})
                EXPECT_EQ((r.out + r.err).find(secret), std::string::npos);
        }
    }
    void check(const std::vector<Expect>& rows) const { check(rows, password()); }

    // Writes a file of this test (removed at its end) with `mode`; its path.
    std::string file(const std::string& name, const std::string& text, mode_t mode = 0600) {
        files.push_back(::testing::TempDir() + "hnasctl-" + std::to_string(getpid()) + "-" + name);
        std::ofstream(files.back()) << text;
        chmod(files.back().c_str(), mode);
        return files.back();
    }
    void TearDown() override {
        for (const auto& path : files)
            std::remove(path.c_str());
    }

    // Values of the simulator's default array.
    std::string filesystemId(const std::string& label) {
        auto array = sim->model();
        for (const auto& fs : array->fileSystems)
            if (fs.label == label)
                return fs.filesystemId;
        return {};
    }

    std::unique_ptr<hnasgwsim::Simulator> sim;
    std::vector<std::string> files;
};

} // namespace hnasctltest
