// Messages of the CIFS share permissions.

#include "hnasmgmt/json/HNASJSONCIFSAuthentication.h"

#include <algorithm>

#include "hnasmgmt/host/DbgTrace.h"
#include "json/BodyWriter.h"
#include "json/ListingReaders.h"
#include "json/Schemas.h"

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
    const bool valid =
        std::all_of(cifsAuthentications.begin(), cifsAuthentications.end(),
                    [](const __HNASCIFSAuthentication& entry) {
                        return hnasmgmt::json::writable<hnasmgmt::json::kBody>(entry);
                    });
    return hnasmgmt::json::buildBody("buildRequest", jobId, valid, body, [&] {
        std::string text = "{\"cifsAuthentications\":[";
        for (const __HNASCIFSAuthentication& entry : cifsAuthentications) {
            text += hnasmgmt::json::writeRecord<hnasmgmt::json::kBody>(entry, " },");
        }
        text.pop_back(); // the comma after the last entry
        text += "]}";
        return text;
    });
}

bool HNASJSONSetCIFSAuthentication::parseResponse(std::string& /*response*/) {
    return true;
}
