// The library end to end: every facade operation of RkManageHNAS against the
// in-process gateway simulator over real HTTPS, with the array's state
// checked after each change.

#include <algorithm>

#include "sim/LibraryFixture.h"

using simtest::LibraryTest;

namespace {

class Workflow : public LibraryTest {
protected:
    __HNASVirtualServers server(const std::string& name) {
        __HNASVirtualServers evs;
        EXPECT_TRUE(hnas.getVirtualServerInfo(name, evs)) << dump();
        return evs;
    }
    const hnasgwsim::Share* findShare(hnasgwsim::ArrayState& a, const std::string& name) {
        for (const auto& evs : a.virtualServers)
            for (const auto& share : evs.shares)
                if (share.name == name)
                    return &share;
        return nullptr;
    }
    static std::string setting(const hnasgwsim::Share& share, const std::string& key) {
        for (const auto& [k, v] : share.settings)
            if (k == key)
                return v;
        return "<unset>";
    }
};

TEST_F(Workflow, SubsystemVirtualServersAndFileSystems) {
    __HNASStorageSubSystemInfo info;
    ASSERT_TRUE(hnas.getFileDevice(info)) << dump();
    {
        auto a = sim->model();
        EXPECT_EQ(info.name, a->subsystem.name);
        EXPECT_EQ(info.clusterUUID, a->subsystem.clusterUUID);
        EXPECT_EQ(info.nodeCount, a->subsystem.nodeCount);
        EXPECT_EQ(info.isCluster, a->subsystem.isCluster);
        EXPECT_EQ(info.licenses, a->subsystem.licenses);
    }

    std::vector<__HNASVirtualServers> servers;
    ASSERT_TRUE(hnas.getVirtualServers(servers)) << dump();
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(servers[1].ipAddresses, std::vector<std::string>{"192.0.2.31"});
    __HNASVirtualServers byAddress;
    ASSERT_TRUE(hnas.getVirtualServerInfo("192.0.2.22", byAddress)) << dump();
    EXPECT_EQ(byAddress.name, "evs-prod");
    EXPECT_EQ(byAddress.virtualServerId, 1u);

    std::vector<__HNASFileSystemInfo> filesystems;
    ASSERT_TRUE(hnas.getFileSystemsInfo("", filesystems)) << dump();
    ASSERT_EQ(filesystems.size(), 4u);
    const auto archive = fsId("fs-archive");
    ASSERT_TRUE(hnas.getFileSystemsInfo(archive, filesystems)) << dump();
    ASSERT_EQ(filesystems.size(), 1u);
    EXPECT_EQ(filesystems[0].label, "fs-archive");
    EXPECT_EQ(filesystems[0].capacity, sim->model()->findFileSystem(archive)->capacity);

    std::string id;
    ASSERT_TRUE(hnas.getFileSystemID("FS-Archive", id)) << dump();
    EXPECT_EQ(id, archive);
    unsigned long long evsId = 0;
    ASSERT_TRUE(hnas.getEVSIdAssociatedWithFileSystemID(archive, evsId)) << dump();
    EXPECT_EQ(evsId, 2u);
    ASSERT_TRUE(hnas.getFileSystemID(server("evs-backup"), "ARCHIVE", "CIFS", id)) << dump();
    EXPECT_EQ(id, archive);
}

TEST_F(Workflow, SnapshotLifecycle) {
    const auto fs = fsId("fs-scratch");
    __HNASFileSystemSnapshot created;
    ASSERT_TRUE(hnas.createFileSystemSnapshot("RKHNAS_e2e_1", fs, "4711", created)) << dump();
    EXPECT_FALSE(created.objectId.empty());
    EXPECT_EQ(created.displayName, "RKHNAS_e2e_1");
    EXPECT_EQ(created.filesystemId, fs);
    {
        auto a = sim->model();
        auto* snap = a->findSnapshot(created.objectId);
        ASSERT_NE(snap, nullptr);
        EXPECT_EQ(snap->appSearchId, "4711");
        EXPECT_EQ(snap->creationTime, created.creationTime);
    }
    __HNASFileSystemSnapshot second;
    ASSERT_TRUE(hnas.createFileSystemSnapshot("RKHNAS_e2e_2", fs, "4711", second)) << dump();

    std::vector<__HNASFileSystemSnapshot> listed;
    ASSERT_TRUE(hnas.getFileSystemSnapshots(fs, "RKHNAS_e2e", listed)) << dump();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].objectId, created.objectId);
    EXPECT_TRUE(hnas.isSnapshotPresent(fs, "RKHNAS_e2e_2", "RKHNAS"));
    EXPECT_FALSE(hnas.isSnapshotPresent(fs, "rkhnas_e2e_2", "RKHNAS"));

    std::vector<__HNASFileSystemSnapshot> all;
    ASSERT_TRUE(hnas.getAllSnapshots(all)) << dump();
    // fs-finance's two, fs-engineering's one, then the two new ones.
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[3].displayName, "RKHNAS_e2e_1");

    ASSERT_TRUE(hnas.recoverFileSystemSnapshot(created.objectId)) << dump();
    EXPECT_EQ(sim->model()->recoveries, 1u);

    // By record: found by display name in the listing, then deleted.
    ASSERT_TRUE(hnas.deleteFileSystemSnapshot(created, "RKHNAS")) << dump();
    EXPECT_EQ(sim->model()->findSnapshot(created.objectId), nullptr);
    log->clear();
    ASSERT_TRUE(hnas.deleteFileSystemSnapshot(created, "RKHNAS")) << dump();
    EXPECT_TRUE(log->contains("Snapshot[RKHNAS_e2e_1] to delete not found. It may be externally "
                              "deleted. Considering this operation as successful."))
        << dump();

    // By object ID: a second deletion is refused by the array.
    ASSERT_TRUE(hnas.deleteFileSystemSnapshot(second.objectId)) << dump();
    EXPECT_EQ(sim->model()->findSnapshot(second.objectId), nullptr);
    EXPECT_FALSE(hnas.deleteFileSystemSnapshot(second.objectId));
    EXPECT_FALSE(hnas.recoverFileSystemSnapshot(second.objectId));
}

TEST_F(Workflow, CifsShareWithPermissions) {
    auto evs = server("evs-prod");
    const auto fs = fsId("fs-finance");
    __HNASFileSystemShares share;
    share.settings.comment = "e2e";
    share.settings.maxConcurrentUsers = 12;
    share.settings.isABEEnabled = true;
    __HNASCIFSAuthentication group;
    group.name = "CORP\\\\e2e-users"; // as written into the body: decodes to one backslash
    group.permission = 5;
    group.type = "GROUP";
    share.settings.cifsAuthentications = {group};
    ASSERT_TRUE(
        hnas.createFileSystemShare("e2e-cifs", "1", fs, "/finance/2026", "CIFS", share, true))
        << dump();
    EXPECT_FALSE(share.objectId.empty());
    EXPECT_EQ(share.name, "e2e-cifs");
    EXPECT_EQ(share.virtualServerId, 1);
    {
        auto a = sim->model();
        auto* created = findShare(*a, "e2e-cifs");
        ASSERT_NE(created, nullptr);
        EXPECT_EQ(created->path, "/finance/2026");
        EXPECT_EQ(setting(*created, "comment"), "\"e2e\"");
        EXPECT_EQ(setting(*created, "maxConcurrentUsers"), "12");
        EXPECT_EQ(setting(*created, "isABEEnabled"), "true");
        // The default entry for everyone was replaced by the caller's.
        ASSERT_EQ(created->cifsAuthentications.size(), 1u);
        EXPECT_EQ(created->cifsAuthentications[0].name, "CORP\\e2e-users");
        EXPECT_EQ(created->cifsAuthentications[0].permission, 5);
    }

    EXPECT_TRUE(hnas.isSharePresent("e2e-cifs", evs, "CIFS"));
    EXPECT_FALSE(hnas.isSharePresent("E2E-CIFS", evs, "CIFS"));
    std::vector<__HNASFileSystemShares> filter(1);
    filter[0].name = "E2E-Cifs";
    ASSERT_TRUE(hnas.getFilesystemShares(evs, "CIFS", filter, true)) << dump();
    ASSERT_EQ(filter.size(), 1u);
    EXPECT_EQ(filter[0].objectId, share.objectId);
    EXPECT_EQ(filter[0].path, "/finance/2026");
    ASSERT_EQ(filter[0].settings.cifsAuthentications.size(), 1u);
    EXPECT_EQ(filter[0].settings.cifsAuthentications[0].name, "CORP\\\\e2e-users");

    // Permissions read back as set, and can be sent back unchanged.
    std::vector<__HNASCIFSAuthentication> entries;
    ASSERT_TRUE(hnas.getCIFSAuthentication(share.objectId, entries)) << dump();
    ASSERT_EQ(entries.size(), 1u);
    __HNASCIFSAuthentication bob;
    bob.name = "bob";
    bob.permission = 1;
    bob.type = "USER";
    entries[0].permission = 7;
    entries.push_back(bob);
    ASSERT_TRUE(hnas.setCIFSAuthentication(share.objectId, entries)) << dump();
    std::vector<__HNASCIFSAuthentication> again;
    ASSERT_TRUE(hnas.getCIFSAuthentication(share.objectId, again)) << dump();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].name, "CORP\\\\e2e-users");
    EXPECT_EQ(again[0].permission, 7);
    EXPECT_EQ(again[1].name, "bob");
    ASSERT_TRUE(hnas.deleteCIFSAuthentication(share.objectId, again[1].encodedName)) << dump();
    {
        auto a = sim->model();
        ASSERT_EQ(findShare(*a, "e2e-cifs")->cifsAuthentications.size(), 1u);
    }
    EXPECT_FALSE(hnas.deleteCIFSAuthentication(share.objectId, again[1].encodedName));

    // A second share of the same name is refused by the array.
    __HNASFileSystemShares duplicate;
    EXPECT_FALSE(
        hnas.createFileSystemShare("E2E-CIFS", "1", fs, "/finance", "CIFS", duplicate, false));

    ASSERT_TRUE(hnas.deleteFileSystemShare("e2e-cifs", evs, "CIFS")) << dump();
    EXPECT_EQ(findShare(*sim->model(), "e2e-cifs"), nullptr);
    log->clear();
    EXPECT_TRUE(hnas.deleteFileSystemShare("e2e-cifs", evs, "CIFS"));
    EXPECT_TRUE(log->contains("Share [e2e-cifs] not found. It may be externally deleted."))
        << dump();
}

TEST_F(Workflow, NfsShareCreatedListedAndDeletedById) {
    auto evs = server("evs-backup");
    const auto fs = fsId("fs-scratch");
    __HNASFileSystemShares share;
    share.settings.accessConfig = "10.0.0.0/8(rw)";
    share.settings.localReadCacheOption = "ENABLED";
    ASSERT_TRUE(hnas.createFileSystemShare("e2e-nfs", "2", fs, "/scratch", "NFS", share, true))
        << dump();
    {
        auto a = sim->model();
        auto* created = findShare(*a, "e2e-nfs");
        ASSERT_NE(created, nullptr);
        EXPECT_EQ(created->protocol, "NFS");
        EXPECT_EQ(setting(*created, "accessConfig"), "\"10.0.0.0/8(rw)\"");
        EXPECT_EQ(setting(*created, "localReadCacheOption"), "\"ENABLED\"");
        EXPECT_EQ(setting(*created, "comment"), "<unset>");
    }
    std::vector<__HNASFileSystemShares> shares;
    ASSERT_TRUE(hnas.getFilesystemShares(evs, "NFS", shares, false)) << dump();
    ASSERT_EQ(shares.size(), 2u);
    EXPECT_EQ(shares[1].name, "e2e-nfs");
    EXPECT_EQ(shares[1].settings.accessConfig, "10.0.0.0/8(rw)");
    EXPECT_EQ(shares[1].settings.localReadCacheOption, "ENABLED");
    std::string holder;
    ASSERT_TRUE(hnas.getFileSystemID(evs, "e2e-nfs", "NFS", holder)) << dump();
    EXPECT_EQ(holder, fs);

    ASSERT_TRUE(hnas.deleteFileSystemShare(share.objectId, "NFS")) << dump();
    EXPECT_EQ(findShare(*sim->model(), "e2e-nfs"), nullptr);
    EXPECT_FALSE(hnas.deleteFileSystemShare(share.objectId, "NFS"));
}

TEST_F(Workflow, DirectoriesUnderPaths) {
    const auto fs = fsId("fs-engineering");
    std::vector<__HNASFileSystemDirectories> dirs;
    ASSERT_TRUE(hnas.getFileSystemDirectories(fs, "", dirs)) << dump();
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(dirs[0].displayName, std::vector<std::string>{"//projects"});
    const std::string projects = dirs[0].objectId; // the call empties `dirs` first
    ASSERT_TRUE(hnas.getFileSystemDirectories(fs, projects, dirs)) << dump();
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(dirs[1].displayName, std::vector<std::string>{"//projects/beta"});

    ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath(fs, "/evs/fs/projects/alpha", dirs))
        << dump();
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(dirs[0].displayName, std::vector<std::string>{"//projects/alpha/src"});
    ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath(fs, "/evs/fs", dirs)) << dump();
    EXPECT_EQ(dirs.size(), 2u);
    ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath(fs, "/evs/fs/home/alice", dirs)) << dump();
    EXPECT_TRUE(dirs.empty());

    // One GET per level walked, and nothing else.
    auto requests = sim->requestLog();
    size_t listings = static_cast<size_t>(
        std::count_if(requests.begin(), requests.end(), [](const hnasgwsim::RequestRecord& r) {
            return r.path.find("/directories/") != std::string::npos;
        }));
    EXPECT_EQ(listings, 2u + 3u + 1u + 3u);
}

} // namespace
