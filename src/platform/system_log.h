// The system's own log, where IT looks for what happened on a machine: on Windows the
// Application event log (ReportEventW under the tool's event source, whose message table the
// installer registers), on Linux syslog(3), which the journal keeps. Best effort: a log that
// cannot be written is no failure of what was logged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::fs {

// The event source the installer registers, and the name the tool logs under on Linux.
inline constexpr std::string_view kEventSource = "Corvelan DTM Update Tool";
inline constexpr std::string_view kSyslogName = "corvelan-dtm-update-tool";

enum class EventSeverity : std::uint8_t { Information, Warning, Error };

struct SystemEvent {
    std::uint32_t id = 0; // the message's id in the table, severity bits included
    EventSeverity severity = EventSeverity::Information;
    std::vector<std::string> strings; // the insertion strings, UTF-8
    std::string text;                 // the message with the strings put in, for syslog
};

// Writes `event`: on Windows its id and strings, with this process's user, for Event Viewer to
// render from the message table; on Linux its text.
void writeSystemEvent(const SystemEvent &event);

// Who this process runs as, as the system names them: "CORP\jdoe", "NT AUTHORITY\SYSTEM",
// "jdoe (uid 1000)".
[[nodiscard]] std::string currentUser();

} // namespace corvelan::fs
