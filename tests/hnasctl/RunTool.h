#pragma once

// Runs the built hnasctl as a child process with a time limit and collects
// its exit status and output.

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace hnasctltest {

struct ToolResult {
    int exitCode = -1; // -1: killed (time limit) or not started
    bool timedOut = false;
    std::string out; // stdout
    std::string err; // stderr
};

// The hnasctl binary under test.
std::string toolPath();

// Runs hnasctl with `args`. The child's environment is exactly `env` (plus
// PATH and the sanitizer options of this process); stdin is /dev/null.
ToolResult runTool(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env,
                   std::chrono::milliseconds limit = std::chrono::seconds(30));

} // namespace hnasctltest
