#include "platform/process.h"

#include "platform/file_system.h"
#include "platform/win32/wide.h"

// windows.h (through wide.h) first
#include <psapi.h>

namespace corvelan::fs {

using win32::lastError;

Result<std::string> executableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return lastError("GetModuleFileNameW", FileOperation::FindOwnExecutable);
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::string utf8 = win32::fromWide(path);
    if (utf8.starts_with("\\\\?\\")) utf8.erase(0, 4);
    return folderOf(utf8);
}

Result<std::string> currentFolder() {
    const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring path(size, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(size, path.data());
    if (n == 0 || n >= size) return lastError(".", FileOperation::FindCurrentFolder);
    path.resize(n);
    return win32::fromWide(path);
}

} // namespace corvelan::fs

namespace corvelan::process {

std::uint64_t peakMemoryBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

} // namespace corvelan::process
