// The ready-made stream log writer and the shared printf-style formatter.

#include "hnasmgmt/host/LogWriters.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

std::string hnasFormatV(const char* format, va_list args) {
    if (format == nullptr) {
        return std::string();
    }
    try {
        char stackBuf[1024];
        va_list copy;
        va_copy(copy, args);
        const int needed = std::vsnprintf(stackBuf, sizeof stackBuf, format, copy);
        va_end(copy);
        if (needed < 0) {
            return std::string(format);
        }
        if (static_cast<size_t>(needed) < sizeof stackBuf) {
            return std::string(stackBuf, static_cast<size_t>(needed));
        }
        std::string result(static_cast<size_t>(needed) + 1, '\0');
        va_list copy2;
        va_copy(copy2, args);
        const int written = std::vsnprintf(&result[0], result.size(), format, copy2);
        va_end(copy2);
        if (written < 0) {
            return std::string(format);
        }
        result.resize(static_cast<size_t>(written) < result.size() ? static_cast<size_t>(written)
                                                                   : result.size() - 1);
        return result;
    } catch (...) {
        try {
            return std::string(format);
        } catch (...) {
            return std::string();
        }
    }
}

namespace {

// Appends text with every control character (below 0x20 and 0x7F) escaped,
// and the backslash doubled, so that one record stays one line. Runs of plain
// characters are appended whole.
void appendEscaped(std::string& out, const char* text) {
    static const char hex[] = "0123456789ABCDEF";
    const char* run = text;
    for (const char* p = text;; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != 0x7F && c != '\\') {
            continue;
        }
        out.append(run, static_cast<size_t>(p - run));
        run = p + 1;
        switch (c) {
        case '\0':
            return;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
}

// Appends the UTC time of now, "YYYY-MM-DDTHH:MM:SS.mmmZ". The calendar part
// is formatted once per second and thread.
void appendUtcTimestamp(std::string& out) {
    thread_local std::time_t cachedSecond = -1;
    thread_local char cachedText[32] = {0};
    thread_local size_t cachedLength = 0;
    const auto now = std::chrono::system_clock::now();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    if (secs != cachedSecond) {
        std::tm tmUtc{};
        gmtime_r(&secs, &tmUtc);
        cachedLength = std::strftime(cachedText, sizeof cachedText, "%Y-%m-%dT%H:%M:%S", &tmUtc);
        cachedSecond = secs;
    }
    const int millis = static_cast<int>(ms.count());
    const char tail[] = {'.', static_cast<char>('0' + millis / 100),
                         static_cast<char>('0' + millis / 10 % 10),
                         static_cast<char>('0' + millis % 10), 'Z'};
    out.append(cachedText, cachedLength).append(tail, sizeof tail);
}

} // namespace

// --- StreamLogWriter ---

StreamLogWriter::StreamLogWriter(int level) : level_(level), out_(stderr), ownsFile_(false) {}

StreamLogWriter::StreamLogWriter(int level, const std::string& path)
    : level_(level), out_(stderr), ownsFile_(false) {
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (f != nullptr) {
        out_ = f;
        ownsFile_ = true;
    }
}

StreamLogWriter::~StreamLogWriter() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ownsFile_ && out_ != nullptr) {
        std::fclose(out_);
    } else if (out_ != nullptr) {
        std::fflush(out_);
    }
    out_ = nullptr;
}

int StreamLogWriter::GetLevel() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return level_;
}

void StreamLogWriter::SetLevel(int level) {
    std::lock_guard<std::mutex> lock(mutex_);
    level_ = level;
}

void StreamLogWriter::Write(int level, const char* function, int /*line*/, long long jobId,
                            int /*flags*/, const char* format, ...) {
    try {
        // The trace passes its formatted line as one "%s" argument: no
        // second formatting pass for it.
        std::string formatted;
        const char* text = nullptr;
        va_list args;
        va_start(args, format);
        if (format != nullptr && std::strcmp(format, "%s") == 0) {
            text = va_arg(args, const char*);
            text = text != nullptr ? text : "(null)"; // as printf shows it
        } else {
            formatted = hnasFormatV(format, args);
            text = formatted.c_str();
        }
        va_end(args);

        std::string record;
        record.reserve(std::strlen(text) + 128);
        appendUtcTimestamp(record);
        char head[64];
        const int headLength = std::snprintf(head, sizeof head, " L%d job=%lld ", level, jobId);
        record.append(head, headLength > 0 ? static_cast<size_t>(headLength) : 0);
        appendEscaped(record, function ? function : "");
        record += ": ";
        appendEscaped(record, text);
        record += '\n';

        std::lock_guard<std::mutex> lock(mutex_);
        if (out_ != nullptr) {
            std::fwrite(record.data(), 1, record.size(), out_);
            std::fflush(out_);
        }
    } catch (...) {
    }
}
