// The running process on Windows.
#include "platform/process.h"

#include "platform/win32/wide.h"

namespace corvelan::fs {

Result<std::string> currentFolder() {
    const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring path(size, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(size, path.data());
    if (n == 0 || n >= size) return win32::lastError(".", FileOperation::FindCurrentFolder);
    path.resize(n);
    return win32::fromWide(path);
}

Result<std::string> ownExecutable() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return win32::lastError("GetModuleFileNameW", FileOperation::FindOwnExecutable);
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::string utf8 = win32::fromWide(path);
    if (utf8.starts_with("\\\\?\\")) utf8.erase(0, 4);
    return utf8;
}

std::vector<std::string> runtimeComponents() {
    // Linked into the executable, so the version it was built with is the one it runs.
    return {"mingw-w64 runtime " __MINGW64_VERSION_STR " (static)"};
}

} // namespace corvelan::fs
