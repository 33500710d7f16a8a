// Saves and copies named by whole host paths, for tests and benchmarks that write a file without
// holding its folder: each opens the folder of the path for the call, links followed, and runs
// the file layer's own replace or copy within it; and the description check of a file named so,
// or of bytes in memory.
#pragma once

#include "platform/file_system.h"
#include "xml/description_reader.h"

#include <string>
#include <string_view>

namespace corvelan::test {

// Replaces the content of the file at `hostPath` atomically, creating it when it does not exist.
[[nodiscard]] Result<fs::FileStamp> replaceFileContent(const std::string &hostPath,
                                                       std::string_view bytes);

// Copies the file at `from` over the file at `to`, with the file layer's refusals.
[[nodiscard]] Status copyFile(const std::string &from, const std::string &to);

// Opens the file at `hostPath` and reads it as a description, as an install does.
[[nodiscard]] Result<xml::DescriptionFacts> readDescription(const std::string &hostPath);

// Reads `bytes` as a description, in the pieces an install reads a file in.
[[nodiscard]] Result<xml::DescriptionFacts> readDescriptionBytes(std::string_view bytes);

} // namespace corvelan::test
