// The message of the directory listing.

#include "hnasmgmt/json/HNASJSONDirectories.h"

#include <string_view>

#include "json/ListingReaders.h"
#include "json/RecordReaders.h"

using hnasjson::JsonScan;
using hnasjson::JsonValue;

bool hnasjson::readRecord(JsonScan& scan, JsonValue& value,
                          __HNASFileSystemDirectories& directory) {
    static constexpr std::string_view kKeys[] = {"objectId", "displayName"};
    bool named = true; // no "displayName" array, or one with a string first
    const std::uint32_t read = scan.fields(value, kKeys, [&](std::size_t i, JsonValue& v) {
        if (i == 0) {
            return scan.read(v, directory.objectId);
        }
        bool first = true;
        const bool isArray = scan.elements(v, [&](JsonValue& element) {
            if (!first) {
                scan.skip(element); // further names are not read
                return;
            }
            first = false;
            directory.displayName.emplace_back();
            named = scan.read(element, directory.displayName.back());
        });
        named = named && !(isArray && first); // an empty array has no first name
        return named;
    });
    return (read & 1u) != 0 && named;
}

HNASJSON_LISTING_MESSAGE(HNASJSONGetFileSystemDirectories, __HNASFileSystemDirectories, directories,
                         getFileSystemDirectories)
