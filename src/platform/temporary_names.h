// The names of the tool's temporary files, shared by both platforms:
//
//   .<name of the file it will replace>.corvelan-XXXXXX     (six letters or digits)
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvelan::fs {

inline constexpr std::string_view kTemporaryMarker = ".corvelan-";
inline constexpr std::size_t kTemporaryRandomLength = 6;

// The name of a temporary file for `targetName`, with `random` (six letters or digits) at its end.
[[nodiscard]] std::string temporaryName(std::string_view targetName, std::string_view random);

} // namespace corvelan::fs
