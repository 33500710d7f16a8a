// UTF-8, the tool's strings, to UTF-16, the Windows API's, and back. Platform-free, so that both
// flavours test the one conversion the Win32 boundary uses (platform/win32/wide.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvelan {

// The UTF-16 form of `utf8`; empty when `utf8` is not valid UTF-8 (overlong forms, surrogates
// and code points past U+10FFFF included).
[[nodiscard]] std::optional<std::u16string> utf8ToUtf16(std::string_view utf8);

// The UTF-8 form of `utf16`. A lone surrogate, which a Windows name may hold, is written as the
// three bytes of its code point: not valid UTF-8, so that such a name never passes for another.
[[nodiscard]] std::string utf16ToUtf8(std::u16string_view utf16);

} // namespace corvelan
