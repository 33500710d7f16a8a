// The running process: where it lives and what it uses.
#pragma once

#include "platform/result.h"

#include <cstdint>
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

struct ChildRun {
    int exitCode = -1;  // -1 when it could not start or did not end by itself
    std::string output; // what it wrote on its standard output
};

// Runs this process's own executable again with `arguments`, its environment extended by
// `environment` ("NAME=value" each, replacing a variable of that name), and waits for it.
[[nodiscard]] ChildRun runSelf(const std::vector<std::string> &arguments,
                               const std::vector<std::string> &environment = {});

} // namespace corvelan::process
