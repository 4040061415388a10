#pragma once

// The fields of a record as hnasctl prints them: one row per field gives its
// JSON key, how its value is read and shown, and its place in the tables. The
// keys and headings are hnasctl's own: scripts and people read them.

#include <algorithm>
#include <functional>
#include <string>
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
    Kind kind = Kind::Absent;
    std::string text;                      // Text, Path; the decimal of a number
    std::vector<std::string> texts;        // Texts
    bool flag = false;                     // Bool
    unsigned long long number = 0;         // Bytes, Time
    std::function<void(JsonWriter&)> json; // Nested
};

Value textValue(std::string text, Kind kind = Kind::Text);
Value flagValue(bool flag);

template <typename T> Value numberValue(T number, Kind kind = Kind::Number) {
    Value v = textValue(std::to_string(number), kind);
    v.number = static_cast<unsigned long long>(number);
    return v;
}

// A field of records of type R. A field without a key is left out of JSON,
// one without a heading out of listings, one without a label out of the
// table of a single record; `column` and `row` order the columns of a
// listing and the rows of a single record.
template <typename R> struct Field {
    const char* key;
    std::function<Value(const R&)> get;
    const char* heading;
    int column;
    const char* label;
    int row;
};

// Readers of a member of a record (or of a base of it).
template <typename B> auto text(std::string B::*member) {
    return [member](const B& r) { return textValue(r.*member); };
}
template <typename B> auto texts(std::vector<std::string> B::*member) {
    return [member](const B& r) {
        Value v;
        v.kind = Kind::Texts;
        v.texts = r.*member;
        return v;
    };
}
template <typename B> auto flag(bool B::*member) {
    return [member](const B& r) { return flagValue(r.*member); };
}
template <typename B, typename T> auto number(T B::*member, Kind kind = Kind::Number) {
    return [member, kind](const B& r) { return numberValue(r.*member, kind); };
}

// A value as a JSON value, and as a cell of a table (texts joined with
// `separator`).
void writeValue(JsonWriter& json, const Value& value);
Cell cellOf(const Value& value, const std::string& separator);

// A record as a JSON object: its fields with a key, in the order of `fields`.
template <typename R>
void writeFields(JsonWriter& json, const R& record, const std::vector<Field<R>>& fields) {
    json.beginObject();
    for (const auto& field : fields) {
        const Value value = field.get(record);
        if (field.key != nullptr && value.kind != Kind::Absent) {
            json.key(field.key);
            writeValue(json, value);
        }
    }
    json.endObject();
}

// The fields whose `place` is not 0, in that order.
template <typename R>
std::vector<const Field<R>*> placed(const std::vector<Field<R>>& fields, int Field<R>::*place) {
    std::vector<const Field<R>*> out;
    for (const auto& field : fields) {
        if (field.*place != 0) {
            out.push_back(&field);
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [place](const auto* a, const auto* b) { return a->*place < b->*place; });
    return out;
}

// A record as the rows of a single record: each field with a label and a
// value, in the order of their rows.
template <typename R> KeyValueTable rowsOf(const R& record, const std::vector<Field<R>>& fields) {
    KeyValueTable t;
    for (const Field<R>* field : placed(fields, &Field<R>::row)) {
        const Value value = field->get(record);
        if (value.kind != Kind::Absent) {
            t.add(field->label, cellOf(value, ", "));
        }
    }
    return t;
}

// Records as a listing: a column per field with a heading but those in
// `without`, in the order of their columns.
template <typename R>
Table columnsOf(const std::vector<R>& records, const std::vector<Field<R>>& fields,
                const std::vector<std::string>& without) {
    std::vector<const Field<R>*> columns;
    std::vector<std::string> headings;
    for (const Field<R>* field : placed(fields, &Field<R>::column)) {
        if (std::find(without.begin(), without.end(), field->heading) == without.end()) {
            columns.push_back(field);
            headings.push_back(field->heading);
        }
    }
    Table t(std::move(headings));
    for (const auto& record : records) {
        std::vector<Cell> cells;
        for (const Field<R>* field : columns) {
            cells.push_back(cellOf(field->get(record), ","));
        }
        t.addRow(std::move(cells));
    }
    return t;
}

} // namespace hnasctl
