// Files on the host, with the Windows semantics the tool relies on.
//
// Every file is opened without blocking and must be a regular file: a FIFO, a socket or a device
// where a file should be is refused at once, never waited on.
//
// Replacing a file's content (replaceFileContent, copyFile) never writes into the file itself:
//
//   1. remove the stale temporary files of the tool in the folder (those no process holds locked)
//   2. create  <folder>/.<name>.corvelan-XXXXXX  beside the real file behind any link, and lock it
//   3. write the new content, give it the old file's owner, security, attributes and permissions,
//      flush it
//   4. (check the file was not changed meanwhile), check the folder is still where it was, rename
//      over the file, flush the folder
//
// so a crash or a full disk leaves the old file or the new one, never a mix, a read-only or
// hidden file keeps its attributes, and two copies of the tool never take each other's temporary
// files. A failure removes the temporary file and leaves the original as it was. Every step goes
// through the gate of platform/fault_seam.h, and every file is reached within a held folder
// (platform/folder.h).
#pragma once

#include "base/result.h"
#include "platform/folder.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corvelan::fs {

// What a user who may not change the repository can do about it.
enum class RightsRemedy {
    RunAsAdministrator, // Windows: start the tool as administrator
    AskPrefixOwner, // Linux: get write access to the Wine prefix's repository, or run as its owner
};

// The remedy of this platform.
[[nodiscard]] RightsRemedy rightsRemedy();

// Which file, and which version of it: changes when the file is replaced or written.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1; // -1: unknown
    std::int64_t modifiedNs = 0;
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

// A regular file held open for reading, so that what is read later is the file that was opened,
// whatever another program renames over its path meanwhile.
class OpenFile {
public:
    // Opens `hostPath` without blocking. Fails with NotFound, NotAFile (a folder),
    // NotRegularFile (a FIFO, socket or device) or the OS error.
    static Result<OpenFile> open(const std::string &hostPath);
    // The same for `name` within `folder`; a link there is refused (LinksElsewhere) where the
    // folder refuses links.
    static Result<OpenFile> openIn(const Folder &folder, std::string_view name);

    OpenFile(OpenFile &&other) noexcept;
    OpenFile &operator=(OpenFile &&other) noexcept;
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;
    ~OpenFile();

    [[nodiscard]] const std::string &path() const { return m_path; }
    // The file as it was when opened.
    [[nodiscard]] const FileStamp &stamp() const { return m_stamp; }

    // Reads the file from its start, handing `piece` at most `pieceSize` bytes at a time; the last
    // call, with `last` true, gets an empty piece. Stops with the first error `piece` returns.
    // Once a read reaches the end, sha256() holds the digest of what it read.
    [[nodiscard]] Status readAll(std::size_t pieceSize,
                                 const std::function<Status(std::string_view, bool last)> &piece);
    // The SHA-256 of the bytes the last readAll() read, as 64 lower-case hexadecimal digits;
    // empty when it stopped before the end.
    [[nodiscard]] const std::optional<std::string> &sha256() const { return m_sha256; }

    // Fails with ChangedOnDisk when the file was written since it was opened (its size or write
    // time moved).
    [[nodiscard]] Status checkUnchanged() const;

    // Reads at most `size` bytes at `offset` into `buffer`; 0 at the end of the file.
    [[nodiscard]] Result<std::size_t> readAt(char *buffer, std::size_t size,
                                             std::uint64_t offset) const;

private:
    OpenFile(std::string path, std::intptr_t handle);
    void close();

    std::string m_path;
    std::intptr_t m_handle;
    FileStamp m_stamp;
    std::optional<std::string> m_sha256;
};

// What the file to be replaced must still hold: the stamp and bytes the tool read.
struct ReplaceGuard {
    FileStamp stamp;
    std::string_view bytes;
};

// Fails with ChangedOnDisk unless `name` within `folder` still holds what `guard` says: the same
// file, size and write time, then the same bytes, and the file looked at again after the bytes
// were compared must be as it was before (a write during the comparison moves its change time).
// Fails as the system refused otherwise (a file held, or that the user may not read).
[[nodiscard]] Status checkUnchanged(const Folder &folder, std::string_view name,
                                    const ReplaceGuard &guard);

// A new file beside the target `name` of a held folder that becomes the target on commit, or
// disappears. It is locked from its creation to its end, so that no other copy of the tool takes
// it for a stale one. Where the folder follows links, a symbolic link there stays a link and the
// file behind it is replaced (in its own folder); where it refuses them, a link there is refused.
class ReplacementFile {
public:
    // Removes the stale temporary files in the target's folder, then creates a locked one.
    // `folder` must outlive it.
    static Result<ReplacementFile> create(const Folder &folder, std::string_view name);

    ReplacementFile(ReplacementFile &&other) noexcept;
    ReplacementFile &operator=(ReplacementFile &&) = delete;
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;
    // The one cleanup path: unless committed, the temporary file goes.
    ~ReplacementFile();

    // Appends `bytes`; errors name `subject`.
    [[nodiscard]] Status write(std::string_view bytes, const std::string &subject);

    // Gives the temporary file the target's owner, security, attributes and permissions,
    // flushes it and renames it over the target. With a guard, the target must still hold what
    // the guard says (checkUnchanged) just before the rename, else nothing is replaced and the
    // commit fails with ChangedOnDisk. Fails with FolderMoved, replacing nothing, when the folder
    // no longer lies where it was opened. Returns the stamp of the new file.
    [[nodiscard]] Result<FileStamp> commit(const ReplaceGuard *guard);

private:
    ReplacementFile(const Folder &folder, std::optional<Folder> followed, std::string target,
                    std::string temp, std::intptr_t handle);
    [[nodiscard]] const Folder &folder() const { return m_followed ? *m_followed : *m_folder; }

    const Folder *m_folder;
    std::optional<Folder> m_followed; // the folder of the file behind a link that was followed
    std::string m_target;             // a name within folder()
    std::string m_temp;               // empty once the object was moved from or committed
    std::intptr_t m_handle;
};

// Replaces the content of `name` within `folder` atomically (see above), made of `pieces` written
// one after the other (no copy of them is made); creates the file when it does not exist. With a
// guard, as ReplacementFile::commit. Returns the stamp of the new file.
[[nodiscard]] Result<FileStamp> replaceFile(const Folder &folder, std::string_view name,
                                            std::span<const std::string_view> pieces,
                                            const ReplaceGuard *guard);

// What a replacement, a copy or a removal of `name` within `folder` would do, found without
// changing anything: make a new file, replace the one there, leave it (a copy onto itself, a
// removal of nothing), or remove it.
enum class Replacement { Creates, Replaces, Keeps, Removes };

// Whether `name` within `folder` could be replaced now (the file behind a link that the folder
// follows, in its own folder): the folder lets this process create a file there and rename it
// over what stands at the name. Fails as the replace would fail first: System in CreateTemp or
// Rename (EACCES when this process may not), or as a followed link's folder cannot be opened.
[[nodiscard]] Result<Replacement> rehearseReplace(const Folder &folder, std::string_view name);

// Copies what the open `source` holds over `name` within `folder`, replacing an existing
// destination atomically. A read-only destination is refused (ReadOnly), as Windows does; so is
// one that is a folder or not a regular file, and one that is a link where the folder refuses
// links (LinksElsewhere). Copying a file onto itself (the same file, whatever the path) succeeds
// and leaves it untouched. Fails with ChangedOnDisk, leaving the destination as it was, when the
// source was written since it was opened or its bytes differ from those its last complete
// readAll() read (OpenFile::sha256).
[[nodiscard]] Status copyFile(OpenFile &source, const Folder &folder, std::string_view name);

// Opens `from` and copies it over `name` within `folder` as above.
[[nodiscard]] Status copyFile(const std::string &from, const Folder &folder, std::string_view name);

// What copyFile would do, found without changing anything: its refusals of the destination, then
// rehearseReplace's; Keeps for a copy onto the source itself. The second opens `from` as copyFile
// does, so that a source that cannot be read is found too.
[[nodiscard]] Result<Replacement> rehearseCopy(const OpenFile &source, const Folder &folder,
                                               std::string_view name);
[[nodiscard]] Result<Replacement> rehearseCopy(const std::string &from, const Folder &folder,
                                               std::string_view name);

// Removes the file `name` within `folder`, through its own handle, and makes that durable: only a
// plain file of one name. Nothing there is no error. Refused as copyFile refuses a destination
// (a folder, not a regular file, a link where the folder refuses links); InUse when another
// program keeps it open for longer than the tool waits.
[[nodiscard]] Status removeFile(const Folder &folder, std::string_view name);
// What removeFile would do, found without changing anything: Keeps when nothing is there,
// Removes when this process may remove it; its refusals, and rehearseReplace's for the rights.
[[nodiscard]] Result<Replacement> rehearseRemove(const Folder &folder, std::string_view name);

// True when `name` has the form of the tool's temporary files: ".<name>.corvelan-XXXXXX".
[[nodiscard]] bool isTemporaryFileName(std::string_view name);

// `name` inside the host folder `folder`.
[[nodiscard]] std::string joinPath(const std::string &folder, std::string_view name);

// The folder of a host path ("." when it names none; a root keeps its separator), and the name
// after it.
[[nodiscard]] std::string folderOf(const std::string &path);
[[nodiscard]] std::string nameOf(const std::string &path);

} // namespace corvelan::fs
