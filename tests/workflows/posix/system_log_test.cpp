// The events as syslog(3) receives them: the C library's openlog, syslog and closelog are
// interposed in the test executable (every event of this executable comes here, none reaches the
// machine's log), so the test sees the name, options, facility, priority and the very text each
// event is written with.
#undef _FORTIFY_SOURCE // syslog stays a plain function that this file can stand in for
#include "platform/system_log.h"
#include "workflows/command_line_fixture.h"

#include <syslog.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Logged {
    std::string name; // as openlog was given it, when it was open
    int option = 0;
    int facility = 0;
    int priority = 0;
    std::string text;
    bool closed = false;
};

std::vector<Logged> g_logged;
std::string g_name;
int g_option = 0;
int g_facility = 0;
bool g_open = false;

void record(int priority, const char *format, va_list arguments) {
    char text[8192];
    std::vsnprintf(text, sizeof text, format, arguments);
    g_logged.push_back({g_open ? g_name : "", g_option, g_facility, priority, text});
}

} // namespace

extern "C" {
void openlog(const char *name, int option, int facility) {
    g_name = name ? name : "";
    g_option = option;
    g_facility = facility;
    g_open = true;
}
void closelog() {
    g_open = false;
    if (!g_logged.empty()) g_logged.back().closed = true;
}
void syslog(int priority, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    record(priority, format, arguments);
    va_end(arguments);
}
// What syslog becomes when a build asks for the C library's checked functions.
void __syslog_chk(int priority, int, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    record(priority, format, arguments);
    va_end(arguments);
}
}

namespace corvelan::workflows {
namespace {

class SystemLogTest : public CommandLineTest {
protected:
    void SetUp() override {
        CommandLineTest::SetUp();
        g_logged.clear();
    }
    test::TeeLog log;
};

TEST_F(SystemLogTest, EachCommandLogsItsSentenceUnderTheToolsNameWithItsPriority) {
    struct Case {
        std::vector<std::string> arguments;
        int code;
        int priority;
    };
    const Case cases[] = {
        {{"install", "C:\\good.xml"}, 0, LOG_NOTICE},
        {{"install", "C:\\other.xml"}, 1, LOG_WARNING},
        {{"remove"}, 0, LOG_NOTICE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.front() + " " + c.arguments.back());
        g_logged.clear();
        log.events.clear();
        EXPECT_EQ(runCli(repo, c.arguments, log).code, c.code);
        ASSERT_EQ(g_logged.size(), 1u);
        ASSERT_EQ(log.events.size(), 1u);
        const Logged &l = g_logged.front();
        EXPECT_EQ(l.name, "corvelan-dtm-update-tool") << "journalctl -t finds both programs";
        EXPECT_TRUE(l.option & LOG_PID);
        EXPECT_EQ(l.facility, LOG_USER);
        EXPECT_EQ(l.priority, c.priority);
        EXPECT_EQ(l.text, log.events.front().text);
        EXPECT_TRUE(l.closed) << "the log is closed again: the name openlog keeps is the tool's";
    }
}

TEST_F(SystemLogTest, ErrorsAreLoggedAsErrorsAndTheTextIsNoFormat) {
    // A description's path or a box's text may hold anything, printf's directives included.
    const std::string text = "failed: c:\\100% sure\\%s%n%x.xml";
    fs::writeSystemEvent({0xC0000003, fs::EventSeverity::Error, {}, text});
    ASSERT_EQ(g_logged.size(), 1u);
    EXPECT_EQ(g_logged[0].priority, LOG_ERR);
    EXPECT_EQ(g_logged[0].text, text);
}

} // namespace
} // namespace corvelan::workflows
