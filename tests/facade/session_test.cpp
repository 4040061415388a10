// The facade's session: init, the parallel requests, and the refusal of
// inputs an operation cannot send. (Every operation before init: the fault
// suite.)

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Documents.h"
#include "support/FacadeFixture.h"

namespace {

const std::string kFileSystems =
    hnastest::listJson("filesystems", {hnastest::fileSystemJson("FS-OBJ-1", "fs1", "1001")});

class SessionTest : public hnastest::FacadeTest {
protected:
    RkManageHNAS fresh{kJobId};
};

TEST_F(SessionTest, ParallelRequestsAreFromOneTo64AndARefusalKeepsTheValue) {
    EXPECT_TRUE(fresh.setParallelRequests(64));
    for (unsigned refused : {0u, 65u}) {
        EXPECT_FALSE(fresh.setParallelRequests(refused));
        EXPECT_TRUE(logged("RkManageHNAS::setParallelRequests", -1,
                           "Invalid number of parallel requests [" + std::to_string(refused) +
                               "]: it must be from 1 to 64. Keeping [64]."));
    }
}

TEST_F(SessionTest, InitHandsTheValuesToTheSessionInOrder) {
    fresh.init("operator", "pw-Of-Op3rator", "HNAS-G2", "198.51.100.7", gateway.host(),
               gateway.port());
    gateway.on("GET", "filesystems/", {200, kFileSystems});
    std::vector<__HNASFileSystemInfo> filesystems;
    ASSERT_TRUE(fresh.getFileSystemsInfo("", filesystems));
    ASSERT_EQ(gateway.requestCount(), 1u);
    const hnastest::RecordedRequest request = gateway.requests()[0];
    EXPECT_EQ(request.header("X-Subsystem-User") + "|" + request.header("X-Subsystem-Password") +
                  "|" + request.header("X-Subsystem-Type") + "|" +
                  request.header("X-Management-IPs"),
              "operator|pw-Of-Op3rator|HNAS-G2|198.51.100.7");
    EXPECT_EQ(log.dump().find("pw-Of-Op3rator"), std::string::npos);
}

// Inputs an operation refuses with its own line (level -1, the job), sending
// nothing and leaving its out-parameter as it was.
TEST_F(SessionTest, EmptyOrUnknownInputsAreRefusedBeforeAnyRequest) {
    __HNASVirtualServers evs, server;
    evs.objectId = "EVS-OBJ-1";
    std::string id = "kept";
    std::vector<__HNASFileSystemShares> shares(1);
    __HNASFileSystemShares share;
    const std::string ns = "RkManageHNAS::";
    struct Case {
        std::function<bool()> call;
        std::string function, line;
    };
    const Case cases[] = {
        {[&] { return hnas.getVirtualServerInfo("", server); }, ns + "getVirtualServerInfo",
         "The virtual server name is empty."},
        {[&] { return hnas.getFileSystemID("", id); }, ns + "getFileSystemID",
         "Invalid Input. File System name is empty."},
        {[&] { return hnas.getFilesystemShares(evs, "cifs", shares, false); },
         ns + "getFilesystemShares", "Invalid share type."},
        {[&] { return fresh.createFileSystemShare("s", "1", "FS-A", "/p", "cifs", share, true); },
         ns + "createFileSystemShare", "Invalid Share Type[cifs]."}, // before the init check
        {[&] { return fresh.deleteFileSystemShare("SH-2", "NFs"); }, ns + "deleteFileSystemShare",
         "Invalid Share Type[NFs]."},
        {[&] { return hnas.deleteCIFSAuthentication("SH-1", ""); }, "deleteCIFSAuthentication",
         "Invalid Parameters."},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(fails(c.call, c.function, c.line)) << c.line;
    EXPECT_EQ(id, "kept");
    EXPECT_EQ(shares.size(), 1u);
}

} // namespace
