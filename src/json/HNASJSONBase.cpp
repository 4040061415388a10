// Base of the message classes: default slots and the error document reader.

#include "hnasmgmt/json/HNASJSONBase.h"

#include "json/ErrorDocument.h"
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
        hnasmgmt::json::ErrorDocument error;
        std::uint32_t read = 0;
        if (!hnasmgmt::json::readDocument("HNASJsonBase::parseErrorResponse", jobId, response,
                                          hnasmgmt::json::ErrorDocument::kKeys, error, read) ||
            read != hnasmgmt::json::allOf(hnasmgmt::json::ErrorDocument::kKeys)) {
            return false;
        }
        std::string message = error.text();
        errorCode = error.code;
        errorMsg.swap(message);
        return true;
    } catch (...) {
        return false;
    }
}
