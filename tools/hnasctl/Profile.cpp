// Profiles of the configuration file.

#include "Profile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Checks.h"
#include "FileOwner.h"
#include "Output.h"

namespace hnasctl {

namespace {

// A configuration file is small; more is refused.
constexpr off_t kMaxConfigSize = 1 << 20;

const std::set<std::string> kKeys = {"gateway",        "port",   "user", "management-ip",
                                     "subsystem-type", "cacert", "pin",  "password-file"};

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string readConfig(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        throw UsageError("cannot read the configuration file " + quoted(path) + ": " +
                         std::strerror(errno));
    }
    try {
        requireTrustedOwner(fd, path, "the configuration file");
    } catch (...) {
        close(fd);
        throw;
    }
    struct stat st {};
    const bool statted = fstat(fd, &st) == 0;
    if (!statted || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 || st.st_size > kMaxConfigSize) {
        close(fd);
        throw UsageError("the configuration file " + quoted(path) +
                         (statted && st.st_size > kMaxConfigSize
                              ? " is too large"
                              : " can be written by others: let only its owner write it "
                                "(chmod 600)"));
    }
    std::string text(static_cast<size_t>(st.st_size), '\0');
    size_t size = 0;
    ssize_t got = 0;
    while (size < text.size() &&
           ((got = read(fd, &text[size], text.size() - size)) > 0 || (got < 0 && errno == EINTR))) {
        size += got > 0 ? static_cast<size_t>(got) : 0;
    }
    close(fd);
    text.resize(size);
    return text;
}

} // namespace

std::string configPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg == '/') {
        return std::string(xdg) + "/hnasctl/config";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return std::string(home) + "/.config/hnasctl/config";
    }
    return std::string();
}

Profile readProfile(const std::string& path, const std::string& name) {
    const std::string text = readConfig(path);
    Profile profile;
    bool found = false;
    bool inProfile = false;
    size_t lineNumber = 0;
    for (size_t start = 0; start < text.size(); ++lineNumber) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = trimmed(text.substr(start, end - start));
        start = end + 1;
        const std::string where =
            "configuration file " + quoted(path) + " line " + std::to_string(lineNumber + 1);
        if (line.empty() || line[0] == '#' || line[0] == ';') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            inProfile = trimmed(line.substr(1, line.size() - 2)) == name;
            found = found || inProfile;
            continue;
        }
        const size_t eq = line.find('=');
        const std::string key = trimmed(line.substr(0, eq));
        if (eq == std::string::npos) {
            throw UsageError(where + ": not \"[PROFILE]\" nor \"key = value\"");
        }
        if (key == "password") {
            throw UsageError(where + ": a profile never holds the password: name a "
                                     "password-file instead");
        }
        if (kKeys.count(key) == 0) {
            throw UsageError(where + ": unknown key " + quoted(key));
        }
        if (inProfile) {
            profile[key] = trimmed(line.substr(eq + 1));
        }
    }
    if (!found) {
        throw UsageError("no profile " + quoted(name) + " in " + quoted(path));
    }
    return profile;
}

} // namespace hnasctl
