// Windows attributes of files, read and set as the host keeps them, for tests that give a file
// attributes and look at what a save left: on Windows through the W functions; on Linux as Wine
// keeps them, read-only as the absence of every write permission bit, hidden and system in the
// user.DOSATTRIB extended attribute ("0x%x").
#pragma once

#include "base/result.h"

#include <cstdint>
#include <string>

namespace corvelan::test {

// Windows file attribute bits.
inline constexpr std::uint32_t kReadOnly = 0x1;
inline constexpr std::uint32_t kHidden = 0x2;
inline constexpr std::uint32_t kSystem = 0x4;
inline constexpr std::uint32_t kDirectory = 0x10;
inline constexpr std::uint32_t kArchive = 0x20;
inline constexpr std::uint32_t kNormal = 0x80;

// The file's attributes: read-only, hidden, system, directory for a folder, archive for a file (a
// Linux name starting with '.' is hidden when it has no user.DOSATTRIB).
[[nodiscard]] Result<std::uint32_t> fileAttributes(const std::string &hostPath);

// Sets read-only, hidden and system; other bits are ignored. Leaves the file unchanged on failure.
[[nodiscard]] Status setFileAttributes(const std::string &hostPath, std::uint32_t attributes);

} // namespace corvelan::test
