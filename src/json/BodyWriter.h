#pragma once

// The frame and the writer of the request bodies. Values are written as they
// stand: the builders check them first (JsonText.h).

#include <cstddef>
#include <string>

namespace hnasjson {

// Writes one JSON object, member by member, separated by ", ".
class ObjectWriter {
public:
    // "key":"value"
    ObjectWriter& text(const char* key, const std::string& value);
    // "key":value
    ObjectWriter& bare(const char* key, const std::string& value);
    // "key":true or "key":false
    ObjectWriter& flag(const char* key, bool value);
    // The member by the value's type: a text, a flag or a number.
    ObjectWriter& member(const char* key, const std::string& value) { return text(key, value); }
    ObjectWriter& member(const char* key, bool value) { return flag(key, value); }
    ObjectWriter& member(const char* key, int value);
    // The object, closed with `end`.
    std::string close(const char* end = "}");

private:
    void key(const char* key);

    std::string out_ = "{";
};

// The object of the record's Members, keys[i] naming the i-th, each written
// by its type, closed with "}".
template <auto... Members, typename Record, std::size_t N>
std::string writeMembers(const Record& record, const char* const (&keys)[N]) {
    static_assert(N == sizeof...(Members), "one member for each key");
    ObjectWriter writer;
    std::size_t k = 0;
    (writer.member(keys[k++], record.*Members), ...);
    return writer.close();
}

// Logs "Invalid parameters!!" at level -1. Never throws.
void logInvalidParameters(const char* function, unsigned long long jobId) noexcept;

// Builds a request body into `body`: the text that build() returns when the
// values are `valid`; otherwise the line above under `function`. On failure
// `body` is left empty. Never throws.
template <typename Build>
bool buildBody(const char* function, unsigned long long jobId, bool valid, std::string& body,
               Build&& build) noexcept {
    body.clear();
    if (!valid) {
        logInvalidParameters(function, jobId);
        return false;
    }
    try {
        std::string text = build();
        body.swap(text);
        return true;
    } catch (...) {
        body.clear();
        return false;
    }
}

} // namespace hnasjson
