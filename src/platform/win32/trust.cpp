#include "platform/trust.h"

#include <windows.h>

namespace corvelan::fs {

bool runsElevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated =
        ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated != 0;
    ::CloseHandle(token);
    if (elevated) return true;
    // Without UAC an administrator's token counts as not elevated, yet holds the group.
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof administrators;
    BOOL member = FALSE;
    return ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize) &&
           ::CheckTokenMembership(nullptr, administrators, &member) && member;
}

void guardAgainstPlantedLinks() {
    // ProcessRedirectionTrustPolicy and its EnforceRedirectionTrust flag, not yet in mingw-w64's
    // headers; looked up by name, since older Windows (and Wine) lack the call or the policy.
    constexpr int kRedirectionTrustPolicy = 16;
    constexpr DWORD kEnforceRedirectionTrust = 0x1;
    using SetPolicy = BOOL(WINAPI *)(int, PVOID, SIZE_T);
    const auto set = reinterpret_cast<SetPolicy>(reinterpret_cast<void *>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetProcessMitigationPolicy")));
    DWORD flags = kEnforceRedirectionTrust;
    if (set) set(kRedirectionTrustPolicy, &flags, sizeof flags);
}

} // namespace corvelan::fs
