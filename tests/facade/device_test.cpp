// Storage subsystem and virtual servers through the real client against the
// scripted gateway.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FacadeFixture.h"

namespace {

using hnastest::ScriptedResponse;

const char* const kFileDevice = R"({
  "name": "hnas-cluster-01",
  "clusterUUID": "7f3c9a10-55b2-11ee-8c99-0242ac120002",
  "firmwareVersion": "14.2.7822.02",
  "isCluster": true,
  "model": "HNAS 5300",
  "nodeCount": 2,
  "storageHealth": "ROBUST",
  "vendor": "Example Storage",
  "licenses": ["CIFS", "NFS", "FILE_CLONE"]
})";

// Two servers that share 10.20.0.5; the second is named like an IPv6 text.
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

const char* const kErrorDocument =
    R"({"errorCode": 500, "errorMsg": "Internal error", "errorDetail": {"reason": "busy"}})";

class DeviceTest : public hnastest::FacadeTest {
protected:
    bool logged(const std::string& function, int level, const std::string& text,
                long long job = static_cast<long long>(kJobId)) {
        for (const LogRecord& record : log->records()) {
            if (record.function == function && record.level == level && record.text == text &&
                record.jobId == job) {
                return true;
            }
        }
        return false;
    }

    std::vector<std::string> textsOf(const std::string& function, int level) {
        std::vector<std::string> texts;
        for (const LogRecord& record : log->records()) {
            if (record.function == function && record.level == level) {
                texts.push_back(record.text);
            }
        }
        return texts;
    }

    __HNASVirtualServers callerRecord() {
        __HNASVirtualServers server;
        server.UUID = "caller-uuid";
        server.name = "caller-name";
        server.virtualServerId = 77;
        return server;
    }
};

const char* const kDevice = "RkManageHNAS::getFileDevice";
const char* const kServers = "RkManageHNAS::getVirtualServers";
const char* const kInfo = "RkManageHNAS::getVirtualServerInfo";

// --- getFileDevice ---

TEST_F(DeviceTest, FileDeviceReadsTheSubsystemAndDumpsItsFields) {
    gateway.on("GET", "file-devices", {200, kFileDevice});
    __HNASStorageSubSystemInfo info;

    ASSERT_TRUE(hnas.getFileDevice(info));

    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, storagePath("file-devices"));
    EXPECT_EQ(requests[0].body, "");

    EXPECT_EQ(info.name, "hnas-cluster-01");
    EXPECT_EQ(info.clusterUUID, "7f3c9a10-55b2-11ee-8c99-0242ac120002");
    EXPECT_EQ(info.firmwareVersion, "14.2.7822.02");
    EXPECT_TRUE(info.isCluster);
    EXPECT_EQ(info.model, "HNAS 5300");
    EXPECT_EQ(info.nodeCount, 2);
    EXPECT_EQ(info.storageHealth, "ROBUST");
    EXPECT_EQ(info.vendor, "Example Storage");
    EXPECT_EQ(info.licenses, (std::vector<std::string>{"CIFS", "NFS", "FILE_CLONE"}));

    EXPECT_TRUE(logged(kDevice, -1,
                       std::string("Successfully got the storage subsystem information. "
                                   "Response [") +
                           kFileDevice + "]"));
    const std::vector<std::string> dump = textsOf(kDevice, 5);
    const std::vector<std::string> expected = {"IsCluster [YES]",
                                               "Cluster Name [hnas-cluster-01]",
                                               "Node Count [2]",
                                               "ClusterUUID [7f3c9a10-55b2-11ee-8c99-0242ac120002]",
                                               "Firmware Version [14.2.7822.02]",
                                               "Model [HNAS 5300]",
                                               "Storage Health [ROBUST]",
                                               "Vendor [Example Storage]",
                                               "Licenses... [3]",
                                               "[CIFS]",
                                               "[NFS]",
                                               "[FILE_CLONE]"};
    EXPECT_EQ(dump, expected);
}

TEST_F(DeviceTest, FileDeviceWithoutLicencesLogsTheHeaderOnly) {
    gateway.on("GET", "file-devices",
               {200, R"({"name": "single", "clusterUUID": "", "firmwareVersion": "13.9",
                         "isCluster": false, "model": "HNAS 4060", "nodeCount": 1,
                         "storageHealth": "DEGRADED", "vendor": "Example Storage", "licenses": []})"});
    __HNASStorageSubSystemInfo info;
    info.licenses = {"stale"};

    ASSERT_TRUE(hnas.getFileDevice(info));
    EXPECT_TRUE(info.licenses.empty());
    EXPECT_FALSE(info.isCluster);
    const std::vector<std::string> dump = textsOf(kDevice, 5);
    ASSERT_FALSE(dump.empty());
    EXPECT_EQ(dump.front(), "IsCluster [NO]");
    EXPECT_EQ(dump.back(), "Licenses... [0]");
}

TEST_F(DeviceTest, FileDeviceFailuresLeaveTheRecordAsItWas) {
    __HNASStorageSubSystemInfo info;
    info.name = "kept";
    info.nodeCount = 9;

    // An error status leaves no response text; another unexpected status
    // shows what the gateway sent.
    gateway.on("GET", "file-devices", {500, kErrorDocument});
    EXPECT_FALSE(hnas.getFileDevice(info));
    EXPECT_TRUE(
        logged(kDevice, -1, "Unable to get the storage subsystem information. Response []"));
    gateway.on("GET", "file-devices", {202, kFileDevice});
    EXPECT_FALSE(hnas.getFileDevice(info));
    EXPECT_TRUE(logged(kDevice, -1,
                       std::string("Unable to get the storage subsystem information. Response [") +
                           kFileDevice + "]"));

    gateway.on("GET", "file-devices", {200, ""});
    EXPECT_FALSE(hnas.getFileDevice(info));
    EXPECT_TRUE(logged(kDevice, -1, "Empty response from the array"));

    gateway.on("GET", "file-devices", {200, R"({"name": "half"})"});
    EXPECT_FALSE(hnas.getFileDevice(info));
    EXPECT_TRUE(logged(kDevice, -1, "Unable to parse JSON response"));

    EXPECT_EQ(info.name, "kept");
    EXPECT_EQ(info.nodeCount, 9);
    EXPECT_TRUE(textsOf(kDevice, 5).empty());
}

// --- getVirtualServers ---

TEST_F(DeviceTest, VirtualServersAreListedInTheGatewaysOrder) {
    gateway.on("GET", "virtual-servers", {200, kVirtualServers});
    std::vector<__HNASVirtualServers> servers(4);

    ASSERT_TRUE(hnas.getVirtualServers(servers));

    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, storagePath("virtual-servers"));
    ASSERT_EQ(servers.size(), 3u);
    EXPECT_EQ(servers[0].name, "evs-finance");
    EXPECT_EQ(servers[0].UUID, "uuid-evs1");
    EXPECT_EQ(servers[0].objectId, "EVS-OBJ-1");
    EXPECT_EQ(servers[0].virtualServerId, 1u);
    EXPECT_TRUE(servers[0].isEnabled);
    EXPECT_EQ(servers[0].ipAddresses, (std::vector<std::string>{"10.20.0.5", "10.20.0.6"}));
    EXPECT_EQ(servers[1].name, "fe80::1");
    EXPECT_FALSE(servers[1].isEnabled);
    EXPECT_TRUE(servers[2].ipAddresses.empty());
    EXPECT_TRUE(logged(kServers, 5,
                       std::string("Successfully got the virtual server list. Response [") +
                           kVirtualServers + "]"));
}

TEST_F(DeviceTest, VirtualServerFailuresEmptyTheVector) {
    std::vector<__HNASVirtualServers> servers(2);

    RkManageHNAS fresh{kJobId};
    EXPECT_FALSE(fresh.getVirtualServers(servers));
    EXPECT_TRUE(servers.empty());
    EXPECT_TRUE(logged(kServers, -1, "Initialize HNAS params."));
    EXPECT_EQ(gateway.requestCount(), 0u);

    servers.resize(2);
    gateway.on("GET", "virtual-servers", {200, R"({"virtualServers": [{"name": 3}]})"});
    EXPECT_FALSE(hnas.getVirtualServers(servers));
    EXPECT_TRUE(servers.empty());
    EXPECT_TRUE(logged(kServers, -1, "Unable to parse JSON response"));

    servers.resize(2);
    gateway.on("GET", "virtual-servers", {200, ""});
    EXPECT_FALSE(hnas.getVirtualServers(servers));
    EXPECT_TRUE(servers.empty());
    EXPECT_TRUE(logged(kServers, -1, "Empty response from the array"));
}

TEST_F(DeviceTest, RefusedCredentialsSetTheLastErrorCodeForGood) {
    const char* const refusal = R"({"errorCode": 401, "errorMsg": "Unauthorized"})";
    std::vector<__HNASVirtualServers> servers;

    gateway.on("GET", "virtual-servers", {500, kErrorDocument});
    EXPECT_FALSE(hnas.getVirtualServers(servers));
    EXPECT_EQ(hnas.getLastErrorCode(), 0);
    EXPECT_TRUE(logged(kServers, -1, "Unable to get virtual server list. Response []"));

    gateway.on("GET", "virtual-servers", {401, refusal});
    EXPECT_FALSE(hnas.getVirtualServers(servers));
    EXPECT_EQ(hnas.getLastErrorCode(), 5);

    // Neither a later success nor another failure resets it.
    gateway.on("GET", "virtual-servers", {200, kVirtualServers});
    EXPECT_TRUE(hnas.getVirtualServers(servers));
    gateway.on("GET", "virtual-servers", {500, kErrorDocument});
    EXPECT_FALSE(hnas.getVirtualServers(servers));
    EXPECT_EQ(hnas.getLastErrorCode(), 5);

    // Other operations refused with 401 leave it alone.
    RkManageHNAS other{kJobId};
    hnastest::GatewayLogin login;
    other.init(login.user, login.password, login.subsystemType, login.managementIP, gateway.host(),
               gateway.port());
    gateway.on("GET", "file-devices", {401, refusal});
    __HNASStorageSubSystemInfo info;
    EXPECT_FALSE(other.getFileDevice(info));
    EXPECT_EQ(other.getLastErrorCode(), 0);
}

// --- getVirtualServerInfo ---

TEST_F(DeviceTest, AnAddressFindsTheFirstServerThatHasIt) {
    gateway.on("GET", "virtual-servers", {200, kVirtualServers});
    __HNASVirtualServers server = callerRecord();

    ASSERT_TRUE(hnas.getVirtualServerInfo("10.20.0.5", server));

    EXPECT_EQ(server.name, "evs-finance");
    EXPECT_EQ(server.objectId, "EVS-OBJ-1");
    EXPECT_EQ(server.UUID, "uuid-evs1");
    EXPECT_EQ(server.status, "ONLINE");
    EXPECT_EQ(server.type, "FILE");
    EXPECT_EQ(server.virtualServerId, 1u);
    EXPECT_TRUE(server.isEnabled);
    EXPECT_EQ(server.ipAddresses, (std::vector<std::string>{"10.20.0.5", "10.20.0.6"}));
    EXPECT_TRUE(logged(kInfo, 0, "Checking if 10.20.0.5 is a valid IP address.."));
    EXPECT_TRUE(logged(kInfo, 0, "The Array String is an IP."));
    EXPECT_TRUE(logged(kInfo, 0, "Found [10.20.0.5] in the virtual servers list"));
    EXPECT_EQ(gateway.requestCount(), 1u);
}

TEST_F(DeviceTest, NamesAreMatchedExactlyAndNeverAgainstAddresses) {
    gateway.on("GET", "virtual-servers", {200, kVirtualServers});
    __HNASVirtualServers server = callerRecord();

    EXPECT_TRUE(hnas.getVirtualServerInfo("evs-finance", server));
    EXPECT_EQ(server.objectId, "EVS-OBJ-1");
    EXPECT_TRUE(logged(kInfo, 0, "The Array String is not an IP."));

    server = callerRecord();
    EXPECT_FALSE(hnas.getVirtualServerInfo("EVS-Finance", server));
    EXPECT_FALSE(hnas.getVirtualServerInfo(" evs-finance", server));
    EXPECT_TRUE(logged(kInfo, -1, "Unable to find [EVS-Finance] in the virtual servers list"));
    EXPECT_EQ(server.name, "caller-name");
    EXPECT_EQ(server.UUID, "caller-uuid");
    EXPECT_EQ(server.virtualServerId, 77u);

    // A dotted address is looked up among addresses only, even when a
    // server carries it as its name.
    EXPECT_FALSE(hnas.getVirtualServerInfo("10.99.0.1", server));
    EXPECT_EQ(server.name, "caller-name");
}

TEST_F(DeviceTest, AnIPv6TextIsLookedUpAsAName) {
    gateway.on("GET", "virtual-servers", {200, kVirtualServers});
    __HNASVirtualServers server = callerRecord();

    ASSERT_TRUE(hnas.getVirtualServerInfo("fe80::1", server));
    EXPECT_EQ(server.objectId, "EVS-OBJ-2");
    EXPECT_TRUE(logged(kInfo, 0, "The Array String is not an IP."));

    // fe80::2 is only an address of that server: as a name it matches nothing.
    server = callerRecord();
    EXPECT_FALSE(hnas.getVirtualServerInfo("fe80::2", server));
    EXPECT_EQ(server.name, "caller-name");
}

TEST_F(DeviceTest, LookupFailuresLeaveTheCallersRecord) {
    __HNASVirtualServers server = callerRecord();

    EXPECT_FALSE(hnas.getVirtualServerInfo("", server));
    EXPECT_TRUE(logged(kInfo, -1, "The virtual server name is empty."));
    EXPECT_EQ(gateway.requestCount(), 0u);

    gateway.on("GET", "virtual-servers", {401, R"({"errorCode": 401, "errorMsg": "denied"})"});
    EXPECT_FALSE(hnas.getVirtualServerInfo("evs-finance", server));
    EXPECT_TRUE(logged(kInfo, -1, "Unable to get the list of all virtual servers"));
    EXPECT_EQ(hnas.getLastErrorCode(), 5);

    RkManageHNAS fresh{kJobId};
    EXPECT_FALSE(fresh.getVirtualServerInfo("evs-finance", server));
    EXPECT_TRUE(logged(kServers, -1, "Initialize HNAS params."));
    EXPECT_EQ(gateway.requestCount(), 1u);

    EXPECT_EQ(server.name, "caller-name");
    EXPECT_EQ(server.UUID, "caller-uuid");
}

} // namespace
