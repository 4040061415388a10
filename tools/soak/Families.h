#pragma once

// The operation families the soak drives, each a short sequence of facade
// calls that succeeds in full against a healthy simulator: reads of the
// subsystem, virtual servers and file systems; the snapshot and share walks,
// sequential and parallel; snapshot, CIFS and NFS share lifecycles with
// permissions; directory listings.

#include <functional>
#include <string>
#include <vector>

#include "FamilyLog.h"
#include "hnasgwsim/Model.h"
#include "hnasmgmt/facade/RkManageHNAS.h"

namespace soak {

// What the families work on: the facade, the array's fixed objects and a
// round number that makes every created name unique.
struct Target {
    RkManageHNAS* hnas = nullptr;
    FamilyLog* log = nullptr; // the library's lines while a family runs
    unsigned parallel = 16;   // requests in flight in the parallel walks
    unsigned long round = 0;
    __HNASVirtualServers evs;               // the first virtual server
    std::string filesystemId;               // a file system it serves
    std::string filesystemLabel;            //
    std::vector<std::string> cifsShares;    // names of its CIFS shares
    std::size_t snapshotsPerFileSystem = 0; // in the generated array
    std::size_t fileSystems = 0;            //
};

struct Family {
    std::string name;
    std::function<bool(Target&)> run; // true when every call succeeded
};

// Reads what Target needs from the array (before the simulator serves it).
Target describeArray(const hnasgwsim::ArrayState& array);

std::vector<Family> families();

} // namespace soak
