// dir list (by directory object ID), dir ls (by path).

#include <iostream>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "Checks.h"
#include "Commands.h"
#include "RecordOutput.h"

namespace hnasctl {

namespace {

struct DirArgs {
    std::string fs;
    std::string dir;
    std::string path;
};

// The components of a path inside the file system ("/a//b/" -> a, b).
std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    return parts;
}

// The path in the form the library walks: two leading components that stand
// for the file system's root, then the path inside it.
std::string walkPath(const std::string& fs, const std::vector<std::string>& parts) {
    std::string path = "/hnas/" + fs;
    for (const auto& part : parts) {
        path += "/" + part;
    }
    return path;
}

// The display name the array gives the directory at `parts` ("//a/b").
std::string displayNameOf(const std::vector<std::string>& parts) {
    std::string name = "/";
    for (const auto& part : parts) {
        name += "/" + part;
    }
    return name;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Whether the listing `dirs` of `parts` is that directory's: a component that
// matches nothing leaves the listing of the deepest directory found. Sets
// `failed` (and reports) when the parent's listing fails.
bool isListingOf(Session& s, const std::string& fs, const std::vector<std::string>& parts,
                 const std::vector<__HNASFileSystemDirectories>& dirs, bool& failed) {
    if (parts.empty()) {
        return true;
    }
    const std::string prefix = displayNameOf(parts) + "/";
    for (const auto& d : dirs) {
        if (!startsWith(directoryName(d), prefix)) {
            return false;
        }
    }
    if (!dirs.empty()) {
        return true;
    }
    // Empty: the directory has no subdirectories, or is missing.
    const std::vector<std::string> parentParts(parts.begin(), parts.end() - 1);
    std::vector<__HNASFileSystemDirectories> parent;
    s.begin();
    if (!s.hnas().getFileSystemDirectoriesUnderPath(fs, walkPath(fs, parentParts), parent)) {
        failed = true;
        s.fail("dir ls");
        return false;
    }
    for (const auto& d : parent) {
        for (const auto& n : d.displayName) {
            if (n == displayNameOf(parts)) {
                return true;
            }
        }
    }
    return false;
}

void addListCommand(CLI::App* dir, Selection& sel) {
    auto a = std::make_shared<DirArgs>();
    auto* c = dir->add_subcommand("list", "List the directories under one directory, named "
                                          "by its object ID (default: the root)");
    c->add_option("--fs", a->fs, "ID of the file system")->required();
    c->add_option("--dir", a->dir, "Object ID of the directory (see the OBJECT ID column)");
    c->callback([&sel, a] {
        requirePathSegment("--fs", a->fs);
        if (!a->dir.empty()) {
            requirePathSegment("--dir", a->dir);
        }
        sel = showing<std::vector<__HNASFileSystemDirectories>>(
            "dir list", [a](RkManageHNAS& hnas, auto& dirs) {
                return hnas.getFileSystemDirectories(a->fs, a->dir, dirs);
            });
    });
}

void addLsCommand(CLI::App* dir, Selection& sel) {
    auto a = std::make_shared<DirArgs>();
    auto* c = dir->add_subcommand(
        "ls", "List the directories under a path of a file system, e.g. /projects/alpha "
              "(\"/\" for the root); names match exactly");
    c->add_option("--fs", a->fs, "ID of the file system")->required();
    c->add_option("PATH", a->path, "Path inside the file system")->required();
    c->callback([&sel, a] {
        requirePathSegment("--fs", a->fs);
        requireNonEmpty("PATH", a->path);
        sel = {"dir ls", [a](Session& s) {
                   const auto parts = components(a->path);
                   std::vector<__HNASFileSystemDirectories> dirs;
                   s.begin();
                   if (!s.hnas().getFileSystemDirectoriesUnderPath(a->fs, walkPath(a->fs, parts),
                                                                   dirs)) {
                       return s.fail("dir ls");
                   }
                   bool failed = false;
                   if (!isListingOf(s, a->fs, parts, dirs, failed)) {
                       if (!failed) {
                           printError("dir ls failed: no directory " + a->path +
                                      " in file system " + a->fs);
                       }
                       return 1;
                   }
                   return show(s, dirs);
               }};
    });
}

} // namespace

void addDirectoryCommands(CLI::App& app, Selection& sel) {
    addCommandGroup(app, "dir", "Directories of a file system", sel,
                    {addListCommand, addLsCommand});
}

} // namespace hnasctl
