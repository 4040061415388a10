#include "hnasgwsim/Model.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>

namespace hnasgwsim {

namespace {

bool sameProtocol(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string parentOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

// "/a//b/" -> "/a/b"; "" -> "/".
std::string normalisePath(const std::string& path) {
    std::string out;
    std::string component;
    auto flush = [&] {
        if (!component.empty()) {
            out += '/';
            out += component;
            component.clear();
        }
    };
    for (char c : path) {
        if (c == '/')
            flush();
        else
            component += c;
    }
    flush();
    return out.empty() ? "/" : out;
}

const std::vector<std::pair<std::string, std::string>> kCifsDefaults = {
    {"accessConfig", "\"*\""},
    {"comment", "\"\""},
    {"userHomeDirectoryPath", "\"\""},
    {"isScanForVirusesEnabled", "false"},
    {"maxConcurrentUsers", "100"},
    {"snapshotOption", "\"SHOW_AND_ALLOW_ACCESS\""},
    {"cacheOption", "\"CACHING_OFF\""},
    {"transferToReplicationTargetSetting", "\"DO_NOT_TRANSFER\""},
    {"userHomeDirectoryMode", "\"OFF\""},
    {"isFollowSymbolicLinks", "false"},
    {"isFollowGlobalSymbolicLinks", "false"},
    {"isForceFileNameToLowercase", "false"},
    {"isABEEnabled", "false"},
};

const std::vector<std::pair<std::string, std::string>> kNfsDefaults = {
    {"accessConfig", "\"*\""},
    {"snapshotOption", "\"SHOW_AND_ALLOW_ACCESS\""},
    {"localReadCacheOption", "\"DISABLED\""},
    {"transferToReplicationTargetSetting", "\"DO_NOT_TRANSFER\""},
};

} // namespace

VirtualServer* ArrayState::findVirtualServerByObjectId(const std::string& objectId) {
    for (auto& evs : virtualServers)
        if (evs.objectId == objectId)
            return &evs;
    return nullptr;
}

VirtualServer* ArrayState::findVirtualServerById(std::uint64_t virtualServerId) {
    for (auto& evs : virtualServers)
        if (evs.virtualServerId == virtualServerId)
            return &evs;
    return nullptr;
}

FileSystem* ArrayState::findFileSystem(const std::string& id) {
    if (indexedFileSystems_ != fileSystems.size())
        indexFileSystems();
    if (FileSystem* fs = lookUpFileSystem(id))
        return fs;
    // Missing or stale: once more over fresh tables.
    indexFileSystems();
    return lookUpFileSystem(id);
}

FileSystem* ArrayState::lookUpFileSystem(const std::string& id) {
    // A filesystemId match wins over an objectId match.
    auto it = fileSystemById_.find(id);
    if (it != fileSystemById_.end() && it->second < fileSystems.size() &&
        fileSystems[it->second].filesystemId == id)
        return &fileSystems[it->second];
    it = fileSystemByObjectId_.find(id);
    if (it != fileSystemByObjectId_.end() && it->second < fileSystems.size() &&
        fileSystems[it->second].objectId == id)
        return &fileSystems[it->second];
    return nullptr;
}

void ArrayState::indexFileSystems() {
    fileSystemById_.clear();
    fileSystemByObjectId_.clear();
    // emplace keeps the first of equal IDs, as a search from the front finds it.
    for (std::size_t i = 0; i < fileSystems.size(); ++i) {
        fileSystemById_.emplace(fileSystems[i].filesystemId, i);
        fileSystemByObjectId_.emplace(fileSystems[i].objectId, i);
    }
    indexedFileSystems_ = fileSystems.size();
}

Share* ArrayState::findShare(const std::string& protocol, const std::string& objectId) {
    for (auto& evs : virtualServers)
        for (auto& share : evs.shares)
            if (share.objectId == objectId && sameProtocol(share.protocol, protocol))
                return &share;
    return nullptr;
}

Snapshot* ArrayState::findSnapshot(const std::string& objectId, FileSystem** owner) {
    for (auto& fs : fileSystems)
        for (auto& snap : fs.snapshots)
            if (snap.objectId == objectId) {
                if (owner)
                    *owner = &fs;
                return &snap;
            }
    return nullptr;
}

std::string ArrayState::newObjectId(char kind) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02X5EED%026llX", static_cast<unsigned char>(kind),
                  static_cast<unsigned long long>(nextId++));
    return buf;
}

Directory& ArrayState::addDirectory(FileSystem& fs, const std::string& rawPath,
                                    const std::string& objectId) {
    const std::string path = normalisePath(rawPath);
    for (auto& dir : fs.directories)
        if (dir.path == path)
            return dir;
    const std::string parent = parentOf(path);
    if (parent != "/")
        addDirectory(fs, parent);
    fs.directories.push_back(Directory{objectId.empty() ? newObjectId('D') : objectId, path});
    return fs.directories.back();
}

void ArrayState::initialiseShare(Share& share) {
    const bool cifs = sameProtocol(share.protocol, "CIFS");
    share.protocol = cifs ? "CIFS" : "NFS";
    auto given = std::move(share.settings);
    share.settings = cifs ? kCifsDefaults : kNfsDefaults;
    for (auto& [key, value] : given) {
        auto it = std::find_if(share.settings.begin(), share.settings.end(),
                               [&](const auto& member) { return member.first == key; });
        if (it != share.settings.end())
            it->second = value;
        else
            share.settings.emplace_back(key, value);
    }
    if (cifs)
        share.cifsAuthentications = {
            CifsPermission{"Everyone", encodeCifsName("Everyone"), 7, "GROUP"}};
    else
        share.cifsAuthentications.clear();
}

std::string encodeCifsName(const std::string& name) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size() * 2);
    for (unsigned char c : name) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

namespace {

VirtualServer makeVirtualServer(ArrayState& a, std::uint64_t id, const std::string& name,
                                std::vector<std::string> addresses) {
    VirtualServer evs;
    char uuid[64];
    std::snprintf(uuid, sizeof uuid, "0b7e5c3a-91d2-4f6e-8a1b-%012llx",
                  static_cast<unsigned long long>(id));
    evs.UUID = uuid;
    evs.name = name;
    evs.objectId = a.newObjectId('E');
    evs.virtualServerId = id;
    evs.ipAddresses = std::move(addresses);
    return evs;
}

FileSystem makeFileSystem(ArrayState& a, const std::string& label, std::uint64_t evsId,
                          std::uint64_t capacity, std::uint64_t used) {
    FileSystem fs;
    fs.objectId = a.newObjectId('F');
    char id[24];
    std::snprintf(id, sizeof id, "%016llX", 0x3A70000000000000ULL + a.nextId++);
    fs.filesystemId = id;
    fs.label = label;
    fs.capacity = capacity;
    fs.usedCapacity = used;
    fs.freeCapacity = capacity - used;
    fs.virtualServerId = evsId;
    return fs;
}

Snapshot makeSnapshot(ArrayState& a, const FileSystem& fs, const std::string& name,
                      std::uint64_t time) {
    Snapshot snap;
    snap.objectId = a.newObjectId('S');
    snap.displayName = name;
    snap.filesystemId = fs.filesystemId;
    snap.creationTime = time;
    snap.creationReason = "SCHEDULED";
    return snap;
}

Share makeShare(ArrayState& a, const std::string& protocol, const VirtualServer& evs,
                const FileSystem& fs, const std::string& name, const std::string& path) {
    Share share;
    share.protocol = protocol;
    share.objectId = a.newObjectId(protocol == "CIFS" ? 'C' : 'N');
    share.shareId = std::to_string(a.nextId++);
    share.name = name;
    share.virtualServerId = evs.virtualServerId;
    share.filesystemId = fs.filesystemId;
    share.path = path;
    a.initialiseShare(share);
    return share;
}

constexpr std::uint64_t kGiB = 1024ULL * 1024ULL * 1024ULL;

} // namespace

ArrayState defaultArray() {
    ArrayState a;
    a.virtualServers.push_back(makeVirtualServer(a, 1, "evs-prod", {"192.0.2.21", "192.0.2.22"}));
    a.virtualServers.push_back(makeVirtualServer(a, 2, "evs-backup", {"192.0.2.31"}));

    a.fileSystems.push_back(makeFileSystem(a, "fs-finance", 1, 1024 * kGiB, 312 * kGiB));
    a.fileSystems.push_back(makeFileSystem(a, "fs-engineering", 1, 4096 * kGiB, 2900 * kGiB));
    a.fileSystems.push_back(makeFileSystem(a, "fs-archive", 2, 8192 * kGiB, 6100 * kGiB));
    a.fileSystems.push_back(makeFileSystem(a, "fs-scratch", 2, 512 * kGiB, 20 * kGiB));

    auto& finance = a.fileSystems[0];
    auto& engineering = a.fileSystems[1];
    auto& archive = a.fileSystems[2];
    auto& scratch = a.fileSystems[3];
    for (auto p : {"/finance/2025", "/finance/2026/q1", "/reports"})
        a.addDirectory(finance, p);
    for (auto p : {"/projects/alpha/src", "/projects/beta", "/home/alice", "/home/bob"})
        a.addDirectory(engineering, p);
    for (auto p : {"/2024", "/2025"})
        a.addDirectory(archive, p);
    for (auto p : {"/scratch", "/tmp"})
        a.addDirectory(scratch, p);

    const std::uint64_t t0 = 1764979200; // 2025-12-06 00:00:00 UTC
    finance.snapshots.push_back(makeSnapshot(a, finance, "RKHNAS_daily_1", t0));
    finance.snapshots.push_back(makeSnapshot(a, finance, "RKHNAS_daily_2", t0 + 86400));
    finance.snapshots.push_back(makeSnapshot(a, finance, "before-upgrade", t0 + 90000));
    finance.snapshots.back().creationReason = "USER_REQUEST";
    engineering.snapshots.push_back(makeSnapshot(a, engineering, "RKHNAS_weekly_1", t0));

    auto& prod = a.virtualServers[0];
    auto& backup = a.virtualServers[1];
    prod.shares.push_back(makeShare(a, "CIFS", prod, finance, "finance", "/finance"));
    prod.shares.back().cifsAuthentications.push_back(
        CifsPermission{"CORP\\finance-admins", encodeCifsName("CORP\\finance-admins"), 7, "GROUP"});
    prod.shares.push_back(makeShare(a, "CIFS", prod, engineering, "projects", "/projects"));
    prod.shares.push_back(makeShare(a, "NFS", prod, finance, "finance-nfs", "/finance"));
    prod.shares.push_back(makeShare(a, "NFS", prod, engineering, "home", "/home"));
    backup.shares.push_back(makeShare(a, "CIFS", backup, archive, "archive", "/"));
    backup.shares.push_back(makeShare(a, "NFS", backup, scratch, "scratch", "/scratch"));
    return a;
}

ArrayState generateArray(const GenerateOptions& o) {
    ArrayState a;
    const int evsCount = std::max(1, o.virtualServers);
    for (int i = 1; i <= evsCount; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "evs-%02d", i);
        std::vector<std::string> addresses = {"10." + std::to_string(i / 250) + "." +
                                              std::to_string(i % 250) + ".10"};
        a.virtualServers.push_back(
            makeVirtualServer(a, static_cast<std::uint64_t>(i), name, std::move(addresses)));
    }
    a.fileSystems.reserve(static_cast<size_t>(std::max(0, o.fileSystems)));
    const std::uint64_t t0 = 1764979200;
    for (int i = 0; i < o.fileSystems; ++i) {
        char label[32];
        std::snprintf(label, sizeof label, "fs-%05d", i);
        const auto evsId = static_cast<std::uint64_t>(i % evsCount + 1);
        a.fileSystems.push_back(makeFileSystem(a, label, evsId, 2048 * kGiB,
                                               static_cast<std::uint64_t>(i % 2048) * kGiB));
        auto& fs = a.fileSystems.back();
        for (int d = 0; d < o.directoriesPerFileSystem; ++d)
            a.addDirectory(fs, "/dir-" + std::to_string(d) + "/sub");
        fs.snapshots.reserve(static_cast<size_t>(std::max(0, o.snapshotsPerFileSystem)));
        for (int s = 0; s < o.snapshotsPerFileSystem; ++s) {
            char snapName[32];
            std::snprintf(snapName, sizeof snapName, "RKHNAS_%04d", s);
            fs.snapshots.push_back(
                makeSnapshot(a, fs, snapName, t0 + static_cast<std::uint64_t>(s) * 3600));
        }
    }
    if (!a.fileSystems.empty()) {
        for (int i = 0; i < o.shares; ++i) {
            const auto& fs = a.fileSystems[static_cast<size_t>(i) % a.fileSystems.size()];
            auto& evs = *a.findVirtualServerById(fs.virtualServerId);
            char name[32];
            std::snprintf(name, sizeof name, "share-%05d", i);
            evs.shares.push_back(makeShare(a, i % 2 == 0 ? "CIFS" : "NFS", evs, fs, name,
                                           "/dir-" + std::to_string(i % 3)));
        }
    }
    return a;
}

} // namespace hnasgwsim
