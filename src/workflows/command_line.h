// The tool as a console command, for installing on many PCs without anyone clicking:
//
//   corvelan-dtm-cli list                       the start-up listing, or the two status lines
//   corvelan-dtm-cli install [--dry-run] FILE   every check of an install, then the install
//   corvelan-dtm-cli remove [--dry-run]         the device's entries taken out
//   corvelan-dtm-cli status [--detect] [VER]    whether the device is installed
//
// It runs the windows' workflows: what a window would show in a box goes to standard error, the
// listing to standard output. The exit code tells how it ended.
#pragma once

#include "platform/drive_map.h"
#include "workflows/update_session.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::workflows {

inline constexpr int kExitDone = 0;    // done, also when nothing needed changing; installed
inline constexpr int kExitRefused = 1; // description rejected, repository or catalogue missing;
                                       // not installed
inline constexpr int kExitFailed = 2;  // a save or a copy failed; whether installed is unknown
inline constexpr int kExitUsage = 64;  // the command line is not one of the above

// What `--version` prints for `program` at `version`: that line, then each component linked into
// the executable as it sees them at run time, one per line ("expat 2.5.0").
[[nodiscard]] std::string versionReport(std::string_view program, std::string_view version);

// Where the command writes: standard output or standard error.
using Writer = std::function<void(std::string_view)>;

// Runs the command `arguments` (the words after the program's name) on the repository of
// `drives` (or says why there is none to use), copying the pictures from `toolFolder`, leaving an
// event in `log` for each install and remove. `version` is what --version prints.
[[nodiscard]] int runCommandLine(const std::vector<std::string> &arguments,
                                 const Result<DriveMap> &drives, ToolFolder toolFolder,
                                 std::string_view version, const Writer &out, const Writer &err,
                                 EventLog &log = systemEventLog());

} // namespace corvelan::workflows
