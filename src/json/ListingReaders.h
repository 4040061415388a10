#pragma once

// The one reader of every listing, behind both the listing messages'
// parseResponse and the facade (which reads a listing once and moves its
// records on instead of copying them out of a message).
//
// readListing appends the listing's records to `records`, in document order,
// writing the log lines of the message's parseResponse under its function
// name; on failure `records` is left as it was. It never throws. Record
// types: __HNASFileSystemInfo ("filesystems" array, or else one
// "filesystem" object), __HNASFileSystemSnapshot ("snapshots"),
// __HNASFileSystemShares ("filesystemShares"), __HNASFileSystemDirectories
// ("directories"), __HNASCIFSAuthentication ("cifsAuthentications") and
// __HNASVirtualServers ("virtualServers", required). Without its array a
// listing has no records.

#include <string>
#include <vector>

#include "hnasmgmt/json/HNASRecords.h"

namespace hnasjson {

template <typename Record>
bool readListing(unsigned long long jobId, std::string& response,
                 std::vector<Record>& records) noexcept;

// The facade's names for it.
inline bool readFileSystemsListing(unsigned long long jobId, std::string& response,
                                   std::vector<__HNASFileSystemInfo>& records) noexcept {
    return readListing(jobId, response, records);
}
inline bool readSnapshotsListing(unsigned long long jobId, std::string& response,
                                 std::vector<__HNASFileSystemSnapshot>& records) noexcept {
    return readListing(jobId, response, records);
}
inline bool readSharesListing(unsigned long long jobId, std::string& response,
                              std::vector<__HNASFileSystemShares>& records) noexcept {
    return readListing(jobId, response, records);
}
inline bool readDirectoriesListing(unsigned long long jobId, std::string& response,
                                   std::vector<__HNASFileSystemDirectories>& records) noexcept {
    return readListing(jobId, response, records);
}

} // namespace hnasjson
