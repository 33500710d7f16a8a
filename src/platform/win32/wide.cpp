#include "platform/win32/wide.h"

#include "platform/utf16.h"

#include <cerrno>

namespace corvelan::win32 {

std::wstring toWide(std::string_view utf8) {
    const std::u16string converted = utf8ToUtf16Replacing(utf8);
    return std::wstring(converted.begin(), converted.end());
}

std::string fromWide(std::wstring_view wide) {
    return utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::wstring toWidePath(std::string_view path) {
    std::wstring wide = toWide(path);
    for (wchar_t &c : wide)
        if (c == L'/') c = L'\\';
    // MAX_PATH counts the terminating NUL, and a folder must leave room for an 8.3 name.
    if (wide.size() < MAX_PATH - 12 || wide.starts_with(L"\\\\?\\")) return wide;
    if (wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\') return L"\\\\?\\" + wide;
    if (wide.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + wide.substr(2);
    return wide;
}

Error win32Error(DWORD code, std::string path, fs::FileOperation operation) {
    int err = EIO;
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        err = ENOENT;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        err = EACCES;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        err = ENOSPC;
        break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        err = EEXIST;
        break;
    case ERROR_NOT_READY:
        err = ENXIO;
        break;
    case ERROR_FILENAME_EXCED_RANGE:
        err = ENAMETOOLONG;
        break;
    default:
        break;
    }
    Error e = systemError(err, std::move(path), operation);
    e.osCode = code;
    wchar_t *text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
        reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    if (length > 0 && text) {
        std::string message = fromWide(std::wstring_view(text, length));
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                    message.back() == ' ' || message.back() == '.'))
            message.pop_back();
        e.osMessage = message;
    }
    if (text) ::LocalFree(text);
    if (e.osMessage.empty()) e.osMessage = "Windows error " + std::to_string(code);
    return e;
}

Error lastError(std::string path, fs::FileOperation operation) {
    return win32Error(::GetLastError(), std::move(path), operation);
}

} // namespace corvelan::win32
