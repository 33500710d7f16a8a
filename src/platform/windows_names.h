// What a Windows file name may hold, and how Windows compares two names. Platform-free: both
// flavours use it, so a name the tool lists on Linux is one it could list on Windows.
#pragma once

#include "base/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvelan {

// True when the two names are equal without regard to letter case, as Windows compares them:
// each character is upper-cased (ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic) and the
// results compared. UTF-8 in; an invalid byte only equals itself.
[[nodiscard]] bool namesEqualIgnoringCase(std::string_view a, std::string_view b);

// Orders two names as Windows lists them: character by character without regard to case
// (upper-cased as above), ties by their bytes. Negative, zero or positive, as strcmp.
[[nodiscard]] int compareNamesIgnoringCase(std::string_view a, std::string_view b);

// The upper-case form of `c` that Windows compares names by; `c` itself when it has none.
[[nodiscard]] char32_t upcaseForNames(char32_t c);

// True for the characters Windows forbids in a name: control characters, < > : " / \ | ? *.
[[nodiscard]] bool isForbiddenInName(char c);

// True when a folder entry called `name` can be named exactly by a Windows path, so that the path
// leads back to this very entry: valid UTF-8, no forbidden character, not "." or "..", not ending
// in a space or a dot (Windows drops those), and not a device name (CON, NUL, COM1, ...).
[[nodiscard]] bool isAddressableName(std::string_view name);

// A Windows path taken apart: "C:\\a\\..\\b." is drive 'c' and the one part "b".
struct WindowsPath {
    char letter = 'c'; // lower case
    std::vector<std::string> parts;
};

// Takes `path` apart as Windows does: a drive letter and a colon first, then parts separated by
// "\\" or "/", where "." and ".." collapse and trailing dots and spaces of a part are dropped.
// Fails, with the path as the error's path, without a drive letter (NoDriveLetter), on a
// character Windows forbids in a name (ForbiddenName) or on a name that is not UTF-8 (NotUtf8Name).
[[nodiscard]] Result<WindowsPath> parseWindowsPath(std::string_view path);

} // namespace corvelan
