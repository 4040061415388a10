#pragma once

/// @file
/// HNASJSONBase, the base of the message classes.

#include <string>

#include "hnasmgmt/Export.h"

/// Base of the message classes: one class per REST resource that builds the
/// request body and reads the response body into records.
///
/// A message object lives for one request on the stack of a facade
/// operation and carries the job identifier into its log lines. Every reader
/// follows the same frame: an empty text is refused ("Empty JSON response"),
/// a text that is not a JSON object with members is refused ("Error when
/// parsing the JSON response [...]"), and a required key that is missing or
/// of another type makes the reader return false; nothing ever ends the
/// process.
class HNASMGMT_API HNASJSONBase {
public:
    /// A message tagged with a fixed job identifier.
    HNASJSONBase();
    /// A message tagged with the caller's job identifier.
    /// @param jobId the job identifier carried by every log line.
    explicit HNASJSONBase(const unsigned long long& jobId);
    /// Builds the request body. The base version leaves `body` as it is and
    /// returns true.
    /// @param[out] body the request body.
    /// @return true when the body was built.
    virtual bool buildRequest(std::string& body);
    /// Reads a response document into the message's record or records.
    /// @param response the response body; not changed.
    /// @return true when the document was read.
    virtual bool parseResponse(std::string& response) = 0;
    /// Copies the error code and text read by parseErrorResponse.
    /// @param[out] code the gateway's "errorCode".
    /// @param[out] message the error text.
    virtual void getError(unsigned long long& code, std::string& message);
    /// Reads the gateway's error document: "errorCode", "errorMsg" and
    /// "errorDetail"."reason"; the message becomes errorMsg + "(" + reason + ").".
    /// @param response the error document; not changed.
    /// @return true when the document was read.
    virtual bool parseErrorResponse(std::string& response);

protected:
    /// Message objects live on the stack by their exact class and are never
    /// deleted through a base pointer.
    ~HNASJSONBase() = default;
    /// Copies the job identifier and the error read so far.
    HNASJSONBase(const HNASJSONBase&) = default;
    /// Copies the job identifier and the error read so far.
    HNASJSONBase& operator=(const HNASJSONBase&) = default;
    std::string errorMsg;         ///< Error text read by parseErrorResponse.
    unsigned long long errorCode; ///< Error code read by parseErrorResponse.
    unsigned long long jobId;     ///< Job identifier of the log lines.
};
