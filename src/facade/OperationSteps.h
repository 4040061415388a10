#pragma once

// Steps that every facade operation takes the same way: the refusal before
// init, the resource path built from literal pieces and identifiers, one
// request whose outcome is a small value, and the "send, check the body, show
// it, read it" skeleton of the operations that read an answer.

#include <string>
#include <utility>
#include <vector>

#include "facade/NoThrow.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/RKLibCurl.h"
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "rest/Operations.h"
#include "rest/ResourceCheck.h"
#include "text/LogText.h"
#include "json/ListingReaders.h"

namespace hnasmgmt::facade {

using hnasmgmt::clipForLog;
using hnasmgmt::gatewayTextForLog;

// What one operation logs under: its function name and job.
struct OpLog {
    const char* function;
    long long job;
    DbgTrace& trace;
};

// Runs an operation: `body(op)` logs under the operation's name and job, and
// an exception ends it with false and a line (hnasNoThrow).
template <typename Body>
bool runOperation(const char* function, unsigned long long jobId, Body&& body) noexcept {
    return hnasNoThrow(function, jobId, [&] {
        DbgTrace trace;
        const OpLog op{function, static_cast<long long>(jobId), trace};
        return body(op);
    });
}

// True when init has given the facade a session; otherwise logs
// "Initialize HNAS params." and returns false.
inline bool sessionReady(bool initialised, const HNASRestAPI* session, const OpLog& op) {
    if (initialised && session != nullptr) {
        return true;
    }
    op.trace.DebugLvl(op.function, -1, op.job, "Initialize HNAS params.");
    return false;
}

// Runs an operation that needs the session init gives: before init it is
// refused as sessionReady says.
template <typename Body>
bool runSessionOperation(const char* function, unsigned long long jobId, bool initialised,
                         const HNASRestAPI* session, Body&& body) noexcept {
    return runOperation(function, jobId, [&](const OpLog& op) {
        return sessionReady(initialised, session, op) && body(op);
    });
}

// The listing a lookup or a walk reads in full: false, with `failure` logged
// when it could not be read or `empty` when it has no records.
template <typename Record>
bool nonEmptyListing(const OpLog& op, bool read, const std::vector<Record>& records,
                     const char* failure, const char* empty) {
    if (!read || records.empty()) {
        op.trace.DebugLvl(op.function, -1, op.job, "%s", read ? empty : failure);
        return false;
    }
    return true;
}

// A request body as a message built it: false, with `failure` logged, when
// the message refused to build it or built nothing.
inline bool bodyBuilt(const OpLog& op, bool built, const std::string& body, const char* failure) {
    if (built && !body.empty()) {
        return true;
    }
    op.trace.DebugLvl(op.function, -1, op.job, "%s", failure);
    return false;
}

// A resource path made of literal pieces and identifiers. An identifier fills
// one path segment: a '/' in it, or anything that makes it unsafe as a
// resource of its own (isUnsafeResource), would make the request reach
// another resource, so it makes the whole path unsafe, whichever identifier
// it is in.
class ResourcePath {
public:
    ResourcePath& text(const char* literal) {
        path_ += literal;
        return *this;
    }
    ResourcePath& segment(const std::string& identifier) {
        safe_ = safe_ && identifier.find('/') == std::string::npos &&
                !hnasmgmt::isUnsafeResource(identifier);
        path_ += identifier;
        return *this;
    }
    const std::string& str() const { return path_; }
    bool safe() const { return safe_; }

private:
    std::string path_;
    bool safe_ = true;
};

using hnasmgmt::Op;
using hnasmgmt::Verb;

// One request of an operation: its verb and resource type code come from the
// operation's row.
struct Request {
    Request(Op op, ResourcePath path)
        : verb(hnasmgmt::operation(op).verb), path(std::move(path)),
          resourceType(static_cast<int>(op)) {}
    // The request with this body.
    Request withBody(std::string text) && {
        body = std::move(text);
        return std::move(*this);
    }
    Verb verb;
    ResourcePath path;
    int resourceType;
    std::string body; // empty for none
};

// The path of a row with each "{placeholder}" filled, in order, by one
// identifier as a segment.
inline ResourcePath fillPath(const char* pattern, const std::string* const* identifiers) {
    ResourcePath path;
    std::string literal;
    for (const char* c = pattern; *c != '\0'; ++c) {
        if (*c != '{') {
            literal += *c;
            continue;
        }
        path.text(literal.c_str()).segment(**identifiers++);
        literal.clear();
        while (*c != '}')
            ++c;
    }
    path.text(literal.c_str());
    return path;
}

// The request of operation `kOp` whose path's placeholders the identifiers
// fill, in order; another number of identifiers does not compile.
template <Op kOp, typename... Identifiers> Request request(const Identifiers&... identifiers) {
    static_assert(hnasmgmt::placeholderCount(hnasmgmt::operation(kOp).path) ==
                      static_cast<int>(sizeof...(Identifiers)),
                  "one identifier per placeholder of the operation's path");
    const std::string* const filling[] = {&identifiers..., nullptr};
    return Request(kOp, fillPath(hnasmgmt::operation(kOp).path, filling));
}

// The function a row names, for the operation that logs under it.
constexpr const char* functionOf(Op op) {
    return hnasmgmt::operation(op).function;
}

// The outcome of one request: whether the expected status came back, the
// status of the last answer and its body.
struct Reply {
    bool ok = false;
    long status = 0;
    std::string body;
};

// The request of one item of a walk: the answer fetched ahead for it (none
// when its url is empty) and, once it failed, why.
struct WalkStep {
    RKLibCurlResult fetched;
    std::string why;
};

// Why a request failed, in a few words.
inline std::string failureOf(const RKLibCurlResult& exchange, long status) {
    if (exchange.error == RKLibCurlError::NotSent) {
        return "not sent: " + exchange.reason;
    }
    if (exchange.error != RKLibCurlError::None || status == 0) {
        return "no answer from the gateway: " + exchange.reason;
    }
    return exchange.reason.empty() ? "HTTP status " + std::to_string(status) : exchange.reason;
}

// Sends the request through the session, or has it judge the answer that
// `step` holds for it. An unsafe path is refused with "Unsafe Resource[%s].
// The request was not sent." and nothing is sent.
inline Reply send(HNASRestAPI& api, const OpLog& op, const Request& request,
                  WalkStep* step = nullptr) {
    Reply reply;
    if (!request.path.safe()) {
        op.trace.DebugLvl(op.function, -1, op.job, "Unsafe Resource[%s]. The request was not sent.",
                          clipForLog(request.path.str()).c_str());
        if (step != nullptr) {
            step->why = "unsafe identifier: not sent";
        }
        return reply;
    }
    RKLibCurlResult exchange;
    if (step != nullptr) {
        exchange = std::move(step->fetched);
    }
    reply.ok = api.sendReq(static_cast<int>(request.verb), request.path.str(), request.body,
                           reply.body, request.resourceType, exchange);
    reply.status = api.getLastHttpError();
    if (!reply.ok && step != nullptr) {
        step->why = failureOf(exchange, exchange.status);
    }
    return reply;
}

// Sends a request whose answer the operation reads. A failed request is
// reported by `onFailure(reply)`; an empty answer logs "Empty response from
// the array"; otherwise `onBody(body)` shows the body (escaped and bounded by
// the line that shows it, only when that line is written) and `read(body)`
// reads it, false logging "Unable to parse JSON response".
// With a `step`, the request is a walk's (see send) and a failure says why.
template <typename OnFailure, typename OnBody, typename Read>
bool sendAndRead(HNASRestAPI& api, const OpLog& op, const Request& request, OnFailure&& onFailure,
                 OnBody&& onBody, Read&& read, WalkStep* step = nullptr) {
    Reply reply = send(api, op, request, step);
    const char* failure = nullptr;
    if (!reply.ok) {
        onFailure(reply);
        return false;
    }
    if (reply.body.empty()) {
        op.trace.DebugLvl(op.function, -1, op.job, "Empty response from the array");
        failure = "empty answer";
    } else {
        onBody(reply.body);
        if (read(reply.body)) {
            return true;
        }
        op.trace.DebugLvl(op.function, -1, op.job, "Unable to parse JSON response");
        failure = "the answer could not be read";
    }
    if (step != nullptr) {
        step->why = failure;
    }
    return false;
}

// The lines a read logs through sendAndRead: a fixed text at `level` (what it
// is called with is not shown), or a line whose format's one %s shows the
// answer's body, escaped and bounded only when the line is written.
inline auto fixedLine(const OpLog& op, int level, std::string text) {
    return [&op, level, text = std::move(text)](const auto&) {
        op.trace.DebugLvl(op.function, level, op.job, "%s", text.c_str());
    };
}
inline auto bodyLine(const OpLog& op, int level, const char* format) {
    return [&op, level, format](const std::string& body) {
        if (hnasmgmt::logOn(level)) {
            op.trace.DebugLvl(op.function, level, op.job, format, gatewayTextForLog(body).c_str());
        }
    };
}

// sendAndRead of a listing: its records replace `records` once the whole
// listing has been read (none is copied), and are left as they were otherwise.
template <typename Record, typename OnFailure, typename OnBody>
bool sendAndReadListing(HNASRestAPI& api, const OpLog& op, const Request& request,
                        OnFailure&& onFailure, OnBody&& onBody, std::vector<Record>& records,
                        WalkStep* step = nullptr) {
    std::vector<Record> parsed;
    const auto read = [&](std::string& body) {
        return hnasmgmt::json::readListing(static_cast<unsigned long long>(op.job), body, parsed);
    };
    if (!sendAndRead(api, op, request, onFailure, onBody, read, step)) {
        return false;
    }
    records.swap(parsed);
    return true;
}

// sendAndRead of an answer that the message's parseResponse reads.
template <typename Message, typename OnFailure, typename OnBody>
bool sendAndParse(HNASRestAPI& api, const OpLog& op, const Request& request, OnFailure&& onFailure,
                  OnBody&& onBody, Message& message, WalkStep* step = nullptr) {
    return sendAndRead(
        api, op, request, onFailure, onBody,
        [&](std::string& body) { return message.parseResponse(body); }, step);
}

} // namespace hnasmgmt::facade
