// The file primitives on Windows: the W functions and NtCreateFile within a held folder's handle,
// handles that share what the host product needs, temporary files locked by their own sharing
// mode, renames through the handle.
#include "platform/file_primitives.h"
#include "platform/win32/file_handles.h"
#include "platform/windows_names.h"

#include <vector>

#include <sddl.h>

namespace corvelan::fs {
namespace {

using win32::deleteOnClose;
using win32::handleOf;
using win32::kShareAll;
using win32::lastError;
using win32::openWithin;
using win32::toWidePath;

// Since 1970, as on Linux: FILETIME counts 100 ns from 1601, which in nanoseconds would not fit.
std::int64_t nanoseconds(std::int64_t ticks) {
    constexpr std::int64_t kUnixEpoch = 116444736000000000;
    return (ticks - kUnixEpoch) * 100;
}

std::int64_t ticksOf(FILETIME t) {
    return static_cast<std::int64_t>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime);
}

std::uint64_t indexOf(const BY_HANDLE_FILE_INFORMATION &info) {
    return (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
}

// Which file, and which version: volume serial, file index, size and last write time, and the
// change time where the file system keeps one.
host::Look lookOf(HANDLE file, const BY_HANDLE_FILE_INFORMATION &info) {
    host::Look look;
    look.stamp.device = info.dwVolumeSerialNumber;
    look.stamp.inode = indexOf(info);
    look.stamp.size =
        static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    look.stamp.modifiedNs = nanoseconds(ticksOf(info.ftLastWriteTime));
    FILE_BASIC_INFO basic{};
    if (::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        look.changedNs = nanoseconds(basic.ChangeTime.QuadPart);
    return look;
}

// Keeps the file just opened when it is a regular file on a disk (and, with `within`, one that
// a run that follows no link may use), else says what it is.
Result<host::Handle> keepIfRegular(win32::Handle file, const std::string &path, host::Look &look,
                                   const Folder *within, std::string_view name) {
    if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        return makeError(ErrorCode::NotRegularFile, path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info))
        return lastError(path, FileOperation::Inspect);
    if (within && !win32::isPlainNameIn(file.get(), *within, name, info.dwFileAttributes))
        return makeError(ErrorCode::LinksElsewhere, path);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return makeError(ErrorCode::NotAFile, path);
    look = lookOf(file.get(), info);
    return handleOf(file.release());
}

// Folders are opened to list them, to learn their owner and to work within them, and never
// share their deletion: nobody renames or removes one while the tool holds it.
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
constexpr ULONG kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

Result<host::Handle> keptFolder(win32::Handle folder, const std::string &path, bool noFollow) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(folder.get(), &info))
        return lastError(path, FileOperation::OpenFolder);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return makeError(ErrorCode::NotAFile, path);
    if (noFollow && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return makeError(ErrorCode::LinksElsewhere, path);
    return handleOf(folder.release());
}

} // namespace

namespace host {

std::string_view separators() {
    return "\\/";
}

bool sameHostPath(std::string_view a, std::string_view b) {
    std::string left(a);
    std::string right(b);
    for (std::string *p : {&left, &right})
        for (char &c : *p)
            if (c == '/') c = '\\';
    return namesEqualIgnoringCase(left, right);
}

// --- Folders -----------------------------------------------------------------------------------

Result<Handle> openFolder(const std::string &path) {
    const std::wstring wide = toWidePath(path);
    win32::Handle folder(::CreateFileW(wide.c_str(), kFolderAccess, kFolderShare, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.valid() && ::GetLastError() == ERROR_ACCESS_DENIED)
        // A user who may not read the folder's security can still work within it.
        folder = win32::Handle(::CreateFileW(wide.c_str(), kFolderAccess & ~READ_CONTROL,
                                             kFolderShare, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.valid()) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return makeError(ErrorCode::NotFound, path);
        return win32::win32Error(code, path, FileOperation::OpenFolder);
    }
    return keptFolder(std::move(folder), path, false);
}

Result<Handle> openChildFolder(Handle parent, std::string_view name, const std::string &path,
                               bool noFollow) {
    const ULONG options = FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT |
                          (noFollow ? FILE_OPEN_REPARSE_POINT : 0);
    auto opened = openWithin(handleOf(parent), name, kFolderAccess, kFolderShare, FILE_OPEN,
                             options, path, FileOperation::OpenFolder);
    if (!opened && opened.error().osCode == ERROR_ACCESS_DENIED)
        opened = openWithin(handleOf(parent), name, kFolderAccess & ~READ_CONTROL, kFolderShare,
                            FILE_OPEN, options, path, FileOperation::OpenFolder);
    if (!opened) return opened.error();
    return keptFolder(win32::Handle(opened.value()), path, noFollow);
}

void closeFolder(Handle folder) {
    ::CloseHandle(handleOf(folder));
}

std::string resolvedPath(Handle folder) {
    return win32::finalPathOf(handleOf(folder));
}

std::optional<std::string> foreignPrefixOwner(const std::string &) {
    return std::nullopt; // Windows has no Wine prefix
}

void flushFolder(const Folder &folder) {
    // FlushFileBuffers asks for a handle that may write; the held one only lists.
    const win32::Handle writable(::ReOpenFile(handleOf(folder.handle()), GENERIC_WRITE, kShareAll,
                                              FILE_FLAG_BACKUP_SEMANTICS));
    if (writable.valid()) ::FlushFileBuffers(writable.get());
}

Status createFolderIn(const Folder &parent, std::string_view name, bool guarded) {
    // Protected from inheriting: the administrators and the system change it, users only read.
    PSECURITY_DESCRIPTOR security = nullptr;
    if (guarded && !::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                       L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)",
                       SDDL_REVISION_1, &security, nullptr))
        return lastError(joinPath(parent.path(), name), FileOperation::CreateFolder);
    auto created = openWithin(handleOf(parent.handle()), name, FILE_LIST_DIRECTORY, kShareAll,
                              FILE_CREATE, FILE_DIRECTORY_FILE, joinPath(parent.path(), name),
                              FileOperation::CreateFolder, security);
    if (security) ::LocalFree(security);
    if (!created) return created.error();
    ::CloseHandle(created.value());
    return {};
}

Status removeEmptyFolderIn(const Folder &parent, std::string_view name) {
    const std::string path = joinPath(parent.path(), name);
    auto opened = openWithin(handleOf(parent.handle()), name, DELETE | FILE_READ_ATTRIBUTES,
                             kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT,
                             path, FileOperation::RemoveFolder);
    if (!opened) return opened.error().code == ErrorCode::NotFound ? Status() : opened.error();
    const win32::Handle folder(opened.value());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(folder.get(), &info) ||
        !win32::isPlainNameIn(folder.get(), parent, name, info.dwFileAttributes))
        return {};
    // A folder that still holds anything refuses this, and stays.
    deleteOnClose(folder.get());
    return {};
}

// --- Files -------------------------------------------------------------------------------------

Result<Handle> openRegular(const std::string &path, Look &look) {
    win32::Handle file(::CreateFileW(toWidePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return makeError(ErrorCode::NotFound, path);
        return win32::win32Error(code, path, FileOperation::Open);
    }
    return keepIfRegular(std::move(file), path, look, nullptr, {});
}

Result<Handle> openRegularIn(const Folder &folder, std::string_view name, Links links, Look &look) {
    const std::string path = joinPath(folder.path(), name);
    const bool refuse = links == Links::Refuse;
    auto opened = openWithin(handleOf(folder.handle()), name, GENERIC_READ, kShareAll, FILE_OPEN,
                             FILE_OPEN_FOR_BACKUP_INTENT | (refuse ? FILE_OPEN_REPARSE_POINT : 0),
                             path, FileOperation::Open);
    if (!opened) return opened.error();
    return keepIfRegular(win32::Handle(opened.value()), path, look, refuse ? &folder : nullptr,
                         name);
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

PathState stateIn(const Folder &folder, std::string_view name, Links links) {
    PathState state;
    const std::string path = joinPath(folder.path(), name);
    const bool refuse = links == Links::Refuse;
    // Attributes and security only: no data access, so a file another program holds without
    // sharing opens all the same.
    const ULONG options = FILE_OPEN_FOR_BACKUP_INTENT | (refuse ? FILE_OPEN_REPARSE_POINT : 0);
    const HANDLE root = handleOf(folder.handle());
    auto opened = openWithin(root, name, FILE_READ_ATTRIBUTES | READ_CONTROL, kShareAll, FILE_OPEN,
                             options, path, FileOperation::Inspect);
    if (!opened && opened.error().osCode == ERROR_ACCESS_DENIED)
        opened = openWithin(root, name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, options, path,
                            FileOperation::Inspect);
    if (!opened) return state;
    const win32::Handle file(opened.value());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info)) return state;
    state.attributes = info.dwFileAttributes;
    state.readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    state.device = info.dwVolumeSerialNumber;
    state.inode = indexOf(info);
    state.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathState::Kind::Folder
                 : ::GetFileType(file.get()) != FILE_TYPE_DISK      ? PathState::Kind::Other
                                                                    : PathState::Kind::File;
    if (refuse && !win32::isPlainNameIn(file.get(), folder, name, info.dwFileAttributes))
        state.kind = PathState::Kind::Link;
    DWORD needed = 0;
    constexpr SECURITY_INFORMATION kWanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    ::GetKernelObjectSecurity(file.get(), kWanted, nullptr, 0, &needed);
    state.security.resize(needed);
    if (needed == 0 ||
        !::GetKernelObjectSecurity(file.get(), kWanted, state.security.data(), needed, &needed))
        state.security.clear();
    return state;
}

Result<std::optional<std::string>> linkTarget(const Folder &, std::string_view) {
    return std::optional<std::string>(); // Windows replaces a link itself, as a rename does
}

Result<Handle> createLocked(const Folder &folder, std::string_view name) {
    // Created and locked in one step: without FILE_SHARE_DELETE no other process can delete or
    // rename it while it is open. Its creator may read and set its security.
    auto created = openWithin(handleOf(folder.handle()), name,
                              GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC,
                              FILE_SHARE_READ, FILE_CREATE, FILE_NON_DIRECTORY_FILE,
                              joinPath(folder.path(), name), FileOperation::CreateTemp);
    if (!created) return created.error();
    return handleOf(created.value());
}

Status mayReplaceIn(const Folder &folder, std::string_view name) {
    // Asked of the system by opening with the rights a replace uses, which changes nothing.
    const HANDLE root = handleOf(folder.handle());
    auto added = openWithin(root, "", FILE_ADD_FILE, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE,
                            folder.path(), FileOperation::CreateTemp);
    if (!added) return added.error();
    ::CloseHandle(added.value());
    const std::string path = joinPath(folder.path(), name);
    auto target = openWithin(root, name, DELETE, kShareAll, FILE_OPEN, FILE_OPEN_REPARSE_POINT,
                             path, FileOperation::Rename);
    if (!target) return target.error().code == ErrorCode::NotFound ? Status() : target.error();
    ::CloseHandle(target.value());
    return {};
}

Status removeIfStale(const Folder &folder, std::string_view name) {
    const std::string path = joinPath(folder.path(), name);
    const HANDLE root = handleOf(folder.handle());
    // A link is opened as itself, never the file it leads to. A live one is open without sharing
    // delete, so this open fails and it stays: a live save's, of this or another copy.
    auto open = [&](ACCESS_MASK access) {
        return openWithin(root, name, access, kShareAll, FILE_OPEN,
                          FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, path,
                          FileOperation::RemoveStale);
    };
    auto opened = open(DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    // Wine refuses the attributes of a read-only file to an open, though it lets a handle set
    // them; Windows grants them and checks for them.
    if (!opened && opened.error().osCode == ERROR_ACCESS_DENIED)
        opened = open(DELETE | FILE_READ_ATTRIBUTES);
    if (!opened) {
        const Error &e = opened.error();
        if (e.code == ErrorCode::NotFound || e.osCode == ERROR_SHARING_VIOLATION) return {};
        return e;
    }
    const win32::Handle file(opened.value());
    BY_HANDLE_FILE_INFORMATION info{};
    // Only a plain file of one name, the one it was reached by: a hard link so named is another
    // file's name too, and a link under Wine opens the file it leads to.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(file.get(), &info) || info.nNumberOfLinks != 1 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !win32::isPlainNameIn(file.get(), folder, name, info.dwFileAttributes))
        return {};
    // Held by us alone now, so no live save can own it; read-only (a save killed after it made
    // its file so) is cleared through the handle.
    deleteOnClose(file.get());
    return {};
}

Status flush(Handle file, const std::string &subject) {
    if (!::FlushFileBuffers(handleOf(file))) return lastError(subject, FileOperation::Flush);
    return {};
}

void discard(Handle file, const Folder &, std::string_view) {
    deleteOnClose(handleOf(file));
    ::CloseHandle(handleOf(file));
}

} // namespace host

} // namespace corvelan::fs

namespace corvelan::win32 {

Error ntError(NTSTATUS status, std::string path, fs::FileOperation operation) {
    constexpr NTSTATUS kNotFound = static_cast<NTSTATUS>(0xC0000034);     // OBJECT_NAME_NOT_FOUND
    constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003A); // OBJECT_PATH_NOT_FOUND
    constexpr NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103);
    constexpr NTSTATUS kFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
    if (status == kNotFound || status == kPathNotFound) return makeError(ErrorCode::NotFound, path);
    if (status == kNotADirectory || status == kFileIsADirectory)
        return makeError(ErrorCode::NotAFile, path);
    return win32Error(::RtlNtStatusToDosError(status), std::move(path), operation);
}

Result<HANDLE> openWithin(HANDLE folder, std::string_view name, ACCESS_MASK access, ULONG share,
                          ULONG disposition, ULONG options, const std::string &path,
                          fs::FileOperation operation, PSECURITY_DESCRIPTOR security) {
    std::wstring wide = toWide(name);
    UNICODE_STRING unicode{};
    unicode.Buffer = wide.data();
    unicode.Length = unicode.MaximumLength = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    attributes.SecurityDescriptor = security;
    const NTSTATUS status = ::NtCreateFile(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                           FILE_ATTRIBUTE_NORMAL, share, disposition,
                                           options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0) return ntError(status, path, operation);
    return opened;
}

std::string finalPathOf(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD n =
            ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(n + 1);
    }
    if (path.starts_with(L"\\\\?\\UNC\\"))
        path = L"\\\\" + path.substr(8);
    else if (path.starts_with(L"\\\\?\\"))
        path.erase(0, 4);
    return fromWide(path);
}

bool isPlainNameIn(HANDLE file, const fs::Folder &folder, std::string_view name, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    // A Unix link under Wine is no reparse point: where the system says the file is tells.
    return folder.resolved().empty() ||
           fs::host::sameHostPath(finalPathOf(file), fs::joinPath(folder.resolved(), name));
}

} // namespace corvelan::win32
