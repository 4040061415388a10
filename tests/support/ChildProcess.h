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

// A program started with stdin /dev/null and its output in anonymous files,
// with the environment `env` ("NAME=value"; null: this process's). Killed
// when destroyed.
class Child {
public:
    explicit Child(std::vector<std::string> argv, std::vector<std::string>* env = nullptr);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The first line of stdout without its newline; empty if none came in time.
    std::string firstLine(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Sends `signal` (0: none) and waits; the exit status, or -1 if it did not
    // exit normally within `limit` (then it still runs, unless signalled).
    int stop(int signal, std::chrono::milliseconds limit = std::chrono::seconds(10));
    bool running() const { return pid_ > 0; }
    // All that the program wrote to stdout (1) or stderr (2) so far.
    std::string output(int stream) const;

private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
};

} // namespace hnastest
