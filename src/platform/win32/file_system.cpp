// The file primitives on Windows: the W functions, handles that share what the host product
// needs, temporary files locked by their own sharing mode, renames through the handle.
#include "platform/file_primitives.h"
#include "platform/win32/file_handles.h"

namespace corvelan::fs {
namespace {

using win32::deleteOnClose;
using win32::handleOf;
using win32::kShareAll;
using win32::lastError;
using win32::setBasicAttributes;
using win32::toWidePath;

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

Status removeIfStale(const std::string &folder, const std::string &name) {
    const std::wstring path = toWidePath(joinPath(folder, name));
    // A live one is open without sharing delete, so this open fails and it stays.
    const win32::Handle file(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                           nullptr));
    if (!file.valid()) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return {};
        return win32::win32Error(code, joinPath(folder, name), FileOperation::CreateTemp);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return {};
    // Held by us alone now, so no live save can own it. A save killed after it made its file
    // read-only left it so; read-only would refuse the deletion.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(path.c_str(), info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    deleteOnClose(file.get());
    return {};
}

Status flush(Handle file, const std::string &subject) {
    if (!::FlushFileBuffers(handleOf(file))) return lastError(subject, FileOperation::Flush);
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
