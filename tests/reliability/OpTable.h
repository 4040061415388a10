#pragma once

// Every facade operation against the simulator's built-in array, with the
// requests it sends in order and what each request's failure does to it.

#include <functional>
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

struct Outcome {
    Outcome(bool ok = false, Out out = Out::None) : ok(ok), out(out) {}
    bool ok;
    Out out;
    std::string records; // what a walk returned, record by record
};
inline Outcome kept(bool ok, bool unchanged) {
    return {ok, unchanged ? Out::Unchanged : Out::Changed};
}
inline Outcome emptied(bool ok, bool empty) {
    return {ok, empty ? Out::Empty : Out::Changed};
}
// Calls `call` on a record (or a one-record list) whose `field` says
// "sentinel": Unchanged while it still does.
template <class T, class Call> Outcome keeps(std::string T::*field, Call call) {
    T record;
    record.*field = "sentinel";
    const bool ok = call(record);
    return kept(ok, record.*field == "sentinel");
}
template <class T, class Call> Outcome keepsList(std::string T::*field, Call call) {
    std::vector<T> list(1);
    list[0].*field = "sentinel";
    const bool ok = call(list);
    return kept(ok, list.size() == 1 && list[0].*field == "sentinel");
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
    bool walk = false; // sends its GETs ahead with more than one request in flight
};

inline std::vector<OpCase> operationTable(const ArrayIds& ids) {
    const auto prod = virtualServer(ids.evsProdObject, "evs-prod");
    const auto backup = virtualServer(ids.evsBackupObject, "evs-backup");
    const std::string shareListFail = "Unable to get file system shares for virtual server [";
    std::vector<OpCase> t;
    auto add = [&t](std::string family, std::string name, Out okOut, std::vector<Step> steps,
                    std::function<Outcome(RkManageHNAS&)> run) {
        t.push_back(
            {std::move(family), std::move(name), std::move(run), std::move(steps), okOut, false});
    };

    // --- device and virtual servers ---
    add("device", "getFileDevice", Out::Changed,
        {{"GET", 200, true, "Unable to get the storage subsystem information. Response ["}},
        [](RkManageHNAS& h) {
            return keeps(&__HNASStorageSubSystemInfo::name,
                         [&](auto& r) { return h.getFileDevice(r); });
        });
    add("virtual_servers", "getVirtualServers", Out::Changed,
        {{"GET", 200, true, "Unable to get virtual server list. Response [", false, false,
          Out::Empty, true}},
        [](RkManageHNAS& h) {
            std::vector<__HNASVirtualServers> list(1);
            const bool ok = h.getVirtualServers(list);
            return emptied(ok, list.empty());
        });
    add("virtual_servers", "getVirtualServerInfo", Out::Changed,
        {{"GET", 200, true, "Unable to get the list of all virtual servers", false, true,
          Out::Unchanged, true}},
        [](RkManageHNAS& h) {
            return keeps(&__HNASVirtualServers::name,
                         [&](auto& r) { return h.getVirtualServerInfo("192.0.2.31", r); });
        });

    // --- file systems ---
    add("file_systems", "getFileSystemsInfo", Out::Changed,
        {{"GET", 200, true, "Unable to get file systems list."}}, [](RkManageHNAS& h) {
            return keepsList(&__HNASFileSystemInfo::label,
                             [&](auto& l) { return h.getFileSystemsInfo("", l); });
        });
    add("file_systems", "getFileSystemID(label)", Out::Changed,
        {{"GET", 200, true, "Unable to get the File Systems list.", false, true}},
        [](RkManageHNAS& h) {
            std::string id = "sentinel";
            const bool ok = h.getFileSystemID("FS-Archive", id);
            return kept(ok, id == "sentinel");
        });
    add("file_systems", "getFileSystemID(share)", Out::Changed, {{"GET", 200, true, shareListFail}},
        [prod](RkManageHNAS& h) {
            std::string id = "sentinel";
            const bool ok = h.getFileSystemID(prod, "FINANCE", "CIFS", id);
            return kept(ok, id == "sentinel");
        });
    add("file_systems", "getEVSIdAssociatedWithFileSystemID", Out::Changed,
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
            return keeps(&__HNASFileSystemSnapshot::displayName, [&](auto& r) {
                return h.createFileSystemSnapshot("RKHNAS_new", ids.fsFinance, "job-1", r);
            });
        });
    add("snapshots", "getFileSystemSnapshots", Out::Changed,
        {{"GET", 200, true, "Unable to get file systems snapshots."}}, [ids](RkManageHNAS& h) {
            return keepsList(&__HNASFileSystemSnapshot::displayName, [&](auto& l) {
                return h.getFileSystemSnapshots(ids.fsFinance, "RKHNAS", l);
            });
        });
    add("snapshots", "getAllSnapshots", Out::Changed,
        {{"GET", 200, true, "Unable to get the File Systems list.", false, true, Out::Empty}},
        [](RkManageHNAS& h) {
            std::vector<__HNASFileSystemSnapshot> list(1);
            const bool ok = h.getAllSnapshots(list);
            Outcome o = emptied(ok, list.empty());
            for (const auto& s : list)
                o.records += s.filesystemId + "/" + s.objectId + "/" + s.displayName + ";";
            return o;
        });
    t.back().walk = true;
    for (const char* label : {"fs-finance", "fs-engineering", "fs-archive", "fs-scratch"})
        t.back().steps.push_back(
            {"GET", 200, true,
             std::string("Unable to get File System Snapshots for File System[") + label + "]",
             true, true});
    add("snapshots", "isSnapshotPresent", Out::None,
        {{"GET", 200, true, "Unable to get the File System snapshots list.", false, true}},
        [ids](RkManageHNAS& h) {
            return h.isSnapshotPresent(ids.fsFinance, "RKHNAS_daily_2", "RKHNAS");
        });
    add("snapshots", "deleteFileSystemSnapshot(record)", Out::None,
        {{"GET", 200, true, "Unable to get the snapshots list.", false, true},
         {"DELETE", 204, false, "Unable to delete the Snapshot[RKHNAS_daily_1]."}},
        [ids](RkManageHNAS& h) {
            __HNASFileSystemSnapshot snap;
            snap.filesystemId = ids.fsFinance;
            snap.displayName = "RKHNAS_daily_1";
            return h.deleteFileSystemSnapshot(snap, "RKHNAS");
        });
    add("snapshots", "deleteFileSystemSnapshot(objectId)", Out::None,
        {{"DELETE", 204, false,
          "Unable to delete Snapshot with ObjectID [" + ids.snapDaily2 + "]"}},
        [ids](RkManageHNAS& h) { return h.deleteFileSystemSnapshot(ids.snapDaily2); });
    add("snapshots", "recoverFileSystemSnapshot", Out::None,
        {{"POST", 204, false, "Unable to recover Snapshot with ObjectID [" + ids.snapDaily1 + "]"}},
        [ids](RkManageHNAS& h) { return h.recoverFileSystemSnapshot(ids.snapDaily1); });

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
            Outcome o = kept(ok, same);
            for (const auto& s : list) {
                o.records += s.name + "/" + s.objectId + ":";
                for (const auto& a : s.settings.cifsAuthentications)
                    o.records += a.name + "=" + std::to_string(a.permission) + ",";
            }
            return o;
        });
    t.back().walk = true;
    add("shares", "isSharePresent", Out::None,
        {{"GET", 200, true, "Unable to get the shares list.", false, true}},
        [prod](RkManageHNAS& h) {
            __HNASVirtualServers evs = prod;
            return h.isSharePresent("home", evs, "NFS");
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
            share.settings.cifsAuthentications.push_back(
                hnastest::cifsEntry("CORP\\\\backup-operators", "", 3, "GROUP"));
            const bool ok = h.createFileSystemShare("newshare", "1", ids.fsFinance, "/finance",
                                                    "CIFS", share, true);
            return kept(ok, share.name == "sentinel");
        });
    add("shares", "deleteFileSystemShare(objectId)", Out::None,
        {{"DELETE", 204, false,
          "Unable to delete Share [Type]:[NFS] with Object Id[" + ids.nfsHomeShare + "]"}},
        [ids](RkManageHNAS& h) { return h.deleteFileSystemShare(ids.nfsHomeShare, "NFS"); });
    add("shares", "deleteFileSystemShare(name)", Out::None,
        {{"GET", 200, true, "Unable to get the shares list.", false, true},
         {"DELETE", 204, false, "Failed to delete share [scratch]"}},
        [backup](RkManageHNAS& h) {
            __HNASVirtualServers evs = backup;
            return h.deleteFileSystemShare("scratch", evs, "NFS");
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
            return keepsList(&__HNASFileSystemDirectories::objectId, [&](auto& l) {
                return h.getFileSystemDirectoriesUnderPath(ids.fsFinance, "/x/y/finance", l);
            });
        });

    // --- CIFS share permissions ---
    add("permissions", "getCIFSAuthentication", Out::Changed,
        {{"GET", 200, true, "Unable to get CIFS Authentication."}}, [ids](RkManageHNAS& h) {
            return keepsList(&__HNASCIFSAuthentication::name, [&](auto& l) {
                return h.getCIFSAuthentication(ids.cifsFinanceShare, l);
            });
        });
    add("permissions", "setCIFSAuthentication", Out::None,
        {{"POST", 201, false,
          "Unable to set CIFS Authentication for CIFS Share Object ID[" + ids.cifsFinanceShare +
              "]"}},
        [ids](RkManageHNAS& h) {
            std::vector<__HNASCIFSAuthentication> list = {
                hnastest::cifsEntry("CORP\\\\auditors", "", 1, "GROUP")};
            return h.setCIFSAuthentication(ids.cifsFinanceShare, list);
        });
    add("permissions", "deleteCIFSAuthentication", Out::None,
        {{"DELETE", 204, false, "Unable to delete permission."}}, [ids](RkManageHNAS& h) {
            return h.deleteCIFSAuthentication(ids.cifsFinanceShare, ids.financeAdminsEncoded);
        });
    return t;
}

} // namespace reltest
