// The listing reader shared by every listing message and the facade.

#include "json/ListingReaders.h"

#include <string_view>

#include "json/ParseFrame.h"
#include "json/RecordReaders.h"

namespace hnasmgmt::json {

namespace {

// What tells the listings apart: the function name of their log lines; the
// key of the array of records followed, for the file systems, by the key of
// the single object read when there is no such array; whether a document
// without the array is refused.
template <std::size_t N> struct Format {
    const char* function;
    std::string_view keys[N];
    bool required;
};

constexpr Format<2> formatOf(const __HNASFileSystemInfo*) {
    return {"HNASJSONGetFileSystems::parseResponse", {"filesystems", "filesystem"}, false};
}
constexpr Format<1> formatOf(const __HNASFileSystemSnapshot*) {
    return {"HNASJSONGetFileSystemSnapshots::parseResponse", {"snapshots"}, false};
}
constexpr Format<1> formatOf(const __HNASFileSystemShares*) {
    return {"HNASJSONGetFileSystemShares::parseResponse", {"filesystemShares"}, false};
}
constexpr Format<1> formatOf(const __HNASFileSystemDirectories*) {
    return {"HNASJSONGetFileSystemDirectories::parseResponse", {"directories"}, false};
}
constexpr Format<1> formatOf(const __HNASCIFSAuthentication*) {
    return {"parseResponse", {"cifsAuthentications"}, false};
}
constexpr Format<1> formatOf(const __HNASVirtualServers*) {
    return {"HNASJSONGetVirtualServers::parseResponse", {"virtualServers"}, true};
}

// Makes room for `room` more records. Everything it calls is inlined, so that
// no vector operation over the exported record types is emitted on its own
// (and exported with them).
template <typename Record>
__attribute__((flatten)) void reserveRoom(std::vector<Record>& records, std::size_t room) {
    records.reserve(records.size() + room);
}

// Drops the records appended after the first `held` (none when there are none).
template <typename Record> void dropFrom(std::vector<Record>& records, std::size_t held) {
    if (records.size() > held) {
        records.erase(records.begin() + static_cast<std::ptrdiff_t>(held), records.end());
    }
}

} // namespace

template <typename Record>
bool readListing(unsigned long long jobId, std::string& response,
                 std::vector<Record>& records) noexcept {
    static constexpr auto kFormat = formatOf(static_cast<const Record*>(nullptr));
    const std::size_t held = records.size();
    try {
        bool listed = false;  // the first member named after the array is one
        bool complete = true; // every element read so far is a whole record
        bool single = false;  // a single object was read (file systems)
        bool singleComplete = false;
        Record one;
        std::uint32_t read = 0;
        const bool valid = readDocument(
            kFormat.function, jobId, response, kFormat.keys,
            [&](JsonScan& scan, std::size_t i, JsonValue& value) {
                if (i == 0) {
                    listed = scan.elements(
                        value,
                        [&](JsonValue& element) {
                            if (!complete) {
                                scan.skip(element); // refused already: only checked
                                return;
                            }
                            records.emplace_back();
                            complete = readRecord(scan, element, records.back());
                        },
                        [&](std::size_t room) { reserveRoom(records, room); });
                    return listed;
                }
                if (listed || !scan.is(value, simdjson::ondemand::json_type::object)) {
                    scan.skip(value);
                    return false;
                }
                single = true;
                singleComplete = readRecord(scan, value, one);
                return true;
            },
            read);
        bool ok = valid;
        if (ok && listed) {
            ok = complete;
        } else if (ok && single) {
            ok = singleComplete;
            if (ok) {
                records.emplace_back();
                records.back() = std::move(one);
            }
        } else if (ok) {
            ok = !kFormat.required;
        }
        if (!ok) {
            dropFrom(records, held);
        }
        return ok;
    } catch (...) {
        dropFrom(records, held);
        return false;
    }
}

template bool readListing(unsigned long long, std::string&, std::vector<__HNASFileSystemInfo>&);
template bool readListing(unsigned long long, std::string&, std::vector<__HNASFileSystemSnapshot>&);
template bool readListing(unsigned long long, std::string&, std::vector<__HNASFileSystemShares>&);
template bool readListing(unsigned long long, std::string&,
                          std::vector<__HNASFileSystemDirectories>&);
template bool readListing(unsigned long long, std::string&, std::vector<__HNASCIFSAuthentication>&);
template bool readListing(unsigned long long, std::string&, std::vector<__HNASVirtualServers>&);

} // namespace hnasmgmt::json
