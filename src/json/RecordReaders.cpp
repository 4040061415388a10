// The field readers of the record tables.

#include "json/RecordReaders.h"

namespace hnasmgmt::json {

namespace {

Taken taken(bool read) {
    return read ? Taken::Value : Taken::Skipped;
}

// Every backslash of `text` doubled, so the text can be written back into a
// request body as it stands.
std::string doubleBackslashes(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        out += c;
        if (c == '\\') {
            out += '\\';
        }
    }
    return out;
}

} // namespace

Taken readField(JsonScan& scan, JsonValue& value, std::string& out, Kind kind) {
    if (!scan.read(value, out)) {
        return Taken::Skipped;
    }
    if (kind == Kind::EscapedText) {
        out = doubleBackslashes(out);
    }
    return Taken::Value;
}

Taken readField(JsonScan& scan, JsonValue& value, std::vector<std::string>& out, Kind kind) {
    // Texts: every element must be a string. FirstText: the first must be
    // one and the others are not read; an empty array has none.
    bool strings = true;
    bool first = true;
    const bool isArray = scan.elements(value, [&](JsonValue& element) {
        if (!strings || (kind == Kind::FirstText && !first)) {
            scan.skip(element);
            return;
        }
        first = false;
        out.emplace_back();
        strings = scan.read(element, out.back());
    });
    if (!isArray) {
        return kind == Kind::FirstText ? Taken::Skipped : Taken::Refused;
    }
    return strings && !(kind == Kind::FirstText && first) ? Taken::Value : Taken::Refused;
}

Taken readField(JsonScan& scan, JsonValue& value, bool& out, Kind) {
    return taken(scan.read(value, out));
}

Taken readField(JsonScan& scan, JsonValue& value, unsigned long long& out, Kind) {
    return taken(scan.read(value, out));
}

Taken readField(JsonScan& scan, JsonValue& value, int& out, Kind) {
    return taken(scan.read(value, out));
}

Taken readField(JsonScan& scan, JsonValue& value, long long& out, Kind) {
    int number = 0;
    if (!scan.read(value, number)) {
        return Taken::Skipped;
    }
    out = number; // saturated to 32 bits, then widened
    return Taken::Value;
}

} // namespace hnasmgmt::json
