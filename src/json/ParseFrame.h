#pragma once

// The frame every response reader runs around its keys.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "json/JsonScan.h"

namespace hnasmgmt::json {

// Logs and refuses an empty text ("Empty JSON response"); logs the text at
// level 4 ("Parsing JSON response [%s]"). Never throws.
bool openResponse(const char* function, unsigned long long jobId,
                  const std::string& response) noexcept;

// Logs "Error when parsing the JSON response [%s]". Never throws.
void logParseError(const char* function, unsigned long long jobId,
                   const std::string& response) noexcept;

// One checked pass over `text`, logging nothing: onField(scan, i, value)
// reads the root's first member named keys[i] and returns whether it read
// it. False when the text is not valid JSON anywhere, or its root is not an
// object with members; otherwise true, with `read` the mask of the keys that
// onField read.
template <typename Keys, typename OnField>
bool scanDocument(const std::string& text, const Keys& keys, OnField&& onField,
                  std::uint32_t& read) {
    JsonScan scan;
    JsonObject root;
    if (!scan.start(text, root)) {
        return false;
    }
    read = scan.fields(root, keys,
                       [&](std::size_t i, JsonValue& value) { return onField(scan, i, value); });
    return scan.finish();
}

// Reads one response: the opening above, then the pass of scanDocument. A
// text the pass refuses is logged as a parse error. Returns false when the
// frame refused the text; otherwise true, with `read` the mask of the keys
// that onField read.
template <typename Keys, typename OnField>
bool readDocument(const char* function, unsigned long long jobId, const std::string& response,
                  const Keys& keys, OnField&& onField, std::uint32_t& read) {
    if (!openResponse(function, jobId, response)) {
        return false;
    }
    const bool valid = scanDocument(response, keys, onField, read);
    if (!valid) {
        logParseError(function, jobId, response);
    }
    return valid;
}

// Reads a response that carries one record: onField(scan, i, value, copy)
// reads keys[i] into a copy of `target`, which takes target's place once the
// frame has taken the text and every key was read. Otherwise false, with
// `target` as it was. Never throws.
template <typename Target, typename Keys, typename OnField>
bool readInto(const char* function, unsigned long long jobId, const std::string& response,
              const Keys& keys, Target& target, OnField&& onField) noexcept {
    try {
        Target copy = target;
        std::uint32_t read = 0;
        if (!readDocument(
                function, jobId, response, keys,
                [&](JsonScan& scan, std::size_t i, JsonValue& value) {
                    return onField(scan, i, value, copy);
                },
                read) ||
            read != allOf(keys)) {
            return false;
        }
        target = std::move(copy);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace hnasmgmt::json
