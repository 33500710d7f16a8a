// The drives the tool's Windows paths name, and the host paths behind them.
//
// The tool only knows Windows paths ("c:\ProgramData\..."). This is the one place that turns them
// into host paths and back. On Windows a host path is the Windows path itself, after the same
// validation. On Linux drive letters map the way Wine maps them:
//
//   drive x:  ->  <prefix>/dosdevices/x:   when that exists
//                 <prefix>/drive_c         for c: otherwise
//                 /                        for z: otherwise
//
//   c:\ProgramData\Foo\bar.xml
//   '-+'------------+---------'
//   drive   components, each matched exactly first, then without regard to letter case
//
// A component that does not exist keeps the given spelling, and so does everything after it, so a
// file about to be created gets the name the caller wrote.
#pragma once

#include "base/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvelan {

// A Windows path resolved on the host: the host path of its drive's root, and the host names of
// its parts below it, in order; the host path is the root and the parts joined.
struct ResolvedPath {
    std::string root;
    std::vector<std::string> parts;
};

struct Drive {
    char letter = 'c'; // lower case
    std::string root;  // host path of the drive's root folder
    std::string label; // what the drive list shows beside the letter: the volume label on
                       // Windows, the root's host path on Linux; may be empty
};

class DriveMap {
public:
    // A map without a prefix. On Linux only z: (the host's root folder) is mapped; on Windows
    // every drive of the system is.
    DriveMap() = default;

    // The map of the Wine prefix at `prefix`, which must be an absolute host path. On Windows,
    // which has no Wine, only c: is taken from the prefix: it is <prefix>\drive_c, as for a
    // test's own drive c:.
    static Result<DriveMap> forPrefix(std::string prefix);

    // The map the tool runs with. On Linux the Wine prefix $WINEPREFIX, or $HOME/.wine when it
    // is unset: the only reader of the environment; fails when WINEPREFIX is not absolute. On
    // Windows the system's drives.
    static Result<DriveMap> fromEnvironment();

    [[nodiscard]] const std::string &prefix() const { return m_prefix; }

    // The mapped drives, in letter order: on Linux those whose root folder exists, on Windows
    // every logical drive (a drive that is not ready shows when it is opened).
    [[nodiscard]] std::vector<Drive> drives() const;

    // Host path of a Windows path ("C:\a\b", "c:/a/b/"). Fails on a path without a drive letter,
    // with characters Windows forbids, on an unmapped drive, or when a component matches several
    // names that differ only in case. The result has no trailing separator (but "/" alone).
    [[nodiscard]] Result<std::string> hostPath(std::string_view windowsPath) const;
    // The same, as its drive's root and the host names below it.
    [[nodiscard]] Result<ResolvedPath> resolve(std::string_view windowsPath) const;

    // Windows form ("C:\a\b") of a host path, through the drive whose root holds it (longest
    // match; z: for the rest). A drive's root folder comes out as "C:\".
    [[nodiscard]] std::string windowsPath(std::string_view hostPath) const;

    // True when the Windows path names an existing folder.
    [[nodiscard]] bool folderExists(std::string_view windowsPath) const;

private:
    [[nodiscard]] std::string driveRoot(char letter) const;

    std::string m_prefix; // empty: no prefix
};

} // namespace corvelan
