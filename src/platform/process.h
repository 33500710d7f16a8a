// The running process: where its executable lives, and its current folder.
#pragma once

#include "base/result.h"

#include <string>
#include <vector>

namespace corvelan::fs {

// Host path of the folder that holds the running executable, links resolved.
[[nodiscard]] Result<std::string> executableFolder();

// Host path of the process's current folder.
[[nodiscard]] Result<std::string> currentFolder();

// Host path of this process's own executable.
[[nodiscard]] Result<std::string> ownExecutable();

// The system's runtime libraries the executable runs on, each as "name version", as the running
// process sees them.
[[nodiscard]] std::vector<std::string> runtimeComponents();

} // namespace corvelan::fs
