// Replacing a file on Windows: the target's attributes given to the new file, the rename
// through the new file's handle, and why Windows refused it.
#include "platform/file_primitives.h"
#include "platform/win32/file_handles.h"

#include <cstring>
#include <vector>

namespace corvelan::fs {
namespace {

using win32::handleOf;
using win32::lastError;
using win32::setBasicAttributes;
using win32::toWidePath;

// What Windows answers one who asks for `path` alone, to delete it: ERROR_SUCCESS when nobody
// holds it, a sharing violation (or a deletion pending) when another program does, access denied
// when the user may not.
DWORD deletionRefusal(const std::wstring &path) {
    const win32::Handle probe(::CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return probe.valid() ? ERROR_SUCCESS : ::GetLastError();
}

bool isHeld(const std::wstring &path) {
    const DWORD why = deletionRefusal(path);
    return why == ERROR_SHARING_VIOLATION || why == ERROR_DELETE_PENDING;
}

// Renames the open file over `target`, through its own handle, so that it stays locked to the
// end: a copy of the tool cleaning stale files never sees it unheld. Windows 10 (1809 and later)
// replaces a read-only target as it is; elsewhere the plain rename is tried, and only when
// Windows refuses a read-only target is its read-only attribute cleared for the rename (and given
// back if the rename still fails): a crash in that moment leaves the old content, but writable.
DWORD renameByHandle(HANDLE file, const std::wstring &target, DWORD targetAttributes) {
    // Not yet in mingw-w64's headers: the values of Windows' own.
    constexpr DWORD kIgnoreReadOnly = 0x40; // FILE_RENAME_FLAG_IGNORE_READONLY_ATTRIBUTE
    constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22); // FileRenameInfoEx
    const DWORD nameBytes = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto *rename = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
    rename->RootDirectory = nullptr;
    rename->FileNameLength = nameBytes;
    std::memcpy(rename->FileName, target.data(), nameBytes);
    const auto size = static_cast<DWORD>(buffer.size());
    rename->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | kIgnoreReadOnly;
    if (::SetFileInformationByHandle(file, kRenameInfoEx, rename, size)) return ERROR_SUCCESS;
    rename->Flags = 0;
    rename->ReplaceIfExists = TRUE;
    if (::SetFileInformationByHandle(file, FileRenameInfo, rename, size)) return ERROR_SUCCESS;
    const DWORD refused = ::GetLastError();
    const bool readOnly =
        targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_READONLY);
    if (refused != ERROR_ACCESS_DENIED || !readOnly || isHeld(target)) return refused;
    ::SetFileAttributesW(target.c_str(), targetAttributes & ~FILE_ATTRIBUTE_READONLY);
    if (::SetFileInformationByHandle(file, FileRenameInfo, rename, size)) return ERROR_SUCCESS;
    const DWORD failed = ::GetLastError();
    ::SetFileAttributesW(target.c_str(), targetAttributes);
    return failed;
}

} // namespace

namespace host {

std::optional<Refusal> refusalOf(const Error &error) {
    switch (error.osCode) {
    case 0:
        return std::nullopt;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_DELETE_PENDING:
        return Refusal::Held;
    case ERROR_ACCESS_DENIED: {
        // Windows refuses a rename over a file that another program holds without sharing its
        // deletion with "access denied", as it refuses one the user may not change. Asking for
        // the file alone tells them apart: a sharing violation means it is held.
        if (error.operation != FileOperation::Rename) return Refusal::NoRights;
        // Free again already: held a moment ago, so worth another try.
        const DWORD why = deletionRefusal(toWidePath(error.path));
        if (why == ERROR_SUCCESS || why == ERROR_SHARING_VIOLATION || why == ERROR_DELETE_PENDING)
            return Refusal::Held;
        return Refusal::NoRights;
    }
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
        return Refusal::NoRights;
    default:
        return Refusal::Other;
    }
}

RightsRemedy rightsRemedy() {
    return RightsRemedy::RunAsAdministrator;
}

Status giveOwner(Handle, const PathState &, const std::string &) {
    return {}; // a new file in the folder takes the folder's owner and rights, as any file does
}

Status giveAttributes(Handle file, const std::string &, const PathState &target,
                      const std::string &subject) {
    const DWORD kept =
        target.kind == PathState::Kind::Missing
            ? 0
            : target.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (!setBasicAttributes(handleOf(file), kept))
        return lastError(subject, FileOperation::CopyAttributes);
    return {};
}

Status givePermissions(Handle file, const PathState &target, const std::string &subject) {
    // Read-only in a call of its own, after hidden and system: Wine drops those two when all
    // come at once.
    if (target.kind == PathState::Kind::Missing || !target.readOnly) return {};
    const DWORD kept =
        target.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (!setBasicAttributes(handleOf(file), kept | FILE_ATTRIBUTE_READONLY))
        return lastError(subject, FileOperation::SetMode);
    return {};
}

Status renameOver(Handle file, const std::string &, const std::string &target,
                  const PathState &state) {
    const DWORD attributes =
        state.kind == PathState::Kind::Missing ? INVALID_FILE_ATTRIBUTES : state.attributes;
    if (const DWORD refused = renameByHandle(handleOf(file), toWidePath(target), attributes))
        return win32::win32Error(refused, target, FileOperation::Rename);
    return {};
}

} // namespace host
} // namespace corvelan::fs
