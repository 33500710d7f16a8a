#include "platform/folder_listing.h"

#include "platform/file_system.h"
#include "platform/win32/wide.h"

namespace corvelan::fs {

Result<FolderContents> listFolder(const std::string &hostPath) {
    WIN32_FIND_DATAW found{};
    HANDLE search =
        ::FindFirstFileExW(win32::toWidePath(joinPath(hostPath, "*")).c_str(), FindExInfoBasic,
                           &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return FolderContents{}; // an empty drive root
        return win32::win32Error(code, hostPath, FileOperation::OpenFolder);
    }
    FolderContents contents;
    do {
        const std::string name = win32::fromWide(found.cFileName);
        if (name == "." || name == "..") continue;
        const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        (folder ? contents.folders : contents.files).push_back(name);
    } while (::FindNextFileW(search, &found));
    const DWORD code = ::GetLastError();
    ::FindClose(search);
    if (code != ERROR_NO_MORE_FILES)
        return win32::win32Error(code, hostPath, FileOperation::ReadFolder);
    return contents;
}

} // namespace corvelan::fs
