// What each platform supplies to the file layer's shared protocol (platform/file_system.cpp) and
// to the proof of folders (platform/trust.cpp), in the manner of SQLite's VFS: each primitive does
// one thing to the host's files and says how it went. The order of the steps, the checks between
// them, the gates of the fault seam and the cleanup live above, once. Only the platform layer
// includes this.
//
// Files the tool replaces are named within a held folder (platform/folder.h): each primitive that
// takes a folder and a name reaches the file through the folder's handle, never by a path that
// could lead elsewhere by the time it is used.
#pragma once

#include "platform/file_system.h"
#include "platform/folder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::fs::host {

// A file descriptor or a HANDLE.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// The separators of host paths, the preferred one first: "/" on Linux, "\/" on Windows.
[[nodiscard]] std::string_view separators();

// True when the two host paths name the same place as the host compares names: exactly on Linux,
// without regard to letter case on Windows.
[[nodiscard]] bool sameHostPath(std::string_view a, std::string_view b);

// What one look at an open file sees: its stamp and the time of its last change of any kind,
// which every write moves and which, unlike the write time, no program can set back (0 where the
// host cannot tell).
struct Look {
    FileStamp stamp;
    std::int64_t changedNs = 0;
    friend bool operator==(const Look &, const Look &) = default;
};

// What a name in a folder stands for, for a copy's destination and a replacement's target.
struct PathState {
    enum class Kind { Missing, File, Folder, Other, Link };
    Kind kind = Kind::Missing;
    std::uint64_t device = 0; // identity, as in FileStamp; 0 when it cannot be learnt
    std::uint64_t inode = 0;
    bool readOnly = false;
    // What a new file replacing it takes over: owner and permission bits on Linux, the
    // attribute bits and the security descriptor (owner and DACL, self-relative) on Windows.
    std::uint32_t user = 0;
    std::uint32_t group = 0;
    std::uint32_t mode = 0;
    std::uint32_t attributes = 0;
    std::vector<unsigned char> security;
};

// Why a step was refused, as far as it matters to the user: another program holds the file
// (worth waiting for, and then worth telling), the user may not change it, or something else.
enum class Refusal { Held, NoRights, Other };

// The refusal an OS error of this platform stands for; empty when its errno says it (errors that
// carry no OS code of their own, as the fault seam's do, and every error on Linux).
[[nodiscard]] std::optional<Refusal> refusalOf(const Error &error);

// What a user who may not change a file can do about it here.
[[nodiscard]] RightsRemedy rightsRemedy();

// --- Folders -----------------------------------------------------------------------------------

// Opens the folder at `path`, links followed; on Windows without sharing its deletion. Fails with
// NotFound, NotAFile (no folder) or System in OpenFolder.
[[nodiscard]] Result<Handle> openFolder(const std::string &path);
// Opens the folder `name` within `parent` (whose host path is `path`'s folder). `noFollow`: a
// link there is not followed, and refused with LinksElsewhere.
[[nodiscard]] Result<Handle> openChildFolder(Handle parent, std::string_view name,
                                             const std::string &path, bool noFollow);
void closeFolder(Handle folder);
// Where the host says the open folder is, as a host path; empty when it cannot tell.
[[nodiscard]] std::string resolvedPath(Handle folder);
// Who owns the open folder, when this run may not trust a folder of that owner's: on Linux any
// owner but the user running the tool; on Windows, for an elevated run, any owner but the
// administrators, the system, TrustedInstaller and the user. Empty when it may trust it.
[[nodiscard]] Result<std::optional<std::string>> untrustedOwner(Handle folder, bool elevated,
                                                                const std::string &subject);
// Who owns the Wine prefix at `prefix`, when it is not the user running the tool (Wine changes no
// prefix of another user's); empty when it is, and on Windows, which has no Wine prefix.
[[nodiscard]] std::optional<std::string> foreignPrefixOwner(const std::string &prefix);
// Flushes the folder, so that a rename into it is on the disk; best effort.
void flushFolder(const Folder &folder);
// Creates the folder `name` within `parent`, which must not exist yet. `guarded`: on Windows with
// a protected DACL (the administrators and the system may change it, users may read it); on Linux
// it belongs to whoever runs the tool either way. Fails with System in CreateFolder.
[[nodiscard]] Status createFolderIn(const Folder &parent, std::string_view name, bool guarded);
// Removes the empty folder `name` within `parent` through its own handle: never a link, nor a
// folder that still holds anything (left as it is). Fails with System in RemoveFolder.
[[nodiscard]] Status removeEmptyFolderIn(const Folder &parent, std::string_view name);

// --- Files -------------------------------------------------------------------------------------

// Opens `path` to read it, without blocking, and keeps it only when it is a regular file on a
// disk. Fails with NotFound, NotAFile, NotRegularFile, or System in Open or Inspect.
[[nodiscard]] Result<Handle> openRegular(const std::string &path, Look &look);
// The same for `name` within `folder`; with Links::Refuse a link there is refused
// (LinksElsewhere).
[[nodiscard]] Result<Handle> openRegularIn(const Folder &folder, std::string_view name, Links links,
                                           Look &look);
void close(Handle file);
// The open file as it is now.
[[nodiscard]] Result<Look> lookAt(Handle file, const std::string &subject);
// Reads at most `size` bytes at `offset`; 0 at the end of the file.
[[nodiscard]] Result<std::size_t> readAt(Handle file, char *buffer, std::size_t size,
                                         std::uint64_t offset, const std::string &subject);
// Writes at most `size` bytes at the end of the file; returns how many it wrote.
[[nodiscard]] Result<std::size_t> write(Handle file, const char *bytes, std::size_t size,
                                        const std::string &subject);

// What `name` within `folder` stands for now; with Links::Follow through links, with
// Links::Refuse a link there is Kind::Link. Missing when nothing, or nothing the tool may look at.
[[nodiscard]] PathState stateIn(const Folder &folder, std::string_view name, Links links);

// Where a replacement of `name` within `folder` must go when it follows links: the host path of
// the file behind a symbolic link there (or where a dangling one points) on Linux. Empty when the
// name itself is what gets replaced (no link, and always on Windows, which replaces the link).
[[nodiscard]] Result<std::optional<std::string>> linkTarget(const Folder &folder,
                                                            std::string_view name);

// Creates the file `name` within `folder`, which must not exist yet, for writing, locked so that
// no other copy of the tool takes it for a stale one while it lives. Fails with System EEXIST
// when the name is taken (or was taken from under it): the caller tries another.
[[nodiscard]] Result<Handle> createLocked(const Folder &folder, std::string_view name);

// Whether this process may create a file in `folder` and rename it over `name` there, without
// doing either: on Linux the folder's write and search permission for the effective user; on
// Windows the right to add a file to the folder and, when `name` exists, to delete it. Fails as
// the step of a replace that would fail: System in CreateTemp, or in Rename for the target.
[[nodiscard]] Status mayReplaceIn(const Folder &folder, std::string_view name);

// Removes the file `name` of `folder` (a killed save's temporary file, a pruned generation's) when
// no process holds it: only a plain file with one link, through its own handle. Fails, leaving
// it, when it is held; succeeds when it is gone, or is no plain file of one link (left as it is).
[[nodiscard]] Status removeIfStale(const Folder &folder, std::string_view name);

// Give the new file what the target (in `state`) has: its owner (where the process may give it),
// its security (on Windows its DACL and whether that inherits; on Linux the permissions and
// extended attributes below say it all), its attributes, its permissions. Each fails with System
// in the step it names.
[[nodiscard]] Status giveOwner(Handle file, const PathState &target, const std::string &subject);
[[nodiscard]] Status giveSecurity(Handle file, const PathState &target, const std::string &subject);
[[nodiscard]] Status giveAttributes(Handle file, const Folder &folder, std::string_view name,
                                    const PathState &target, const std::string &subject);
[[nodiscard]] Status givePermissions(Handle file, const PathState &target,
                                     const std::string &subject);

// Flushes the open file to the disk. Fails with System in Flush.
[[nodiscard]] Status flush(Handle file, const std::string &subject);

// Moves the open file `temporary` of `folder` over its `target` there (a read-only target too).
// Fails with System in Rename, and leaves the target as it was.
[[nodiscard]] Status renameOver(Handle file, const Folder &folder, std::string_view temporary,
                                std::string_view target, const PathState &state);

// Closes the temporary file `temporary` of `folder` and removes it (the one cleanup path of a
// replacement).
void discard(Handle file, const Folder &folder, std::string_view temporary);

} // namespace corvelan::fs::host
