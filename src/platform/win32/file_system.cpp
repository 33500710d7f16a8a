#include "platform/file_system.h"

#include "platform/file_operations.h"
#include "platform/file_system_parts.h"
#include "platform/temporary_names.h"
#include "platform/win32/wide.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

namespace corvelan::fs {
namespace {

using win32::Handle;
using win32::lastError;
using win32::toWidePath;

constexpr size_t kPiece = 1 << 20;
// Reading shares everything, so that the host product is never kept from its own files.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

size_t lastSeparator(const std::string &path) {
    return path.find_last_of("\\/");
}

std::string folderOf(const std::string &path) {
    const size_t at = lastSeparator(path);
    if (at == std::string::npos) return ".";
    return (at == 2 && path[1] == ':') ? path.substr(0, 3) : path.substr(0, at);
}

std::string nameOf(const std::string &path) {
    const size_t at = lastSeparator(path);
    return at == std::string::npos ? path : path.substr(at + 1);
}

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Since 1970, as on Linux: FILETIME counts 100 ns from 1601, which in nanoseconds would not fit.
std::int64_t nanoseconds(FILETIME t) {
    constexpr std::int64_t kUnixEpoch = 116444736000000000;
    return (static_cast<std::int64_t>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) -
            kUnixEpoch) *
           100;
}

// Which file, and which version: volume serial, file index, size and last write time.
FileStamp stampOf(const BY_HANDLE_FILE_INFORMATION &info) {
    FileStamp stamp;
    stamp.device = info.dwVolumeSerialNumber;
    stamp.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    stamp.size =
        static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    stamp.modifiedNs = nanoseconds(info.ftLastWriteTime);
    return stamp;
}

Error openError(DWORD code, const std::string &path) {
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return makeError(ErrorCode::NotFound, path);
    return win32::win32Error(code, path, "cannot open");
}

Error changedOnDisk(const std::string &path, std::string detail) {
    return makeError(ErrorCode::ChangedOnDisk, path, std::move(detail));
}

// Opens `path` for reading and keeps it only when it is a file on a disk: a folder is NotAFile, a
// device (NUL, CON, a pipe) NotRegularFile.
Result<Handle> openRegular(const std::string &path, BY_HANDLE_FILE_INFORMATION &info) {
    Handle file(::CreateFileW(toWidePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return openError(::GetLastError(), path);
    if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        return makeError(ErrorCode::NotRegularFile, path);
    if (!::GetFileInformationByHandle(file.get(), &info))
        return lastError(path, "cannot read the size");
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return makeError(ErrorCode::NotAFile, path);
    return file;
}

// Reads at most `size` bytes at `offset`; 0 at the end of the file.
Result<DWORD> readAt(HANDLE file, char *buffer, DWORD size, std::uint64_t offset,
                     const std::string &subject) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!::ReadFile(file, buffer, size, &got, &at)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_HANDLE_EOF) return DWORD{0};
        return win32::win32Error(code, subject, "cannot read");
    }
    return got;
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
Status renameOver(HANDLE file, const std::string &target, DWORD targetAttributes) {
    // Not yet in mingw-w64's headers: the values of Windows' own.
    constexpr DWORD kIgnoreReadOnly = 0x40; // FILE_RENAME_FLAG_IGNORE_READONLY_ATTRIBUTE
    constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22); // FileRenameInfoEx
    const std::wstring wide = toWidePath(target);
    const DWORD nameBytes = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto *rename = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
    rename->RootDirectory = nullptr;
    rename->FileNameLength = nameBytes;
    std::memcpy(rename->FileName, wide.data(), nameBytes);
    const auto size = static_cast<DWORD>(buffer.size());
    rename->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | kIgnoreReadOnly;
    if (::SetFileInformationByHandle(file, kRenameInfoEx, rename, size)) return {};
    rename->Flags = 0;
    rename->ReplaceIfExists = TRUE;
    if (::SetFileInformationByHandle(file, FileRenameInfo, rename, size)) return {};
    const DWORD refused = ::GetLastError();
    const bool readOnly =
        targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_READONLY);
    if (refused != ERROR_ACCESS_DENIED || !readOnly)
        return win32::win32Error(refused, target, "cannot replace");
    ::SetFileAttributesW(wide.c_str(), targetAttributes & ~FILE_ATTRIBUTE_READONLY);
    if (::SetFileInformationByHandle(file, FileRenameInfo, rename, size)) return {};
    const Error failed = lastError(target, "cannot replace");
    ::SetFileAttributesW(wide.c_str(), targetAttributes);
    return failed;
}

// Removes the temporary files that killed saves and copies left in `folder`, whatever file they
// were for: those of the tool's naming pattern that no process holds. A live one is open without
// sharing delete, so opening it for deletion fails and it stays.
void removeStaleTemporaries(const std::string &folder) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(toWidePath(joinPath(folder, "*")).c_str(), FindExInfoBasic,
                                       &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> stale;
    do {
        const std::string name = win32::fromWide(found.cFileName);
        if (isTemporaryFileName(name) &&
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                0)
            stale.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    for (const std::string &name : stale) {
        const std::wstring path = toWidePath(joinPath(folder, name));
        Handle file(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK) continue;
        // Held by us alone now, so no live save can own it. A save killed after it made its file
        // read-only left it so; read-only would refuse the deletion.
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        deleteOnClose(file.get());
    }
}

std::string randomLetters(size_t count) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937_64 random(std::random_device{}() ^ ::GetCurrentProcessId() ^
                                  ::GetTickCount64());
    std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out += kAlphabet[pick(random)];
    return out;
}

} // namespace

// --- OpenFile ---------------------------------------------------------------------------------

void OpenFile::close() {
    if (m_handle != -1) ::CloseHandle(handleOf(m_handle));
    m_handle = -1;
}

Result<OpenFile> OpenFile::open(const std::string &hostPath) {
    BY_HANDLE_FILE_INFORMATION info{};
    auto file = openRegular(hostPath, info);
    if (!file) return file.error();
    OpenFile opened(hostPath, reinterpret_cast<std::intptr_t>(file->release()));
    opened.m_stamp = stampOf(info);
    return opened;
}

Result<std::size_t> OpenFile::readAt(char *buffer, std::size_t size, std::uint64_t offset) const {
    auto got = fs::readAt(handleOf(m_handle), buffer, static_cast<DWORD>(size), offset, m_path);
    if (!got) return got.error();
    return static_cast<std::size_t>(got.value());
}

Status OpenFile::checkUnchanged() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handleOf(m_handle), &info))
        return lastError(m_path, "cannot read");
    if (stampOf(info) != m_stamp)
        return changedOnDisk(m_path, "Another program changed the file after it was checked");
    return {};
}

// --- Reading ----------------------------------------------------------------------------------

Status checkUnchanged(const std::string &hostPath, const ReplaceGuard &guard) {
    if (guard.stamp.size < 0) return {};
    if (int e = gate(FileOperation::Check, hostPath))
        return systemError(e, hostPath, "cannot read");
    BY_HANDLE_FILE_INFORMATION first{};
    auto file = openRegular(hostPath, first);
    if (!file) return changedOnDisk(hostPath, "Another program removed, replaced or locked it");
    if (stampOf(first) != guard.stamp) return changedOnDisk(hostPath, "Another program changed it");
    std::vector<char> piece(kPiece);
    std::string_view expected = guard.bytes;
    std::uint64_t at = 0;
    while (true) {
        if (int e = gate(FileOperation::Compare, hostPath))
            return systemError(e, hostPath, "cannot read");
        auto got =
            readAt(file->get(), piece.data(), static_cast<DWORD>(piece.size()), at, hostPath);
        if (!got) return changedOnDisk(hostPath, "Another program removed, replaced or locked it");
        if (got.value() == 0) break;
        const std::string_view bytes(piece.data(), got.value());
        if (!expected.starts_with(bytes))
            return changedOnDisk(hostPath, "Another program changed it");
        expected.remove_prefix(bytes.size());
        at += got.value();
    }
    if (!expected.empty()) return changedOnDisk(hostPath, "Another program changed it");
    // A write while the bytes were compared moved the last write time; a file moved over the
    // path is another file index.
    BY_HANDLE_FILE_INFORMATION again{};
    BY_HANDLE_FILE_INFORMATION named{};
    auto now = openRegular(hostPath, named);
    if (!::GetFileInformationByHandle(file->get(), &again) || stampOf(again) != stampOf(first) ||
        !now || stampOf(named) != stampOf(first))
        return changedOnDisk(hostPath, "Another program changed it while it was compared");
    return {};
}

// --- Attributes -------------------------------------------------------------------------------

Result<std::uint32_t> fileAttributes(const std::string &hostPath) {
    const DWORD attributes = ::GetFileAttributesW(toWidePath(hostPath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return makeError(ErrorCode::NotFound, hostPath);
        return win32::win32Error(code, hostPath, "cannot read the attributes");
    }
    return static_cast<std::uint32_t>(attributes) &
           (kReadOnly | kHidden | kSystem | kDirectory | kArchive | kNormal);
}

Status setFileAttributes(const std::string &hostPath, std::uint32_t attributes) {
    const std::wstring path = toWidePath(hostPath);
    const DWORD current = ::GetFileAttributesW(path.c_str());
    if (current == INVALID_FILE_ATTRIBUTES)
        return lastError(hostPath, "cannot read the attributes");
    constexpr DWORD kSettable = kReadOnly | kHidden | kSystem;
    const DWORD wanted =
        (current & ~kSettable & ~FILE_ATTRIBUTE_DIRECTORY) | (attributes & kSettable);
    // Hidden and system first, read-only in a second call: Wine drops hidden and system when the
    // three come in one.
    const DWORD first = wanted & ~kReadOnly;
    if (!::SetFileAttributesW(path.c_str(), first == 0 ? FILE_ATTRIBUTE_NORMAL : first))
        return lastError(hostPath, "cannot set the attributes");
    if ((wanted & kReadOnly) && !::SetFileAttributesW(path.c_str(), wanted))
        return lastError(hostPath, "cannot set the attributes");
    return {};
}

// --- ReplacementFile --------------------------------------------------------------------------

ReplacementFile::~ReplacementFile() {
    if (m_handle == -1) return;
    if (!m_temp.empty()) deleteOnClose(handleOf(m_handle));
    ::CloseHandle(handleOf(m_handle));
}

Result<ReplacementFile> ReplacementFile::create(const std::string &target) {
    const std::string folder = folderOf(target);
    removeStaleTemporaries(folder);
    if (int e = gate(FileOperation::CreateTemp, target))
        return systemError(e, target, "cannot create a temporary file");
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp =
            joinPath(folder, temporaryName(nameOf(target), randomLetters(kTemporaryRandomLength)));
        // Created and locked in one step: without FILE_SHARE_DELETE no other process can delete
        // or rename it while it is open.
        HANDLE file =
            ::CreateFileW(toWidePath(temp).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                          FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return ReplacementFile(target, std::move(temp), reinterpret_cast<std::intptr_t>(file));
        if (::GetLastError() != ERROR_FILE_EXISTS)
            return lastError(target, "cannot create a temporary file");
    }
    return systemError(EEXIST, target, "cannot create a temporary file");
}

Status ReplacementFile::write(std::string_view bytes, const std::string &subject) {
    while (!bytes.empty()) {
        if (int e = gate(FileOperation::Write, subject))
            return systemError(e, subject, "cannot write");
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), kPiece));
        DWORD written = 0;
        if (!::WriteFile(handleOf(m_handle), bytes.data(), chunk, &written, nullptr))
            return lastError(subject, "cannot write");
        bytes.remove_prefix(written);
    }
    return {};
}

Result<FileStamp> ReplacementFile::commit(const ReplaceGuard *guard) {
    const std::string &t = m_target;
    HANDLE file = handleOf(m_handle);
    const std::wstring target = toWidePath(t);
    const DWORD old = ::GetFileAttributesW(target.c_str());
    const bool exists = old != INVALID_FILE_ATTRIBUTES;
    const bool readOnly = exists && (old & FILE_ATTRIBUTE_READONLY);
    const DWORD kept = exists ? old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                       FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
                              : 0;
    // Hidden and system first, read-only last (Wine drops the first two when all come at once).
    int e = gate(FileOperation::CopyAttributes, t);
    if (e != 0) return systemError(e, t, "cannot copy the attributes");
    if (!setBasicAttributes(file, kept)) return lastError(t, "cannot copy the attributes");
    if (readOnly) {
        e = gate(FileOperation::SetMode, t);
        if (e != 0) return systemError(e, t, "cannot set the permissions");
        if (!setBasicAttributes(file, kept | FILE_ATTRIBUTE_READONLY))
            return lastError(t, "cannot set the permissions");
    }
    e = gate(FileOperation::Flush, t);
    if (e != 0) return systemError(e, t, "cannot flush");
    if (!::FlushFileBuffers(file)) return lastError(t, "cannot flush");
    BY_HANDLE_FILE_INFORMATION written{};
    if (!::GetFileInformationByHandle(file, &written)) return lastError(t, "cannot flush");
    if (guard)
        if (Status s = checkUnchanged(t, *guard); !s) return s.error();
    // What remains: a write by another program between the check's last look and the rename is
    // replaced; Windows has no rename that first checks what it replaces.
    e = gate(FileOperation::Rename, t);
    if (e != 0) return systemError(e, t, "cannot replace");
    if (Status s = renameOver(file, t, old); !s) return s.error();
    m_temp.clear();
    ::CloseHandle(file);
    m_handle = -1;
    // The rename is written through once the folder is flushed; the new content is in place
    // whatever this answers, so a failure here is not reported.
    if (gate(FileOperation::FlushFolder, t) == 0) {
        Handle folder(::CreateFileW(toWidePath(folderOf(t)).c_str(), GENERIC_WRITE, kShareAll,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (folder.valid()) ::FlushFileBuffers(folder.get());
    }
    return stampOf(written);
}

// --- Paths and the process ------------------------------------------------------------------

std::string joinPath(const std::string &folder, std::string_view name) {
    std::string out = folder;
    if (out.empty() || (out.back() != '\\' && out.back() != '/')) out += '\\';
    out += name;
    return out;
}

namespace detail {

Result<std::string> replacementTarget(const std::string &path) {
    return path;
}

Result<bool> isCopyOntoItself(const OpenFile &source, const std::string &to) {
    const std::wstring destination = toWidePath(to);
    WIN32_FILE_ATTRIBUTE_DATA existing{};
    if (!::GetFileAttributesExW(destination.c_str(), GetFileExInfoStandard, &existing))
        return false;
    if (existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return makeError(ErrorCode::NotAFile, to);
    Handle file(::CreateFileW(destination.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (file.valid() && ::GetFileType(file.get()) != FILE_TYPE_DISK)
        return makeError(ErrorCode::NotRegularFile, to);
    if (file.valid() && ::GetFileInformationByHandle(file.get(), &info)) {
        const FileStamp stamp = stampOf(info);
        if (stamp.device == source.stamp().device && stamp.inode == source.stamp().inode)
            return true;
    }
    if (existing.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        return systemError(EACCES, to, "the file is read-only");
    return false;
}

} // namespace detail

Result<std::string> executableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return lastError("GetModuleFileNameW", "cannot find the executable");
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
    if (n == 0 || n >= size) return lastError(".", "cannot find the current folder");
    path.resize(n);
    return win32::fromWide(path);
}

} // namespace corvelan::fs
