#include "platform/code_pages.h"

#include "platform/win32/wide.h"

#include "base/ascii.h"

#include <cstdlib>
#include <string>

namespace corvelan {
namespace {

// The code page an XML declaration's encoding name stands for; 0 when none is known.
UINT codePageOf(std::string_view name) {
    std::string n(name);
    for (char &c : n)
        c = asciiLower(c);
    struct Alias {
        const char *name;
        UINT codePage;
    };
    static constexpr Alias kAliases[] = {
        {"latin1", 28591},    {"latin2", 28592}, {"koi8-r", 20866},   {"koi8-u", 21866},
        {"macintosh", 10000}, {"ibm437", 437},   {"ibm850", 850},     {"ibm852", 852},
        {"ibm866", 866},      {"tis-620", 874},  {"us-ascii", 20127}, {"ascii", 20127},
        {"iso-8859-11", 874},
    };
    for (const Alias &alias : kAliases)
        if (n == alias.name) return alias.codePage;
    auto numberAfter = [&n](std::string_view prefix) -> UINT {
        if (!n.starts_with(prefix) || n.size() == prefix.size()) return 0;
        char *end = nullptr;
        const unsigned long value = std::strtoul(n.c_str() + prefix.size(), &end, 10);
        return *end == '\0' ? static_cast<UINT>(value) : 0;
    };
    if (UINT cp = numberAfter("windows-")) return cp;
    if (UINT cp = numberAfter("cp")) return cp;
    if (UINT cp = numberAfter("iso-8859-"))
        return (cp >= 1 && cp <= 16 && cp != 12) ? 28590 + cp : 0;
    if (UINT cp = numberAfter("iso8859-"))
        return (cp >= 1 && cp <= 16 && cp != 12) ? 28590 + cp : 0;
    return 0;
}

} // namespace

std::optional<std::array<std::int32_t, 256>> singleByteEncoding(std::string_view name) {
    const UINT codePage = codePageOf(name);
    CPINFO info{};
    if (codePage == 0 || codePage == CP_UTF8 || !::GetCPInfo(codePage, &info) ||
        info.MaxCharSize != 1)
        return std::nullopt;
    std::array<std::int32_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        const char in = static_cast<char>(b);
        wchar_t out[2] = {};
        const int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &in, 1, out, 2);
        table[b] = n == 1 ? static_cast<std::int32_t>(out[0]) : -1;
    }
    // Windows gives the five holes of windows-1252 (and of its siblings) as the C1 controls of
    // the same number; the encoding's own table, and Linux, leave them undefined. Where the code
    // page puts characters in 0x80-0x9F, a C1 control there is such a hole.
    auto isC1 = [&](int b) { return table[b] >= 0x80 && table[b] <= 0x9F; };
    bool usesTheC1Range = false;
    for (int b = 0x80; b <= 0x9F; ++b)
        usesTheC1Range = usesTheC1Range || (table[b] >= 0 && !isC1(b));
    if (usesTheC1Range)
        for (int b = 0x80; b <= 0x9F; ++b)
            if (isC1(b)) table[b] = -1;
    return table;
}

} // namespace corvelan
