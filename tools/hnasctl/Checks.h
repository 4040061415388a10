#pragma once

// Checks and conversions of the values a user gives on the command line
// before they reach a request: identifiers that become path segments, and
// texts that the library writes into request bodies as JSON string content.

#include <stdexcept>
#include <string>

namespace hnasctl {

// A mistake in the command line: reported with exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws UsageError unless `value` can be one segment of a resource path:
// not empty, free of '/' and safe as the library's resource check has it
// (no "." or "..", no '\\', '?', '#', ';', blanks, control characters or
// escapes of them). `what` names the value in the message (e.g. "--fs").
void requirePathSegment(const std::string& what, const std::string& value);

// Throws UsageError when `value` is empty.
void requireNonEmpty(const std::string& what, const std::string& value);

// The text as JSON string content (without the enclosing quotes): the form in
// which the library writes texts into request bodies, so that the array reads
// back exactly `text`.
std::string jsonContent(const std::string& text);

// The reverse for names the library returns with every backslash doubled
// (CIFS permission names): one backslash for each pair.
std::string undoubleBackslashes(const std::string& text);

// Splits "HOST:PORT" (also "[IPv6]:PORT", with an optional "https://" in front
// and "/" at the end). Throws UsageError when the text is not of that form or
// the port is not 1 to 65535.
void splitGateway(const std::string& text, std::string& host, int& port);

// Parses a decimal integer that must fill the whole text; throws UsageError.
long long parseInteger(const std::string& what, const std::string& text, long long min,
                       long long max);

} // namespace hnasctl
