#pragma once

// What the soak watches of its own process: resident memory and open file
// descriptors, read from /proc.

#include <string>

namespace soak {

struct ProcessStats {
    long residentKiB = 0;     // VmRSS
    long peakResidentKiB = 0; // VmHWM
    long heapInUseKiB = 0;    // allocated through malloc and not freed (mallinfo2)
    int openDescriptors = 0;  // entries of /proc/self/fd
};

ProcessStats readProcessStats();

// "rss 12.3 MiB, peak rss 14.0 MiB, heap in use 8.1 MiB, 17 descriptors"
std::string describe(const ProcessStats& stats);

} // namespace soak
