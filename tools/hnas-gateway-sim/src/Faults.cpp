#include "hnasgwsim/Faults.h"

#include <sstream>
#include <stdexcept>
#include <strings.h>

#include "JsonRead.h"

namespace hnasgwsim {

namespace {

const char kStorageRoot[] = "/v4/storage/";

int toInt(const std::string& text, const std::string& what) {
    try {
        size_t used = 0;
        long value = std::stol(text, &used);
        if (used != text.size() || value < 0 || value > 1000000000)
            throw std::invalid_argument(what);
        return static_cast<int>(value);
    } catch (const std::exception&) {
        throw std::invalid_argument("bad number for " + what + ": \"" + text + "\"");
    }
}

void checkRule(const FaultRule& rule) {
    if (rule.kind == FaultKind::Status && (rule.status < 100 || rule.status > 599))
        throw std::invalid_argument("a status fault needs a status from 100 to 599");
    if (rule.status != 0 && (rule.status < 100 || rule.status > 599))
        throw std::invalid_argument("status must be from 100 to 599");
    if (rule.kind == FaultKind::None && rule.latencyMs == 0)
        throw std::invalid_argument("the rule does nothing: give an action or a latency");
}

FaultKind kindFromName(const std::string& name) {
    if (name == "status")
        return FaultKind::Status;
    if (name == "close")
        return FaultKind::Close;
    if (name == "truncate")
        return FaultKind::Truncate;
    if (name == "notjson")
        return FaultKind::NotJson;
    if (name == "none" || name == "latency")
        return FaultKind::None;
    throw std::invalid_argument("unknown fault action \"" + name + "\"");
}

} // namespace

bool globMatch(const std::string& pattern, const std::string& text) {
    size_t p = 0, t = 0, star = std::string::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool FaultRule::matches(const std::string& requestMethod, const std::string& requestPath) const {
    if (method != "*" && ::strcasecmp(method.c_str(), requestMethod.c_str()) != 0)
        return false;
    if (!path.empty() && path[0] == '/')
        return globMatch(path, requestPath);
    const std::string root = kStorageRoot;
    if (requestPath.compare(0, root.size(), root) != 0)
        return false;
    return globMatch(path, requestPath.substr(root.size()));
}

std::string FaultRule::describe() const {
    std::ostringstream out;
    out << (method.empty() ? "*" : method) << ' ' << (path.empty() ? "*" : path);
    switch (kind) {
    case FaultKind::None:
        break;
    case FaultKind::Status:
        out << " status=" << status;
        break;
    case FaultKind::Close:
        out << " close";
        break;
    case FaultKind::Truncate:
        out << " truncate";
        break;
    case FaultKind::NotJson:
        out << " notjson";
        if (status != 0)
            out << " status=" << status;
        break;
    }
    if (latencyMs != 0)
        out << " latency=" << latencyMs;
    if (nth != 0)
        out << " nth=" << nth;
    if (times != 0)
        out << " times=" << times;
    return out.str();
}

FaultRule parseFaultRule(const std::string& text) {
    std::istringstream in(text);
    FaultRule rule;
    if (!(in >> rule.method >> rule.path))
        throw std::invalid_argument("a fault rule is METHOD PATTERN ACTION [OPTION...]: \"" + text +
                                    "\"");
    std::string word;
    while (in >> word) {
        auto eq = word.find('=');
        const std::string name = word.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
        if (name == "status") {
            rule.status = toInt(value, "status");
            if (rule.kind == FaultKind::None)
                rule.kind = FaultKind::Status;
        } else if (name == "latency") {
            rule.latencyMs = toInt(value, "latency");
        } else if (name == "nth") {
            rule.nth = toInt(value, "nth");
        } else if (name == "times") {
            rule.times = toInt(value, "times");
        } else if (eq == std::string::npos) {
            rule.kind = kindFromName(name);
        } else {
            throw std::invalid_argument("unknown fault option \"" + word + "\"");
        }
    }
    checkRule(rule);
    return rule;
}

FaultRule parseFaultRuleJson(const std::string& json) {
    simdjson::dom::parser parser;
    FaultRule rule;
    try {
        JsonFields f(parseObject(parser, json), "the fault rule");
        rule.method = f.string("method").value_or("*");
        rule.path = f.string("path").value_or("*");
        rule.status = static_cast<int>(f.integer("status").value_or(0));
        if (auto action = f.string("action"))
            rule.kind = kindFromName(*action);
        else if (rule.status != 0)
            rule.kind = FaultKind::Status;
        auto bounded = [&](const char* key) {
            auto v = f.integer(key).value_or(0);
            if (v < 0 || v > 1000000000)
                throw std::invalid_argument(std::string("\"") + key + "\" is out of range");
            return static_cast<int>(v);
        };
        rule.latencyMs = bounded("latencyMs");
        rule.nth = bounded("nth");
        rule.times = bounded("times");
    } catch (const BadInput& e) {
        throw std::invalid_argument(e.what());
    }
    checkRule(rule);
    return rule;
}

} // namespace hnasgwsim
