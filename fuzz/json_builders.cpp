// Fuzz target for the request-body builders. The first byte picks the
// builder; the rest is split at 0x1f bytes into the values it writes. A body
// that a builder accepts must be one JSON object with exactly the members the
// builder writes, whatever the values hold; a refused body must be empty.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <simdjson.h>

#include "FuzzLog.h"
#include "hnasmgmt/json/HNASJSON.h"
#include "json/JsonScan.h"

namespace {

const unsigned long long kJob = 1;

std::vector<std::string> split(const std::uint8_t* data, std::size_t size, std::size_t want) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0x1f) {
            fields.emplace_back();
        } else {
            fields.back().push_back(static_cast<char>(data[i]));
        }
    }
    if (fields.size() < want) {
        fields.resize(want);
    }
    return fields;
}

// The body in a form simdjson reads whenever it is valid JSON: \u escapes of
// lone surrogates (valid escapes, which simdjson refuses) become \u0041.
std::string readable(const std::string& body) {
    std::string text = body;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '\\') {
            continue;
        }
        if (text[i + 1] == 'u' && i + 5 < text.size() &&
            (text[i + 2] == 'd' || text[i + 2] == 'D') &&
            std::string("89abcdefABCDEF").find(text[i + 3]) != std::string::npos) {
            text.replace(i + 2, 4, "0041");
        }
        ++i; // the escaped character
    }
    return text;
}

// The members of a body's root and of its "settings" object, and the members
// of each element of its "cifsAuthentications" array, read with the library's
// own checked reader (numbers beyond the parser's range included).
struct Shape {
    std::size_t root = 0;
    std::size_t settings = 0;
    std::vector<std::size_t> entries;
};

bool shapeOf(const std::string& body, Shape& shape) {
    using hnasmgmt::json::JsonValue;
    static constexpr std::string_view kKeys[] = {"settings", "cifsAuthentications"};
    static constexpr std::string_view kNone[] = {"-"};
    hnasmgmt::json::JsonScan scan;
    hnasmgmt::json::JsonObject root;
    if (!scan.start(readable(body), root)) {
        return false;
    }
    // Counts the members of an object value; -1 for any other value.
    auto members = [&](JsonValue& value) -> std::size_t {
        if (!scan.is(value, simdjson::ondemand::json_type::object)) {
            scan.skip(value);
            return static_cast<std::size_t>(-1);
        }
        scan.fields(value, kNone, [&](std::size_t, JsonValue& v) {
            scan.skip(v);
            return false;
        });
        return scan.members();
    };
    scan.fields(root, kKeys, [&](std::size_t i, JsonValue& value) {
        if (i == 0) {
            shape.settings = members(value);
        } else {
            scan.elements(value, [&](JsonValue& e) { shape.entries.push_back(members(e)); });
        }
        return true;
    });
    shape.root = scan.members();
    return scan.finish();
}

void check(bool built, const std::string& body, std::size_t bodyMembers,
           std::size_t settingsMembers) {
    if (!built) {
        if (!body.empty()) {
            __builtin_trap();
        }
        return;
    }
    if (!simdjson::validate_utf8(body.data(), body.size())) {
        return; // byte values above 0x7f are passed on unchecked
    }
    Shape shape;
    if (!shapeOf(body, shape) || shape.root != bodyMembers ||
        (settingsMembers != 0 && shape.settings != settingsMembers)) {
        __builtin_trap();
    }
}

void checkAuthentications(bool built, const std::string& body, std::size_t entries) {
    if (!built || body.empty()) {
        if (!built && !body.empty()) {
            __builtin_trap();
        }
        return;
    }
    if (!simdjson::validate_utf8(body.data(), body.size())) {
        return; // byte values above 0x7f are passed on unchecked
    }
    Shape shape;
    if (!shapeOf(body, shape) || shape.root != 1 || shape.entries.size() != entries) {
        __builtin_trap();
    }
    for (std::size_t members : shape.entries) {
        if (members != 4) {
            __builtin_trap();
        }
    }
}

__HNASFileSystemShareSettings settingsFrom(const std::vector<std::string>& f, std::uint8_t flags) {
    __HNASFileSystemShareSettings s;
    s.accessConfig = f[4];
    s.comment = f[5];
    s.userHomeDirectoryPath = f[6];
    s.cacheOption = f[7];
    s.snapshotOption = f[8];
    s.transferToReplicationTargetSetting = f[9];
    s.userHomeDirectoryMode = f[10];
    s.localReadCacheOption = f[11];
    s.isFollowSymbolicLinks = flags & 1;
    s.isFollowGlobalSymbolicLinks = flags & 2;
    s.isABEEnabled = flags & 4;
    s.isForceFileNameToLowercase = flags & 8;
    s.isScanForVirusesEnabled = flags & 16;
    s.maxConcurrentUsers = static_cast<int>(f[12].size()) - (flags & 32 ? 1000 : 0);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    installFuzzLogWriter();
    const std::uint8_t selector = data[0];
    const std::uint8_t flags = data[1];
    const std::vector<std::string> f = split(data + 2, size - 2, 13);
    std::string body = "old";
    switch (selector % 4) {
    case 0: {
        HNASJSONCreateFileSystemSnapshot message(kJob, f[0], f[1], f[2]);
        check(message.buildRequest(body), body, 3, 0);
        break;
    }
    case 1:
    case 2: {
        HNASJSONCreateFileSystemShare message(kJob, f[0], f[1], f[2], f[3]);
        __HNASFileSystemShareSettings settings = settingsFrom(f, flags);
        if (selector % 4 == 1) {
            check(message.buildRequestCIFS(body, settings), body, 5, 13);
        } else {
            check(message.buildRequestNFS(body, settings), body, 5, 4);
        }
        break;
    }
    default: {
        std::vector<__HNASCIFSAuthentication> entries;
        for (std::size_t i = 0; i + 2 < f.size(); i += 3) {
            __HNASCIFSAuthentication entry;
            entry.name = f[i];
            entry.encodedName = f[i + 1];
            entry.type = f[i + 2];
            entry.permission = static_cast<int>(f[i].size()) - (flags & 1 ? 100 : 0);
            entries.push_back(entry);
        }
        if (flags & 2) {
            entries.clear();
        }
        HNASJSONSetCIFSAuthentication message(kJob, entries);
        checkAuthentications(message.buildRequest(body), body, entries.size());
        break;
    }
    }
    return 0;
}
