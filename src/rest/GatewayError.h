#pragma once

// The gateway's explanation of a refusal, read quietly from its error
// document for the session's log.

#include <cstddef>
#include <string>

namespace hnasmgmt {

// The most bytes of the gateway's message that the explanation carries.
constexpr std::size_t kGatewayMessageLimit = 1024;

// Reads an error document ("errorCode" number, "errorMsg" text, and
// "errorDetail"."reason" appended as "(reason)." when present) into
// "Code[N] Message[...]", the message as gatewayTextForLog gives it, cut at
// kGatewayMessageLimit bytes. False, logging nothing, when the
// body is not such a document. Never throws.
bool describeGatewayError(const std::string& body, std::string& description) noexcept;

} // namespace hnasmgmt
