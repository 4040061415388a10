// Base of the message classes: default slots and the error document reader.

#include "hnasmgmt/json/HNASJSONBase.h"

#include "json/JsonReader.h"
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
        hnasjson::JsonDocument document;
        if (!hnasjson::openResponse("HNASJsonBase::parseErrorResponse", jobId, response,
                                    document)) {
            return false;
        }
        const hnasjson::JsonObject& root = document.root();
        unsigned long long code = 0;
        std::string message;
        hnasjson::JsonObject detail;
        std::string reason;
        if (!root.readUInt64("errorCode", code) || !root.readString("errorMsg", message) ||
            !root.readObject("errorDetail", detail) || !detail.readString("reason", reason)) {
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
