// The running process: where it lives and what it uses.
#pragma once

#include "platform/result.h"

#include <cstdint>
#include <string>

namespace corvelan::fs {

// Host path of the folder that holds the running executable, links resolved.
[[nodiscard]] Result<std::string> executableFolder();

// Host path of the process's current folder.
[[nodiscard]] Result<std::string> currentFolder();

} // namespace corvelan::fs

namespace corvelan::process {

// The process's peak resident memory so far, in bytes.
[[nodiscard]] std::uint64_t peakMemoryBytes();

} // namespace corvelan::process
