#pragma once

// The reader of one record from one JSON value, driven by the record's field
// table (json/Schemas.h), shared by the listings and the single-record
// messages.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "json/JsonScan.h"
#include "json/Schemas.h"

namespace hnasmgmt::json {

// What a field's reader made of its value.
enum class Taken {
    Value,   // read into the member
    Skipped, // of another kind: checked and dropped, the member untouched
    Refused, // the record is refused
};

// Field readers by the member's type; `kind` tells apart the kinds that share
// one (json/RecordSchema.h). Each consumes the value.
Taken readField(JsonScan& scan, JsonValue& value, std::string& out, Kind kind);
Taken readField(JsonScan& scan, JsonValue& value, std::vector<std::string>& out, Kind kind);
Taken readField(JsonScan& scan, JsonValue& value, bool& out, Kind kind);
Taken readField(JsonScan& scan, JsonValue& value, unsigned long long& out, Kind kind);
Taken readField(JsonScan& scan, JsonValue& value, int& out, Kind kind);
// Read as a 32-bit number, then widened.
Taken readField(JsonScan& scan, JsonValue& value, long long& out, Kind kind);
template <typename Record>
Taken readField(JsonScan& scan, JsonValue& value, Record& out, Kind kind);

// Reads `value` into the i-th row of Record's table selected by `use`.
template <unsigned use, typename Record>
Taken readRow(JsonScan& scan, std::size_t i, JsonValue& value, Record& record) {
    Taken taken = Taken::Skipped;
    Selection<Record, use>::at(
        i, [&](const auto& row) { taken = readField(scan, value, record.*row.member, row.kind); });
    return taken;
}

// Reads the members of `object` named in the rows selected by `use` (the
// first member of each name), skipping the others. True when every required
// row was read and no field refused the record.
template <unsigned use = kRead, typename Record, typename Object>
bool readRecord(JsonScan& scan, Object& object, Record& record) {
    using Rows = Selection<Record, use>;
    bool refused = false;
    const std::uint32_t read = scan.fields(object, Rows::keys, [&](std::size_t i, JsonValue& v) {
        const Taken taken = readRow<use>(scan, i, v, record);
        refused = refused || taken == Taken::Refused;
        return taken == Taken::Value;
    });
    return !refused && (read & Rows::required) == Rows::required;
}

// A nested record: taken when the value is an object, whatever its members.
template <typename Record> Taken readField(JsonScan& scan, JsonValue& value, Record& out, Kind) {
    if (!scan.is(value, simdjson::ondemand::json_type::object)) {
        scan.skip(value);
        return Taken::Skipped;
    }
    return readRecord(scan, value, out) ? Taken::Value : Taken::Refused;
}

} // namespace hnasmgmt::json
