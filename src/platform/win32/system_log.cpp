#include "platform/system_log.h"

#include "platform/win32/wide.h"

#include <windows.h>

#include <vector>

namespace corvelan::fs {
namespace {

// The longest insertion string ReportEventW takes.
constexpr std::size_t kMaxInsertion = 31839;

// The SID of this process's user, held in `buffer`; null when the token cannot tell.
PSID tokenUser(std::vector<BYTE> &buffer) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    buffer.resize(size);
    const bool read =
        size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    ::CloseHandle(token);
    return read ? reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid : nullptr;
}

} // namespace

void writeSystemEvent(const SystemEvent &event) {
    // An event source nobody registered still logs, to the Application log; Event Viewer then
    // shows the strings without the sentence around them.
    HANDLE source = ::RegisterEventSourceW(nullptr, win32::toWide(kEventSource).c_str());
    if (!source) return;
    std::vector<std::wstring> strings;
    for (const std::string &s : event.strings)
        strings.push_back(win32::toWide(s).substr(0, kMaxInsertion));
    std::vector<LPCWSTR> pointers;
    for (const std::wstring &s : strings)
        pointers.push_back(s.c_str());
    WORD type = EVENTLOG_INFORMATION_TYPE;
    if (event.severity == EventSeverity::Warning) type = EVENTLOG_WARNING_TYPE;
    if (event.severity == EventSeverity::Error) type = EVENTLOG_ERROR_TYPE;
    std::vector<BYTE> user;
    ::ReportEventW(source, type, 0, event.id, tokenUser(user), static_cast<WORD>(pointers.size()),
                   0, pointers.data(), nullptr);
    ::DeregisterEventSource(source);
}

std::string currentUser() {
    std::vector<BYTE> user;
    if (PSID sid = tokenUser(user)) {
        wchar_t name[256] = {};
        wchar_t domain[256] = {};
        DWORD nameSize = 256;
        DWORD domainSize = 256;
        SID_NAME_USE use{};
        if (::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
            return win32::fromWide(domain) + "\\" + win32::fromWide(name);
    }
    wchar_t name[257] = {};
    DWORD size = 257;
    return ::GetUserNameW(name, &size) ? win32::fromWide(name) : std::string("an unknown user");
}

} // namespace corvelan::fs
