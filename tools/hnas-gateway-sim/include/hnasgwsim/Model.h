#pragma once

// The in-memory array behind the gateway simulator: the storage subsystem,
// its virtual servers with their shares, and its file systems with their
// snapshots and directories. Plain data; the simulator guards it with a mutex
// (Simulator::model()).

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "hnasgwsim/Api.h"

namespace hnasgwsim {

struct Subsystem {
    std::string name = "hnas-sim-cluster";
    std::string clusterUUID = "6c1a7f2e-0b1d-4e43-9a7e-5d2c3b4a1f00";
    std::string firmwareVersion = "13.9.6628.03";
    bool isCluster = true;
    std::string model = "HNAS-SIM-4100";
    int nodeCount = 2;
    std::string storageHealth = "ROBUST";
    std::string vendor = "Simulated Storage";
    std::vector<std::string> licenses = {"CIFS", "NFS", "SNAPSHOT", "CLUSTER"};
};

struct CifsPermission {
    std::string name;        // as the array stores it, e.g. "DOMAIN\user" (one backslash)
    std::string encodedName; // path-safe form used to address the entry
    int permission = 0;
    std::string type;
};

struct Share {
    std::string protocol; // "CIFS" or "NFS"
    std::string objectId;
    std::string shareId;
    std::string name;
    std::uint64_t virtualServerId = 0;
    std::string filesystemId;
    std::string path;
    // The settings object as members in order: key and raw JSON value text.
    std::vector<std::pair<std::string, std::string>> settings;
    std::vector<CifsPermission> cifsAuthentications; // CIFS only
};

struct VirtualServer {
    std::string UUID;
    bool isEnabled = true;
    std::string name;
    std::string objectId;
    std::string status = "ONLINE";
    std::string type = "FILE_SERVICES";
    std::uint64_t virtualServerId = 0;
    std::vector<std::string> ipAddresses;
    std::vector<Share> shares;
};

struct Snapshot {
    std::string objectId;
    std::string displayName;
    std::string filesystemId;
    std::string state = "ACTIVE";
    std::string creationReason = "USER_REQUEST";
    std::uint64_t creationTime = 0; // seconds since the epoch
    std::string appSearchId;
};

struct Directory {
    std::string objectId;
    std::string path; // from the file system's root, e.g. "/a/b"
};

struct FileSystem {
    std::string objectId;
    std::string label;
    std::string filesystemId;
    std::string status = "MOUNTED";
    std::uint64_t capacity = 0;
    std::uint64_t usedCapacity = 0;
    std::uint64_t freeCapacity = 0;
    bool isReadOnly = false;
    std::uint64_t virtualServerId = 0; // the virtual server that serves it
    std::vector<Snapshot> snapshots;
    std::vector<Directory> directories;
};

struct HNASGWSIM_API ArrayState {
    Subsystem subsystem;
    std::vector<VirtualServer> virtualServers;
    std::vector<FileSystem> fileSystems;
    std::uint64_t nextId = 1;     // source of generated object IDs
    std::uint64_t recoveries = 0; // snapshot recoveries carried out

    VirtualServer* findVirtualServerByObjectId(const std::string& objectId);
    VirtualServer* findVirtualServerById(std::uint64_t virtualServerId);
    FileSystem* findFileSystem(const std::string& filesystemId); // by filesystemId or objectId
    // Finds a share of the given protocol ("CIFS"/"NFS", any case) by object ID.
    Share* findShare(const std::string& protocol, const std::string& objectId);
    // Finds a snapshot by object ID; `owner` receives its file system.
    Snapshot* findSnapshot(const std::string& objectId, FileSystem** owner = nullptr);

    // A fresh object ID, unique within this array: 32 hex digits.
    std::string newObjectId(char kind);
    // Adds a directory and any missing parents; returns the directory. The
    // new directory gets `objectId` when it is given, else a fresh one.
    Directory& addDirectory(FileSystem& fs, const std::string& path,
                            const std::string& objectId = std::string());
    // Sets the default settings and, for CIFS, the default permission entry.
    void initialiseShare(Share& share);

private:
    // findFileSystem's tables, positions in fileSystems by filesystemId and
    // by objectId: a walk over every file system stays linear. fileSystems
    // is open to change, so an entry is checked before it is trusted, and
    // the tables are built again when one is stale or the size changed.
    std::unordered_map<std::string, std::size_t> fileSystemById_;
    std::unordered_map<std::string, std::size_t> fileSystemByObjectId_;
    std::size_t indexedFileSystems_ = 0;
    FileSystem* lookUpFileSystem(const std::string& id);
    void indexFileSystems();
};

// The path-safe encoded form of a CIFS user or group name.
HNASGWSIM_API std::string encodeCifsName(const std::string& name);

// The built-in array: two virtual servers, four file systems, a few shares,
// directories and snapshots.
HNASGWSIM_API ArrayState defaultArray();

struct GenerateOptions {
    int virtualServers = 4;
    int fileSystems = 1000;
    int shares = 20000;
    int snapshotsPerFileSystem = 50;
    int directoriesPerFileSystem = 3;
};
// A large array for benchmarks, built deterministically.
HNASGWSIM_API ArrayState generateArray(const GenerateOptions& options);

// Reads an array from the JSON state document (see writeStateJson); throws
// std::runtime_error with a reason when the document cannot be used.
HNASGWSIM_API ArrayState loadStateJson(const std::string& json);
HNASGWSIM_API ArrayState loadStateFile(const std::string& path);
// Writes the array as a JSON state document that loadStateJson reads back.
HNASGWSIM_API std::string writeStateJson(const ArrayState& state);

} // namespace hnasgwsim
