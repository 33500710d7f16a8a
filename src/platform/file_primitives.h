// What each platform supplies to the file layer's shared protocol (platform/file_system.cpp), in
// the manner of SQLite's VFS: each primitive does one thing to the host's files and says how it
// went. The order of the steps, the checks between them, the gates of the fault seam and the
// cleanup live above, once. Only the platform layer includes this.
#pragma once

#include "platform/file_system.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvelan::fs::host {

// A file descriptor or a HANDLE.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// The separators of host paths, the preferred one first: "/" on Linux, "\/" on Windows.
[[nodiscard]] std::string_view separators();

// What one look at an open file sees: its stamp and the time of its last change of any kind,
// which every write moves and which, unlike the write time, no program can set back (0 where the
// host cannot tell).
struct Look {
    FileStamp stamp;
    std::int64_t changedNs = 0;
    friend bool operator==(const Look &, const Look &) = default;
};

// What a path names, for a copy's destination and a replacement's target.
struct PathState {
    enum class Kind { Missing, File, Folder, Other };
    Kind kind = Kind::Missing;
    std::uint64_t device = 0; // identity, as in FileStamp; 0 when it cannot be learnt
    std::uint64_t inode = 0;
    bool readOnly = false;
    // What a new file replacing it takes over: owner and permission bits on Linux, the
    // attribute bits on Windows.
    std::uint32_t user = 0;
    std::uint32_t group = 0;
    std::uint32_t mode = 0;
    std::uint32_t attributes = 0;
};

// Why a step was refused, as far as it matters to the user: another program holds the file
// (worth waiting for, and then worth telling), the user may not change it, or something else.
enum class Refusal { Held, NoRights, Other };

// The refusal an OS error of this platform stands for; empty when its errno says it (errors that
// carry no OS code of their own, as the fault seam's do, and every error on Linux).
[[nodiscard]] std::optional<Refusal> refusalOf(const Error &error);

// What a user who may not change a file can do about it here.
[[nodiscard]] RightsRemedy rightsRemedy();

// Opens `path` to read it, without blocking, and keeps it only when it is a regular file on a
// disk. `noFollow`: a final link is not followed (and refused). Fails with NotFound, NotAFile,
// NotRegularFile, or System in Open or Inspect.
[[nodiscard]] Result<Handle> openRegular(const std::string &path, Look &look,
                                         bool noFollow = false);
void close(Handle file);
// The open file as it is now.
[[nodiscard]] Result<Look> lookAt(Handle file, const std::string &subject);
// Reads at most `size` bytes at `offset`; 0 at the end of the file.
[[nodiscard]] Result<std::size_t> readAt(Handle file, char *buffer, std::size_t size,
                                         std::uint64_t offset, const std::string &subject);
// Writes at most `size` bytes at the end of the file; returns how many it wrote.
[[nodiscard]] Result<std::size_t> write(Handle file, const char *bytes, std::size_t size,
                                        const std::string &subject);

// What `path` names now, through links; Missing when nothing, or nothing the tool may look at.
[[nodiscard]] PathState stateOf(const std::string &path);

// The file a replacement of `path` must replace: on Linux the file behind a symbolic link (or
// where a dangling one points); on Windows `path` itself.
[[nodiscard]] Result<std::string> replacementTarget(const std::string &path);

// Creates the file `path`, which must not exist yet, for writing, locked so that no other copy
// of the tool takes it for a stale one while it lives. Fails with System EEXIST when the name is
// taken (or was taken from under it): the caller tries another.
[[nodiscard]] Result<Handle> createLocked(const std::string &path);

// Removes the temporary file `name` of `folder` when no process holds it (a killed save's).
// Fails, leaving it, when it is held; succeeds when it is gone or no file of the tool's.
[[nodiscard]] Status removeIfStale(const std::string &folder, const std::string &name);

// Give the new file what `target` (in `state`) has: its owner, its attributes, its permissions.
// Each fails with System in the step it names.
[[nodiscard]] Status giveOwner(Handle file, const PathState &target, const std::string &subject);
[[nodiscard]] Status giveAttributes(Handle file, const std::string &targetPath,
                                    const PathState &target, const std::string &subject);
[[nodiscard]] Status givePermissions(Handle file, const PathState &target,
                                     const std::string &subject);

// Flushes the open file to the disk. Fails with System in Flush.
[[nodiscard]] Status flush(Handle file, const std::string &subject);

// Moves the open file `temporary` over `target` (a read-only target too). Fails with System in
// Rename, and leaves `target` as it was.
[[nodiscard]] Status renameOver(Handle file, const std::string &temporary,
                                const std::string &target, const PathState &state);

// Flushes `folder`, so that a rename into it is on the disk; best effort.
void flushFolder(const std::string &folder);

// Closes the temporary file `path` and removes it (the one cleanup path of a replacement).
void discard(Handle file, const std::string &path);

} // namespace corvelan::fs::host
