// The running process: where it lives and what it uses.
#pragma once

#include "platform/result.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace corvelan::fs {

// Host path of the folder that holds the running executable, links resolved.
[[nodiscard]] Result<std::string> executableFolder();

// Host path of the process's current folder.
[[nodiscard]] Result<std::string> currentFolder();

} // namespace corvelan::fs

namespace corvelan::process {

// The process's peak resident memory so far, in bytes.
[[nodiscard]] std::uint64_t peakMemoryBytes();

// A block of memory whose pages are only touched as they are written.
struct BlockDeleter {
    void operator()(char *block) const noexcept { std::free(block); }
};
using Block = std::unique_ptr<char[], BlockDeleter>;

// A block of `size` bytes; a large one on the system's large pages where it offers them, so that
// filling it costs fewer page faults. Throws std::bad_alloc when there is no memory for it.
[[nodiscard]] Block allocateBlock(std::size_t size);

// Host path of this process's own executable.
[[nodiscard]] Result<std::string> ownExecutable();

// A program started with its standard output to a pipe of ours. Ended and waited for when it
// goes, so that none outlives the test or benchmark that started it.
class Child {
public:
    // Starts `executable` with `arguments` and its environment extended by `environment`
    // ("NAME=value" each, replacing a variable of that name).
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

} // namespace corvelan::process
