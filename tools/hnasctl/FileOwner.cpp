// The owner test of the files hnasctl trusts.

#include "FileOwner.h"

#include <sys/stat.h>
#include <unistd.h>

#include "Checks.h"
#include "Output.h"

namespace hnasctl {

namespace {

bool trusted(uid_t owner) {
    return owner == 0 || owner == geteuid();
}

} // namespace

void requireTrustedOwner(int fd, const std::string& path, const std::string& what) {
    struct stat target {};
    struct stat link {};
    if (fstat(fd, &target) != 0 || lstat(path.c_str(), &link) != 0) {
        throw UsageError("cannot read " + what + " " + quoted(path));
    }
    if (!trusted(target.st_uid)) {
        throw UsageError(what + " " + quoted(path) + " belongs to another user (uid " +
                         std::to_string(target.st_uid) +
                         "): it is used only when it is yours or root's");
    }
    if (S_ISLNK(link.st_mode) && !trusted(link.st_uid)) {
        throw UsageError(what + " " + quoted(path) + " is a symbolic link of another user (uid " +
                         std::to_string(link.st_uid) +
                         "): it is used only when it is yours or root's");
    }
}

} // namespace hnasctl
