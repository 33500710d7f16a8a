// Time and peak memory of one piece of work, measured in a child process of its own so that its
// peak is its own. The child is this benchmark program started again with "--measure" and the
// words that name the task; it measures the task and prints what it measured. Both flavours.
#pragma once

#include "platform/process.h"
#include "support/child.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace corvelan::bench {

struct Measure {
    double milliseconds = 0;
    double growthMegabytes = 0; // of the child's peak memory over what it started with
    bool result = false;        // what the work answered
};

// A task: its setup (not timed, but its memory counts), then the timed work, which answers
// whether it did what it should.
struct Task {
    std::function<void()> setup;
    std::function<bool()> work;
};

// In the child: when this program was started to measure a task, measures the task `prepare`
// makes of its words, prints the measure and returns the exit code to end with. Empty in the
// parent.
inline std::optional<int>
measureIfAsked(int argc, char **argv,
               const std::function<Task(const std::vector<std::string> &words)> &prepare) {
    if (argc < 2 || std::string(argv[1]) != "--measure") return std::nullopt;
    const std::vector<std::string> words(argv + 2, argv + argc);
    const double base = static_cast<double>(test::peakMemoryBytes());
    Task task = prepare(words);
    if (task.setup) task.setup();
    const auto start = std::chrono::steady_clock::now();
    const bool result = task.work();
    const double milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double growth = (static_cast<double>(test::peakMemoryBytes()) - base) / (1 << 20);
    std::printf("%.3f %.3f %d\n", milliseconds, growth, result ? 1 : 0);
    return 0;
}

// In the parent: measures the task named by `words` in a child. A child that failed to run
// measures as 0 ms with a false result.
inline Measure measureInChild(const std::vector<std::string> &words) {
    std::vector<std::string> arguments{"--measure"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    const test::ChildRun run = test::runSelf(arguments);
    Measure m;
    int result = 0;
    std::istringstream in(run.output);
    if (run.exitCode == 0 && in >> m.milliseconds >> m.growthMegabytes >> result)
        m.result = result != 0;
    return m;
}

// The fastest of `runs` measures of the task named by `words`.
inline Measure fastestInChild(const std::vector<std::string> &words, int runs = 3) {
    Measure fastest{1e18, 0, false};
    for (int r = 0; r < runs; ++r) {
        const Measure m = measureInChild(words);
        if (m.milliseconds < fastest.milliseconds) fastest = m;
    }
    return fastest;
}

} // namespace corvelan::bench
