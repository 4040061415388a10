#pragma once

// The frame and the writer of the request bodies. Values are written as they
// stand: the builders check them first (JsonText.h).

#include <string>
#include <type_traits>

#include "json/JsonText.h"
#include "json/RecordSchema.h"

namespace hnasmgmt::json {

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

// The object of the record's fields used in `use` (json/Schemas.h), in
// table order, each written by its kind, closed with `end`.
template <unsigned use, typename Record>
std::string writeRecord(const Record& record, const char* end = "}") {
    ObjectWriter writer;
    Selection<Record, use>::each(
        [&](const auto& row) { writer.member(row.key.data(), record.*row.member); });
    return writer.close(end);
}

// True when every text of the record's fields used in `use` can be written
// as it stands (isJsonStringContent).
template <unsigned use, typename Record> bool writable(const Record& record) {
    bool ok = true;
    Selection<Record, use>::each([&](const auto& row) {
        if constexpr (std::is_same_v<typename std::decay_t<decltype(row)>::Member, std::string>) {
            ok = ok && isJsonStringContent(record.*row.member);
        }
    });
    return ok;
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

} // namespace hnasmgmt::json
