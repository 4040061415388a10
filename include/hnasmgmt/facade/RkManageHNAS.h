#pragma once

/// @file
/// The management facade `RkManageHNAS`: one object per job manages one
/// array through its REST management gateway.

/// @mainpage hnasmgmt API reference
///
/// hnasmgmt lets a host application manage an HNAS network-attached
/// file-storage array through the array's REST management gateway (HTTPS and
/// JSON).
///
/// - RkManageHNAS is the facade the host works with: create one per job, call
///   RkManageHNAS::init with the gateway's address and the array's
///   credentials, then call the operations. Every operation returns true on
///   success and false on failure and fills caller-supplied records.
/// - The records (`__HNASStorageSubSystemInfo`, `__HNASVirtualServers`,
///   `__HNASFileSystemInfo`, `__HNASFileSystemSnapshot`,
///   `__HNASFileSystemShares` with `__HNASFileSystemShareSettings`,
///   `__HNASFileSystemDirectories`, `__HNASCIFSAuthentication`) carry the
///   array's objects; their fields bear the names of the JSON keys.
/// - HNASRestAPI is the REST session below the facade; the message classes
///   derived from HNASJSONBase write request bodies and read responses.
/// - The host's side: every log line goes through DbgTrace to the writer in
///   #g_ptrLogWriter, set with SetLogWriter (StreamLogWriter is a ready-made
///   writer), and every request goes through the HTTP client RKLibCurl,
///   whose TLS settings and time-outs are set with RKLibCurl::setOptions.
///
/// Requests go to "https://HOST:PORT/v4/storage/" followed by the resource
/// path that each operation names, with the credential headers
/// "X-Subsystem-User", "X-Subsystem-Password", "X-Subsystem-Type" and
/// "X-Management-IPs". An identifier fills one path segment: one holding
/// '/' is refused ("Unsafe Resource[...]. The request was not sent."), as is
/// any resource holding '?', '#', '\\', ';', a blank, a control character, a
/// dot segment, or a '%' that starts no escape or an escape of one of those
/// (an encoded name's "%3D" is sent as given). Details of a failure go only
/// to the log, tagged with the job identifier, with the gateway's text
/// escaped; no exception leaves the library.
///
/// @code
/// RkManageHNAS hnas(jobId);
/// hnas.init(user, password, "HNAS", managementIp, gatewayHost, 8444);
/// std::vector<__HNASFileSystemInfo> filesystems;
/// if (hnas.getFileSystemsInfo("", filesystems)) { ... }
/// @endcode

#include <memory>
#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/json/HNASRecords.h"

class HNASRestAPI;

/// An item that the last walk skipped (RkManageHNAS::getSkippedItems()).
struct HNASMGMT_API __HNASSkippedItem {
    std::string objectId; ///< the file system's ID, or the share's object ID
    std::string name;     ///< the file system's label, or the share's name
    /// Why: "no answer from the gateway: <reason>", "HTTP status <N>",
    /// "empty answer", "the answer could not be read", "not sent: <reason>"...
    std::string reason;
    /// Empties every field.
    void clear();
};

/// The management facade: one object per job manages one array through its
/// REST management gateway.
///
/// Every operation checks that init() has run (otherwise it logs
/// "Initialize HNAS params." and returns false without sending anything),
/// checks its inputs, sends its requests and returns true on success and
/// false on failure. Details go only to the host's log, tagged with the job
/// identifier. Out-parameters are written on success and left as they were on
/// failure, unless an operation says that it empties them first.
///
/// An object serves one thread at a time; separate objects share nothing and
/// may be used from separate threads. Each operation blocks until the gateway
/// has answered.
class HNASMGMT_API RkManageHNAS {
public:
    /// Creates a facade that is not yet initialised.
    /// @param jobId the job identifier carried by every log line and message
    ///        of this object.
    explicit RkManageHNAS(const unsigned long long& jobId);
    /// Destroys the session, if any, which closes its HTTP client.
    ~RkManageHNAS();
    /// Not copyable: the object owns its session alone.
    RkManageHNAS(const RkManageHNAS&) = delete;
    /// Not assignable: the object owns its session alone.
    RkManageHNAS& operator=(const RkManageHNAS&) = delete;

    /// Replaces the session with one built from these values. Nothing is
    /// checked here; a missing value shows when a request is sent, which then
    /// fails without touching the network. Logs "Initialized HNAS params.".
    /// @param userName array user name, sent as "X-Subsystem-User".
    /// @param password array password, sent as "X-Subsystem-Password"; never logged.
    /// @param subsystemType subsystem type, sent as "X-Subsystem-Type".
    /// @param managementIP the array's management IP address, sent as "X-Management-IPs".
    /// @param metroServer host name or address of the REST management gateway.
    /// @param metroServerPort TCP port of the gateway (1 or more).
    void init(std::string userName, std::string password, std::string subsystemType,
              std::string managementIP, std::string metroServer, int metroServerPort);

    /// The error code of the last refusal that the host may act upon: 5 after
    /// the virtual server listing was refused with HTTP status 401
    /// (authentication failed); otherwise 0. Never reset.
    long long getLastErrorCode() const;

    /// The items that the last walk skipped, in listing order: the file
    /// systems whose snapshot listing getAllSnapshots() could not read, or
    /// the shares whose permission entries getFilesystemShares() with
    /// permissions could not read. A walk still returns true when it skipped
    /// items (the others are a sound inventory); this says which are missing
    /// and why. Emptied when a walk starts; empty when it skipped none.
    /// @return a copy of the list.
    std::vector<__HNASSkippedItem> getSkippedItems() const;

    /// Sets how many GETs a walk may have on the network at once: the
    /// per-file-system snapshot listings of getAllSnapshots() and the
    /// per-share permission reads of getFilesystemShares() with permissions.
    /// With 1 (the default) a walk sends one request at a time. With more,
    /// the walk sends its GETs ahead, on the calling thread
    /// (HNASRestAPI::sendGetsAhead, RKLibCurlGets), and hands each answer, in
    /// listing order, to the same judging and reading as a request sent on
    /// the spot: records, results and log lines are those of the walk at 1,
    /// only the waiting overlaps. This holds against narrow gateways too:
    /// - the number in flight follows the gateway: it starts at 2, grows with
    ///   each answer up to `count`, and halves when a GET gets no answer (no
    ///   connection, a stalled handshake, a connection closed under it, a
    ///   time-out before the gateway began to answer) or an answer took more
    ///   than half the request time-out;
    /// - a GET that got no answer is sent again; when it fails so twice, the
    ///   walk closes its connections and goes on one request at a time, so an
    ///   item is skipped only when a request sent alone fails too, with the
    ///   lines of the walk at 1;
    /// - each GET's time-out counts from its own send;
    /// - answers held ahead of the one being read stay within one response
    ///   cap (RKLibCurlOptions::maxResponseBytes), at most 64 MiB;
    /// - nothing more is sent under a trust that RKLibCurl::setOptions (or a
    ///   replaced CA file) has since retired;
    /// - the walk's connections close when it ends: afterwards the thread
    ///   holds no more gateway connections than a walk at 1 leaves.
    /// Writes are always sent one at a time. Kept across init().
    /// @param count from 1 to 64.
    /// @return true when set; false for a count outside 1 to 64, which logs a
    ///         line and keeps the previous value.
    bool setParallelRequests(unsigned count);

    /// @name Storage subsystem and virtual servers
    /// @{

    /// Reads the storage subsystem's identity and health: GET "file-devices".
    /// @param[out] info replaced as a whole by the subsystem's record on
    ///             success; untouched on failure.
    /// @return true when the gateway answered with status 200 and a readable
    ///         document; false otherwise.
    bool getFileDevice(__HNASStorageSubSystemInfo& info);
    /// Lists all virtual servers (EVS): GET "virtual-servers".
    /// @param[out] servers emptied first, whatever follows; on success one
    ///             record per virtual server in the gateway's order.
    /// @return true on status 200 with a readable document. False otherwise;
    ///         status 401 also sets getLastErrorCode() to 5.
    bool getVirtualServers(std::vector<__HNASVirtualServers>& servers);
    /// Finds a virtual server by name or by IPv4 address, on the listing of
    /// getVirtualServers(). A dotted IPv4 address is compared with every
    /// server's addresses, any other text with the servers' names; both
    /// comparisons are exact (letter case counts) and the first match wins.
    /// @param nameOrAddress the name or the IPv4 address; must not be empty.
    /// @param[out] server on success receives every field of the found
    ///             server, its `UUID` included; untouched on failure.
    /// @return true when a server matched; false when none did or the
    ///         listing failed.
    bool getVirtualServerInfo(std::string nameOrAddress, __HNASVirtualServers& server);

    /// @}
    /// @name File systems
    /// @{

    /// Lists the file systems, or one of them: GET "filesystems/" followed by
    /// the ID.
    /// @param filesystemId the file system's ID, or empty for all file systems.
    /// @param[out] filesystems on success replaced by the file systems in the
    ///             gateway's order (possibly none); untouched on failure.
    /// @return true on status 200 with a readable document.
    bool getFileSystemsInfo(const std::string& filesystemId,
                            std::vector<__HNASFileSystemInfo>& filesystems);
    /// Finds the ID of the file system that holds a share of a virtual server,
    /// through getFilesystemShares(). Share names are compared without regard
    /// to letter case; the first match wins.
    /// @param virtualServer the virtual server; its `objectId` must not be
    ///        empty and its `name` appears in log lines.
    /// @param shareName the share's name; must not be empty.
    /// @param shareType "CIFS" or "NFS".
    /// @param[out] filesystemId on success the share's `filesystemId`.
    /// @return true when the share was found; false when it was not, an input
    ///         is empty or the listing failed.
    bool getFileSystemID(__HNASVirtualServers virtualServer, const std::string& shareName,
                         const std::string& shareType, std::string& filesystemId);
    /// Finds a file system's ID by its label, through getFileSystemsInfo() for
    /// all file systems. Labels are compared without regard to letter case;
    /// when several match, the last one in the listing wins.
    /// @param filesystemName the label; must not be empty.
    /// @param[out] filesystemId on success the matching file system's ID.
    /// @return true when at least one label matched; false when none did, the
    ///         listing is empty or failed.
    bool getFileSystemID(const std::string& filesystemName, std::string& filesystemId);
    /// Finds the number of the virtual server that serves a file system:
    /// GET "filesystems/{filesystemId}/virtual-servers".
    /// @param filesystemId the file system's ID; must not be empty.
    /// @param[out] virtualServerId on success the virtual server's number.
    /// @return true on status 200 with a readable document.
    bool getEVSIdAssociatedWithFileSystemID(const std::string& filesystemId,
                                            unsigned long long& virtualServerId);

    /// @}
    /// @name Snapshots
    /// @{

    /// Creates a snapshot of a file system: POST "filesystem-snapshots" with
    /// the members "displayName", "filesystemId" and "appSearchId". The texts
    /// are written into the body as they are, so they must be valid JSON
    /// string content (a quote or backslash escaped); other text is refused
    /// before anything is sent.
    /// @param displayName the new snapshot's name; must not be empty.
    /// @param filesystemId the file system's ID; must not be empty.
    /// @param appSearchId a search identifier stored with the snapshot; must
    ///        not be empty.
    /// @param[out] snapshot on success the created snapshot as the gateway
    ///             reports it.
    /// @return true on status 201 with a readable answer. False otherwise,
    ///         also when the gateway created the snapshot but its answer was
    ///         empty or unreadable.
    bool createFileSystemSnapshot(const std::string& displayName, const std::string& filesystemId,
                                  const std::string& appSearchId,
                                  __HNASFileSystemSnapshot& snapshot);
    /// Lists the snapshots of a file system under a name filter:
    /// GET "filesystem-snapshots/{filesystemId}/{nameFilter}". The gateway
    /// applies the filter; the library filters nothing itself.
    /// @param filesystemId the file system's ID; must not be empty.
    /// @param nameFilter the name filter, sent as the last path segment; must
    ///        not be empty.
    /// @param[out] snapshots on success replaced by the listed snapshots in
    ///             the gateway's order.
    /// @return true on status 200 with a readable document.
    bool getFileSystemSnapshots(const std::string& filesystemId, const std::string& nameFilter,
                                std::vector<__HNASFileSystemSnapshot>& snapshots);
    /// Deletes a snapshot named by its file system and display name. The
    /// snapshot is looked up with getFileSystemSnapshots(); the first one
    /// whose display name equals the record's exactly is deleted by its
    /// object ID. A snapshot that is not listed counts as already deleted.
    /// @param snapshot its `filesystemId` and `displayName` name the snapshot
    ///        (its `objectId` is not used); both must not be empty.
    /// @param nameFilter the name filter of the listing; must not be empty.
    /// @return true when the snapshot was deleted or was not there; false
    ///         when the listing or the deletion failed.
    bool deleteFileSystemSnapshot(__HNASFileSystemSnapshot snapshot, const std::string& nameFilter);
    /// Deletes a snapshot by its object ID:
    /// DELETE "filesystem-snapshots/{objectId}".
    /// @param objectId the snapshot's object ID; must not be empty.
    /// @return true when the gateway answered with status 204.
    bool deleteFileSystemSnapshot(const std::string& objectId);
    /// Recovers a file system from one of its snapshots: POST
    /// "filesystem-snapshots/{objectId}/recover" with an empty body. The file
    /// system returns to the content of the snapshot.
    /// @param objectId the snapshot's object ID; must not be empty.
    /// @return true when the gateway answered with status 204.
    bool recoverFileSystemSnapshot(const std::string& objectId);
    /// Lists the snapshots of every file system under the name filter
    /// "RKHNAS": getFileSystemsInfo() for all file systems, then
    /// getFileSystemSnapshots() for each. A file system whose listing fails is
    /// logged and skipped: getSkippedItems() names it, with the reason.
    /// @param[out] snapshots emptied first; on success the snapshots grouped
    ///             by file system in the order of the file system listing.
    /// @return true when the file system listing succeeded and was not empty,
    ///         even if some snapshot listings failed; false otherwise.
    bool getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots);
    /// Tells whether a file system has a snapshot of a given display name, on
    /// the listing of getFileSystemSnapshots(). Names are compared exactly.
    /// @param filesystemId the file system's ID; must not be empty.
    /// @param displayName the snapshot's display name; must not be empty.
    /// @param nameFilter the name filter of the listing; must not be empty.
    /// @return true when the snapshot is listed; false when it is not, when
    ///         the listing is empty or when it failed (the log tells which).
    bool isSnapshotPresent(const std::string& filesystemId, const std::string& displayName,
                           const std::string& nameFilter);

    /// @}
    /// @name Shares
    /// @{

    /// Lists the shares of one protocol on a virtual server:
    /// GET "virtual-servers/{objectId}/{shareType}".
    ///
    /// With an empty vector every listed share is returned. Otherwise the
    /// vector is a filter: a listed share is returned when its name equals,
    /// without regard to letter case, the `name` of one of the entries; each
    /// share is returned once, in the gateway's order, as the gateway lists
    /// it. Only for a filtered CIFS listing with `withPermissions` set are the
    /// permission entries of each returned share read (getCIFSAuthentication())
    /// into its `settings.cifsAuthentications`; a share whose entries cannot
    /// be read is returned without them, and getSkippedItems() names it, with
    /// the reason.
    /// @param virtualServer the virtual server; its `objectId` must not be
    ///        empty and its `name` appears in log lines.
    /// @param shareType "CIFS" or "NFS", exactly.
    /// @param[in,out] shares the filter on entry; the result on success;
    ///                untouched on failure.
    /// @param withPermissions read the permission entries of filtered CIFS shares.
    /// @return true on status 200 with a readable document, also when no
    ///         share matched.
    bool getFilesystemShares(__HNASVirtualServers& virtualServer, const std::string& shareType,
                             std::vector<__HNASFileSystemShares>& shares, bool withPermissions);
    /// Creates a share: POST "filesystem-shares/{shareType}" with the share's
    /// name, virtual server number, file system ID, path and settings (CIFS
    /// and NFS bodies differ in their settings). Texts are written into the
    /// body as they are, so they must be valid JSON string content; other
    /// text is refused before anything is sent.
    ///
    /// For a CIFS share with `withPermissions` set, the new share's default
    /// permission entry (the first one the array lists) is deleted and the
    /// entries in `share.settings.cifsAuthentications` are set; each step
    /// runs even when the one before failed. When the share's permissions end
    /// up other than asked (a step failed), the call returns false with a
    /// line saying what they were left as; the share exists then, and `share`
    /// holds it. An empty list asks for none: the default entry is removed.
    /// @param shareName the new share's name; must not be empty.
    /// @param virtualServerId the virtual server's number as decimal text;
    ///        must not be empty.
    /// @param filesystemId the file system's ID; must not be empty.
    /// @param path the directory inside the file system that the share
    ///        exposes; must not be empty.
    /// @param shareType "CIFS" or "NFS", exactly.
    /// @param[in,out] share on entry its `settings` are the settings (and, for
    ///                CIFS, the permission entries) to apply; once the share is
    ///                created it is replaced by the created share's identity
    ///                with default settings (also when its permissions then
    ///                fail); untouched when the creation fails.
    /// @param withPermissions replace a new CIFS share's permission entries.
    /// @return true when the gateway answered with status 201 and a readable
    ///         answer and, with `withPermissions` for CIFS, the share has the
    ///         permission entries asked for.
    bool createFileSystemShare(const std::string& shareName, const std::string& virtualServerId,
                               const std::string& filesystemId, const std::string& path,
                               const std::string& shareType, __HNASFileSystemShares& share,
                               bool withPermissions);
    /// Deletes a share by its object ID:
    /// DELETE "filesystem-shares/{shareType}/{objectId}".
    /// @param objectId the share's object ID; must not be empty.
    /// @param shareType "CIFS" or "NFS", exactly.
    /// @return true when the gateway answered with status 204.
    bool deleteFileSystemShare(const std::string& objectId, const std::string& shareType);
    /// Deletes a share by its name on a virtual server. The share is looked up
    /// with getFilesystemShares(); the first one whose name equals `shareName`
    /// exactly is deleted by its object ID. A share that is not listed counts
    /// as already deleted.
    /// @param shareName the share's name; must not be empty.
    /// @param virtualServer the virtual server; its `objectId` must not be empty.
    /// @param shareType "CIFS" or "NFS", exactly.
    /// @return true when the share was deleted or was not there; false when
    ///         the listing or the deletion failed.
    bool deleteFileSystemShare(const std::string& shareName, __HNASVirtualServers& virtualServer,
                               const std::string& shareType);
    /// Tells whether a virtual server has a share of this exact name (letter
    /// case counts), on the listing of getFilesystemShares().
    /// @param shareName the share's name; must not be empty.
    /// @param virtualServer the virtual server; its `objectId` must not be empty.
    /// @param shareType "CIFS" or "NFS", exactly.
    /// @return true when the share exists; false when it does not or when the
    ///         listing failed (the log tells which).
    bool isSharePresent(const std::string& shareName, __HNASVirtualServers& virtualServer,
                        const std::string& shareType);

    /// @}
    /// @name Directories
    /// @{

    /// Lists the directories under a path of a file system, walking the path
    /// one level at a time with getFileSystemDirectories().
    ///
    /// The path is split at "/" (empty pieces dropped). The first two
    /// components stand for the file system's root and are not looked up; a
    /// path of exactly two components lists the root. Each further component
    /// is looked up by exact display name in the listing of its parent (the
    /// third as "//" + component, each later one as the previous name + "/" +
    /// component). When a component matches nothing, the listing of the
    /// deepest directory found is returned.
    /// @param filesystemId the file system's ID; must not be empty.
    /// @param path the path, e.g. "/evs/fs/projects/alpha"; at least two
    ///        components.
    /// @param[out] directories on success the directories under the path;
    ///             untouched on failure.
    /// @return true when every listing succeeded; false when the path has
    ///         fewer than two components or a listing failed.
    bool getFileSystemDirectoriesUnderPath(const std::string& filesystemId, const std::string& path,
                                           std::vector<__HNASFileSystemDirectories>& directories);
    /// Lists the directories directly under one directory:
    /// GET "filesystems/{filesystemId}/directories/{directoryId}".
    /// @param filesystemId the file system's ID; must not be empty.
    /// @param directoryId the directory's object ID, or empty for the file
    ///        system's root.
    /// @param[out] directories emptied first; on success the directories in
    ///             the gateway's order.
    /// @return true on status 200 with a readable document.
    bool getFileSystemDirectories(const std::string& filesystemId, const std::string& directoryId,
                                  std::vector<__HNASFileSystemDirectories>& directories);

    /// @}
    /// @name CIFS share permissions
    /// @{

    /// Lists the permission entries of a CIFS share:
    /// GET "filesystem-shares/cifs/{shareObjectId}/authentications". Every
    /// backslash of an entry's name comes back doubled, so that the entry can
    /// be sent back with setCIFSAuthentication() as it stands.
    /// @param shareObjectId the share's object ID; must not be empty.
    /// @param[out] entries on success replaced by the entries in the
    ///             gateway's order; untouched on failure.
    /// @return true on status 200 with a readable document.
    bool getCIFSAuthentication(const std::string& shareObjectId,
                               std::vector<__HNASCIFSAuthentication>& entries);
    /// Adds permission entries to a CIFS share:
    /// POST "filesystem-shares/cifs/{shareObjectId}/authentications" with the
    /// member "cifsAuthentications". Names and texts are written into the body
    /// as they are, so they must be valid JSON string content (a backslash
    /// doubled); other text is refused before anything is sent.
    /// @param shareObjectId the share's object ID; must not be empty.
    /// @param entries the entries to add; must not be empty; not changed.
    /// @return true when the gateway answered with status 201; false when the
    ///         list is empty, an input is invalid or the gateway refused.
    bool setCIFSAuthentication(const std::string& shareObjectId,
                               std::vector<__HNASCIFSAuthentication>& entries);
    /// Removes one permission entry of a CIFS share: DELETE
    /// "filesystem-shares/cifs/{shareObjectId}/authentications/{encodedName}".
    /// @param shareObjectId the share's object ID; must not be empty.
    /// @param encodedName the entry's `encodedName`; must not be empty.
    /// @return true when the gateway answered with status 204.
    bool deleteCIFSAuthentication(const std::string& shareObjectId, const std::string& encodedName);

    /// @}

private:
    std::unique_ptr<HNASRestAPI> restApi;
    unsigned long long jobId;
    bool initialised;
    long long lastErrorCode;
    unsigned parallelRequests;
};
