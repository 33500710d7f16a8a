// The events as the Application log receives them: the calls into advapi32 are caught in the
// executable's import table, so the test sees the source, type, id, strings and user that
// ReportEventW is given; and the message table compiled into each built executable, rendered as
// Event Viewer renders it, says what the Linux log says.
#include "platform/system_log.h"
#include "platform/win32/wide.h"
#include "support/repository_files.h"
#include "support/win32/import_table.h"
#include "workflows/audit.h"
#include "workflows/command_line_fixture.h"
#include "workflows/event_texts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvelan::workflows {
namespace {

struct Reported {
    HANDLE handle = nullptr;
    std::wstring source; // as the source was registered
    WORD type = 0;
    WORD category = 0;
    DWORD id = 0;
    bool byThisUser = false; // the SID given is this process's token user
    std::vector<std::wstring> strings;
    bool deregistered = false;
};

using RegisterFunction = HANDLE(WINAPI *)(LPCWSTR, LPCWSTR);
using ReportFunction = BOOL(WINAPI *)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR *,
                                      LPVOID);
using DeregisterFunction = BOOL(WINAPI *)(HANDLE);
RegisterFunction g_register = nullptr;
ReportFunction g_report = nullptr;
DeregisterFunction g_deregister = nullptr;

bool g_registerFails = false;
std::vector<Reported> g_reported;
std::vector<std::pair<HANDLE, std::wstring>> g_sources; // the handles given out, and for what

bool isTokenUser(PSID sid) {
    if (!sid) return false;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    std::vector<BYTE> buffer(512);
    DWORD size = 0;
    const bool read = ::GetTokenInformation(token, TokenUser, buffer.data(),
                                            static_cast<DWORD>(buffer.size()), &size) != 0;
    ::CloseHandle(token);
    return read && ::EqualSid(sid, reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid);
}

HANDLE WINAPI registerEventSource(LPCWSTR server, LPCWSTR source) {
    if (g_registerFails) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    HANDLE handle = g_register(server, source);
    if (handle) g_sources.emplace_back(handle, source);
    return handle;
}

BOOL WINAPI reportEvent(HANDLE source, WORD type, WORD category, DWORD id, PSID user, WORD count,
                        DWORD dataSize, LPCWSTR *strings, LPVOID data) {
    Reported r;
    r.handle = source;
    for (const auto &[handle, name] : g_sources)
        if (handle == source) r.source = name;
    r.type = type;
    r.category = category;
    r.id = id;
    r.byThisUser = isTokenUser(user);
    for (WORD i = 0; i < count; ++i)
        r.strings.emplace_back(strings[i]);
    g_reported.push_back(r);
    return g_report(source, type, category, id, user, count, dataSize, strings, data);
}

BOOL WINAPI deregisterEventSource(HANDLE source) {
    for (Reported &r : g_reported)
        if (r.handle == source) r.deregistered = true;
    return g_deregister(source);
}

std::wstring wide(const std::string &utf8) {
    return win32::toWide(utf8);
}

std::vector<std::wstring> wide(const std::vector<std::string> &strings) {
    std::vector<std::wstring> out;
    for (const std::string &s : strings)
        out.push_back(wide(s));
    return out;
}

class SystemLogTest : public CommandLineTest {
protected:
    static void SetUpTestSuite() {
        if (g_report) return;
        g_register = reinterpret_cast<RegisterFunction>(
            test::patchImport("advapi32.dll", "RegisterEventSourceW",
                              reinterpret_cast<void *>(&registerEventSource)));
        g_report = reinterpret_cast<ReportFunction>(test::patchImport(
            "advapi32.dll", "ReportEventW", reinterpret_cast<void *>(&reportEvent)));
        g_deregister = reinterpret_cast<DeregisterFunction>(
            test::patchImport("advapi32.dll", "DeregisterEventSource",
                              reinterpret_cast<void *>(&deregisterEventSource)));
    }
    void SetUp() override {
        CommandLineTest::SetUp();
        ASSERT_TRUE(g_register && g_report && g_deregister)
            << "the test executable imports the event log's calls from advapi32";
        g_reported.clear();
        g_sources.clear();
        g_registerFails = false;
    }
    void TearDown() override { g_registerFails = false; }
    test::TeeLog log;
};

TEST_F(SystemLogTest, EachCommandReportsItsEventUnderTheToolsSourceAsThisUser) {
    struct Case {
        std::vector<std::string> arguments;
        int code;
        WORD type;
        DWORD id;
    };
    const Case cases[] = {
        {{"install", "C:\\good.xml"}, 0, EVENTLOG_INFORMATION_TYPE, 0x40000001},
        {{"install", "C:\\other.xml"}, 1, EVENTLOG_WARNING_TYPE, 0x80000002},
        {{"remove"}, 0, EVENTLOG_INFORMATION_TYPE, 0x40000005},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.front() + " " + c.arguments.back());
        g_reported.clear();
        log.events.clear();
        EXPECT_EQ(runCli(repo, c.arguments, log).code, c.code);
        ASSERT_EQ(g_reported.size(), 1u);
        ASSERT_EQ(log.events.size(), 1u);
        const Reported &r = g_reported.front();
        EXPECT_EQ(r.source, L"Corvelan DTM Update Tool");
        EXPECT_EQ(r.type, c.type);
        EXPECT_EQ(r.category, 0);
        EXPECT_EQ(r.id, c.id);
        EXPECT_TRUE(r.byThisUser) << "the event carries the SID of the account that ran it";
        EXPECT_EQ(r.strings, wide(log.events.front().strings));
        EXPECT_EQ(r.strings.size(), 7u);
        EXPECT_TRUE(r.deregistered) << "the source's handle is given back";
    }
}

TEST_F(SystemLogTest, ErrorsAreReportedAsErrorsAndEachStringWithinTheLogsLimit) {
    const std::string longest(31839, 'x');
    fs::writeSystemEvent({0xC0000003,
                          fs::EventSeverity::Error,
                          {"jdoe", "c:\\é\\DDXMLRepository.xml", longest + "y"},
                          ""});
    ASSERT_EQ(g_reported.size(), 1u);
    EXPECT_EQ(g_reported[0].type, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(g_reported[0].id, 0xC0000003u);
    EXPECT_EQ(
        g_reported[0].strings,
        (std::vector<std::wstring>{L"jdoe", L"c:\\\u00e9\\DDXMLRepository.xml", wide(longest)}))
        << "ReportEventW refuses a string longer than 31839 characters";
}

TEST_F(SystemLogTest, ASourceThatCannotBeOpenedFailsNoCommand) {
    g_registerFails = true;
    EXPECT_EQ(runCli(repo, {"install", "C:\\good.xml"}, log).code, 0);
    EXPECT_TRUE(g_reported.empty());
    EXPECT_EQ(log.events.size(), 1u);
    const std::string catalogue = prefix.drives().hostPath(test::kSavePath).value();
    EXPECT_NE(test::readFile(catalogue).find("Fileversion=\"3.1\""), std::string::npos)
        << "the install was made";
}

// The sentence Event Viewer shows: the message `id` of the table in `module`, with `strings`.
std::wstring rendered(HMODULE module, DWORD id, const std::vector<std::wstring> &strings) {
    std::vector<DWORD_PTR> arguments;
    for (const std::wstring &s : strings)
        arguments.push_back(reinterpret_cast<DWORD_PTR>(s.c_str()));
    wchar_t *text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                         FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                     module, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                     reinterpret_cast<LPWSTR>(&text), 0,
                                     reinterpret_cast<va_list *>(arguments.data()));
    std::wstring out(text ? text : L"", n);
    if (text) ::LocalFree(text);
    if (out.size() >= 2 && out.compare(out.size() - 2, 2, L"\r\n") == 0) out.resize(out.size() - 2);
    return out;
}

TEST(EventTable, EachExecutableRendersEveryEventAsTheLinuxLogWritesIt) {
    // Strings that a careless rendering would mix up: each its own, one holding a "%2" that must
    // stay as it is, and one with a letter outside ASCII.
    const std::vector<std::string> strings = {"CORP\\jdoe",
                                              "c:\\r\\DDXMLRepository.xml",
                                              "1.0, 2.0",
                                              "3.1",
                                              "C:\\d\\\xc3\xa9t\xc3\xa9.xml",
                                              "ab12",
                                              "It said 100% %2."};
    std::vector<const char *> executables = {CLI_EXE};
#ifdef TOOL_EXE // built with the windows
    executables.push_back(TOOL_EXE);
#endif
    for (const char *unixPath : executables) {
        std::wstring path = L"Z:" + wide(unixPath);
        for (wchar_t &c : path)
            if (c == L'/') c = L'\\';
        SCOPED_TRACE(unixPath);
        HMODULE module = ::LoadLibraryExW(
            path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << "error " << ::GetLastError();
        for (const events::Text &text : events::kTexts) {
            SCOPED_TRACE(static_cast<std::uint32_t>(text.id));
            EXPECT_EQ(rendered(module, static_cast<DWORD>(text.id), wide(strings)),
                      wide(insertStrings(text.text, strings)));
        }
        ::FreeLibrary(module);
    }
}

} // namespace
} // namespace corvelan::workflows
