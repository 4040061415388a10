// Messages of the CIFS share permissions.

#include "hnasmgmt/json/HNASJSONCIFSAuthentication.h"

#include <algorithm>
#include <string_view>

#include "hnasmgmt/host/DbgTrace.h"
#include "json/BodyWriter.h"
#include "json/JsonText.h"
#include "json/ListingReaders.h"
#include "json/RecordReaders.h"

using hnasjson::JsonScan;
using hnasjson::JsonValue;

namespace {

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

} // namespace

bool hnasjson::readRecord(JsonScan& scan, JsonValue& value, __HNASCIFSAuthentication& entry) {
    using R = __HNASCIFSAuthentication;
    static constexpr std::string_view kKeys[] = {"name", "encodedName", "type", "permission"};
    if (!readMembers<&R::name, &R::encodedName, &R::type, &R::permission>(scan, value, kKeys,
                                                                          entry)) {
        return false;
    }
    entry.name = doubleBackslashes(entry.name);
    return true;
}

HNASJSON_LISTING_MESSAGE(HNASJSONGetCIFSAuthentication, __HNASCIFSAuthentication,
                         cifsAuthentications, getCIFSAuth)

// --- HNASJSONSetCIFSAuthentication ---

HNASJSONSetCIFSAuthentication::HNASJSONSetCIFSAuthentication(
    const unsigned long long& jobId, std::vector<__HNASCIFSAuthentication>& entries)
    : HNASJSONBase(jobId), cifsAuthentications(entries) {}

// {"cifsAuthentications":[{"encodedName":"E", "name":"N", "permission":P, "type":"T" }]}
// Values go in verbatim, so each text must already be valid JSON string
// content (names read from the array carry their backslashes doubled).
bool HNASJSONSetCIFSAuthentication::buildRequest(std::string& body) {
    if (cifsAuthentications.empty()) {
        body.clear();
        DbgTrace trace(nullptr);
        trace.DebugLvl("buildRequest", 0, static_cast<long long>(jobId),
                       "Nothing to build. No CIFS Authentication set.");
        return true;
    }
    const bool valid = std::all_of(cifsAuthentications.begin(), cifsAuthentications.end(),
                                   [](const __HNASCIFSAuthentication& entry) {
                                       return hnasjson::isJsonStringContent(entry.encodedName) &&
                                              hnasjson::isJsonStringContent(entry.name) &&
                                              hnasjson::isJsonStringContent(entry.type);
                                   });
    return hnasjson::buildBody("buildRequest", jobId, valid, body, [&] {
        std::string text = "{\"cifsAuthentications\":[";
        for (const __HNASCIFSAuthentication& entry : cifsAuthentications) {
            text += hnasjson::ObjectWriter()
                        .text("encodedName", entry.encodedName)
                        .text("name", entry.name)
                        .bare("permission", hnasjson::jsonInteger(entry.permission))
                        .text("type", entry.type)
                        .close(" },");
        }
        text.pop_back(); // the comma after the last entry
        text += "]}";
        return text;
    });
}

bool HNASJSONSetCIFSAuthentication::parseResponse(std::string& /*response*/) {
    return true;
}
