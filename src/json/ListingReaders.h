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

namespace hnasmgmt::json {

template <typename Record>
bool readListing(unsigned long long jobId, std::string& response,
                 std::vector<Record>& records) noexcept;

} // namespace hnasmgmt::json

// The members of a listing message: the constructor, parseResponse through
// readListing into `records`, and `getter`, which copies the records out.
#define HNASJSON_LISTING_MESSAGE(Message, Record, records, getter)                                 \
    Message::Message(const unsigned long long& jobId) : HNASJSONBase(jobId) {}                     \
    bool Message::parseResponse(std::string& response) {                                           \
        return hnasmgmt::json::readListing(jobId, response, records);                              \
    }                                                                                              \
    std::vector<Record> Message::getter() {                                                        \
        return records;                                                                            \
    }
