// Virtual servers through the real client against the scripted gateway.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FacadeFixture.h"

namespace {

// Two servers share 10.20.0.5; the second is named like an IPv6 text, the
// third like a dotted address.
const char* const kVirtualServers = R"({"virtualServers": [
  {"UUID": "uuid-evs1", "isEnabled": true, "name": "evs-finance", "objectId": "EVS-OBJ-1",
   "status": "ONLINE", "type": "FILE", "virtualServerId": 1,
   "ipAddresses": ["10.20.0.5", "10.20.0.6"]},
  {"UUID": "uuid-evs2", "isEnabled": false, "name": "fe80::1", "objectId": "EVS-OBJ-2",
   "status": "OFFLINE", "type": "FILE", "virtualServerId": 2,
   "ipAddresses": ["10.20.0.5", "fe80::2"]},
  {"UUID": "uuid-evs3", "isEnabled": true, "name": "10.99.0.1", "objectId": "EVS-OBJ-3",
   "status": "ONLINE", "type": "FILE", "virtualServerId": 3, "ipAddresses": []}
]})";

const char* const kError = R"({"errorCode": 500, "errorMsg": "x"})";
const char* const kInfo = "RkManageHNAS::getVirtualServerInfo";

using DeviceTest = hnastest::FacadeTest;

// A 401 sets the last error code to 5 for good; other failures leave it.
TEST_F(DeviceTest, A401OnTheVirtualServerListIsRemembered) {
    std::vector<__HNASVirtualServers> servers;
    bool refused = false;
    for (int status : {500, 401, 500, 200}) {
        gateway.on("GET", "virtual-servers", {status, status == 200 ? kVirtualServers : kError});
        EXPECT_EQ(hnas.getVirtualServers(servers), status == 200);
        refused |= status == 401;
        EXPECT_EQ(hnas.getLastErrorCode(), refused ? 5 : 0) << status;
    }
}

// A dotted IPv4 address is looked up among the addresses (first server that
// has it), anything else among the names, exactly.
TEST_F(DeviceTest, VirtualServerInfoByAddressOrExactName) {
    gateway.on("GET", "virtual-servers", {200, kVirtualServers});
    struct Case {
        const char* text;
        const char* objectId; // nullptr: not found
    };
    const Case cases[] = {
        {"10.20.0.5", "EVS-OBJ-1"}, {"evs-finance", "EVS-OBJ-1"},
        {"fe80::1", "EVS-OBJ-2"}, // IPv6 text: a name
        {"EVS-Finance", nullptr},   {" evs-finance", nullptr},
        {"10.99.0.1", nullptr}, // a name, not an address
        {"fe80::2", nullptr},   // an address, not a name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        log->clear();
        __HNASVirtualServers server;
        server.objectId = "caller";
        EXPECT_EQ(hnas.getVirtualServerInfo(c.text, server), c.objectId != nullptr);
        EXPECT_EQ(server.objectId, c.objectId ? c.objectId : "caller");
        if (!c.objectId) {
            EXPECT_TRUE(
                logged(kInfo, -1,
                       std::string("Unable to find [") + c.text + "] in the virtual servers list"));
        }
    }
    __HNASVirtualServers server;
    ASSERT_TRUE(hnas.getVirtualServerInfo("10.20.0.5", server));
    EXPECT_EQ(server.name + "|" + server.UUID + "|" + server.status + "|" + server.type + "|" +
                  std::to_string(server.virtualServerId) + "|" + server.ipAddresses[1],
              "evs-finance|uuid-evs1|ONLINE|FILE|1|10.20.0.6");
    EXPECT_EQ(gateway.requestCount(), std::size(cases) + 1);
}

} // namespace
