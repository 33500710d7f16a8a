// Saves and copies named by whole host paths, for tests and benchmarks that write a file without
// holding its folder: each opens the folder of the path for the call, links followed, and runs
// the file layer's own replace or copy within it.
#pragma once

#include "platform/file_system.h"

#include <string>
#include <string_view>

namespace corvelan::test {

// Replaces the content of the file at `hostPath` atomically, creating it when it does not exist.
[[nodiscard]] Result<fs::FileStamp> replaceFileContent(const std::string &hostPath,
                                                       std::string_view bytes);

// Copies the file at `from` over the file at `to`, with the file layer's refusals.
[[nodiscard]] Status copyFile(const std::string &from, const std::string &to);

} // namespace corvelan::test
