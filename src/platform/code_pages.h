// Single-byte character encodings that the system knows, for documents declared in one that the
// XML parser does not know itself (windows-1252, ISO-8859-15, ...).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvelan {

// Byte by byte, the Unicode code point that each byte of the encoding `name` stands for, or -1
// for a byte the encoding leaves undefined. Empty when the system does not know the encoding or
// when it is not a single-byte encoding (a byte that starts a longer sequence, a shift state).
[[nodiscard]] std::optional<std::array<std::int32_t, 256>>
singleByteEncoding(std::string_view name);

} // namespace corvelan
