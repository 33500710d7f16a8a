// What an install, a remove or a restore is, how it ended, and what a rehearsal of one found it
// would change.
#pragma once

#include "platform/file_system.h"

#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::workflows {

enum class Workflow { Install, Remove, Restore };

// Each workflow's command, as the command line takes it and the history's manifest names it.
inline constexpr std::string_view kCommandNames[] = {"install", "remove", "restore"};

[[nodiscard]] constexpr std::string_view commandName(Workflow workflow) {
    return kCommandNames[static_cast<std::size_t>(workflow)];
}

[[nodiscard]] constexpr std::optional<Workflow> workflowNamed(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kCommandNames); ++i)
        if (kCommandNames[i] == name) return static_cast<Workflow>(i);
    return std::nullopt;
}

// How an install or a remove ended, for a caller that must tell (the command line's exit code,
// the system's log).
enum class Outcome {
    Done,     // done, or nothing needed changing
    Declined, // the user said No to the version
    Refused,  // the description was rejected, or the repository or catalogue may not be changed
    Failed,   // a save or a copy failed (the boxes said which)
};

// What an install or a remove would change, found by every check it makes without a change.
struct Rehearsal {
    bool catalogueChecked = false;    // the checks passed as far as the catalogue's save
    std::vector<std::string> removed; // the list lines of the entries that would go
    std::vector<std::string> added;   // the list lines of the entries that would be added
    struct Copy {
        std::string destination; // its Windows path
        fs::Replacement effect;
    };
    std::vector<Copy> copies; // an install's or a restore's, in the order it makes them
};

} // namespace corvelan::workflows
