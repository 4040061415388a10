// The password from a file, the environment or the terminal.

#include "Password.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "Checks.h"
#include "FileOwner.h"
#include "Output.h"

namespace hnasctl {

namespace {

// --- the prompt ---

// The terminal as it was before the prompt turned echo off, and the same
// without echo, for the signal handlers.
struct termios g_savedTerminal;
struct termios g_quietTerminal;
volatile sig_atomic_t g_promptActive = 0;

// Signals that leave the prompt: each restores the terminal first.
const int kPromptSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGTSTP};

extern "C" void onPromptSignal(int signal) {
    const int savedErrno = errno;
    if (g_promptActive) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
        const char nl = '\n';
        (void)!write(STDERR_FILENO, &nl, 1);
    }
    // Take the default action: the process stops or ends as it would have.
    // A stop resumes through onPromptContinue.
    std::signal(signal, SIG_DFL);
    raise(signal);
    errno = savedErrno;
}

extern "C" void onPromptContinue(int) {
    const int savedErrno = errno;
    if (g_promptActive) {
        struct sigaction action {};
        action.sa_handler = onPromptSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTSTP, &action, nullptr);
        tcsetattr(STDIN_FILENO, TCSANOW, &g_quietTerminal);
    }
    errno = savedErrno;
}

// Installs the handlers for the prompt's duration and puts the old ones back.
class PromptSignals {
public:
    PromptSignals() {
        struct sigaction action {};
        action.sa_handler = onPromptSignal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < kCount; ++i) {
            sigaction(kPromptSignals[i], &action, &old_[i]);
        }
        action.sa_handler = onPromptContinue;
        action.sa_flags = SA_RESTART;
        sigaction(SIGCONT, &action, &oldContinue_);
    }
    ~PromptSignals() {
        for (size_t i = 0; i < kCount; ++i) {
            sigaction(kPromptSignals[i], &old_[i], nullptr);
        }
        sigaction(SIGCONT, &oldContinue_, nullptr);
    }
    PromptSignals(const PromptSignals&) = delete;
    PromptSignals& operator=(const PromptSignals&) = delete;

private:
    static constexpr size_t kCount = sizeof kPromptSignals / sizeof kPromptSignals[0];
    struct sigaction old_[kCount];
    struct sigaction oldContinue_;
};

// Reads one line from the terminal with echo off; echo comes back on every
// way out: the end of the line or of the input, and every signal that stops
// or ends the process (a stopped prompt turns echo off again when resumed).
void promptPassword(const std::string& prompt, Secret& password) {
    std::cerr << printable(prompt) << std::flush;
    if (tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0) {
        throw UsageError("cannot turn off echo on the terminal to ask for the password");
    }
    g_quietTerminal = g_savedTerminal;
    g_quietTerminal.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    g_quietTerminal.c_lflag |= ECHONL;
    PromptSignals signals;
    g_promptActive = 1;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_quietTerminal);
    bool tooLong = false;
    char c = 0;
    ssize_t got = 0;
    while ((got = read(STDIN_FILENO, &c, 1)) == 1 || (got < 0 && errno == EINTR)) {
        if (got == 1 && c == '\n') {
            break;
        }
        tooLong = tooLong || (got == 1 && !password.push_back(c));
    }
    c = 0;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
    g_promptActive = 0;
    if (tooLong) {
        password.wipe();
        throw UsageError("the password is longer than " + std::to_string(Secret::kMaxSize) +
                         " bytes");
    }
}

// --- the file ---

void readPasswordFile(const std::string& path, Secret& password) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        throw UsageError("cannot read the password file " + quoted(path) + ": " +
                         std::strerror(errno));
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        throw UsageError("cannot read the password file " + quoted(path));
    }
    try {
        requireTrustedOwner(fd, path, "the password file");
    } catch (...) {
        close(fd);
        throw;
    }
    if ((st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        close(fd);
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        throw UsageError("the password file " + quoted(path) + " can be read by others (mode " +
                         mode + "): let only its owner read it (chmod 600)");
    }
    char buffer[Secret::kMaxSize + 1];
    size_t size = 0;
    ssize_t got = 0;
    while (size < sizeof buffer && ((got = read(fd, buffer + size, sizeof buffer - size)) > 0 ||
                                    (got < 0 && errno == EINTR))) {
        size += got > 0 ? static_cast<size_t>(got) : 0;
    }
    close(fd);
    const char* end = static_cast<const char*>(std::memchr(buffer, '\n', size));
    size_t length = end ? static_cast<size_t>(end - buffer) : size;
    if (length > 0 && buffer[length - 1] == '\r') {
        --length;
    }
    const bool fits = length <= Secret::kMaxSize && password.assign(buffer, length);
    OPENSSL_cleanse(buffer, sizeof buffer);
    if (!fits) {
        throw UsageError("the first line of the password file " + quoted(path) +
                         " is longer than " + std::to_string(Secret::kMaxSize) + " bytes");
    }
    if (password.empty()) {
        throw UsageError("the password file " + quoted(path) + " is empty");
    }
}

} // namespace

void readPassword(const std::string& file, const std::string& envName, const std::string& user,
                  Secret& password) {
    if (!file.empty()) {
        readPasswordFile(file, password);
        return;
    }
    const char* value = envName.empty() ? nullptr : std::getenv(envName.c_str());
    if (value != nullptr && *value != '\0') {
        if (!password.assign(value, std::strlen(value))) {
            throw UsageError(envName + " is longer than " + std::to_string(Secret::kMaxSize) +
                             " bytes");
        }
        return;
    }
    if (!isatty(STDIN_FILENO)) {
        throw UsageError("no password: set " + envName +
                         ", use --password-file, or run on a terminal to be asked");
    }
    promptPassword("Password for " + user + ": ", password);
    if (!password.empty() && password.str().back() == '\r') {
        password.pop_back();
    }
    if (password.empty()) {
        throw UsageError("no password given");
    }
}

} // namespace hnasctl
