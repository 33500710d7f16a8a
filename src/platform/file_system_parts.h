// What each platform's file layer gives the part of it that both share (platform/file_system.cpp).
// Only the platform layer includes this.
#pragma once

#include "platform/file_system.h"

namespace corvelan::fs::detail {

// The file a replacement of `path` must replace: on Linux the file behind a symbolic link (or
// where a dangling one points); on Windows `path` itself.
[[nodiscard]] Result<std::string> replacementTarget(const std::string &path);

// Whether a copy of `source` may go to `to`: true when `to` is `source` itself (nothing to do),
// false when it may be written; refused when it is a folder, not a regular file, or read-only.
[[nodiscard]] Result<bool> isCopyOntoItself(const OpenFile &source, const std::string &to);

} // namespace corvelan::fs::detail
