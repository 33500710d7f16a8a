// UTF-8, the tool's strings, to UTF-16, the Windows API's, and back. Platform-free, so that both
// flavours test the one conversion the Win32 boundary uses (platform/win32/wide.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvelan {

// Decodes the UTF-8 sequence at `i` into `cp` and moves `i` past it. False, with `i` past the
// first byte only, for a byte that starts no valid sequence (overlong forms, surrogates and code
// points past U+10FFFF included).
bool decodeUtf8(std::string_view utf8, std::size_t &i, char32_t &cp);

// The code point that stands for a byte that starts no valid sequence.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point at `i`, moving `i` past it; U+FFFD for a byte that starts no valid sequence (as
// decodeUtf8 judges it), which is passed one byte at a time.
[[nodiscard]] char32_t nextCodePoint(std::string_view utf8, std::size_t &i);

// Appends the UTF-8 form of the code point `cp` (surrogates included, as their three bytes).
void appendUtf8(std::string &out, char32_t cp);

// The UTF-16 form of `utf8`, each byte that starts no valid sequence as U+FFFD.
[[nodiscard]] std::u16string utf8ToUtf16Replacing(std::string_view utf8);

// The UTF-8 form of `utf16`. A lone surrogate, which a Windows name may hold, is written as the
// three bytes of its code point: not valid UTF-8, so that such a name never passes for another.
[[nodiscard]] std::string utf16ToUtf8(std::u16string_view utf16);

} // namespace corvelan
