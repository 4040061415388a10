// Child-process runner for the hnasctl tests.

#include "RunTool.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace hnasctltest {

std::string toolPath() {
    if (const char* env = std::getenv("HNASCTL")) {
        return env;
    }
#ifdef HNASCTL_PATH
    return HNASCTL_PATH;
#else
    return "hnasctl";
#endif
}

ToolResult runTool(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env, std::chrono::milliseconds limit) {
    ToolResult result;
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0) {
        return result;
    }
    if (pipe(errPipe) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return result;
    }

    std::vector<std::string> argStore;
    argStore.push_back(toolPath());
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<std::string> envStore;
    for (const auto& entry : env) {
        envStore.push_back(entry.first + "=" + entry.second);
    }
    for (const char* keep :
         {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "LD_LIBRARY_PATH"}) {
        if (const char* value = std::getenv(keep)) {
            if (env.find(keep) == env.end()) {
                envStore.push_back(std::string(keep) + "=" + value);
            }
        }
    }
    std::vector<char*> argv;
    for (auto& a : argStore) {
        argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envStore) {
        envp.push_back(&e[0]);
    }
    envp.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        return result;
    }
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) {
            dup2(devNull, STDIN_FILENO);
        }
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(errPipe[0]);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);

    const auto deadline = std::chrono::steady_clock::now() + limit;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int openCount = 2;
    char buffer[8192];
    while (openCount > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        const int ready = poll(fds, 2, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --openCount;
            }
        }
    }
    for (auto& fd : fds) {
        if (fd.fd >= 0) {
            close(fd.fd);
        }
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status) && !result.timedOut) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

} // namespace hnasctltest
