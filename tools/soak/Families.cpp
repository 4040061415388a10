#include "Families.h"

namespace soak {

namespace {

std::string unique(const Target& t, const char* what) {
    return std::string("soak-") + what + "-" + std::to_string(t.round);
}

bool reads(Target& t) {
    RkManageHNAS& h = *t.hnas;
    __HNASStorageSubSystemInfo info;
    std::vector<__HNASVirtualServers> servers;
    __HNASVirtualServers server;
    std::vector<__HNASFileSystemInfo> filesystems;
    std::string id;
    unsigned long long evsId = 0;
    return h.getFileDevice(info) && h.getVirtualServers(servers) &&
           h.getVirtualServerInfo(t.evs.name, server) && h.getFileSystemsInfo("", filesystems) &&
           filesystems.size() == t.fileSystems &&
           h.getFileSystemsInfo(t.filesystemId, filesystems) &&
           h.getFileSystemID(t.filesystemLabel, id) && id == t.filesystemId &&
           h.getEVSIdAssociatedWithFileSystemID(t.filesystemId, evsId) &&
           evsId == t.evs.virtualServerId;
}

// getAllSnapshots with `parallel` requests in flight; every file system's
// generated snapshots are listed ("RKHNAS" prefix).
bool snapshotWalk(Target& t, unsigned parallel) {
    std::vector<__HNASFileSystemSnapshot> snapshots;
    const bool ok = t.hnas->setParallelRequests(parallel) && t.hnas->getAllSnapshots(snapshots) &&
                    snapshots.size() == t.fileSystems * t.snapshotsPerFileSystem;
    t.hnas->setParallelRequests(1);
    return ok;
}

// getFilesystemShares with permissions over every CIFS share of the server.
bool shareWalk(Target& t, unsigned parallel) {
    std::vector<__HNASFileSystemShares> shares(t.cifsShares.size());
    for (std::size_t i = 0; i < shares.size(); ++i)
        shares[i].name = t.cifsShares[i];
    bool ok = t.hnas->setParallelRequests(parallel) &&
              t.hnas->getFilesystemShares(t.evs, "CIFS", shares, true) &&
              shares.size() == t.cifsShares.size();
    for (const auto& share : shares)
        ok = ok && !share.settings.cifsAuthentications.empty();
    t.hnas->setParallelRequests(1);
    return ok;
}

bool snapshotLifecycle(Target& t) {
    RkManageHNAS& h = *t.hnas;
    const std::string name = "RKSOAK_" + std::to_string(t.round);
    __HNASFileSystemSnapshot made, second;
    std::vector<__HNASFileSystemSnapshot> listed;
    return h.createFileSystemSnapshot(name, t.filesystemId, "soak", made) &&
           h.getFileSystemSnapshots(t.filesystemId, name, listed) && listed.size() == 1 &&
           h.isSnapshotPresent(t.filesystemId, name, "RKSOAK") &&
           h.recoverFileSystemSnapshot(made.objectId) &&
           h.deleteFileSystemSnapshot(made, "RKSOAK") &&
           h.createFileSystemSnapshot(name + "b", t.filesystemId, "soak", second) &&
           h.deleteFileSystemSnapshot(second.objectId);
}

bool cifsShareLifecycle(Target& t) {
    RkManageHNAS& h = *t.hnas;
    const std::string name = unique(t, "cifs");
    __HNASFileSystemShares share;
    __HNASCIFSAuthentication group;
    group.name = "CORP\\\\soak";
    group.permission = 5;
    group.type = "GROUP";
    share.settings.cifsAuthentications = {group};
    std::vector<__HNASCIFSAuthentication> entries;
    bool ok = h.createFileSystemShare(name, std::to_string(t.evs.virtualServerId), t.filesystemId,
                                      "/soak", "CIFS", share, true) &&
              h.getCIFSAuthentication(share.objectId, entries) && !entries.empty();
    if (!ok)
        return false;
    __HNASCIFSAuthentication user;
    user.name = "soak-user";
    user.permission = 1;
    user.type = "USER";
    entries.push_back(user);
    return h.setCIFSAuthentication(share.objectId, entries) &&
           h.getCIFSAuthentication(share.objectId, entries) && entries.size() == 2 &&
           h.deleteCIFSAuthentication(share.objectId, entries[1].encodedName) &&
           h.isSharePresent(name, t.evs, "CIFS") && h.deleteFileSystemShare(name, t.evs, "CIFS");
}

bool nfsShareLifecycle(Target& t) {
    RkManageHNAS& h = *t.hnas;
    const std::string name = unique(t, "nfs");
    __HNASFileSystemShares share;
    share.settings.accessConfig = "10.0.0.0/8(rw)";
    std::vector<__HNASFileSystemShares> listed;
    std::string holder;
    return h.createFileSystemShare(name, std::to_string(t.evs.virtualServerId), t.filesystemId,
                                   "/soak", "NFS", share, false) &&
           h.getFilesystemShares(t.evs, "NFS", listed, false) &&
           h.getFileSystemID(t.evs, name, "NFS", holder) && holder == t.filesystemId &&
           h.deleteFileSystemShare(share.objectId, "NFS");
}

bool directories(Target& t) {
    std::vector<__HNASFileSystemDirectories> top, under;
    return t.hnas->getFileSystemDirectories(t.filesystemId, "", top) && !top.empty() &&
           t.hnas->getFileSystemDirectories(t.filesystemId, top[0].objectId, under) &&
           t.hnas->getFileSystemDirectoriesUnderPath(t.filesystemId, "/evs/fs/dir-0", under) &&
           !under.empty();
}

} // namespace

Target describeArray(const hnasgwsim::ArrayState& array) {
    Target t;
    const hnasgwsim::VirtualServer& evs = array.virtualServers.at(0);
    t.evs.name = evs.name;
    t.evs.objectId = evs.objectId;
    t.evs.virtualServerId = evs.virtualServerId;
    for (const auto& fs : array.fileSystems)
        if (fs.virtualServerId == evs.virtualServerId && t.filesystemId.empty()) {
            t.filesystemId = fs.filesystemId;
            t.filesystemLabel = fs.label;
            t.snapshotsPerFileSystem = fs.snapshots.size();
        }
    for (const auto& share : evs.shares)
        if (share.protocol == "CIFS")
            t.cifsShares.push_back(share.name);
    t.fileSystems = array.fileSystems.size();
    return t;
}

std::vector<Family> families() {
    return {
        {"reads", reads},
        {"snapshot-walk", [](Target& t) { return snapshotWalk(t, 1); }},
        {"snapshot-walk-parallel", [](Target& t) { return snapshotWalk(t, t.parallel); }},
        {"share-walk", [](Target& t) { return shareWalk(t, 1); }},
        {"share-walk-parallel", [](Target& t) { return shareWalk(t, t.parallel); }},
        {"snapshots", snapshotLifecycle},
        {"cifs-share", cifsShareLifecycle},
        {"nfs-share", nfsShareLifecycle},
        {"directories", directories},
    };
}

} // namespace soak
