#pragma once

// How each of the library's records is printed: as a JSON object and as a
// table.

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Output.h"
#include "hnasmgmt/json/HNASRecords.h"

namespace hnasctl {

void writeJson(JsonWriter& json, const __HNASStorageSubSystemInfo& info);
void writeJson(JsonWriter& json, const __HNASVirtualServers& server);
void writeJson(JsonWriter& json, const __HNASFileSystemInfo& fs);
void writeJson(JsonWriter& json, const __HNASFileSystemSnapshot& snapshot);
void writeJson(JsonWriter& json, const __HNASCIFSAuthentication& entry);
void writeJson(JsonWriter& json, const __HNASFileSystemShareSettings& settings);
// withSettings false leaves the settings out (a share just created carries
// only its identity); a type given comes first; permissionsRead, when given,
// says whether the share's permission entries could be read.
void writeJson(JsonWriter& json, const __HNASFileSystemShares& share, bool withSettings = true,
               const std::string& type = std::string(),
               std::optional<bool> permissionsRead = std::nullopt);
void writeJson(JsonWriter& json, const __HNASFileSystemDirectories& directory);

template <typename Record> void writeJson(JsonWriter& json, const std::vector<Record>& records) {
    json.beginArray();
    for (const auto& record : records) {
        writeJson(json, record);
    }
    json.endArray();
}

KeyValueTable tableOf(const __HNASStorageSubSystemInfo& info);
KeyValueTable tableOf(const __HNASVirtualServers& server);
Table tableOf(const std::vector<__HNASVirtualServers>& servers);
Table tableOf(const std::vector<__HNASFileSystemInfo>& filesystems);
KeyValueTable tableOf(const __HNASFileSystemSnapshot& snapshot);
Table tableOf(const std::vector<__HNASFileSystemSnapshot>& snapshots);
Table tableOf(const std::vector<__HNASCIFSAuthentication>& entries);
KeyValueTable tableOf(const __HNASFileSystemShares& share);
// types[i] is the type of shares[i]; withPermissions adds a column with each
// share's permission entries, "(unread)" for the CIFS shares whose object IDs
// are in `unread`.
Table tableOf(const std::vector<__HNASFileSystemShares>& shares,
              const std::vector<std::string>& types, bool withPermissions,
              const std::set<std::string>& unread = {});
Table tableOf(const std::vector<__HNASFileSystemDirectories>& directories);

// A directory's name as shown: its first display name, or empty.
std::string directoryName(const __HNASFileSystemDirectories& directory);

} // namespace hnasctl
