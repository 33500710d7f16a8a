#include "platform/system_log.h"

#include <pwd.h>
#include <syslog.h>
#include <unistd.h>

#include <string>

namespace corvelan::fs {

void writeSystemEvent(const SystemEvent &event) {
    int priority = LOG_NOTICE;
    if (event.severity == EventSeverity::Warning) priority = LOG_WARNING;
    if (event.severity == EventSeverity::Error) priority = LOG_ERR;
    // One name for both programs, so that `journalctl -t corvelan-dtm-update-tool` finds all.
    static const std::string name(kSyslogName);
    ::openlog(name.c_str(), LOG_PID, LOG_USER);
    ::syslog(priority, "%s", event.text.c_str());
    ::closelog();
}

std::string currentUser() {
    const uid_t uid = ::geteuid();
    std::string name = "uid " + std::to_string(uid);
    std::string buffer(4096, '\0');
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        name = std::string(found->pw_name) + " (" + name + ")";
    if (::getuid() != uid) name += ", started by uid " + std::to_string(::getuid());
    return name;
}

} // namespace corvelan::fs
