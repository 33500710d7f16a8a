// Time and peak memory of one piece of work, measured in a child process of its own so that
// its peak is its own.
#pragma once

#include <chrono>
#include <cstdlib>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace corvelan::bench {

struct Measure {
    double milliseconds = 0;
    double growthMegabytes = 0; // of the child's peak memory over what it started with
    bool result = false;        // what the work answered
};

inline long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs `setup` (not measured) then `work` in a child process.
template <typename Setup, typename Work> Measure inChild(Setup setup, Work work) {
    int out[2];
    if (::pipe(out) != 0) std::abort();
    if (::fork() == 0) {
        ::close(out[0]);
        const long base = peakKilobytes();
        setup();
        const auto start = std::chrono::steady_clock::now();
        Measure m;
        m.result = work();
        m.milliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        m.growthMegabytes = static_cast<double>(peakKilobytes() - base) / 1024.0;
        [[maybe_unused]] auto n = ::write(out[1], &m, sizeof m);
        ::_exit(0);
    }
    ::close(out[1]);
    Measure m;
    [[maybe_unused]] auto n = ::read(out[0], &m, sizeof m);
    ::close(out[0]);
    ::wait(nullptr);
    return m;
}

} // namespace corvelan::bench
