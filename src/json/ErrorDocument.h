#pragma once

// The gateway's error document, {"errorCode": N, "errorMsg": "A",
// "errorDetail": {"reason": "B"}}, read by the messages and, quietly, for
// the session's explanation of a refusal.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/JsonScan.h"

namespace hnasmgmt::json {

struct ErrorDocument {
    // The root's keys, in the order of the bits of the mask read.
    static constexpr std::string_view kKeys[] = {"errorCode", "errorMsg", "errorDetail"};

    // Reads the root's member keys[i]; for "errorDetail", its "reason". Serves
    // as the onField of scanDocument and readDocument.
    bool operator()(JsonScan& scan, std::size_t i, JsonValue& value);
    // The message, followed by "(B)." when the reason was read.
    std::string text() const;

    unsigned long long code = 0;
    std::string message;
    std::string reason;
    bool hasReason = false;
};

// Reads `body` quietly as an error document: true, with `error` read, when it
// is valid JSON whose root has at least "errorCode" and "errorMsg"; false,
// logging nothing, otherwise (an empty body too). Never throws.
bool scanErrorDocument(const std::string& body, ErrorDocument& error) noexcept;

} // namespace hnasmgmt::json
