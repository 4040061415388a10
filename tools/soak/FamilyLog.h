#pragma once

// The host log writer of the soak: keeps the lines of level 0 and below that
// the library wrote since the last clear() (one family's run), so that a
// failure without a fault behind it can be shown with its lines.

#include <cstdarg>
#include <mutex>
#include <string>
#include <vector>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/LogWriters.h"

namespace soak {

class FamilyLog : public CLogWriterInterface {
public:
    int GetLevel() const override { return 0; }
    void Write(int level, const char* function, int, long long, int, const char* format,
               ...) override {
        va_list args;
        va_start(args, format);
        std::string text = hnasFormatV(format, args);
        va_end(args);
        std::lock_guard<std::mutex> lock(mutex_);
        if (lines_.size() < kKept)
            lines_.push_back(std::to_string(level) + " " + function + ": " + text.substr(0, 400));
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    static constexpr std::size_t kKept = 200;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

} // namespace soak
