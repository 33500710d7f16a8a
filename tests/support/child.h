// Programs that tests and benchmarks start and read: another program, or this one again, with its
// standard output to a pipe of theirs, and how much memory a process has used at most.
#pragma once

#include "base/result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvelan::test {

// The process's peak resident memory so far, in bytes.
[[nodiscard]] std::uint64_t peakMemoryBytes();

// A program started with its standard output to a pipe of ours. Ended and waited for when it
// goes, so that none outlives the test or benchmark that started it.
class Child {
public:
    // Starts `executable` with `arguments` and its environment extended by `environment`
    // ("NAME=value" each, replacing a variable of that name). Fails with the system's error,
    // whose detail says it could not start.
    [[nodiscard]] static Result<Child> start(const std::string &executable,
                                             const std::vector<std::string> &arguments,
                                             const std::vector<std::string> &environment = {});
    Child(Child &&other) noexcept;
    Child &operator=(Child &&) = delete;
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child();

    // What it wrote on its standard output: at most `size` bytes, waiting until some come; empty
    // once it closed its output.
    [[nodiscard]] std::string read(std::size_t size);
    // Everything it writes, to its end.
    [[nodiscard]] std::string readAll();
    // True while it runs.
    [[nodiscard]] bool running();
    // Ends it at once; false when it had ended already.
    bool terminate();
    // Waits for it to end: its exit code, -1 when it did not end by itself.
    int wait();

private:
    Child(std::intptr_t process, std::intptr_t output) : m_process(process), m_output(output) {}
    std::intptr_t m_process; // pid or process HANDLE; -1 once waited for
    std::intptr_t m_output;  // reading end of its standard output; -1 once closed
    int m_exitCode = -1;
};

struct ChildRun {
    int exitCode = -1;  // -1 when it could not start or did not end by itself
    std::string output; // what it wrote on its standard output
};

// Runs this process's own executable again with `arguments`, its environment extended by
// `environment`, and waits for it.
[[nodiscard]] ChildRun runSelf(const std::vector<std::string> &arguments,
                               const std::vector<std::string> &environment = {});

// The environment `current` ("NAME=value" each) with the variables `added`, which replace those
// of the same name.
[[nodiscard]] std::vector<std::string> withVariables(const std::vector<std::string> &current,
                                                     const std::vector<std::string> &added);

// The error of a program that could not start, for the reason `err` (an errno).
[[nodiscard]] Error notStarted(int err, const std::string &executable);

} // namespace corvelan::test
