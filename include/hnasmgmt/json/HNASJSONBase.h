#pragma once

// Base of the message classes: one class per REST resource that builds the
// request body and reads the response body into records.

#include <string>

#include "hnasmgmt/Export.h"

class HNASMGMT_API HNASJSONBase {
public:
    HNASJSONBase();
    explicit HNASJSONBase(const unsigned long long& jobId);

    // Builds the request body. The base version leaves `body` as it is and
    // returns true.
    virtual bool buildRequest(std::string& body);
    // Reads a response document into the message's record or records.
    virtual bool parseResponse(std::string& response) = 0;
    // Copies the error code and text read by parseErrorResponse.
    virtual void getError(unsigned long long& code, std::string& message);
    // Reads the gateway's error document: "errorCode", "errorMsg" and
    // "errorDetail"."reason"; the message becomes errorMsg + "(" + reason + ").".
    virtual bool parseErrorResponse(std::string& response);

protected:
    // Message objects live on the stack by their exact class and are never
    // deleted through a base pointer.
    ~HNASJSONBase() = default;
    HNASJSONBase(const HNASJSONBase&) = default;
    HNASJSONBase& operator=(const HNASJSONBase&) = default;

    std::string errorMsg;
    unsigned long long errorCode;
    unsigned long long jobId;
};
