// Replacing a file on Windows: the target's owner, DACL and attributes given to the new file,
// the rename through the new file's handle into the held folder, why Windows refused it, and
// whose folders an elevated run may change.
#include "platform/file_primitives.h"
#include "platform/win32/file_handles.h"

#include <aclapi.h>
#include <sddl.h>

#include <bit>
#include <cstring>
#include <vector>

namespace corvelan::fs {
namespace {

using win32::handleOf;
using win32::lastError;
using win32::toWidePath;

// What Windows answers one who asks for `path` alone, to delete it: ERROR_SUCCESS when nobody
// holds it, a sharing violation (or a deletion pending) when another program does, access denied
// when the user may not. Only a probe: the handle closes at once.
DWORD deletionRefusal(const std::wstring &path) {
    const win32::Handle probe(::CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return probe.valid() ? ERROR_SUCCESS : ::GetLastError();
}

bool isHeld(const std::wstring &path) {
    const DWORD why = deletionRefusal(path);
    return why == ERROR_SHARING_VIOLATION || why == ERROR_DELETE_PENDING;
}

// FILE_RENAME_INFORMATION_EX: its flags stand where FILE_RENAME_INFORMATION has ReplaceIfExists.
struct RenameInformation {
    union {
        BOOLEAN ReplaceIfExists;
        ULONG Flags;
    };
    HANDLE RootDirectory;
    ULONG FileNameLength;
    WCHAR FileName[1];
};

// Renames the open file over `target` within `folder`, through its own handle, so that it stays
// locked to the end (a copy of the tool cleaning stale files never sees it unheld), and with the
// folder's handle as the root of the name, so that it lands in that folder. Windows 10 (1809 and
// later) replaces a read-only target as it is; elsewhere (and under Wine) the plain rename is
// tried, and only when Windows refuses a read-only target is its read-only attribute cleared for
// the rename, through a handle of its own (and given back if the rename still fails): a crash in
// that moment leaves the old content, but writable.
DWORD renameByHandle(HANDLE file, const Folder &folder, std::string_view target,
                     DWORD targetAttributes) {
    constexpr ULONG kReplaceIfExists = 0x1; // FILE_RENAME_REPLACE_IF_EXISTS
    constexpr ULONG kIgnoreReadOnly = 0x40; // FILE_RENAME_IGNORE_READONLY_ATTRIBUTE
    // FileRenameInformationEx: past the end of mingw-w64's enumeration, so not a value a cast
    // may make.
    const auto kRenameEx = std::bit_cast<FILE_INFORMATION_CLASS>(ULONG{65});
    const std::wstring name = win32::toWide(target);
    const auto nameBytes = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    std::vector<char> buffer(sizeof(RenameInformation) + nameBytes);
    auto *rename = reinterpret_cast<RenameInformation *>(buffer.data());
    rename->RootDirectory = handleOf(folder.handle());
    rename->FileNameLength = nameBytes;
    std::memcpy(rename->FileName, name.data(), nameBytes);
    const auto size = static_cast<ULONG>(buffer.size());
    IO_STATUS_BLOCK io{};
    rename->Flags = kReplaceIfExists | kIgnoreReadOnly;
    if (::NtSetInformationFile(file, &io, rename, size, kRenameEx) >= 0) return ERROR_SUCCESS;
    rename->Flags = 0;
    rename->ReplaceIfExists = TRUE;
    NTSTATUS status = ::NtSetInformationFile(file, &io, rename, size, FileRenameInformation);
    if (status >= 0) return ERROR_SUCCESS;
    const DWORD refused = ::RtlNtStatusToDosError(status);
    const bool readOnly =
        targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_READONLY);
    const std::string path = joinPath(folder.path(), target);
    if (refused != ERROR_ACCESS_DENIED || !readOnly || isHeld(toWidePath(path))) return refused;
    auto opened = win32::openWithin(handleOf(folder.handle()), target, FILE_WRITE_ATTRIBUTES,
                                    win32::kShareAll, FILE_OPEN, FILE_OPEN_REPARSE_POINT, path,
                                    FileOperation::ClearAttributes);
    if (!opened) return refused;
    const win32::Handle old(opened.value());
    win32::setBasicAttributes(old.get(), targetAttributes & ~FILE_ATTRIBUTE_READONLY);
    status = ::NtSetInformationFile(file, &io, rename, size, FileRenameInformation);
    if (status >= 0) return ERROR_SUCCESS;
    win32::setBasicAttributes(old.get(), targetAttributes);
    return ::RtlNtStatusToDosError(status);
}

// The security descriptor a state carries, or null when it carries none.
PSECURITY_DESCRIPTOR securityOf(const host::PathState &target) {
    return target.security.empty() ? nullptr
                                   : const_cast<PSECURITY_DESCRIPTOR>(
                                         static_cast<const void *>(target.security.data()));
}

// The name Windows shows for `sid` ("PC\bob", "NT AUTHORITY\SYSTEM"), or its string form.
std::string accountName(PSID sid) {
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    if (::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return domainSize > 0 ? win32::fromWide(domain) + "\\" + win32::fromWide(name)
                              : win32::fromWide(name);
    wchar_t *text = nullptr;
    std::string out = "an unknown account";
    if (::ConvertSidToStringSidW(sid, &text)) out = win32::fromWide(text);
    if (text) ::LocalFree(text);
    return out;
}

// True for the owners an elevated run trusts: the administrators, the system, TrustedInstaller,
// and the user running the tool.
bool isTrustedOwner(PSID owner) {
    if (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
        ::IsWellKnownSid(owner, WinLocalSystemSid))
        return true;
    PSID installer = nullptr;
    const bool isInstaller =
        ::ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                                 &installer) &&
        ::EqualSid(owner, installer);
    if (installer) ::LocalFree(installer);
    if (isInstaller) return true;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    const bool mine = size > 0 &&
                      ::GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
                      ::EqualSid(owner, reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid);
    ::CloseHandle(token);
    return mine;
}

// True when the open `file` already has `dacl` (null: none), inheriting or not as asked.
bool hasDacl(HANDLE file, PACL dacl, bool isProtected) {
    PACL current = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    if (::GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          &current, nullptr, &security) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    const bool same =
        ::GetSecurityDescriptorControl(security, &control, &revision) &&
        ((control & SE_DACL_PROTECTED) != 0) == isProtected && (current == nullptr) == !dacl &&
        (!dacl ||
         (current->AclSize == dacl->AclSize && std::memcmp(current, dacl, dacl->AclSize) == 0));
    ::LocalFree(security);
    return same;
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

Result<std::optional<std::string>> untrustedOwner(Handle folder, bool elevated,
                                                  const std::string &subject) {
    // A standard user's run is bounded by the user's own rights.
    if (!elevated) return std::optional<std::string>();
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    const DWORD read =
        ::GetSecurityInfo(handleOf(folder), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                          nullptr, nullptr, nullptr, &security);
    if (read != ERROR_SUCCESS) return win32::win32Error(read, subject, FileOperation::ReadOwner);
    std::optional<std::string> untrusted;
    if (!isTrustedOwner(owner)) untrusted = accountName(owner);
    ::LocalFree(security);
    return untrusted;
}

Status giveOwner(Handle file, const PathState &target, const std::string &) {
    // Where the process may: an owner it may not give (another user's, without the privilege to
    // restore files) leaves the new file the process's own, as any file it creates.
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    PSECURITY_DESCRIPTOR security = securityOf(target);
    if (!security || !::GetSecurityDescriptorOwner(security, &owner, &defaulted) || !owner)
        return {};
    const win32::Handle writable(
        ::ReOpenFile(handleOf(file), WRITE_OWNER, win32::kShareAll, FILE_FLAG_BACKUP_SEMANTICS));
    if (writable.valid())
        ::SetSecurityInfo(writable.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner,
                          nullptr, nullptr, nullptr);
    return {};
}

Status giveSecurity(Handle file, const PathState &target, const std::string &subject) {
    // The old file's DACL, and whether it inherits from the folder, as ReplaceFile keeps them:
    // an explicit ACL an administrator set (so that the host product may write the catalogue)
    // survives the save.
    PSECURITY_DESCRIPTOR security = securityOf(target);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!security || !::GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted) ||
        !present || !::GetSecurityDescriptorControl(security, &control, &revision))
        return {};
    const bool isProtected = (control & SE_DACL_PROTECTED) != 0;
    if (hasDacl(handleOf(file), dacl, isProtected)) return {}; // the folder gave it the same
    const SECURITY_INFORMATION inherits =
        isProtected ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION;
    const DWORD set =
        ::SetSecurityInfo(handleOf(file), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | inherits,
                          nullptr, nullptr, dacl, nullptr);
    if (set != ERROR_SUCCESS) return win32::win32Error(set, subject, FileOperation::SetSecurity);
    return {};
}

Status giveAttributes(Handle file, const Folder &, std::string_view, const PathState &target,
                      const std::string &subject) {
    const DWORD kept =
        target.kind == PathState::Kind::Missing
            ? 0
            : target.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (!win32::setBasicAttributes(handleOf(file), kept))
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
    if (!win32::setBasicAttributes(handleOf(file), kept | FILE_ATTRIBUTE_READONLY))
        return lastError(subject, FileOperation::SetMode);
    return {};
}

Status renameOver(Handle file, const Folder &folder, std::string_view, std::string_view target,
                  const PathState &state) {
    const DWORD attributes =
        state.kind == PathState::Kind::Missing ? INVALID_FILE_ATTRIBUTES : state.attributes;
    if (const DWORD refused = renameByHandle(handleOf(file), folder, target, attributes))
        return win32::win32Error(refused, joinPath(folder.path(), target), FileOperation::Rename);
    return {};
}

} // namespace host
} // namespace corvelan::fs
