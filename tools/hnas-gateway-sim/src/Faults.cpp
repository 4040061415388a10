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

const FaultKindInfo kKinds[] = {
    {FaultKind::None, "none", FaultPhase::Delay, FaultStatus::Ignored,
     "no change to the answer (latency alone)"},
    {FaultKind::Status, "status", FaultPhase::Instead, FaultStatus::Is,
     "answer the status with an error document; the request is not carried out"},
    {FaultKind::Close, "close", FaultPhase::Instead, FaultStatus::Ignored,
     "close the connection without answering; the request is not carried out"},
    {FaultKind::Truncate, "truncate", FaultPhase::After, FaultStatus::Ignored,
     "carry the request out, then send half the answer's body and close"},
    {FaultKind::NotJson, "notjson", FaultPhase::After, FaultStatus::Replaces,
     "carry the request out, then answer with an HTML page (status=N in place of the normal one)"},
};

FaultKind kindFromName(const std::string& name) {
    if (name == "latency")
        return FaultKind::None;
    for (const FaultKindInfo& row : kKinds)
        if (name == row.name)
            return row.kind;
    throw std::invalid_argument("unknown fault action \"" + name + "\"");
}

} // namespace

const FaultKindInfo* faultKinds(std::size_t& count) {
    count = sizeof kKinds / sizeof kKinds[0];
    return kKinds;
}

const FaultKindInfo& faultKindInfo(FaultKind kind) {
    for (const FaultKindInfo& row : kKinds)
        if (row.kind == kind)
            return row;
    return kKinds[0];
}

std::string faultActionsText() {
    std::string text;
    for (const FaultKindInfo& row : kKinds) {
        if (row.phase == FaultPhase::Delay)
            continue;
        text += text.empty() ? "" : ", ";
        text += row.name;
        if (row.status == FaultStatus::Is)
            text += "=N";
    }
    return text;
}

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
    const FaultKindInfo& row = faultKindInfo(kind);
    if (row.status == FaultStatus::Is)
        out << ' ' << row.name << '=' << status;
    else if (row.phase != FaultPhase::Delay)
        out << ' ' << row.name;
    if (row.status == FaultStatus::Replaces && status != 0)
        out << " status=" << status;
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
