#pragma once

// The frame every response reader runs around its keys.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/JsonScan.h"

namespace hnasjson {

// Logs and refuses an empty text ("Empty JSON response"); logs the text at
// level 4 ("Parsing JSON response [%s]"). Never throws.
bool openResponse(const char* function, unsigned long long jobId,
                  const std::string& response) noexcept;

// Logs "Error when parsing the JSON response [%s]". Never throws.
void logParseError(const char* function, unsigned long long jobId,
                   const std::string& response) noexcept;

// Reads one response: the opening above, then one checked pass over the
// document in which onField(scan, i, value) reads the root's first member
// named keys[i] and returns whether it read it. A text that is not valid JSON
// anywhere, or whose root is not an object with members, is logged as a
// parse error and refused. Returns false when the frame refused the text;
// otherwise true, with `read` the mask of the keys that onField read.
template <std::size_t N, typename OnField>
bool readDocument(const char* function, unsigned long long jobId, const std::string& response,
                  const std::string_view (&keys)[N], OnField&& onField, std::uint32_t& read) {
    if (!openResponse(function, jobId, response)) {
        return false;
    }
    JsonScan scan;
    JsonObject root;
    bool valid = scan.start(response, root);
    if (valid) {
        read = scan.fields(
            root, keys, [&](std::size_t i, JsonValue& value) { return onField(scan, i, value); });
        valid = scan.finish();
    }
    if (!valid) {
        logParseError(function, jobId, response);
    }
    return valid;
}

} // namespace hnasjson
