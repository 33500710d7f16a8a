#include "platform/process.h"

#include "platform/file_system.h"
#include "platform/process_primitives.h"
#include "platform/trust.h"
#include "platform/win32/wide.h"

// windows.h (through wide.h) first
#include <psapi.h>

#include <cwchar>
#include <utility>

namespace corvelan::fs {

Result<std::string> currentFolder() {
    const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring path(size, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(size, path.data());
    if (n == 0 || n >= size) return win32::lastError(".", FileOperation::FindCurrentFolder);
    path.resize(n);
    return win32::fromWide(path);
}

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

namespace corvelan::process {
namespace {

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// One argument as the C runtime of the child takes it apart again.
std::wstring quoted(const std::wstring &argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

} // namespace

std::uint64_t peakMemoryBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

void *allocateOnLargePages(std::size_t) {
    return nullptr; // large pages need a privilege users do not have
}

Result<std::string> ownExecutable() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return win32::lastError("GetModuleFileNameW", fs::FileOperation::FindOwnExecutable);
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::string utf8 = win32::fromWide(path);
    if (utf8.starts_with("\\\\?\\")) utf8.erase(0, 4);
    return utf8;
}

Result<Child> Child::start(const std::string &executable, const std::vector<std::string> &arguments,
                           const std::vector<std::string> &environment) {
    std::wstring commandLine = quoted(win32::toWide(executable));
    for (const std::string &argument : arguments)
        commandLine += L" " + quoted(win32::toWide(argument));
    std::vector<std::string> current;
    if (wchar_t *variables = ::GetEnvironmentStringsW()) {
        for (const wchar_t *e = variables; *e; e += std::wcslen(e) + 1)
            current.push_back(win32::fromWide(e));
        ::FreeEnvironmentStringsW(variables);
    }
    std::wstring block;
    for (const std::string &variable : withVariables(current, environment))
        block += win32::toWide(variable) + L'\0';
    block += L'\0';

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return win32::lastError(executable, fs::FileOperation::Open);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION started{};
    const bool ok = ::CreateProcessW(win32::toWidePath(executable).c_str(), commandLine.data(),
                                     nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                     block.data(), nullptr, &startup, &started);
    const DWORD failure = ::GetLastError();
    ::CloseHandle(writeEnd);
    if (!ok) {
        ::CloseHandle(readEnd);
        return win32::win32Error(failure, executable, fs::FileOperation::Open);
    }
    ::CloseHandle(started.hThread);
    return Child(reinterpret_cast<std::intptr_t>(started.hProcess),
                 reinterpret_cast<std::intptr_t>(readEnd));
}

Child::Child(Child &&other) noexcept
    : m_process(std::exchange(other.m_process, -1)), m_output(std::exchange(other.m_output, -1)),
      m_exitCode(other.m_exitCode) {}

Child::~Child() {
    if (running()) terminate();
    wait();
}

std::string Child::read(std::size_t size) {
    std::string piece(size, '\0');
    DWORD got = 0;
    if (m_output == -1 ||
        !::ReadFile(handleOf(m_output), piece.data(), static_cast<DWORD>(size), &got, nullptr))
        return {};
    piece.resize(got);
    return piece;
}

bool Child::running() {
    return m_process != -1 && ::WaitForSingleObject(handleOf(m_process), 0) == WAIT_TIMEOUT;
}

bool Child::terminate() {
    return running() && ::TerminateProcess(handleOf(m_process), 9);
}

int Child::wait() {
    if (m_process != -1) {
        ::WaitForSingleObject(handleOf(m_process), INFINITE);
        DWORD code = 0;
        m_exitCode = ::GetExitCodeProcess(handleOf(m_process), &code) ? static_cast<int>(code) : -1;
        ::CloseHandle(handleOf(std::exchange(m_process, -1)));
    }
    if (m_output != -1) ::CloseHandle(handleOf(std::exchange(m_output, -1)));
    return m_exitCode;
}

} // namespace corvelan::process
