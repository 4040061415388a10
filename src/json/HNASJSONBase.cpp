// Base of the message classes: default slots and the error document reader.

#include "hnasmgmt/json/HNASJSONBase.h"

#include <string_view>

#include "json/ParseFrame.h"

HNASJSONBase::HNASJSONBase() : errorCode(0), jobId(0) {}

HNASJSONBase::HNASJSONBase(const unsigned long long& jobId) : errorCode(0), jobId(jobId) {}

bool HNASJSONBase::buildRequest(std::string& /*body*/) {
    return true;
}

void HNASJSONBase::getError(unsigned long long& code, std::string& message) {
    code = errorCode;
    try {
        message = errorMsg;
    } catch (...) {
        message.clear();
    }
}

// {"errorCode": N, "errorMsg": "A", "errorDetail": {"reason": "B"}} gives
// errorCode N and errorMsg "A(B).". Every key is required.
bool HNASJSONBase::parseErrorResponse(std::string& response) {
    try {
        static constexpr std::string_view kKeys[] = {"errorCode", "errorMsg", "errorDetail"};
        static constexpr std::string_view kDetailKeys[] = {"reason"};
        unsigned long long code = 0;
        std::string message;
        std::string reason;
        std::uint32_t read = 0;
        if (!hnasjson::readDocument(
                "HNASJsonBase::parseErrorResponse", jobId, response, kKeys,
                [&](hnasjson::JsonScan& scan, std::size_t i, hnasjson::JsonValue& v) {
                    switch (i) {
                    case 0:
                        return scan.read(v, code);
                    case 1:
                        return scan.read(v, message);
                    default:
                        return scan.fields(v, kDetailKeys,
                                           [&](std::size_t, hnasjson::JsonValue& r) {
                                               return scan.read(r, reason);
                                           }) != 0;
                    }
                },
                read) ||
            read != hnasjson::allOf(kKeys)) {
            return false;
        }
        message += '(';
        message += reason;
        message += ").";
        errorCode = code;
        errorMsg.swap(message);
        return true;
    } catch (...) {
        return false;
    }
}
