// What a folder holds, for the file selection window.
#pragma once

#include "base/result.h"

#include <string>
#include <vector>

namespace corvelan::fs {

struct FolderContents {
    std::vector<std::string> folders; // names of sub-folders (links to folders included)
    std::vector<std::string> files;   // names of regular files (links to them included)
};

// The names in the folder at `hostPath`, without "." and "..", unsorted. Fails when the folder
// cannot be opened or read.
[[nodiscard]] Result<FolderContents> listFolder(const std::string &hostPath);

} // namespace corvelan::fs
