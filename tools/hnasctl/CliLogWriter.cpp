// The log of one hnasctl run.

#include "CliLogWriter.h"

#include <cstdarg>
#include <cstdlib>

#include <boost/make_shared.hpp>

#include "Output.h"
#include "hnasmgmt/host/LogWriters.h"

namespace hnasctl {

namespace {

// Library log level shown for each -v.
int levelForVerbosity(int verbosity) {
    const int levels[] = {-1, 0, 4, 5};
    return levels[verbosity < 0 ? 0 : verbosity > 3 ? 3 : verbosity];
}

// Longest error line kept for the report on stderr.
constexpr size_t kMaxErrorLine = 4000;
// Most lines kept for the checks of one operation.
constexpr size_t kMaxLines = 10000;

// How the REST session starts the line with the gateway's explanation.
const char* const kExplanationPrefix = "The gateway refused the request: ";
// How it gives the reason of a request that got no answer: "...[REASON]".
const char* const kNoAnswerPrefix = "No answer from the gateway. Reason [";

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Reads the number after `marker` in `text` (the last occurrence); -1 if none.
long statusAfter(const std::string& text, const std::string& marker) {
    const size_t at = text.rfind(marker);
    if (at == std::string::npos) {
        return -1;
    }
    const char* start = text.c_str() + at + marker.size();
    char* end = nullptr;
    const long value = std::strtol(start, &end, 10);
    return end != start && end != nullptr && *end == ']' ? value : -1;
}

std::string clipped(const std::string& text) {
    return text.size() > kMaxErrorLine ? text.substr(0, kMaxErrorLine) + "..." : text;
}

} // namespace

CliLogWriter::CliLogWriter(int verbosity, const std::string& password)
    : level_(levelForVerbosity(verbosity)), password_(password) {
    if (verbosity > 0) {
        stream_ = boost::make_shared<StreamLogWriter>(level_);
    }
}

CliLogWriter::~CliLogWriter() = default;

// Lines of level 0 and below are always taken: they tell an answer ("not
// found") from a failure.
int CliLogWriter::GetLevel() const {
    return level_ > 0 ? level_ : 0;
}

std::string CliLogWriter::redact(std::string text) const {
    const std::string& password = password_.str();
    if (password.empty()) {
        return text;
    }
    size_t at = 0;
    while ((at = text.find(password, at)) != std::string::npos) {
        text.replace(at, password.size(), "********");
        at += 8;
    }
    return text;
}

void CliLogWriter::keep(int level, const char* function, const std::string& text) {
    if (level <= 0 && lines_.size() < kMaxLines) {
        lines_.push_back(text);
    }
    if (level > -1) {
        return;
    }
    ++errorCount_;
    lastError_ = clipped(text);
    if (startsWith(text, kExplanationPrefix)) {
        explanation_ = clipped(text);
    }
    if (startsWith(text, kNoAnswerPrefix) && text.back() == ']') {
        const size_t start = std::char_traits<char>::length(kNoAnswerPrefix);
        noAnswerReason_ = clipped(text.substr(start, text.size() - start - 1));
    }
    const std::string fn = function ? function : "";
    if (fn.compare(0, 12, "HNASRestAPI:") == 0) {
        long status = statusAfter(text, "Http error code [");
        if (status < 0) {
            status = statusAfter(text, "ResponseCode[");
        }
        if (status >= 0) {
            lastHttpStatus_ = status;
        }
    }
}

void CliLogWriter::Write(int level, const char* function, int line, long long jobId, int flags,
                         const char* format, ...) {
    try {
        va_list args;
        va_start(args, format);
        const std::string text = redact(hnasFormatV(format, args));
        va_end(args);
        keep(level, function, text);
        if (stream_ && level <= level_) {
            stream_->Write(level, function, line, jobId, flags, "%s", printable(text).c_str());
        }
    } catch (...) {
        // A log line is never worth a failure.
    }
}

void CliLogWriter::reset() {
    lines_.clear();
    lastError_.clear();
    explanation_.clear();
    noAnswerReason_.clear();
    errorCount_ = 0;
    lastHttpStatus_ = -1;
}

bool CliLogWriter::logged(const std::string& text) const {
    for (const auto& line : lines_) {
        if (line == text) {
            return true;
        }
    }
    return false;
}

} // namespace hnasctl
