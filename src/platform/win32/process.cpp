#include "platform/process.h"

#include "platform/file_system.h"
#include "platform/win32/wide.h"

// windows.h (through wide.h) first
#include <psapi.h>

#include <cwchar>
#include <string_view>

namespace corvelan::fs {

using win32::lastError;

Result<std::string> executableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return lastError("GetModuleFileNameW", FileOperation::FindOwnExecutable);
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
    if (n == 0 || n >= size) return lastError(".", FileOperation::FindCurrentFolder);
    path.resize(n);
    return win32::fromWide(path);
}

} // namespace corvelan::fs

namespace corvelan::process {

std::uint64_t peakMemoryBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

} // namespace corvelan::process

namespace corvelan::process {
namespace {

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

ChildRun runSelf(const std::vector<std::string> &arguments,
                 const std::vector<std::string> &environment) {
    ChildRun run;
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    std::wstring commandLine = quoted(self);
    for (const std::string &argument : arguments)
        commandLine += L" " + quoted(win32::toWide(argument));
    // The environment block: the names given anew, then the others as they are.
    std::wstring block;
    for (const std::string &v : environment)
        block += win32::toWide(v) + L'\0';
    if (wchar_t *current = ::GetEnvironmentStringsW()) {
        for (const wchar_t *e = current; *e; e += std::wcslen(e) + 1) {
            const std::wstring_view variable(e);
            const std::wstring_view name = variable.substr(0, variable.find(L'=', 1));
            bool replaced = false;
            for (const std::string &v : environment)
                replaced = replaced || win32::toWide(v).starts_with(std::wstring(name) + L"=");
            if (!replaced) block += std::wstring(variable) + L'\0';
        }
        ::FreeEnvironmentStringsW(current);
    }
    block += L'\0';

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION child{};
    const bool started =
        ::CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                         CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &child);
    ::CloseHandle(writeEnd);
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
            run.output.append(buffer, got);
        ::WaitForSingleObject(child.hProcess, INFINITE);
        DWORD code = 0;
        if (::GetExitCodeProcess(child.hProcess, &code)) run.exitCode = static_cast<int>(code);
        ::CloseHandle(child.hProcess);
        ::CloseHandle(child.hThread);
    }
    ::CloseHandle(readEnd);
    return run;
}

} // namespace corvelan::process
