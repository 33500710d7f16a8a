#include "support/child.h"

#include "platform/win32/wide.h"

// windows.h (through wide.h) first
#include <psapi.h>

#include <cwchar>
#include <utility>

namespace corvelan::test {

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

// The error of a program Windows could not start, for the reason `code`.
Error notStartedBecause(DWORD code, const std::string &executable) {
    return win32::win32Error(code, executable, fs::FileOperation::None);
}

} // namespace

std::uint64_t peakMemoryBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
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
        return notStartedBecause(::GetLastError(), executable);
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
        return notStartedBecause(failure, executable);
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

} // namespace corvelan::test
