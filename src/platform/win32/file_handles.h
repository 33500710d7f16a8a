// What the Windows file primitives share: handles as the shared protocol holds them, and the
// file information they set through a handle. Only platform/win32 includes this.
#pragma once

#include "platform/file_primitives.h"
#include "platform/win32/wide.h"

namespace corvelan::win32 {

// Reading shares everything, so that the host product is never kept from its own files.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline HANDLE handleOf(fs::host::Handle file) {
    return reinterpret_cast<HANDLE>(file);
}

inline fs::host::Handle handleOf(HANDLE file) {
    return reinterpret_cast<fs::host::Handle>(file);
}

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
