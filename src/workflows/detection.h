// Whether the device's description is installed, as a deployment system asks before and after it
// installs: read only, with no right to change anything needed.
#pragma once

#include "platform/drive_map.h"

#include <optional>
#include <string>

namespace corvelan::workflows {

enum class Installed {
    Yes,     // one device entry (of the version asked for), and the description and the pictures
    No,      // the folders, the catalogue, the entry or a file is missing, or another version
    Unknown, // the check could not be made: the catalogue or a file could not be read
};

struct Detection {
    Installed installed = Installed::Unknown;
    std::string line;   // the entry's list line, when installed
    std::string reason; // why not, or why it cannot be told; one line
};

// Looks at the repository of `drives`: its folders as start-up tests them, the catalogue, its
// device entries (exactly one, with Fileversion `version` when one is given), and each file an
// install copies.
[[nodiscard]] Detection detectInstalled(const DriveMap &drives,
                                        const std::optional<std::string> &version);

} // namespace corvelan::workflows
