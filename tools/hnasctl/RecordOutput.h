#pragma once

// How each of the library's records is printed: as a JSON object, as the
// rows of a single record and as a listing, all three from one field table
// per record (RecordOutput.cpp).

#include <optional>
#include <string>
#include <vector>

#include "Output.h"
#include "hnasmgmt/json/HNASRecords.h"

namespace hnasctl {

// A share as the share commands print it: with its type when one is given,
// whether its permission entries could be read (the CIFS shares of a listing
// with permissions), and its settings unless left out (a share just created
// carries only its identity).
struct ShareView : __HNASFileSystemShares {
    std::string type;
    std::optional<bool> permissionsRead;
    bool withSettings = true;
};

// A record as a JSON object; records as a JSON array.
template <typename R> void writeJson(JsonWriter& json, const R& record);
template <typename R> void writeJson(JsonWriter& json, const std::vector<R>& records) {
    json.beginArray();
    for (const auto& record : records) {
        writeJson(json, record);
    }
    json.endArray();
}

// A single record as rows of a field and its value.
template <typename R> Table tableOf(const R& record);
// Records as a listing, without the columns headed as in `without`.
template <typename R>
Table tableOf(const std::vector<R>& records, const std::vector<std::string>& without = {});

// A directory's name as shown: its first display name, or empty.
std::string directoryName(const __HNASFileSystemDirectories& directory);

} // namespace hnasctl
