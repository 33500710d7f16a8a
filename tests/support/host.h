// What a test needs of its host beyond the tool's own platform layer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace corvelan::test {

// Makes the path that the hostile external-entity case names (kNeverReadPath) a FIFO, where the
// host has FIFOs, so that a parser that reads it hangs the test instead of passing quietly.
void plantNeverReadTrap();
void removeNeverReadTrap();

// Creates the file `name` in `folder` with exactly that spelling, even beside a name that differs
// from it only in letter case (under Wine through the folder's Unix path, which Windows' own
// calls would match without regard to case). False when the host cannot hold both.
bool writeFileSpelledExactly(const std::string &folder, const std::string &name,
                             std::string_view bytes);

// A symbolic link at `link` to `target`, as a standard user can make one: on Linux, and under
// Wine a Unix link (made by /bin/ln, since Wine's CreateSymbolicLinkW makes nothing). `target` is
// taken as it is when relative, else turned into the host's own path. False when none was made.
bool makeSymbolicLink(const std::string &target, const std::string &link);
// A second name `link` for the file `target`. False when none was made.
bool makeHardLink(const std::string &target, const std::string &link);

// The file's last write time, in nanoseconds since the host's epoch, read and set to the
// precision of the host's file times (std::filesystem rounds to seconds on mingw).
[[nodiscard]] std::int64_t modifiedTime(const std::string &path);
void setModifiedTime(const std::string &path, std::int64_t nanoseconds);
// When the file's data or its metadata (attributes, permissions, links) last changed, in the same
// units: POSIX ctime, NTFS ChangeTime. A link is not followed.
[[nodiscard]] std::int64_t changedTime(const std::string &path);

// POSIX only. Permission errors as root: root ignores permissions, so a test that needs one runs
// that step in a child process that has dropped to the unprivileged user "nobody".

// Runs `body` in a child process as "nobody" (or as the current user when it is not root) and
// returns what it returned; -1 when the child could not run or died.
int runUnprivileged(const std::function<int()> &body);

// Makes `path` owned by "nobody", so that the unprivileged child may change it.
void giveToNobody(const char *path);
// The same for `path` and everything below it.
void giveTreeToNobody(const std::string &path);

} // namespace corvelan::test
