#pragma once

// Child processes for tests: run a program to its end with a time limit, or
// start a long-running one, read its first line and stop it.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace hnastest {

struct ChildResult {
    int exitCode = -1; // -1: not started, killed by a signal or by the time limit
    bool timedOut = false;
    std::string out, err;
};

// Runs argv[0] (a path) with stdin /dev/null. The environment is exactly `env`
// plus PATH, LD_LIBRARY_PATH and the sanitizer options of this process. Killed
// when `limit` has passed.
ChildResult runChild(const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& env,
                     std::chrono::milliseconds limit = std::chrono::seconds(30));

// A program that runs until stopped, with this process's environment, stdout
// on a pipe and stderr on /dev/null. Killed when destroyed.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The first line of stdout without its newline; empty if none came in time.
    std::string firstLine(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Sends `signal` (0: none) and waits; the exit status, or -1 if it did not
    // exit normally within `limit`.
    int stop(int signal, std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

} // namespace hnastest
