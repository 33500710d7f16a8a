#include "workflows/audit.h"

#include "workflows/event_texts.h"
#include "workflows/ports.h"

namespace corvelan::workflows {
namespace {

using events::EventId;

class SystemEventLog final : public EventLog {
public:
    void write(const fs::SystemEvent &event) override { fs::writeSystemEvent(event); }
};

EventId idOf(const Change &change, Outcome outcome) {
    // By workflow, then by outcome (Done, Declined, Refused, Failed). A remove asks nothing.
    constexpr EventId kIds[3][4] = {
        {EventId::Installed, EventId::InstallDeclined, EventId::InstallRefused,
         EventId::InstallFailed},
        {EventId::Removed, EventId::RemoveRefused, EventId::RemoveRefused, EventId::RemoveFailed},
        {EventId::Restored, EventId::RestoreDeclined, EventId::RestoreRefused,
         EventId::RestoreFailed},
    };
    if (change.workflow == Workflow::Remove && outcome == Outcome::Done && change.versionsBefore &&
        change.versionsBefore->empty())
        return EventId::NothingToRemove;
    return kIds[static_cast<int>(change.workflow)][static_cast<int>(outcome)];
}

std::string orUnknown(const std::string &value) {
    return value.empty() ? "unknown" : value;
}

std::string versionsOf(const std::optional<std::vector<std::string>> &versions) {
    return versions ? versionList(*versions) : "unknown";
}

// A log holds an event as one line: the boxes' line breaks become spaces.
std::string oneLine(const std::string &text) {
    std::string out;
    for (const char c : text) {
        if (c == '\r') continue;
        out += c == '\n' ? ' ' : c;
    }
    return out;
}

} // namespace

std::string versionList(const std::vector<std::string> &versions) {
    if (versions.empty()) return "none";
    std::string out;
    for (const std::string &version : versions)
        out += (out.empty() ? "" : ", ") + version;
    return out;
}

EventLog &systemEventLog() {
    static SystemEventLog log;
    return log;
}

std::string insertStrings(std::string_view text, const std::vector<std::string> &strings) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next == '%') {
            out += '%';
            ++i;
        } else if (text[i] == '%' && next >= '1' && next <= '9') {
            const auto n = static_cast<std::size_t>(next - '1');
            if (n < strings.size()) out += strings[n];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

fs::SystemEvent eventOf(const Change &change, Outcome outcome, const std::string &told) {
    const EventId id = idOf(change, outcome);
    const bool install = change.workflow == Workflow::Install;
    const bool remove = change.workflow == Workflow::Remove;
    fs::SystemEvent event;
    event.id = static_cast<std::uint32_t>(id);
    event.strings = {change.user,
                     change.catalogue,
                     versionsOf(change.versionsBefore),
                     remove ? "" : orUnknown(change.version),
                     remove ? "" : orUnknown(change.description),
                     install ? orUnknown(change.sha256) : "",
                     oneLine(told)};
    for (const events::Text &text : events::kTexts) {
        if (text.id != id) continue;
        event.text = insertStrings(text.text, event.strings);
        if (text.severity == events::Severity::Warning) event.severity = fs::EventSeverity::Warning;
        if (text.severity == events::Severity::Error) event.severity = fs::EventSeverity::Error;
    }
    return event;
}

} // namespace corvelan::workflows
