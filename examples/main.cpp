// Reads the identity and the virtual servers of an array.
//
//   hnasmgmt_example HOST PORT USER SUBSYSTEM_TYPE MANAGEMENT_IP [CA_FILE]
//   hnasmgmt_example --version
//
// The password is read from the environment variable HNAS_PASSWORD.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include <hnasmgmt/Version.h>
#include <hnasmgmt/facade/RkManageHNAS.h>
#include <hnasmgmt/host/DbgTrace.h>
#include <hnasmgmt/host/LogWriters.h>
#include <hnasmgmt/host/RKLibCurl.h>
#include <hnasmgmt/json/HNASJSON.h>
#include <hnasmgmt/rest/HNASRestAPI.h>

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        // The headers' version and the loaded library's: equal major
        // versions share an ABI.
        std::printf("built with hnasmgmt %s, running with %s\n", HNASMGMT_VERSION_STRING,
                    hnasmgmtVersion());
        return 0;
    }
    if (argc < 6 || std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: %s HOST PORT USER SUBSYSTEM_TYPE MANAGEMENT_IP [CA_FILE]\n"
                    "       (password from HNAS_PASSWORD)\n",
                    argv[0]);
        return argc >= 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    SetLogWriter(boost::make_shared<StreamLogWriter>(0));
    if (argc > 6) {
        RKLibCurlOptions options = RKLibCurl::getOptions();
        options.caFile = argv[6];
        RKLibCurl::setOptions(options);
    }
    const char* password = std::getenv("HNAS_PASSWORD");

    RkManageHNAS hnas(42);
    hnas.init(argv[3], password ? password : "", argv[4], argv[5], argv[1], std::atoi(argv[2]));

    __HNASStorageSubSystemInfo info;
    if (!hnas.getFileDevice(info)) {
        std::fprintf(stderr, "cannot read the array's identity\n");
        return 1;
    }
    std::printf("%s %s (firmware %s), health %s\n", info.vendor.c_str(), info.model.c_str(),
                info.firmwareVersion.c_str(), info.storageHealth.c_str());

    std::vector<__HNASVirtualServers> servers;
    if (hnas.getVirtualServers(servers)) {
        for (const auto& server : servers) {
            std::printf("EVS %llu %s %s\n", server.virtualServerId, server.name.c_str(),
                        server.status.c_str());
        }
    }
    return 0;
}
