#include "platform/console.h"

#include "platform/win32/wide.h"

// windows.h (through wide.h) first
#include <shellapi.h>

namespace corvelan {

bool writeStream(Stream stream, std::string_view utf8) {
    HANDLE out = ::GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (out == INVALID_HANDLE_VALUE || out == nullptr) return false;
    DWORD mode = 0;
    if (::GetConsoleMode(out, &mode)) {
        // A console shows characters, whatever its code page.
        const std::wstring wide = win32::toWide(utf8);
        DWORD written = 0;
        return ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written,
                               nullptr) != 0;
    }
    while (!utf8.empty()) {
        DWORD written = 0;
        if (!::WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr))
            return false;
        utf8.remove_prefix(written);
    }
    return true;
}

std::vector<std::string> commandLineArguments(int, char **) {
    int count = 0;
    wchar_t **words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; words && i < count; ++i)
        arguments.push_back(win32::fromWide(words[i]));
    if (words) ::LocalFree(words);
    return arguments;
}

} // namespace corvelan
