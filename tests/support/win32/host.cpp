#include "support/host.h"

#include "support/temp_prefix.h"

#include <windows.h>

namespace corvelan::test {

// Windows has no FIFO to plant; the external entity's path is not even a Windows path there.
void plantNeverReadTrap() {}
void removeNeverReadTrap() {}

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
