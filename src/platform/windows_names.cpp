#include "platform/windows_names.h"
#include "base/ascii.h"

#include "platform/utf16.h"

#include <array>

namespace corvelan {
namespace {

// A run of letters whose lower-case forms sit at a fixed distance from their upper-case forms:
// either every code point in [first, last] (step 1), or every other one (step 2, the pairs of
// Latin Extended-A, with the lower-case letter after its upper-case one).
struct CaseRange {
    char32_t first; // first lower-case letter of the run
    char32_t last;
    int step;
    char32_t toUpper; // distance down to the upper-case form
};

constexpr std::array<CaseRange, 14> kRanges{{
    {0x61, 0x7A, 1, 32},   // a-z
    {0xE0, 0xF6, 1, 32},   // à-ö
    {0xF8, 0xFE, 1, 32},   // ø-þ
    {0x101, 0x12F, 2, 1},  // ā ... į
    {0x133, 0x137, 2, 1},  // ĳ ĵ ķ
    {0x13A, 0x148, 2, 1},  // ĺ ... ň
    {0x14B, 0x177, 2, 1},  // ŋ ... ŷ
    {0x17A, 0x17E, 2, 1},  // ź ż ž
    {0x3B1, 0x3C1, 1, 32}, // α-ρ
    {0x3C3, 0x3CB, 1, 32}, // σ-ϋ
    {0x3AD, 0x3AF, 1, 37}, // έ ή ί
    {0x3CD, 0x3CE, 1, 63}, // ύ ώ
    {0x430, 0x44F, 1, 32}, // а-я
    {0x450, 0x45F, 1, 80}, // ѐ-џ
}};

} // namespace

char32_t upcaseForNames(char32_t c) {
    switch (c) {
    case 0xFF: // ÿ
        return 0x178;
    case 0x3C2: // final sigma
        return 0x3A3;
    case 0x3AC: // ά
        return 0x386;
    case 0x3CC: // ό
        return 0x38C;
    default:
        break;
    }
    for (const CaseRange &range : kRanges) {
        if (c < range.first || c > range.last) continue;
        if (range.step == 2 && (c - range.first) % 2 != 0) return c;
        return c - range.toUpper;
    }
    return c;
}

namespace {

// Compares the names character by character as Windows upper-cases them. A byte that starts no
// valid UTF-8 sequence counts as a character past every code point, equal only to itself.
int compareUpcased(std::string_view a, std::string_view b) {
    auto next = [](std::string_view s, size_t &i) -> char32_t {
        const auto byte = static_cast<unsigned char>(s[i]);
        char32_t cp = 0;
        return decodeUtf8(s, i, cp) ? upcaseForNames(cp) : 0x110000 + byte;
    };
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = next(a, i);
        const char32_t y = next(b, j);
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
    return 0;
}

} // namespace

bool namesEqualIgnoringCase(std::string_view a, std::string_view b) {
    return compareUpcased(a, b) == 0;
}

int compareNamesIgnoringCase(std::string_view a, std::string_view b) {
    if (const int c = compareUpcased(a, b); c != 0) return c;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

bool isForbiddenInName(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' ||
           c == '|' || c == '?' || c == '*';
}

bool isAddressableName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.back() == ' ' || name.back() == '.') return false;
    for (size_t i = 0; i < name.size();) {
        if (isForbiddenInName(name[i])) return false;
        char32_t cp = 0;
        if (!decodeUtf8(name, i, cp)) return false;
    }
    // Device names stay devices whatever extension follows them ("nul.xml" is NUL).
    const std::string_view stem = name.substr(0, name.find('.'));
    auto is = [&stem](std::string_view device) {
        return namesEqualIgnoringCase(stem.substr(0, stem.find_last_not_of(' ') + 1), device);
    };
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (is(device)) return false;
    if (stem.size() == 4 && (namesEqualIgnoringCase(stem.substr(0, 3), "COM") ||
                             namesEqualIgnoringCase(stem.substr(0, 3), "LPT")))
        if (stem[3] >= '1' && stem[3] <= '9') return false;
    return true;
}

Result<WindowsPath> parseWindowsPath(std::string_view path) {
    auto invalid = [&](ErrorCode code, std::string name = {}) {
        Error e = makeError(code, std::string(path));
        e.detail = BadName{std::move(name)};
        return e;
    };
    if (path.size() < 2 || path[1] != ':' || !isAsciiLetter(path[0]))
        return invalid(ErrorCode::NoDriveLetter);
    WindowsPath parsed;
    parsed.letter = asciiLower(path[0]);
    std::string_view rest = path.substr(2);
    while (!rest.empty()) {
        const auto sep = rest.find_first_of("\\/");
        std::string part(rest.substr(0, sep));
        rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parsed.parts.empty()) parsed.parts.pop_back();
            continue;
        }
        while (!part.empty() && (part.back() == '.' || part.back() == ' '))
            part.pop_back();
        if (part.empty()) continue;
        for (size_t i = 0; i < part.size();) {
            if (isForbiddenInName(part[i])) return invalid(ErrorCode::ForbiddenName, part);
            char32_t cp = 0;
            if (!decodeUtf8(part, i, cp)) return invalid(ErrorCode::NotUtf8Name, part);
        }
        parsed.parts.push_back(std::move(part));
    }
    return parsed;
}

} // namespace corvelan
