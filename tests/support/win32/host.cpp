#include "support/host.h"

#include "support/temp_prefix.h"

#include <windows.h>

namespace corvelan::test {

// Windows has no FIFO to plant; the external entity's path is not even a Windows path there.
void plantNeverReadTrap() {}
void removeNeverReadTrap() {}

namespace {

// The Unix path behind a Windows path, under Wine; empty elsewhere.
std::string unixPathOf(const std::string &path) {
    // Wine's own export: absent on Windows, which has no Unix path to give.
    using UnixName = char *(CDECL *)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void *>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char *name = unixName ? unixName(fsPath(path).c_str()) : nullptr;
    if (!name) return {};
    std::string out = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return out;
}

} // namespace

bool writeFileSpelledExactly(const std::string &folder, const std::string &name,
                             std::string_view bytes) {
    const std::string unixFolder = unixPathOf(folder);
    if (unixFolder.empty()) return false;
    std::wstring path = L"\\\\?\\unix";
    for (const wchar_t c : fsPath(unixFolder + "/" + name).wstring())
        path += c == L'/' ? L'\\' : c;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool wrote =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    ::CloseHandle(file);
    return wrote;
}

} // namespace corvelan::test

namespace corvelan::test {

namespace {

// 100-nanosecond units from 1601 to 1970.
constexpr std::int64_t kUnixEpoch = 116444736000000000;

HANDLE openForTimes(const std::string &path, DWORD access) {
    return ::CreateFileW(fsPath(path).c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
}

} // namespace

std::int64_t modifiedTime(const std::string &path) {
    HANDLE file = openForTimes(path, FILE_READ_ATTRIBUTES);
    FILETIME written{};
    const bool known =
        file != INVALID_HANDLE_VALUE && ::GetFileTime(file, nullptr, nullptr, &written);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    if (!known) return -1;
    return (static_cast<std::int64_t>((std::uint64_t{written.dwHighDateTime} << 32) |
                                      written.dwLowDateTime) -
            kUnixEpoch) *
           100;
}

void setModifiedTime(const std::string &path, std::int64_t nanoseconds) {
    HANDLE file = openForTimes(path, FILE_WRITE_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) return;
    const auto units = static_cast<std::uint64_t>(nanoseconds / 100 + kUnixEpoch);
    const FILETIME written{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
    ::SetFileTime(file, nullptr, nullptr, &written);
    ::CloseHandle(file);
}

} // namespace corvelan::test
