// What the parts of the file layer's protocol (file_system.cpp, file_copy.cpp) share.
#pragma once

#include "base/result.h"

#include <optional>
#include <string>

namespace corvelan::fs {

// ChangedOnDisk about `path`, found in `operation`.
[[nodiscard]] Error changedOnDisk(const std::string &path, FileOperation operation);

// The error of a gate of the fault seam that failed `operation` on `path`, if it did.
[[nodiscard]] std::optional<Error> refusedByGate(FileOperation operation, const std::string &path);

} // namespace corvelan::fs
