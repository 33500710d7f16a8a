// ASCII letters and drive letters: the one rule for their case, wherever a name, an encoding's
// name or a drive letter is compared or shown.
#pragma once

#include <string>
#include <string_view>

namespace corvelan {

[[nodiscard]] constexpr bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

[[nodiscard]] constexpr char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] constexpr char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when `a` and `b` are equal but for the case of ASCII letters.
[[nodiscard]] constexpr bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

// A drive as Windows shows it: "C:" for the letter 'c' (or 'C').
[[nodiscard]] inline std::string driveName(char letter) {
    return std::string{asciiUpper(letter), ':'};
}

} // namespace corvelan
