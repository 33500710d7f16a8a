// The file primitives on Windows: the W functions, handles that share what the host product
// needs, temporary files locked by their own sharing mode, renames through the handle.
#include "platform/file_primitives.h"
#include "platform/win32/wide.h"

#include <cstring>
#include <vector>

namespace corvelan::fs {
namespace {

using win32::lastError;
using win32::toWidePath;

// Reading shares everything, so that the host product is never kept from its own files.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE handleOf(host::Handle file) {
    return reinterpret_cast<HANDLE>(file);
}

host::Handle handleOf(HANDLE file) {
    return reinterpret_cast<host::Handle>(file);
}

// Since 1970, as on Linux: FILETIME counts 100 ns from 1601, which in nanoseconds would not fit.
std::int64_t nanoseconds(std::int64_t ticks) {
    constexpr std::int64_t kUnixEpoch = 116444736000000000;
    return (ticks - kUnixEpoch) * 100;
}

std::int64_t ticksOf(FILETIME t) {
    return static_cast<std::int64_t>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime);
}

// Which file, and which version: volume serial, file index, size and last write time, and the
// change time where the file system keeps one.
host::Look lookOf(HANDLE file, const BY_HANDLE_FILE_INFORMATION &info) {
    host::Look look;
    look.stamp.device = info.dwVolumeSerialNumber;
    look.stamp.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    look.stamp.size =
        static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    look.stamp.modifiedNs = nanoseconds(ticksOf(info.ftLastWriteTime));
    FILE_BASIC_INFO basic{};
    if (::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        look.changedNs = nanoseconds(basic.ChangeTime.QuadPart);
    return look;
}

bool setBasicAttributes(HANDLE file, DWORD attributes) {
    FILE_BASIC_INFO basic{}; // zero times: left as they are
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

// Marks the open file for deletion when its last handle closes (read-only cleared first, which
// would refuse it).
void deleteOnClose(HANDLE file) {
    setBasicAttributes(file, FILE_ATTRIBUTE_NORMAL);
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    ::SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose);
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
    if (refused != ERROR_ACCESS_DENIED || !readOnly) return refused;
    ::SetFileAttributesW(target.c_str(), targetAttributes & ~FILE_ATTRIBUTE_READONLY);
    if (::SetFileInformationByHandle(file, FileRenameInfo, rename, size)) return ERROR_SUCCESS;
    const DWORD failed = ::GetLastError();
    ::SetFileAttributesW(target.c_str(), targetAttributes);
    return failed;
}

} // namespace

namespace host {

std::string_view separators() {
    return "\\/";
}

Result<Handle> openRegular(const std::string &path, Look &look, bool noFollow) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    win32::Handle file(::CreateFileW(toWidePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                     OPEN_EXISTING, flags, nullptr));
    if (!file.valid()) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return makeError(ErrorCode::NotFound, path);
        return win32::win32Error(code, path, FileOperation::Open);
    }
    if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        return makeError(ErrorCode::NotRegularFile, path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info))
        return lastError(path, FileOperation::Inspect);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return makeError(ErrorCode::NotAFile, path);
    if (noFollow && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return makeError(ErrorCode::NotRegularFile, path);
    look = lookOf(file.get(), info);
    return handleOf(file.release());
}

void close(Handle file) {
    ::CloseHandle(handleOf(file));
}

Result<Look> lookAt(Handle file, const std::string &subject) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handleOf(file), &info))
        return lastError(subject, FileOperation::Inspect);
    return lookOf(handleOf(file), info);
}

Result<std::size_t> readAt(Handle file, char *buffer, std::size_t size, std::uint64_t offset,
                           const std::string &subject) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!::ReadFile(handleOf(file), buffer, static_cast<DWORD>(size), &got, &at)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_HANDLE_EOF) return std::size_t{0};
        return win32::win32Error(code, subject, FileOperation::Read);
    }
    return std::size_t{got};
}

Result<std::size_t> write(Handle file, const char *bytes, std::size_t size,
                          const std::string &subject) {
    DWORD written = 0;
    if (!::WriteFile(handleOf(file), bytes, static_cast<DWORD>(size), &written, nullptr))
        return lastError(subject, FileOperation::Write);
    return std::size_t{written};
}

PathState stateOf(const std::string &path) {
    PathState state;
    const std::wstring wide = toWidePath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return state;
    state.attributes = data.dwFileAttributes;
    state.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    state.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathState::Kind::Folder
                                                                    : PathState::Kind::File;
    // Its identity, when it can be opened: a file another program holds without sharing cannot.
    const win32::Handle file(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.valid()) return state;
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) state.kind = PathState::Kind::Other;
    if (::GetFileInformationByHandle(file.get(), &info)) {
        state.device = info.dwVolumeSerialNumber;
        state.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    }
    return state;
}

Result<std::string> replacementTarget(const std::string &path) {
    return path;
}

Result<Handle> createLocked(const std::string &path) {
    // Created and locked in one step: without FILE_SHARE_DELETE no other process can delete or
    // rename it while it is open.
    HANDLE file =
        ::CreateFileW(toWidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                      FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lastError(path, FileOperation::CreateTemp);
    return handleOf(file);
}

bool removeIfStale(const std::string &folder, const std::string &name) {
    const std::wstring path = toWidePath(joinPath(folder, name));
    // A live one is open without sharing delete, so this open fails and it stays.
    const win32::Handle file(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                           nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    // Held by us alone now, so no live save can own it. A save killed after it made its file
    // read-only left it so; read-only would refuse the deletion.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(path.c_str(), info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    deleteOnClose(file.get());
    return true;
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

Status flush(Handle file, const std::string &subject) {
    if (!::FlushFileBuffers(handleOf(file))) return lastError(subject, FileOperation::Flush);
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

void flushFolder(const std::string &folder) {
    const win32::Handle handle(::CreateFileW(toWidePath(folder).c_str(), GENERIC_WRITE, kShareAll,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                             nullptr));
    if (handle.valid()) ::FlushFileBuffers(handle.get());
}

void discard(Handle file, const std::string &) {
    deleteOnClose(handleOf(file));
    ::CloseHandle(handleOf(file));
}

} // namespace host

} // namespace corvelan::fs
