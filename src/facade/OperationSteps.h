#pragma once

// Steps that every facade operation takes the same way: the refusal before
// init, the resource path built from literal pieces and identifiers, one
// request whose outcome is a small value, and the "send, check the body, show
// it, read it" skeleton of the operations that read an answer.

#include <string>
#include <utility>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "rest/LogText.h"

namespace hnasfacade {

using hnasmgmt::clipForLog;

// What one operation logs under: its function name and job.
struct OpLog {
    const char* function;
    long long job;
    DbgTrace& trace;
};

// True when init has given the facade a session; otherwise logs
// "Initialize HNAS params." and returns false.
inline bool sessionReady(bool initialised, const HNASRestAPI* session, const OpLog& op) {
    if (initialised && session != nullptr) {
        return true;
    }
    op.trace.DebugLvl(op.function, -1, op.job, "Initialize HNAS params.");
    return false;
}

// A resource path made of literal pieces and identifiers. An identifier fills
// one path segment: a '/' in it would make the request reach another
// resource, so it makes the path unsafe.
class ResourcePath {
public:
    ResourcePath& text(const char* literal) {
        path_ += literal;
        return *this;
    }
    ResourcePath& segment(const std::string& identifier) {
        safe_ = safe_ && identifier.find('/') == std::string::npos;
        path_ += identifier;
        return *this;
    }
    const std::string& str() const { return path_; }
    bool safe() const { return safe_; }

private:
    std::string path_;
    bool safe_ = true;
};

enum class Verb { Get, Post, Delete };

// One request of an operation.
struct Request {
    Request(Verb verb, ResourcePath path, int resourceType, std::string body = std::string())
        : verb(verb), path(std::move(path)), resourceType(resourceType), body(std::move(body)) {}
    Verb verb;
    ResourcePath path;
    int resourceType;
    std::string body; // empty for none
};

// The outcome of one request: whether the expected status came back, the
// status of the last answer and its body.
struct Reply {
    bool ok = false;
    long status = 0;
    std::string body;
};

// Sends the request through the session. An unsafe path is refused with
// "Unsafe Resource[%s]. The request was not sent." and nothing is sent.
inline Reply send(HNASRestAPI& api, const OpLog& op, const Request& request) {
    Reply reply;
    if (!request.path.safe()) {
        op.trace.DebugLvl(op.function, -1, op.job, "Unsafe Resource[%s]. The request was not sent.",
                          clipForLog(request.path.str()).c_str());
        return reply;
    }
    const std::string& path = request.path.str();
    switch (request.verb) {
    case Verb::Get:
        reply.ok = api.get(path, reply.body, request.resourceType);
        break;
    case Verb::Post:
        reply.ok = api.post(path, request.body, reply.body, request.resourceType);
        break;
    case Verb::Delete:
        reply.ok = api.del(path, request.body, reply.body, request.resourceType);
        break;
    }
    reply.status = api.getLastHttpError();
    return reply;
}

// Sends a request whose answer the operation reads. A failed request is
// reported by `onFailure(reply)`; an empty answer logs "Empty response from
// the array"; otherwise `onBody(text)` shows the body (bounded for the log)
// and `read(body)` reads it, false logging "Unable to parse JSON response".
template <typename OnFailure, typename OnBody, typename Read>
bool sendAndRead(HNASRestAPI& api, const OpLog& op, const Request& request, OnFailure&& onFailure,
                 OnBody&& onBody, Read&& read) {
    Reply reply = send(api, op, request);
    if (!reply.ok) {
        onFailure(reply);
        return false;
    }
    if (reply.body.empty()) {
        op.trace.DebugLvl(op.function, -1, op.job, "Empty response from the array");
        return false;
    }
    onBody(clipForLog(reply.body).c_str());
    if (!read(reply.body)) {
        op.trace.DebugLvl(op.function, -1, op.job, "Unable to parse JSON response");
        return false;
    }
    return true;
}

} // namespace hnasfacade
