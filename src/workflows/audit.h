// The event an install or a remove leaves in the system's log: who made it, on which catalogue,
// the device's versions before it, the version and the description (with its SHA-256) an
// install took, how it ended and, when it was refused or failed, what the tool told the user.
// The sentences are the message table's (workflows/events.mc), so that Linux logs what Event
// Viewer shows.
#pragma once

#include "platform/system_log.h"
#include "workflows/outcome.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::workflows {

// What an install or a remove was about, gathered as it runs.
struct Change {
    Workflow workflow = Workflow::Install;
    std::string user;
    std::string catalogue; // its host path
    // The Fileversion of each device entry before the change; empty when the catalogue was not
    // read.
    std::optional<std::vector<std::string>> versionsBefore;
    std::string version;     // an install's, as the description says; empty when not read
    std::string description; // an install's description file: its host path, or as it was given
    std::string sha256;      // of the description's bytes; empty when they could not be read
};

// The device's versions as the log, the history and the boxes write them: "2.3.0, 2.5.0", or
// "none".
[[nodiscard]] std::string versionList(const std::vector<std::string> &versions);

// The event that records how `change` ended; `told` is what the tool told the user when it was
// refused or failed.
[[nodiscard]] fs::SystemEvent eventOf(const Change &change, Outcome outcome,
                                      const std::string &told);

// `text` with %1 to %9 replaced by `strings` in one pass (a string that holds "%2" stays as it
// is) and %% by %, as the system puts an event's strings in its message.
[[nodiscard]] std::string insertStrings(std::string_view text,
                                        const std::vector<std::string> &strings);

} // namespace corvelan::workflows
