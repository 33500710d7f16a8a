// A plain timing loop and the process's peak memory, for benchmarks that build for Linux and for
// Windows alike (Google Benchmark does not cross-build here).
#pragma once

#include "platform/process.h"
#include "support/child.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace corvelan::bench {

// The fastest of the runs of `work` made within about `budgetSeconds` (at least `minRuns`), in
// milliseconds.
inline double fastestMilliseconds(const std::function<void()> &work, double budgetSeconds = 1.0,
                                  int minRuns = 3) {
    using Clock = std::chrono::steady_clock;
    double fastest = 1e300;
    const auto start = Clock::now();
    for (int run = 0;; ++run) {
        const auto begin = Clock::now();
        work();
        const auto end = Clock::now();
        fastest = std::min(fastest, std::chrono::duration<double, std::milli>(end - begin).count());
        if (run + 1 >= minRuns &&
            std::chrono::duration<double>(end - start).count() > budgetSeconds)
            return fastest;
    }
}

// The process's peak resident memory so far, in MB.
inline double peakMegabytes() {
    return static_cast<double>(test::peakMemoryBytes()) / (1024.0 * 1024.0);
}

inline void printRow(const std::string &name, double milliseconds, double megabytes) {
    std::printf("%-32s %10.2f ms %10.1f MB/s %10.1f MB peak\n", name.c_str(), milliseconds,
                megabytes / (milliseconds / 1000.0), peakMegabytes());
}

} // namespace corvelan::bench
