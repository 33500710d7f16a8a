// The running process: where its executable lives, and its current folder.
#pragma once

#include "base/result.h"

#include <string>

namespace corvelan::fs {

// Host path of the folder that holds the running executable, links resolved.
[[nodiscard]] Result<std::string> executableFolder();

// Host path of the process's current folder.
[[nodiscard]] Result<std::string> currentFolder();

// Host path of this process's own executable.
[[nodiscard]] Result<std::string> ownExecutable();

} // namespace corvelan::fs
