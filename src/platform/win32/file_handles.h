// What the Windows file primitives share: handles as the shared protocol holds them, names opened
// within a held folder's handle, where the system says a handle leads, and the file information
// they set through a handle. Only platform/win32 includes this.
#pragma once

#include "platform/file_primitives.h"
#include "platform/win32/wide.h"

#include <winternl.h>

namespace corvelan::win32 {

// Reading shares everything, so that the host product is never kept from its own files.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline HANDLE handleOf(fs::host::Handle file) {
    return reinterpret_cast<HANDLE>(file);
}

inline fs::host::Handle handleOf(HANDLE file) {
    return reinterpret_cast<fs::host::Handle>(file);
}

// Opens `name`, one name without separators, within the folder `folder`: NtCreateFile with the
// folder's handle as its root, so that what opens is in that folder wherever its path leads now.
// `options` are NtCreateFile's; synchronous I/O is always asked for; what it creates gets
// `security` when given. Fails with the tool's error for what the system answered, about `path`,
// in `operation`.
[[nodiscard]] Result<HANDLE> openWithin(HANDLE folder, std::string_view name, ACCESS_MASK access,
                                        ULONG share, ULONG disposition, ULONG options,
                                        const std::string &path, fs::FileOperation operation,
                                        PSECURITY_DESCRIPTOR security = nullptr);

// The tool's error for an NT status.
[[nodiscard]] Error ntError(NTSTATUS status, std::string path, fs::FileOperation operation);

// Where the system says `handle` leads, as a host path ("C:\...", "\\server\share\..."); empty
// when it cannot tell.
[[nodiscard]] std::string finalPathOf(HANDLE handle);

// True when the open `file`, reached as `name` within `folder`, is what a run that follows no
// link may use: no reparse point, and the file the system says is there.
[[nodiscard]] bool isPlainNameIn(HANDLE file, const fs::Folder &folder, std::string_view name,
                                 DWORD attributes);

// Sets the open file's attributes (0: none), leaving its times as they are.
inline bool setBasicAttributes(HANDLE file, DWORD attributes) {
    FILE_BASIC_INFO basic{}; // zero times: left as they are
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

// Marks the open file for deletion when its last handle closes (read-only cleared first, which
// would refuse it).
inline void deleteOnClose(HANDLE file) {
    setBasicAttributes(file, FILE_ATTRIBUTE_NORMAL);
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    ::SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose);
}

} // namespace corvelan::win32
