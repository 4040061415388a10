#pragma once

// Why a request got no answer, told from the reason the library logged (the
// transfer library's error text), with the one hint that fits it.

#include <string>

namespace hnasctl {

struct NoAnswer {
    std::string what; // e.g. "connection refused"
    std::string hint; // what to check, e.g. "is the gateway listening on HOST:PORT?"
};

// `reason` is the text of the library's "No answer from the gateway. Reason
// [...]" line; `gateway` the HOST:PORT asked for. An unknown reason is named
// as it stands, with no hint.
NoAnswer describeNoAnswer(const std::string& reason, const std::string& gateway);

} // namespace hnasctl
