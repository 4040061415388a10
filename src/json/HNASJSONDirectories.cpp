// Messages of the directory listing and of the CIFS share permissions.

#include "hnasmgmt/json/HNASJSONDirectories.h"

#include <string_view>
#include <utility>

#include "hnasmgmt/host/DbgTrace.h"
#include "json/JsonReader.h"
#include "json/JsonText.h"
#include "json/ListingReaders.h"
#include "json/ParseFrame.h"

using hnasjson::JsonArray;
using hnasjson::JsonObject;
using hnasjson::JsonValue;

namespace {

// "objectId" is required; of a "displayName" array only the first element is
// taken (required to be a string), and without such an array the name stays
// empty.
bool readDirectory(const JsonObject& object, __HNASFileSystemDirectories& directory) {
    static constexpr std::string_view kKeys[] = {"objectId", "displayName"};
    JsonValue v[2];
    object.lookup(kKeys, v, 2);
    if (!v[0].toString(directory.objectId)) {
        return false;
    }
    JsonArray names;
    if (v[1].toArray(names)) {
        JsonValue first;
        directory.displayName.emplace_back();
        if (!names.first(first) || !first.toString(directory.displayName.back())) {
            return false;
        }
    }
    return true;
}

// Every backslash of `text` doubled, so the name can be written back into a
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

// One permission entry; the four keys are required.
bool readAuthentication(const JsonObject& object, __HNASCIFSAuthentication& entry) {
    static constexpr std::string_view kKeys[] = {"name", "encodedName", "type", "permission"};
    JsonValue v[4];
    std::string name;
    if (!object.lookupAll(kKeys, v) || !v[0].toString(name) || !v[1].toString(entry.encodedName) ||
        !v[2].toString(entry.type) || !v[3].toInt32(entry.permission)) {
        return false;
    }
    entry.name = doubleBackslashes(name);
    return true;
}

} // namespace

// --- HNASJSONGetFileSystemDirectories ---

HNASJSONGetFileSystemDirectories::HNASJSONGetFileSystemDirectories(const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

bool hnasjson::readDirectoriesListing(unsigned long long jobId, std::string& response,
                                      std::vector<__HNASFileSystemDirectories>& records) noexcept {
    try {
        hnasjson::JsonDocument document;
        if (!hnasjson::openResponse("HNASJSONGetFileSystemDirectories::parseResponse", jobId,
                                    response, document)) {
            return false;
        }
        std::vector<__HNASFileSystemDirectories> parsed;
        JsonArray list;
        if (document.root().readArray("directories", list)) { // none: no records
            hnasjson::reserveFor(parsed, list);
            for (JsonValue element : list) {
                JsonObject object;
                parsed.emplace_back();
                if (!element.toObject(object) || !readDirectory(object, parsed.back())) {
                    return false;
                }
            }
        }
        records.swap(parsed);
        return true;
    } catch (...) {
        return false;
    }
}

bool HNASJSONGetFileSystemDirectories::parseResponse(std::string& response) {
    try {
        std::vector<__HNASFileSystemDirectories> parsed;
        if (!hnasjson::readDirectoriesListing(jobId, response, parsed)) {
            return false;
        }
        hnasjson::appendParsed(directories, parsed);
        return true;
    } catch (...) {
        return false;
    }
}

std::vector<__HNASFileSystemDirectories>
HNASJSONGetFileSystemDirectories::getFileSystemDirectories() {
    return directories;
}

// --- HNASJSONGetCIFSAuthentication ---

HNASJSONGetCIFSAuthentication::HNASJSONGetCIFSAuthentication(const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

bool HNASJSONGetCIFSAuthentication::parseResponse(std::string& response) {
    try {
        hnasjson::JsonDocument document;
        if (!hnasjson::openResponse("parseResponse", jobId, response, document)) {
            return false;
        }
        JsonArray list;
        if (!document.root().readArray("cifsAuthentications", list)) {
            return true; // no listing: nothing to add
        }
        std::vector<__HNASCIFSAuthentication> parsed;
        hnasjson::reserveFor(parsed, list);
        for (JsonValue element : list) {
            JsonObject object;
            parsed.emplace_back();
            if (!element.toObject(object) || !readAuthentication(object, parsed.back())) {
                return false;
            }
        }
        hnasjson::appendParsed(cifsAuthentications, parsed);
        return true;
    } catch (...) {
        return false;
    }
}

std::vector<__HNASCIFSAuthentication> HNASJSONGetCIFSAuthentication::getCIFSAuth() {
    return cifsAuthentications;
}

// --- HNASJSONSetCIFSAuthentication ---

HNASJSONSetCIFSAuthentication::HNASJSONSetCIFSAuthentication(
    const unsigned long long& jobId, std::vector<__HNASCIFSAuthentication>& entries)
    : HNASJSONBase(jobId), cifsAuthentications(entries) {}

// {"cifsAuthentications":[{"encodedName":"E", "name":"N", "permission":P, "type":"T" }]}
// Values go in verbatim, so each text must already be valid JSON string
// content (names read from the array carry their backslashes doubled).
bool HNASJSONSetCIFSAuthentication::buildRequest(std::string& body) {
    body.clear();
    DbgTrace trace(nullptr);
    const long long job = static_cast<long long>(jobId);
    if (cifsAuthentications.empty()) {
        trace.DebugLvl("buildRequest", 0, job, "Nothing to build. No CIFS Authentication set.");
        return true;
    }
    for (const __HNASCIFSAuthentication& entry : cifsAuthentications) {
        if (!hnasjson::isJsonStringContent(entry.encodedName) ||
            !hnasjson::isJsonStringContent(entry.name) ||
            !hnasjson::isJsonStringContent(entry.type)) {
            trace.DebugLvl("buildRequest", -1, job, "Invalid parameters!!");
            return false;
        }
    }
    try {
        std::string text = "{\"cifsAuthentications\":[";
        for (const __HNASCIFSAuthentication& entry : cifsAuthentications) {
            text += "{\"encodedName\":\"";
            text += entry.encodedName;
            text += "\", \"name\":\"";
            text += entry.name;
            text += "\", \"permission\":";
            text += hnasjson::jsonInteger(entry.permission);
            text += ", \"type\":\"";
            text += entry.type;
            text += "\" },";
        }
        text.pop_back(); // the comma after the last entry
        text += "]}";
        body.swap(text);
        return true;
    } catch (...) {
        body.clear();
        return false;
    }
}

bool HNASJSONSetCIFSAuthentication::parseResponse(std::string& /*response*/) {
    return true;
}
