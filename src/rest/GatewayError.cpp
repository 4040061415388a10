#include "rest/GatewayError.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "rest/LogText.h"
#include "json/JsonScan.h"

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
        static constexpr std::string_view kKeys[] = {"errorCode", "errorMsg", "errorDetail"};
        static constexpr std::string_view kDetailKeys[] = {"reason"};
        hnasjson::JsonScan scan;
        hnasjson::JsonObject root;
        if (!scan.start(body, root))
            return false;
        unsigned long long code = 0;
        std::string message;
        std::string reason;
        bool hasReason = false;
        const std::uint32_t read =
            scan.fields(root, kKeys, [&](std::size_t i, hnasjson::JsonValue& v) {
                switch (i) {
                case 0:
                    return scan.read(v, code);
                case 1:
                    return scan.read(v, message);
                default:
                    hasReason =
                        scan.fields(v, kDetailKeys, [&](std::size_t, hnasjson::JsonValue& r) {
                            return scan.read(r, reason);
                        }) != 0;
                    return hasReason;
                }
            });
        if (!scan.finish() || (read & 3u) != 3u)
            return false;
        if (hasReason)
            message += "(" + reason + ").";
        description = "Code[" + std::to_string(code) + "] Message[" +
                      escapeControls(clipForLog(message, kGatewayMessageLimit)) + "]";
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace hnasmgmt
