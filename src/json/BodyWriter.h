#pragma once

// The frame and the writer of the request bodies. Values are written as they
// stand: the builders check them first (JsonText.h).

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
    // The object, closed with `end`.
    std::string close(const char* end = "}");

private:
    void key(const char* key);

    std::string out_ = "{";
};

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
