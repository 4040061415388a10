#include "support/ChildProcess.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace hnastest {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// The whole content of an anonymous file.
std::string readAll(int fd) {
    std::string text;
    char buffer[8192];
    for (ssize_t n;
         fd >= 0 && (n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

} // namespace

Child::Child(std::vector<std::string> argv, std::vector<std::string>* env) {
    // Output goes to anonymous files: no pipe to drain while waiting.
    out_ = ::open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    err_ = ::open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (out_ < 0 || err_ < 0)
        return;
    auto args = pointers(argv);
    std::vector<char*> envp = env ? pointers(*env) : std::vector<char*>{};
    pid_ = ::fork();
    if (pid_ == 0) {
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(out_, STDOUT_FILENO);
        ::dup2(err_, STDERR_FILENO);
        ::execve(args[0], args.data(), env ? envp.data() : environ);
        ::_exit(127);
    }
}

Child::~Child() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {out_, err_})
        if (fd >= 0)
            ::close(fd);
}

std::string Child::output(int stream) const {
    return readAll(stream == 1 ? out_ : err_);
}

std::string Child::firstLine(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;; std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
        siginfo_t info{}; // whether it has ended, without reaping it
        const bool ended =
            pid_ <= 0 ||
            ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            info.si_pid != 0;
        const std::string text = output(1);
        if (text.find('\n') != std::string::npos)
            return text.substr(0, text.find('\n'));
        if (ended || Clock::now() > deadline)
            return std::string();
    }
}

int Child::stop(int signal, std::chrono::milliseconds limit) {
    if (pid_ <= 0)
        return -1;
    if (signal != 0)
        ::kill(pid_, signal);
    const auto deadline = Clock::now() + limit;
    for (int pause = 1;; pause = std::min(pause * 2, 20)) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || r < 0) {
            pid_ = -1;
            return r > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (Clock::now() > deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
}

ChildResult runChild(const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& env,
                     std::chrono::milliseconds limit) {
    std::vector<std::string> envStore;
    for (const auto& [key, value] : env)
        envStore.push_back(key + "=" + value);
    for (const char* keep :
         {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "LD_LIBRARY_PATH"}) {
        const char* value = std::getenv(keep);
        if (value && env.count(keep) == 0)
            envStore.push_back(std::string(keep) + "=" + value);
    }
    Child child(argv, &envStore);
    ChildResult result;
    result.exitCode = child.stop(0, limit);
    result.timedOut = child.running();
    if (result.timedOut)
        child.stop(SIGKILL);
    result.out = child.output(1);
    result.err = child.output(2);
    return result;
}

} // namespace hnastest
