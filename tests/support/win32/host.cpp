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

// The NT form of a Unix path, which Wine's own calls take as it is.
std::wstring unixNtPath(const std::string &unixPath) {
    std::wstring path = L"\\\\?\\unix";
    for (const wchar_t c : fsPath(unixPath).wstring())
        path += c == L'/' ? L'\\' : c;
    return path;
}

} // namespace

bool makeSymbolicLink(const std::string &target, const std::string &link) {
    const bool absolute = target.size() > 2 && target[1] == ':';
    std::string unixTarget = absolute ? unixPathOf(target) : target;
    for (char &c : unixTarget)
        if (c == '\\') c = '/';
    // The link's folder exists; the link itself does not yet.
    const std::size_t slash = link.find_last_of("\\/");
    const std::string unixLink = unixPathOf(link.substr(0, slash)) + "/" + link.substr(slash + 1);
    if (unixTarget.empty() || unixLink.size() < 2) return false;
    // Wine neither waits for a Unix program nor hands back its exit code: a marker it leaves
    // once the link is made tells.
    static int made = 0;
    const std::string marker = "/tmp/corvelan-link-" + std::to_string(::GetCurrentProcessId()) +
                               "-" + std::to_string(++made);
    auto quoted = [](const std::string &text) { return L"\"" + fsPath(text).wstring() + L"\""; };
    std::wstring command = L"Z:\\bin\\sh -c \"ln -s \\\"$1\\\" \\\"$2\\\" && touch "
                           L"\\\"$3\\\"\" sh " +
                           quoted(unixTarget) + L" " + quoted(unixLink) + L" " + quoted(marker);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started))
        return false;
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    const std::wstring seen = unixNtPath(marker);
    for (int wait = 0; wait < 500; ++wait) {
        if (::GetFileAttributesW(seen.c_str()) != INVALID_FILE_ATTRIBUTES) {
            ::DeleteFileW(seen.c_str());
            return true;
        }
        ::Sleep(10);
    }
    return false;
}

bool makeHardLink(const std::string &target, const std::string &link) {
    return ::CreateHardLinkW(fsPath(link).c_str(), fsPath(target).c_str(), nullptr) != 0;
}

bool writeFileSpelledExactly(const std::string &folder, const std::string &name,
                             std::string_view bytes) {
    const std::string unixFolder = unixPathOf(folder);
    if (unixFolder.empty()) return false;
    HANDLE file = ::CreateFileW(unixNtPath(unixFolder + "/" + name).c_str(), GENERIC_WRITE, 0,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

std::int64_t changedTime(const std::string &path) {
    HANDLE file = openForTimes(path, FILE_READ_ATTRIBUTES);
    FILE_BASIC_INFO info{};
    const bool known = file != INVALID_HANDLE_VALUE &&
                       ::GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    if (!known) return -1;
    return (info.ChangeTime.QuadPart - kUnixEpoch) * 100;
}

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
