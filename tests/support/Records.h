#pragma once

// Records of the library's types from the values a test names.

#include <string>

#include "hnasmgmt/json/HNASRecords.h"

namespace hnastest {

inline __HNASCIFSAuthentication cifsEntry(const std::string& name,
                                          const std::string& encodedName = "", int permission = 1,
                                          const std::string& type = "USER") {
    __HNASCIFSAuthentication e;
    e.name = name;
    e.encodedName = encodedName;
    e.permission = permission;
    e.type = type;
    return e;
}

// The virtual server record as the listing would give it.
inline __HNASVirtualServers virtualServer(const std::string& objectId, const std::string& name) {
    __HNASVirtualServers evs;
    evs.objectId = objectId;
    evs.name = name;
    return evs;
}

} // namespace hnastest
