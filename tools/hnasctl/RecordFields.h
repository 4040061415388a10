#pragma once

// The fields of a record as hnasctl prints them: one row per field gives its
// JSON key, how its value is read and shown, and its place in the tables. The
// keys and headings are hnasctl's own: scripts and people read them.

#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "Output.h"

namespace hnasctl {

// How a value is shown. Numbers are written as they stand, but for people a
// count of bytes takes IEC units and a time ISO 8601 in UTC; a flag is true
// or false in JSON, yes or no in tables; a directory path shows each run of
// slashes as one in tables; a nested value is written in JSON only.
enum class Kind { Absent, Text, Number, Bytes, Time, Bool, Texts, Path, Nested };

// One field's value, read from a record.
struct Value {
    Value() = default;
    Value(std::string value, Kind how = Kind::Text) : kind(how), text(std::move(value)) {}
    Value(const char* value) : Value(std::string(value)) {}
    Value(std::vector<std::string> values) : kind(Kind::Texts), texts(std::move(values)) {}
    Value(bool flag) : kind(Kind::Bool), text(flag ? "true" : "false") {}
    template <typename T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
    Value(T number, Kind how = Kind::Number) : kind(how), text(std::to_string(number)) {}
    Kind kind = Kind::Absent;
    std::string text;                      // the text, the decimal number, true or false
    std::vector<std::string> texts;        // Texts
    std::function<void(JsonWriter&)> json; // Nested
};

// A field of records of type R. A field without a key is left out of JSON,
// one without a heading out of listings, one without a label out of the
// table of a single record; `column` and `row` order the columns of a
// listing and the rows of a single record.
template <typename R> struct Field {
    const char* key;
    std::function<Value(const R&)> get;
    const char* heading = nullptr;
    int column = 0;
    const char* label = nullptr;
    int row = 0;
};

// The reader of a member of a record (or of a base of it), shown as `how`
// says or as its type suggests.
template <typename B, typename T> auto member(T B::*field) {
    return [field](const B& r) { return Value(r.*field); };
}
template <typename B, typename T> auto member(T B::*field, Kind how) {
    return [field, how](const B& r) { return Value(r.*field, how); };
}

// A value as a JSON value, and as a cell of a table (texts joined with
// `separator`).
void writeValue(JsonWriter& json, const Value& value);
Cell cellOf(const Value& value, const std::string& separator);

} // namespace hnasctl
