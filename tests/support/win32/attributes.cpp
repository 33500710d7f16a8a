// Windows attributes, read and set through the W functions.
#include "support/attributes.h"

#include "platform/file_system.h"
#include "platform/win32/wide.h"

namespace corvelan::test {

using fs::FileOperation;
using win32::lastError;
using win32::toWidePath;

Result<std::uint32_t> fileAttributes(const std::string &hostPath) {
    const DWORD attributes = ::GetFileAttributesW(toWidePath(hostPath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return makeError(ErrorCode::NotFound, hostPath);
        return win32::win32Error(code, hostPath, FileOperation::None);
    }
    return static_cast<std::uint32_t>(attributes) &
           (kReadOnly | kHidden | kSystem | kDirectory | kArchive | kNormal);
}

Status setFileAttributes(const std::string &hostPath, std::uint32_t attributes) {
    const std::wstring path = toWidePath(hostPath);
    const DWORD current = ::GetFileAttributesW(path.c_str());
    if (current == INVALID_FILE_ATTRIBUTES) return lastError(hostPath, FileOperation::None);
    constexpr DWORD kSettable = kReadOnly | kHidden | kSystem;
    const DWORD wanted =
        (current & ~kSettable & ~FILE_ATTRIBUTE_DIRECTORY) | (attributes & kSettable);
    // Hidden and system first, read-only in a second call: Wine drops hidden and system when the
    // three come in one.
    const DWORD first = wanted & ~kReadOnly;
    if (!::SetFileAttributesW(path.c_str(), first == 0 ? FILE_ATTRIBUTE_NORMAL : first))
        return lastError(hostPath, FileOperation::None);
    if ((wanted & kReadOnly) && !::SetFileAttributesW(path.c_str(), wanted))
        return lastError(hostPath, FileOperation::None);
    return {};
}

} // namespace corvelan::test
