#pragma once

// How each of the library's records is printed: as a JSON object and as
// table rows.

#include <ostream>
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
// only its identity).
void writeJson(JsonWriter& json, const __HNASFileSystemShares& share, bool withSettings = true);
void writeJson(JsonWriter& json, const __HNASFileSystemDirectories& directory);

template <typename Record>
void writeJsonArray(std::ostream& out, const std::vector<Record>& records) {
    JsonWriter json(out);
    json.beginArray();
    for (const auto& record : records) {
        writeJson(json, record);
    }
    json.endArray();
}

void printTable(std::ostream& out, const __HNASStorageSubSystemInfo& info);
void printTable(std::ostream& out, const __HNASVirtualServers& server);
void printTable(std::ostream& out, const std::vector<__HNASVirtualServers>& servers);
void printTable(std::ostream& out, const std::vector<__HNASFileSystemInfo>& filesystems);
void printTable(std::ostream& out, const __HNASFileSystemSnapshot& snapshot);
void printTable(std::ostream& out, const std::vector<__HNASFileSystemSnapshot>& snapshots);
void printTable(std::ostream& out, const std::vector<__HNASCIFSAuthentication>& entries);
void printTable(std::ostream& out, const __HNASFileSystemShares& share);
// withPermissions adds a column with each share's permission entries.
void printTable(std::ostream& out, const std::vector<__HNASFileSystemShares>& shares,
                bool withPermissions);
void printTable(std::ostream& out, const std::vector<__HNASFileSystemDirectories>& directories);

// A directory's name as shown: its first display name, or empty.
std::string directoryName(const __HNASFileSystemDirectories& directory);

} // namespace hnasctl
