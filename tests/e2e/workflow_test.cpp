// The library end to end: the CIFS share and directory workflows of
// RkManageHNAS against the in-process gateway simulator over real HTTPS, with
// the array's state checked after each change. (Each operation on its own:
// the fault suite, the load test and hnasctl's tests.)

#include "reliability/SimHarness.h"
#include "support/CaptureLog.h"

using namespace reltest;

namespace {

class Workflow : public ::testing::Test {
protected:
    void SetUp() override { initFacade(hnas, *sim); }
    std::string fsId(int index) { return sim->model()->fileSystems.at(index).filesystemId; }
    __HNASVirtualServers server(const std::string& name) {
        __HNASVirtualServers evs;
        EXPECT_TRUE(hnas.getVirtualServerInfo(name, evs)) << log.dump();
        return evs;
    }
    const hnasgwsim::Share* findShare(const std::string& name) {
        for (const auto& share : sim->model()->virtualServers[0].shares)
            if (share.name == name)
                return &share; // the array stays as it is while the test looks
        return nullptr;
    }

    std::unique_ptr<hnasgwsim::Simulator> sim = startSimulator();
    ClientOptions options{fastOptions(*sim)};
    hnastest::CaptureLog log;
    RkManageHNAS hnas{9001};
};

TEST_F(Workflow, CifsShareWithPermissions) {
    auto evs = server("evs-prod");
    __HNASFileSystemShares share;
    share.settings.maxConcurrentUsers = 12;
    // As written into the body: decodes to one backslash.
    share.settings.cifsAuthentications = {hnastest::cifsEntry("CORP\\\\e2e-users", "", 5, "GROUP")};
    ASSERT_TRUE(
        hnas.createFileSystemShare("e2e-cifs", "1", fsId(0), "/f/2026", "CIFS", share, true))
        << log.dump();
    {
        auto array = sim->model(); // the caller's entry replaced the default one for everyone
        const auto& created = array->virtualServers[0].shares.back();
        ASSERT_EQ(created.cifsAuthentications.size(), 1u);
        EXPECT_EQ(created.cifsAuthentications[0].name, "CORP\\e2e-users");
    }
    std::vector<__HNASFileSystemShares> filter(1);
    filter[0].name = "E2E-Cifs";
    ASSERT_TRUE(hnas.getFilesystemShares(evs, "CIFS", filter, true)) << log.dump();
    ASSERT_EQ(filter.size(), 1u);
    ASSERT_EQ(filter[0].settings.cifsAuthentications.size(), 1u);
    EXPECT_EQ(filter[0].settings.cifsAuthentications[0].name, "CORP\\\\e2e-users");

    // Permissions read back as set, and can be sent back unchanged.
    std::vector<__HNASCIFSAuthentication> entries;
    ASSERT_TRUE(hnas.getCIFSAuthentication(share.objectId, entries)) << log.dump();
    entries.push_back(entries.at(0));
    entries[1].name = "bob";
    ASSERT_TRUE(hnas.setCIFSAuthentication(share.objectId, entries)) << log.dump();
    ASSERT_TRUE(hnas.getCIFSAuthentication(share.objectId, entries)) << log.dump();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "CORP\\\\e2e-users");
    ASSERT_TRUE(hnas.deleteCIFSAuthentication(share.objectId, entries[1].encodedName))
        << log.dump();
    EXPECT_EQ(findShare("e2e-cifs")->cifsAuthentications.size(), 1u);
    EXPECT_FALSE(hnas.createFileSystemShare("E2E-CIFS", "1", fsId(0), "/f", "CIFS", share, false));
    ASSERT_TRUE(hnas.deleteFileSystemShare("e2e-cifs", evs, "CIFS")) << log.dump();
    EXPECT_EQ(findShare("e2e-cifs"), nullptr);
}

TEST_F(Workflow, DirectoriesUnderPaths) {
    const auto fs = fsId(1); // fs-engineering
    std::vector<__HNASFileSystemDirectories> dirs;
    ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath(fs, "/evs/fs/projects/alpha", dirs))
        << log.dump();
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(dirs[0].displayName, std::vector<std::string>{"//projects/alpha/src"});
    ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath(fs, "/evs/fs", dirs)) << log.dump();
    EXPECT_EQ(dirs.size(), 2u);
    ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath(fs, "/evs/fs/home/alice", dirs));
    EXPECT_TRUE(dirs.empty());
    EXPECT_EQ(sim->requestLog().size(), 3u + 1u + 3u); // one GET per level walked
}

} // namespace
