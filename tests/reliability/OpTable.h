#pragma once

// Every facade operation against the simulator's built-in array, with the
// requests it sends in order and what each request's failure does to it.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "hnasmgmt/facade/RkManageHNAS.h"
#include "reliability/SimHarness.h"

namespace reltest {

// What an operation left in its out-parameter.
enum class Out {
    None,      // the operation has no out-parameter
    Unchanged, // the caller's value is still there
    Empty,     // emptied
    Changed,   // filled with the array's records
};

inline std::ostream& operator<<(std::ostream& out, Out o) {
    static const char* const names[] = {"none", "unchanged", "empty", "changed"};
    return out << names[static_cast<int>(o)];
}

struct Outcome {
    bool ok = false;
    Out out = Out::None;
};
inline Outcome kept(bool ok, bool unchanged) {
    return {ok, unchanged ? Out::Unchanged : Out::Changed};
}
inline Outcome emptied(bool ok, bool empty) {
    return {ok, empty ? Out::Empty : Out::Changed};
}

// One request of an operation.
struct Step {
    std::string method;
    int okStatus = 200;     // the status that counts as success
    bool reads = true;      // the operation reads the answer's body
    std::string failLine;   // the operation's line when this request fails
    bool tolerated = false; // a failure here is logged and skipped; the operation succeeds
    bool wraps = false;     // failLine also follows an answer that cannot be read
    Out failOut = Out::Unchanged;
    bool virtualServerListing = false; // a 401 here sets the facade's last error code to 5
};

struct OpCase {
    std::string family;
    std::string name;
    std::function<Outcome(RkManageHNAS&)> run;
    std::vector<Step> steps; // requests in the order sent
    Out okOut = Out::None;
};

inline std::vector<OpCase> operationTable(const ArrayIds& ids) {
    const auto prod = virtualServer(ids.evsProdObject, "evs-prod");
    const auto backup = virtualServer(ids.evsBackupObject, "evs-backup");
    const std::string shareListFail = "Unable to get file system shares for virtual server [";
    std::vector<OpCase> t;
    auto add = [&t](std::string family, std::string name, Out okOut, std::vector<Step> steps,
                    std::function<Outcome(RkManageHNAS&)> run) {
        t.push_back({std::move(family), std::move(name), std::move(run), std::move(steps), okOut});
    };

    // --- device and virtual servers ---
    add("device", "getFileDevice", Out::Changed,
        {{"GET", 200, true, "Unable to get the storage subsystem information. Response ["}},
        [](RkManageHNAS& h) {
            __HNASStorageSubSystemInfo info;
            info.name = "sentinel";
            const bool ok = h.getFileDevice(info);
            return kept(ok, info.name == "sentinel");
        });
    add("virtual servers", "getVirtualServers", Out::Changed,
        {{"GET", 200, true, "Unable to get virtual server list. Response [", false, false,
          Out::Empty, true}},
        [](RkManageHNAS& h) {
            std::vector<__HNASVirtualServers> list(1);
            const bool ok = h.getVirtualServers(list);
            return emptied(ok, list.empty());
        });
    add("virtual servers", "getVirtualServerInfo", Out::Changed,
        {{"GET", 200, true, "Unable to get the list of all virtual servers", false, true,
          Out::Unchanged, true}},
        [](RkManageHNAS& h) {
            __HNASVirtualServers evs;
            evs.name = "sentinel";
            const bool ok = h.getVirtualServerInfo("192.0.2.31", evs);
            return kept(ok, evs.name == "sentinel");
        });

    // --- file systems ---
    add("file systems", "getFileSystemsInfo", Out::Changed,
        {{"GET", 200, true, "Unable to get file systems list."}}, [](RkManageHNAS& h) {
            std::vector<__HNASFileSystemInfo> list(1);
            list[0].label = "sentinel";
            const bool ok = h.getFileSystemsInfo("", list);
            return kept(ok, list.size() == 1 && list[0].label == "sentinel");
        });
    add("file systems", "getFileSystemID(label)", Out::Changed,
        {{"GET", 200, true, "Unable to get the File Systems list.", false, true}},
        [](RkManageHNAS& h) {
            std::string id = "sentinel";
            const bool ok = h.getFileSystemID("FS-Archive", id);
            return kept(ok, id == "sentinel");
        });
    add("file systems", "getFileSystemID(share)", Out::Changed, {{"GET", 200, true, shareListFail}},
        [prod](RkManageHNAS& h) {
            std::string id = "sentinel";
            const bool ok = h.getFileSystemID(prod, "FINANCE", "CIFS", id);
            return kept(ok, id == "sentinel");
        });
    add("file systems", "getEVSIdAssociatedWithFileSystemID", Out::Changed,
        {{"GET", 200, true,
          "Unable to get the virtual server info associated with File System[" + ids.fsArchive +
              "]"}},
        [ids](RkManageHNAS& h) {
            unsigned long long evs = 77;
            const bool ok = h.getEVSIdAssociatedWithFileSystemID(ids.fsArchive, evs);
            return kept(ok, evs == 77);
        });

    // --- snapshots ---
    add("snapshots", "createFileSystemSnapshot", Out::Changed,
        {{"POST", 201, true,
          "Unable to create Snapshot[RKHNAS_new] for File System ID[" + ids.fsFinance + "]"}},
        [ids](RkManageHNAS& h) {
            __HNASFileSystemSnapshot snap;
            snap.displayName = "sentinel";
            const bool ok = h.createFileSystemSnapshot("RKHNAS_new", ids.fsFinance, "job-1", snap);
            return kept(ok, snap.displayName == "sentinel");
        });
    add("snapshots", "getFileSystemSnapshots", Out::Changed,
        {{"GET", 200, true, "Unable to get file systems snapshots."}}, [ids](RkManageHNAS& h) {
            std::vector<__HNASFileSystemSnapshot> list(1);
            list[0].displayName = "sentinel";
            const bool ok = h.getFileSystemSnapshots(ids.fsFinance, "RKHNAS", list);
            return kept(ok, list.size() == 1 && list[0].displayName == "sentinel");
        });
    {
        OpCase all{
            "snapshots",
            "getAllSnapshots",
            [](RkManageHNAS& h) {
                std::vector<__HNASFileSystemSnapshot> list(1);
                const bool ok = h.getAllSnapshots(list);
                return emptied(ok, list.empty());
            },
            {{"GET", 200, true, "Unable to get the File Systems list.", false, true, Out::Empty}},
            Out::Changed};
        for (const char* label : {"fs-finance", "fs-engineering", "fs-archive", "fs-scratch"})
            all.steps.push_back(
                {"GET", 200, true,
                 std::string("Unable to get File System Snapshots for File System[") + label + "]",
                 true, true});
        t.push_back(all);
    }
    add("snapshots", "isSnapshotPresent", Out::None,
        {{"GET", 200, true, "Unable to get the File System snapshots list.", false, true}},
        [ids](RkManageHNAS& h) {
            return Outcome{h.isSnapshotPresent(ids.fsFinance, "RKHNAS_daily_2", "RKHNAS"),
                           Out::None};
        });
    add("snapshots", "deleteFileSystemSnapshot(record)", Out::None,
        {{"GET", 200, true, "Unable to get the snapshots list.", false, true},
         {"DELETE", 204, false, "Unable to delete the Snapshot[RKHNAS_daily_1]."}},
        [ids](RkManageHNAS& h) {
            __HNASFileSystemSnapshot snap;
            snap.filesystemId = ids.fsFinance;
            snap.displayName = "RKHNAS_daily_1";
            return Outcome{h.deleteFileSystemSnapshot(snap, "RKHNAS"), Out::None};
        });
    add("snapshots", "deleteFileSystemSnapshot(objectId)", Out::None,
        {{"DELETE", 204, false,
          "Unable to delete Snapshot with ObjectID [" + ids.snapDaily2 + "]"}},
        [ids](RkManageHNAS& h) {
            return Outcome{h.deleteFileSystemSnapshot(ids.snapDaily2), Out::None};
        });
    add("snapshots", "recoverFileSystemSnapshot", Out::None,
        {{"POST", 204, false, "Unable to recover Snapshot with ObjectID [" + ids.snapDaily1 + "]"}},
        [ids](RkManageHNAS& h) {
            return Outcome{h.recoverFileSystemSnapshot(ids.snapDaily1), Out::None};
        });

    // --- shares ---
    add("shares", "getFilesystemShares(permissions)", Out::Changed,
        {{"GET", 200, true, shareListFail},
         {"GET", 200, true, "Unable to get CIFS Authentication Information.", true, true},
         {"GET", 200, true, "Unable to get CIFS Authentication Information.", true, true}},
        [prod](RkManageHNAS& h) {
            __HNASVirtualServers evs = prod;
            std::vector<__HNASFileSystemShares> list(2);
            list[0].name = "finance";
            list[1].name = "Projects";
            const bool ok = h.getFilesystemShares(evs, "CIFS", list, true);
            const bool same =
                list.size() == 2 && list[0].objectId.empty() && list[1].name == "Projects";
            return kept(ok, same);
        });
    add("shares", "isSharePresent", Out::None,
        {{"GET", 200, true, "Unable to get the shares list.", false, true}},
        [prod](RkManageHNAS& h) {
            __HNASVirtualServers evs = prod;
            return Outcome{h.isSharePresent("home", evs, "NFS"), Out::None};
        });
    add("shares", "createFileSystemShare(CIFS, permissions)", Out::Changed,
        {{"POST", 201, true, "Unable to create Share[newshare] for File System Path[/finance]"},
         {"GET", 200, true, "Unable to get CIFS Authentication Permission for share [newshare].",
          false, true, Out::Changed},
         {"DELETE", 204, false,
          "Unable to delete the default[Everyone] CIFS Authentication Permission for "
          "share[newshare].",
          false, false, Out::Changed},
         {"POST", 201, false, "Unable to set CIFS Authentication Permissions.", false, false,
          Out::Changed}},
        [ids](RkManageHNAS& h) {
            __HNASFileSystemShares share;
            share.name = "sentinel";
            __HNASCIFSAuthentication entry;
            entry.name = "CORP\\\\backup-operators";
            entry.permission = 3;
            entry.type = "GROUP";
            share.settings.cifsAuthentications.push_back(entry);
            const bool ok = h.createFileSystemShare("newshare", "1", ids.fsFinance, "/finance",
                                                    "CIFS", share, true);
            return kept(ok, share.name == "sentinel");
        });
    add("shares", "deleteFileSystemShare(objectId)", Out::None,
        {{"DELETE", 204, false,
          "Unable to delete Share [Type]:[NFS] with Object Id[" + ids.nfsHomeShare + "]"}},
        [ids](RkManageHNAS& h) {
            return Outcome{h.deleteFileSystemShare(ids.nfsHomeShare, "NFS"), Out::None};
        });
    add("shares", "deleteFileSystemShare(name)", Out::None,
        {{"GET", 200, true, "Unable to get the shares list.", false, true},
         {"DELETE", 204, false, "Failed to delete share [scratch]"}},
        [backup](RkManageHNAS& h) {
            __HNASVirtualServers evs = backup;
            return Outcome{h.deleteFileSystemShare("scratch", evs, "NFS"), Out::None};
        });

    // --- directories ---
    add("directories", "getFileSystemDirectories", Out::Changed,
        {{"GET", 200, true, "Unable to get directories list under directory ID[]", false, false,
          Out::Empty}},
        [ids](RkManageHNAS& h) {
            std::vector<__HNASFileSystemDirectories> list(1);
            const bool ok = h.getFileSystemDirectories(ids.fsEngineering, "", list);
            return emptied(ok, list.empty());
        });
    add("directories", "getFileSystemDirectoriesUnderPath", Out::Changed,
        {{"GET", 200, true, "Unable to get the dirs list under the root of the FS", false, true},
         {"GET", 200, true, "Unable to get the dirs list under [//finance]", false, true}},
        [ids](RkManageHNAS& h) {
            std::vector<__HNASFileSystemDirectories> list(1);
            list[0].objectId = "sentinel";
            const bool ok =
                h.getFileSystemDirectoriesUnderPath(ids.fsFinance, "/x/y/finance", list);
            return kept(ok, list.size() == 1 && list[0].objectId == "sentinel");
        });

    // --- CIFS share permissions ---
    add("permissions", "getCIFSAuthentication", Out::Changed,
        {{"GET", 200, true, "Unable to get CIFS Authentication."}}, [ids](RkManageHNAS& h) {
            std::vector<__HNASCIFSAuthentication> list(1);
            list[0].name = "sentinel";
            const bool ok = h.getCIFSAuthentication(ids.cifsFinanceShare, list);
            return kept(ok, list.size() == 1 && list[0].name == "sentinel");
        });
    add("permissions", "setCIFSAuthentication", Out::None,
        {{"POST", 201, false,
          "Unable to set CIFS Authentication for CIFS Share Object ID[" + ids.cifsFinanceShare +
              "]"}},
        [ids](RkManageHNAS& h) {
            std::vector<__HNASCIFSAuthentication> list(1);
            list[0].name = "CORP\\\\auditors";
            list[0].permission = 1;
            list[0].type = "GROUP";
            return Outcome{h.setCIFSAuthentication(ids.cifsFinanceShare, list), Out::None};
        });
    add("permissions", "deleteCIFSAuthentication", Out::None,
        {{"DELETE", 204, false, "Unable to delete permission."}}, [ids](RkManageHNAS& h) {
            return Outcome{
                h.deleteCIFSAuthentication(ids.cifsFinanceShare, ids.financeAdminsEncoded),
                Out::None};
        });
    return t;
}

} // namespace reltest
