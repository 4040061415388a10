#pragma once

// The operations the library sends to the gateway, one row each: the
// resource type code that HNASRestAPI::sendReq is given, the verb, the status
// that counts as success, the resource path with its identifiers as
// "{placeholders}" (each filled with one path segment), and the function that
// logs it. The session judges statuses from it, the facade builds its
// requests from it, and the tests enumerate the operations from it.
//
// A new operation is an enumerator and a row: a row left out, or rows out of
// the enumerators' order, does not compile; neither does a request that fills
// another number of placeholders than its path has (facade/OperationSteps.h).

#include <cstddef>

#include "hnasmgmt/host/RKLibCurl.h"

namespace hnasmgmt {

// The resource type codes, from 1 on in the order of the rows.
enum class Op : int {
    FileDevices = 1,
    VirtualServers,
    ListShares,
    CreateSnapshot,
    CreateCIFSShare,
    CreateNFSShare,
    DeleteCIFSShare,
    DeleteNFSShare,
    ListFileSystems,
    ListSnapshots,
    DeleteSnapshot,
    RecoverSnapshot,
    ListDirectories,
    FileSystemVirtualServer,
    GetCIFSAuth,
    SetCIFSAuth,
    DeleteCIFSAuth,
    End // one past the last code
};

// The session's request type codes.
enum class Verb : int {
    Get = HTTP_REQ_TYPE_GET,
    Post = HTTP_REQ_TYPE_POST,
    Put = HTTP_REQ_TYPE_PUT,
    Delete = HTTP_REQ_TYPE_DELETE,
};

struct Operation {
    Op op;
    Verb verb;
    long status;
    const char* path;
    const char* function;
};

// clang-format off
inline constexpr Operation kOperations[] = {
    {Op::FileDevices, Verb::Get, 200, "file-devices", "RkManageHNAS::getFileDevice"},
    {Op::VirtualServers, Verb::Get, 200, "virtual-servers", "RkManageHNAS::getVirtualServers"},
    {Op::ListShares, Verb::Get, 200, "virtual-servers/{virtualServer}/{shareType}",
     "RkManageHNAS::getFilesystemShares"},
    {Op::CreateSnapshot, Verb::Post, 201, "filesystem-snapshots",
     "RkManageHNAS::createFileSystemSnapshot"},
    {Op::CreateCIFSShare, Verb::Post, 201, "filesystem-shares/CIFS",
     "RkManageHNAS::createFileSystemShare"},
    {Op::CreateNFSShare, Verb::Post, 201, "filesystem-shares/NFS",
     "RkManageHNAS::createFileSystemShare"},
    {Op::DeleteCIFSShare, Verb::Delete, 204, "filesystem-shares/CIFS/{share}",
     "RkManageHNAS::deleteFileSystemShare"},
    {Op::DeleteNFSShare, Verb::Delete, 204, "filesystem-shares/NFS/{share}",
     "RkManageHNAS::deleteFileSystemShare"},
    {Op::ListFileSystems, Verb::Get, 200, "filesystems/{filesystem}",
     "RkManageHNAS::getFileSystemsInfo"},
    {Op::ListSnapshots, Verb::Get, 200, "filesystem-snapshots/{filesystem}/{nameFilter}",
     "RkManageHNAS::getFileSystemSnapshots"},
    {Op::DeleteSnapshot, Verb::Delete, 204, "filesystem-snapshots/{snapshot}",
     "RkManageHNAS::deleteFileSystemSnapshot"},
    {Op::RecoverSnapshot, Verb::Post, 204, "filesystem-snapshots/{snapshot}/recover",
     "RkManageHNAS::recoverFileSystemSnapshot"},
    {Op::ListDirectories, Verb::Get, 200, "filesystems/{filesystem}/directories/{directory}",
     "RkManageHNAS::getFileSystemDirectories"},
    {Op::FileSystemVirtualServer, Verb::Get, 200, "filesystems/{filesystem}/virtual-servers",
     "RkManageHNAS::getEVSIdAssociatedWithFileSystemID"},
    {Op::GetCIFSAuth, Verb::Get, 200, "filesystem-shares/cifs/{share}/authentications",
     "getCIFSAuthentication"},
    {Op::SetCIFSAuth, Verb::Post, 201, "filesystem-shares/cifs/{share}/authentications",
     "setCIFSAuthentication"},
    {Op::DeleteCIFSAuth, Verb::Delete, 204,
     "filesystem-shares/cifs/{share}/authentications/{encodedName}", "deleteCIFSAuthentication"},
};
// clang-format on

inline constexpr int kOperationCount = static_cast<int>(Op::End) - 1;

// The number of "{...}" placeholders of a path; -1 when a brace is unmatched,
// nested or empty, or the path is empty or starts with '/'.
constexpr int placeholderCount(const char* path) {
    if (path[0] == '\0' || path[0] == '/')
        return -1;
    int count = 0;
    bool open = false;
    for (std::size_t i = 0; path[i] != '\0'; ++i) {
        if (path[i] == '{') {
            if (open || path[i + 1] == '}')
                return -1;
            open = true;
            ++count;
        } else if (path[i] == '}') {
            if (!open)
                return -1;
            open = false;
        }
    }
    return open ? -1 : count;
}

// Row i is code i + 1, with a status of success, a well-formed path and a
// function.
constexpr bool rowsWellFormed() {
    for (int i = 0; i < kOperationCount; ++i) {
        const Operation& row = kOperations[i];
        const bool status = row.status == 200 || row.status == 201 || row.status == 204;
        if (static_cast<int>(row.op) != i + 1 || !status || placeholderCount(row.path) < 0 ||
            row.function == nullptr || row.function[0] == '\0')
            return false;
    }
    return true;
}

static_assert(sizeof(kOperations) / sizeof(kOperations[0]) == kOperationCount,
              "one row per operation code");
static_assert(rowsWellFormed(), "rows in code order, each with a status, a path and a function");

constexpr const Operation& operation(Op op) {
    return kOperations[static_cast<int>(op) - 1];
}

// The row of a resource type code; null for an unknown code.
constexpr const Operation* findOperation(int code) {
    return code >= 1 && code <= kOperationCount ? &kOperations[code - 1] : nullptr;
}

// The status that counts as success for a resource type code; 0 for an
// unknown code.
constexpr long expectedStatus(int code) {
    const Operation* row = findOperation(code);
    return row != nullptr ? row->status : 0;
}

} // namespace hnasmgmt
