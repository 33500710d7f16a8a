// Files on the host, with the Windows semantics the tool relies on.
//
// Replacing a file's content (replaceFileContent, copyFile) never writes into the file itself:
//
//   1. create  <folder>/.<name>.corvelan-XXXXXX   (the folder of the real file behind any link),
//      after removing such files that a killed save left behind
//   2. write the new content, give it the old file's owner, extended attributes and mode
//   3. fsync, close, (check the file was not changed meanwhile), rename over the file, fsync the
//      folder
//
// so a crash or a full disk leaves the old file or the new one, never a mix, and a read-only
// or hidden file keeps its attributes. A failure removes the temporary file and leaves the
// original as it was. Every step goes through the gate of platform/file_operations.h.
#pragma once

#include "platform/result.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace corvelan::fs {

// Windows file attribute bits.
inline constexpr std::uint32_t kReadOnly = 0x1;
inline constexpr std::uint32_t kHidden = 0x2;
inline constexpr std::uint32_t kSystem = 0x4;
inline constexpr std::uint32_t kDirectory = 0x10;
inline constexpr std::uint32_t kArchive = 0x20;
inline constexpr std::uint32_t kNormal = 0x80;

// Which file, and which version of it: changes when the file is replaced or written.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1; // -1: unknown
    std::int64_t modifiedNs = 0;
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

// The whole content of a regular file, and its stamp when `stamp` is given. Fails on a folder
// (NotAFile), a file larger than `maxSize` (TooLarge), or an OS error.
[[nodiscard]] Result<std::string> readFile(const std::string &hostPath, std::uint64_t maxSize,
                                           FileStamp *stamp = nullptr);

// Reads a regular file in pieces, handing `piece` everything read so far after each piece, with
// `last` true once at the end (also for an empty file). Stops with the first error `piece`
// returns. Otherwise as readFile; returns the whole content.
[[nodiscard]] Result<std::string>
readFileInPieces(const std::string &hostPath, std::uint64_t maxSize, FileStamp *stamp,
                 const std::function<Status(std::string_view soFar, bool last)> &piece);

// Reads a regular file a piece of at most `pieceSize` bytes at a time, handing each to `piece`
// (the last call, with `last` true, gets an empty piece). Keeps nothing. Stops with the first
// error `piece` returns; fails on a missing file, a folder or an OS error.
[[nodiscard]] Status
streamFile(const std::string &hostPath, std::size_t pieceSize,
           const std::function<Status(std::string_view piece, bool last)> &piece);

// What the file to be replaced must still hold: the stamp and bytes the tool read.
struct ReplaceGuard {
    FileStamp stamp;
    std::string_view bytes;
};

// The file's Windows attributes: read-only when no write permission bit is set, hidden and
// system from Wine's user.DOSATTRIB (a name starting with '.' is hidden when it has none),
// directory for a folder, archive for a file.
[[nodiscard]] Result<std::uint32_t> fileAttributes(const std::string &hostPath);

// Sets read-only, hidden and system as Wine does: read-only clears every write bit, clearing it
// gives the owner write permission; hidden and system go into user.DOSATTRIB. Other bits are
// ignored. Leaves the file unchanged on failure.
[[nodiscard]] Status setFileAttributes(const std::string &hostPath, std::uint32_t attributes);

// Replaces the content of `hostPath` atomically (see above); creates the file when it does not
// exist. A symbolic link stays a link and the file it points to is replaced. With a guard, the
// file must still hold what the guard says just before the rename, else nothing is written and
// the call fails with ChangedOnDisk. Returns the stamp of the new file.
[[nodiscard]] Result<FileStamp> replaceFileContent(const std::string &hostPath,
                                                   std::string_view bytes,
                                                   const ReplaceGuard *guard = nullptr);

// Copies `from` over `to`, replacing an existing destination atomically. A read-only destination
// is refused (EACCES), as Windows does. Copying a file onto itself (the same inode, whatever the
// path) succeeds and leaves it untouched.
[[nodiscard]] Status copyFile(const std::string &from, const std::string &to);

// True when `name` is one of the temporary files a save of `target` makes.
[[nodiscard]] bool isTemporaryFileOf(const std::string &name, const std::string &target);

// Host path of the folder that holds the running executable, links resolved.
[[nodiscard]] Result<std::string> executableFolder();

// Host path of the process's current folder.
[[nodiscard]] Result<std::string> currentFolder();

} // namespace corvelan::fs
