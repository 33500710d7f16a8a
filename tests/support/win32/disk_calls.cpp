// Patches the executable's imports of FlushFileBuffers, SetFileInformationByHandle,
// SetFileAttributesW and MoveFileExW from kernel32, and of NtSetInformationFile (the renames
// within a held folder) from ntdll: every call from the tool's code (linked statically into the
// test) reaches these first, then the system's own.
#include "support/disk_calls.h"
#include "support/win32/import_table.h"

#include <windows.h>
#include <winternl.h>
// windows.h first
#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <string>

namespace corvelan::test {
namespace {

using FlushFunction = BOOL(WINAPI *)(HANDLE);
using SetInformationFunction = BOOL(WINAPI *)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
using MoveFunction = BOOL(WINAPI *)(LPCWSTR, LPCWSTR, DWORD);
using SetAttributesFunction = BOOL(WINAPI *)(LPCWSTR, DWORD);
using NtSetInformationFunction = NTSTATUS(NTAPI *)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                   FILE_INFORMATION_CLASS);
FlushFunction g_flush = nullptr;
SetInformationFunction g_setInformation = nullptr;
MoveFunction g_move = nullptr;
SetAttributesFunction g_setAttributes = nullptr;
NtSetInformationFunction g_ntSetInformation = nullptr;
using SetSecurityFunction = DWORD(WINAPI *)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID,
                                            PSID, PACL, PACL);
SetSecurityFunction g_setSecurity = nullptr;

std::uint64_t indexOf(const BY_HANDLE_FILE_INFORMATION &info) {
    return (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
}

// The file index of the folder that holds `path`; 0 when it cannot be opened.
std::uint64_t folderIndexOf(std::wstring path) {
    const auto separator = path.find_last_of(L"\\/");
    path = separator == std::wstring::npos ? L"." : path.substr(0, separator + 1);
    HANDLE folder = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(folder, &info) != 0;
    ::CloseHandle(folder);
    return known ? indexOf(info) : 0;
}

DiskCall renameOf(HANDLE file, const std::wstring &to) {
    DiskCall call{DiskCall::Rename, 0, folderIndexOf(to), -1};
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(file, &info)) {
        call.file = indexOf(info);
        call.size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) |
                                              info.nFileSizeLow);
    }
    return call;
}

BOOL WINAPI flushFileBuffers(HANDLE file) {
    const BOOL done = g_flush(file);
    BY_HANDLE_FILE_INFORMATION info{};
    if (done && hooks::recording() && ::GetFileInformationByHandle(file, &info)) {
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            hooks::record({DiskCall::FlushFolder, 0, indexOf(info), -1});
        else
            hooks::record({DiskCall::FlushFile, indexOf(info), 0,
                           static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) |
                                                     info.nFileSizeLow)});
    }
    return done;
}

std::uint64_t fileIndexOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(file, &info) ? indexOf(info) : 0;
}

BOOL WINAPI setFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID data,
                                       DWORD size) {
    if (kind == FileBasicInfo) {
        const BOOL done = g_setInformation(file, kind, data, size);
        if (done && hooks::recording())
            hooks::record({DiskCall::SetAttributes, fileIndexOf(file), 0, -1,
                           static_cast<const FILE_BASIC_INFO *>(data)->FileAttributes});
        return done;
    }
    constexpr int kRenameInfoEx = 22; // FileRenameInfoEx, not yet in mingw-w64's headers
    const bool renames = kind == FileRenameInfo || static_cast<int>(kind) == kRenameInfoEx;
    DiskCall planned;
    if (renames && hooks::recording()) {
        const auto *rename = static_cast<const FILE_RENAME_INFO *>(data);
        planned = renameOf(
            file, std::wstring(rename->FileName, rename->FileNameLength / sizeof(wchar_t)));
    }
    const BOOL done = g_setInformation(file, kind, data, size);
    if (done && renames && hooks::recording()) hooks::record(planned);
    return done;
}

BOOL WINAPI moveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    DiskCall planned;
    if (hooks::recording()) {
        HANDLE file = ::CreateFileW(from, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            planned = renameOf(file, to);
            ::CloseHandle(file);
        }
    }
    const BOOL done = g_move(from, to, flags);
    if (done && hooks::recording()) hooks::record(planned);
    return done;
}

// A rename within a held folder: its name is relative to the folder's handle.
NTSTATUS NTAPI ntSetInformationFile(HANDLE file, PIO_STATUS_BLOCK io, PVOID data, ULONG size,
                                    FILE_INFORMATION_CLASS kind) {
    constexpr int kRenameInformationEx = 65;
    const bool renames =
        kind == FileRenameInformation || static_cast<int>(kind) == kRenameInformationEx;
    DiskCall planned;
    if (renames && hooks::recording()) {
        const auto *rename = static_cast<const FILE_RENAME_INFORMATION *>(data);
        planned = renameOf(file, L"");
        if (rename->RootDirectory) planned.folder = fileIndexOf(rename->RootDirectory);
    }
    const NTSTATUS status = g_ntSetInformation(file, io, data, size, kind);
    if (status >= 0 && renames && hooks::recording()) hooks::record(planned);
    return status;
}

// The DACL `dacl` given with `what`, as SDDL: "D:" then "P" when it is protected.
std::string sddlOf(PACL dacl, SECURITY_INFORMATION what) {
    SECURITY_DESCRIPTOR security{};
    ::InitializeSecurityDescriptor(&security, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&security, TRUE, dacl, FALSE);
    if (what & PROTECTED_DACL_SECURITY_INFORMATION)
        ::SetSecurityDescriptorControl(&security, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    wchar_t *text = nullptr;
    ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
        &security, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    std::string out;
    for (const wchar_t *c = text; c && *c; ++c)
        out += static_cast<char>(*c);
    if (text) ::LocalFree(text);
    return out;
}

DWORD WINAPI setSecurityInfo(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION what,
                             PSID owner, PSID group, PACL dacl, PACL sacl) {
    const DWORD done = g_setSecurity(object, type, what, owner, group, dacl, sacl);
    if (done == ERROR_SUCCESS && hooks::recording() && (what & DACL_SECURITY_INFORMATION)) {
        DiskCall call{DiskCall::SetDacl, fileIndexOf(object), 0, -1};
        call.dacl = sddlOf(dacl, what);
        hooks::record(call);
    }
    return done;
}

BOOL WINAPI setFileAttributesW(LPCWSTR path, DWORD attributes) {
    const BOOL done = g_setAttributes(path, attributes);
    if (done && hooks::recording()) {
        HANDLE file = ::CreateFileW(path, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            hooks::record({DiskCall::SetAttributes, fileIndexOf(file), 0, -1, attributes});
            ::CloseHandle(file);
        }
    }
    return done;
}

} // namespace

void hooks::install() {
    if (g_flush) return;
    g_flush = reinterpret_cast<FlushFunction>(patchImport(
        "kernel32.dll", "FlushFileBuffers", reinterpret_cast<void *>(&flushFileBuffers)));
    g_setInformation = reinterpret_cast<SetInformationFunction>(
        patchImport("kernel32.dll", "SetFileInformationByHandle",
                    reinterpret_cast<void *>(&setFileInformationByHandle)));
    g_move = reinterpret_cast<MoveFunction>(
        patchImport("kernel32.dll", "MoveFileExW", reinterpret_cast<void *>(&moveFileExW)));
    g_ntSetInformation = reinterpret_cast<NtSetInformationFunction>(patchImport(
        "ntdll.dll", "NtSetInformationFile", reinterpret_cast<void *>(&ntSetInformationFile)));
    g_setSecurity = reinterpret_cast<SetSecurityFunction>(
        patchImport("advapi32.dll", "SetSecurityInfo", reinterpret_cast<void *>(&setSecurityInfo)));
    g_setAttributes = reinterpret_cast<SetAttributesFunction>(patchImport(
        "kernel32.dll", "SetFileAttributesW", reinterpret_cast<void *>(&setFileAttributesW)));
}

} // namespace corvelan::test
