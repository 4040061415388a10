// Values of record fields in JSON and in tables.

#include "RecordFields.h"

#include <cstdio>
#include <ctime>

namespace hnasctl {

namespace {

// A count of bytes for people: IEC units with one decimal ("1.5 GiB"), the
// raw number for CSV.
Cell capacity(unsigned long long bytes) {
    const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = static_cast<double>(bytes);
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < sizeof units / sizeof units[0]) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%llu B", bytes);
    } else {
        std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    }
    return Cell(text, std::to_string(bytes));
}

// Seconds since 1970 for people: ISO 8601 in UTC ("2025-12-06T00:00:00Z");
// the raw number for CSV. 0 (not reported) shows as nothing.
Cell timestamp(unsigned long long seconds) {
    const std::string raw = std::to_string(seconds);
    const time_t t = static_cast<time_t>(seconds);
    struct tm utc {};
    char text[40];
    if (seconds == 0 || static_cast<unsigned long long>(t) != seconds ||
        gmtime_r(&t, &utc) == nullptr || std::strftime(text, sizeof text, "%FT%TZ", &utc) == 0) {
        return Cell(seconds == 0 ? std::string() : raw, raw);
    }
    return Cell(text, raw);
}

// A directory path with each run of slashes made one ("//a//b" -> "/a/b").
std::string oneSlash(const std::string& path) {
    std::string out;
    for (const char c : path) {
        if (c != '/' || out.empty() || out.back() != '/') {
            out += c;
        }
    }
    return out;
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        out += (i ? separator : "") + items[i];
    }
    return out;
}

} // namespace

void writeValue(JsonWriter& json, const Value& v) {
    if (v.kind == Kind::Texts) {
        json.stringArray(v.texts);
    } else if (v.kind == Kind::Nested) {
        v.json(json);
    } else if (v.kind == Kind::Text || v.kind == Kind::Path) {
        json.value(v.text);
    } else {
        json.raw(v.text); // a number, true or false
    }
}

Cell cellOf(const Value& v, const std::string& separator) {
    switch (v.kind) {
    case Kind::Bytes:
        return capacity(std::stoull(v.text));
    case Kind::Time:
        return timestamp(std::stoull(v.text));
    case Kind::Bool:
        return v.text == "true" ? "yes" : "no";
    case Kind::Texts:
        return joined(v.texts, separator);
    case Kind::Path:
        return oneSlash(v.text);
    default:
        return v.text;
    }
}

} // namespace hnasctl
