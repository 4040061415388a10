#include "support/ChildProcess.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace hnastest {
namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Forks and execs; stdout to outFd, stderr to errFd (-1: /dev/null).
pid_t spawn(std::vector<std::string> argv, std::vector<std::string>* env, int outFd, int errFd) {
    auto args = pointers(argv);
    std::vector<char*> envp = env ? pointers(*env) : std::vector<char*>{};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(outFd, STDOUT_FILENO);
        ::dup2(errFd >= 0 ? errFd : devNull, STDERR_FILENO);
        ::execve(args[0], args.data(), env ? envp.data() : environ);
        ::_exit(127);
    }
    return pid;
}

// The exit status, -1 when killed by a signal, -2 when `deadline` passed first.
int waitFor(pid_t pid, Clock::time_point deadline) {
    for (int pause = 1;; pause = std::min(pause * 2, 20)) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || r < 0)
            return r == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (msLeft(deadline) == 0)
            return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
}

// The whole content of an anonymous file, which is closed.
std::string readAll(int fd) {
    std::string text;
    char buffer[8192];
    for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

} // namespace

ChildResult runChild(const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& env,
                     std::chrono::milliseconds limit) {
    ChildResult result;
    std::vector<std::string> envStore;
    for (const auto& [key, value] : env)
        envStore.push_back(key + "=" + value);
    for (const char* keep :
         {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "LD_LIBRARY_PATH"}) {
        const char* value = std::getenv(keep);
        if (value && env.count(keep) == 0)
            envStore.push_back(std::string(keep) + "=" + value);
    }
    // Output goes to anonymous files: no pipe to drain while waiting.
    const int out = ::open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    const int err = ::open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    const pid_t pid = out >= 0 && err >= 0 ? spawn(argv, &envStore, out, err) : -1;
    if (pid > 0) {
        result.exitCode = waitFor(pid, Clock::now() + limit);
        if (result.exitCode == -2) {
            result.timedOut = true;
            result.exitCode = -1;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    result.out = out >= 0 ? readAll(out) : "";
    result.err = err >= 0 ? readAll(err) : "";
    return result;
}

Child::Child(const std::vector<std::string>& argv) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    pid_ = spawn(argv, nullptr, fds[1], -1);
    ::close(fds[1]);
    out_ = fds[0];
}

Child::~Child() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0)
        ::close(out_);
}

std::string Child::firstLine(std::chrono::milliseconds limit) {
    std::string text;
    const auto deadline = Clock::now() + limit;
    while (out_ >= 0 && text.find('\n') == std::string::npos && msLeft(deadline) > 0) {
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, msLeft(deadline)) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    const auto newline = text.find('\n');
    return newline == std::string::npos ? std::string() : text.substr(0, newline);
}

int Child::stop(int signal, std::chrono::milliseconds limit) {
    if (pid_ <= 0)
        return -1;
    if (signal != 0)
        ::kill(pid_, signal);
    const int status = waitFor(pid_, Clock::now() + limit);
    if (status == -2)
        return -1;
    pid_ = -1;
    return status;
}

} // namespace hnastest
