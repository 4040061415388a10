#include "ProcessStats.h"

#include <dirent.h>
#include <malloc.h>

#include <cstdio>
#include <fstream>

namespace soak {

namespace {

int countDescriptors() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir))
        count += entry->d_name[0] != '.';
    ::closedir(dir);
    return count - 1; // the directory stream's own descriptor
}

} // namespace

ProcessStats readProcessStats() {
    ProcessStats stats;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        long value = 0;
        if (std::sscanf(line.c_str(), "VmRSS: %ld", &value) == 1)
            stats.residentKiB = value;
        else if (std::sscanf(line.c_str(), "VmHWM: %ld", &value) == 1)
            stats.peakResidentKiB = value;
    }
    const struct mallinfo2 heap = ::mallinfo2();
    stats.heapInUseKiB = static_cast<long>((heap.uordblks + heap.hblkhd) / 1024);
    stats.openDescriptors = countDescriptors();
    return stats;
}

std::string describe(const ProcessStats& stats) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "rss %.1f MiB, peak rss %.1f MiB, heap in use %.1f MiB, %d descriptors",
                  stats.residentKiB / 1024.0, stats.peakResidentKiB / 1024.0,
                  stats.heapInUseKiB / 1024.0, stats.openDescriptors);
    return text;
}

} // namespace soak
