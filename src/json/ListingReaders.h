#pragma once

// The readers behind the listing messages' parseResponse.
//
// A listing message keeps its records and hands out copies; the facade reads
// a listing once and passes its records on, so it calls these readers
// directly and moves the records to its caller instead of copying a whole
// record vector out of a message. Each reader writes the same log lines as
// the message's parseResponse (under the message's function name), accepts
// and refuses the same documents, and on success replaces `records` with the
// listing's records in document order; on failure `records` is left as it
// was. None throws.

#include <string>
#include <vector>

#include "hnasmgmt/json/HNASRecords.h"

namespace hnasjson {

// "filesystems" array, or a single "filesystem" object; neither gives no records.
bool readFileSystemsListing(unsigned long long jobId, std::string& response,
                            std::vector<__HNASFileSystemInfo>& records) noexcept;
// "snapshots" array; none gives no records.
bool readSnapshotsListing(unsigned long long jobId, std::string& response,
                          std::vector<__HNASFileSystemSnapshot>& records) noexcept;
// "filesystemShares" array; none gives no records.
bool readSharesListing(unsigned long long jobId, std::string& response,
                       std::vector<__HNASFileSystemShares>& records) noexcept;
// "directories" array; none gives no records.
bool readDirectoriesListing(unsigned long long jobId, std::string& response,
                            std::vector<__HNASFileSystemDirectories>& records) noexcept;

} // namespace hnasjson
