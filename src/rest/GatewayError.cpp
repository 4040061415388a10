#include "rest/GatewayError.h"

#include <cstdint>
#include <cstdio>

#include "rest/LogText.h"
#include "json/ErrorDocument.h"
#include "json/ParseFrame.h"

namespace hnasmgmt {

std::string escapeControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool describeGatewayError(const std::string& body, std::string& description) noexcept {
    try {
        if (body.empty())
            return false;
        hnasjson::ErrorDocument error;
        std::uint32_t read = 0;
        if (!hnasjson::scanDocument(body, hnasjson::ErrorDocument::kKeys, error, read) ||
            (read & 3u) != 3u)
            return false;
        description = "Code[" + std::to_string(error.code) + "] Message[" +
                      escapeControls(clipForLog(error.text(), kGatewayMessageLimit)) + "]";
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace hnasmgmt
