// The file primitives on Linux: descriptors, names within a held folder's descriptor (openat,
// renameat, unlinkat), flock, Wine's attributes (read-only as the absence of write permission,
// hidden and system in the user.DOSATTRIB extended attribute).
#include "platform/file_primitives.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace corvelan::fs {
namespace {

int fdOf(host::Handle file) {
    return static_cast<int>(file);
}

int folderFd(const Folder &folder) {
    return fdOf(folder.handle());
}

std::string nameString(std::string_view name) {
    return std::string(name);
}

std::int64_t nanoseconds(const timespec &t) {
    return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

host::Look lookOf(const struct stat &st) {
    return {{st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim)}, nanoseconds(st.st_ctim)};
}

mode_t processUmask() {
    // /proc tells the umask without the race of setting it to read it back.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    return 022;
}

// True when `name` in `folder` is still the file open as `fd`.
bool stillNamed(int folder, const char *name, int fd) {
    struct stat named {};
    struct stat open {};
    return ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

// True when `name` in `folder` is a symbolic link itself.
bool isLink(int folder, const char *name) {
    struct stat st {};
    return ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// The error of an open of `name` in `folder` that failed with `err`: a link that was not to be
// followed says so.
Error openError(int err, int folder, const char *name, const std::string &path,
                FileOperation operation, bool noFollow) {
    if (err == ENOENT) return makeError(ErrorCode::NotFound, path);
    if (noFollow && (err == ELOOP || err == ENOTDIR) && isLink(folder, name))
        return makeError(ErrorCode::LinksElsewhere, path);
    if (err == ENOTDIR) return makeError(ErrorCode::NotAFile, path);
    return systemError(err, path, operation);
}

// Keeps the descriptor `fd` just opened without blocking when it is a regular file, and makes
// its reads wait for the disk as usual again; else closes it and says what it is.
Result<host::Handle> keepIfRegular(int fd, const std::string &path, host::Look &look) {
    struct stat st {};
    Error refused = makeError(ErrorCode::NotAFile, path);
    if (::fstat(fd, &st) != 0)
        refused = systemError(errno, path, FileOperation::Inspect);
    else if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
        refused.code = ErrorCode::NotRegularFile;
    else if (S_ISREG(st.st_mode)) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) {
            look = lookOf(st);
            return host::Handle{fd};
        }
        refused = systemError(errno, path, FileOperation::Open);
    }
    ::close(fd);
    return refused;
}

// The name of the user `uid`, or its number when it has none.
std::string userName(uid_t uid) {
    passwd entry{};
    passwd *found = nullptr;
    std::array<char, 4096> buffer{};
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return std::to_string(uid);
}

// A path that leads to the file open as `fd`, for the calls that only take paths.
std::string pathOfDescriptor(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

namespace host {

std::string_view separators() {
    return "/";
}

bool sameHostPath(std::string_view a, std::string_view b) {
    return a == b;
}

// No program holds a file from another on Linux, and errno tells the rest.
std::optional<Refusal> refusalOf(const Error &) {
    return std::nullopt;
}

RightsRemedy rightsRemedy() {
    return RightsRemedy::AskPrefixOwner;
}

// --- Folders -----------------------------------------------------------------------------------

Result<Handle> openFolder(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return openError(errno, AT_FDCWD, path.c_str(), path, FileOperation::OpenFolder, false);
    return Handle{fd};
}

Result<Handle> openChildFolder(Handle parent, std::string_view name, const std::string &path,
                               bool noFollow) {
    const std::string child = nameString(name);
    const int fd = ::openat(fdOf(parent), child.c_str(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
    if (fd < 0)
        return openError(errno, fdOf(parent), child.c_str(), path, FileOperation::OpenFolder,
                         noFollow);
    return Handle{fd};
}

void closeFolder(Handle folder) {
    ::close(fdOf(folder));
}

std::string resolvedPath(Handle folder) {
    char path[PATH_MAX];
    const ssize_t n = ::readlink(pathOfDescriptor(fdOf(folder)).c_str(), path, sizeof path - 1);
    return n < 0 ? std::string() : std::string(path, static_cast<std::size_t>(n));
}

Result<std::optional<std::string>> untrustedOwner(Handle folder, bool, const std::string &subject) {
    // As Wine: whoever runs the tool, root included, changes only what is their own.
    struct stat st {};
    if (::fstat(fdOf(folder), &st) != 0)
        return systemError(errno, subject, FileOperation::ReadOwner);
    if (st.st_uid == ::geteuid()) return std::optional<std::string>();
    return std::optional<std::string>(userName(st.st_uid));
}

std::optional<std::string> foreignPrefixOwner(const std::string &prefix) {
    struct stat st {};
    if (::stat(prefix.c_str(), &st) != 0 || st.st_uid == ::geteuid()) return std::nullopt;
    return userName(st.st_uid);
}

void flushFolder(const Folder &folder) {
    ::fsync(folderFd(folder));
}

Status createFolderIn(const Folder &parent, std::string_view name, bool) {
    if (::mkdirat(folderFd(parent), nameString(name).c_str(), 0755) != 0)
        return systemError(errno, joinPath(parent.path(), name), FileOperation::CreateFolder);
    return {};
}

Status removeEmptyFolderIn(const Folder &parent, std::string_view name) {
    // rmdir takes no link for a folder, nor a folder that holds anything.
    const int err =
        ::unlinkat(folderFd(parent), nameString(name).c_str(), AT_REMOVEDIR) != 0 ? errno : 0;
    if (err == 0 || err == ENOENT || err == ENOTDIR || err == ENOTEMPTY || err == EEXIST) return {};
    return systemError(err, joinPath(parent.path(), name), FileOperation::RemoveFolder);
}

// --- Files -------------------------------------------------------------------------------------

Result<Handle> openRegular(const std::string &path, Look &look) {
    // Without blocking, so that a FIFO or a device never stalls the tool.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return openError(errno, AT_FDCWD, path.c_str(), path, FileOperation::Open, false);
    return keepIfRegular(fd, path, look);
}

Result<Handle> openRegularIn(const Folder &folder, std::string_view name, Links links, Look &look) {
    const std::string child = nameString(name);
    const std::string path = joinPath(folder.path(), name);
    const bool noFollow = links == Links::Refuse;
    const int fd = ::openat(folderFd(folder), child.c_str(),
                            O_RDONLY | O_NONBLOCK | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
    if (fd < 0)
        return openError(errno, folderFd(folder), child.c_str(), path, FileOperation::Open,
                         noFollow);
    return keepIfRegular(fd, path, look);
}

void close(Handle file) {
    ::close(fdOf(file));
}

Result<Look> lookAt(Handle file, const std::string &subject) {
    struct stat st {};
    if (::fstat(fdOf(file), &st) != 0) return systemError(errno, subject, FileOperation::Inspect);
    return lookOf(st);
}

Result<std::size_t> readAt(Handle file, char *buffer, std::size_t size, std::uint64_t offset,
                           const std::string &subject) {
    while (true) {
        const ssize_t n = ::pread(fdOf(file), buffer, size, static_cast<off_t>(offset));
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) return systemError(errno, subject, FileOperation::Read);
    }
}

Result<std::size_t> write(Handle file, const char *bytes, std::size_t size,
                          const std::string &subject) {
    while (true) {
        const ssize_t n = ::write(fdOf(file), bytes, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) return systemError(errno, subject, FileOperation::Write);
    }
}

PathState stateIn(const Folder &folder, std::string_view name, Links links) {
    PathState state;
    struct stat st {};
    const std::string child = nameString(name);
    if (::fstatat(folderFd(folder), child.c_str(), &st,
                  links == Links::Refuse ? AT_SYMLINK_NOFOLLOW : 0) != 0)
        return state;
    state.kind = S_ISREG(st.st_mode)   ? PathState::Kind::File
                 : S_ISDIR(st.st_mode) ? PathState::Kind::Folder
                 : S_ISLNK(st.st_mode) ? PathState::Kind::Link
                                       : PathState::Kind::Other;
    state.device = st.st_dev;
    state.inode = st.st_ino;
    state.readOnly = (st.st_mode & 0222) == 0;
    state.user = st.st_uid;
    state.group = st.st_gid;
    state.mode = st.st_mode & 07777;
    return state;
}

Result<std::optional<std::string>> linkTarget(const Folder &folder, std::string_view name) {
    const std::string child = nameString(name);
    if (!isLink(folderFd(folder), child.c_str())) return std::optional<std::string>();
    const std::string path = joinPath(folder.path(), name);
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real)) return std::optional<std::string>(real);
    if (errno != ENOENT) return systemError(errno, path, FileOperation::ResolvePath);
    // A dangling link: the file goes where it points.
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        char link[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), link, sizeof link - 1);
        if (n < 0) break;
        link[n] = '\0';
        current = link[0] == '/' ? std::string(link) : joinPath(folderOf(current), link);
    }
    if (!::realpath(folderOf(current).c_str(), real))
        return systemError(errno, path, FileOperation::ResolveFolder);
    return std::optional<std::string>(joinPath(real, nameOf(current)));
}

Result<Handle> createLocked(const Folder &folder, std::string_view name) {
    const std::string child = nameString(name);
    const std::string path = joinPath(folder.path(), name);
    const int fd = ::openat(folderFd(folder), child.c_str(),
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return systemError(errno, path, FileOperation::CreateTemp);
    // A cleaner of another copy of the tool may have taken the file for a stale one in the moment
    // before it was locked; then it is gone or going.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && stillNamed(folderFd(folder), child.c_str(), fd))
        return Handle{fd};
    ::close(fd);
    return systemError(EEXIST, path, FileOperation::CreateTemp);
}

Status mayReplaceIn(const Folder &folder, std::string_view) {
    // Renaming over a file needs nothing of the file itself, only of its folder.
    if (::faccessat(folderFd(folder), ".", W_OK | X_OK, AT_EACCESS) != 0)
        return systemError(errno, folder.path(), FileOperation::CreateTemp);
    return {};
}

Status removeIfStale(const Folder &folder, std::string_view name) {
    const std::string child = nameString(name);
    const std::string path = joinPath(folder.path(), name);
    const int fd =
        ::openat(folderFd(folder), child.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {}; // gone, a link, or not a file of the tool's
    struct stat st {};
    // Only a plain file that nothing else names: a hard link so named is another file's name too.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        ::close(fd);
        return {};
    }
    // The lock is held across the unlink, so a copy of the tool that creates a temporary file
    // and locks it sees either its own file or none. A locked one is a live save's.
    Status removed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        removed = systemError(errno, path, FileOperation::RemoveStale);
    else if (stillNamed(folderFd(folder), child.c_str(), fd) &&
             ::unlinkat(folderFd(folder), child.c_str(), 0) != 0)
        removed = systemError(errno, path, FileOperation::RemoveStale);
    ::close(fd);
    return removed;
}

Status giveOwner(Handle file, const PathState &target, const std::string &subject) {
    // Only root may give a file away; others keep their own, as any new file.
    if (target.kind != PathState::Kind::Missing &&
        ::fchown(fdOf(file), target.user, target.group) != 0 && errno != EPERM)
        return systemError(errno, subject, FileOperation::SetOwner);
    return {};
}

Status giveSecurity(Handle, const PathState &, const std::string &) {
    return {}; // the owner, the permissions and the extended attributes (ACLs among them) say it
}

Status giveAttributes(Handle file, const Folder &folder, std::string_view name,
                      const PathState &target, const std::string &subject) {
    if (target.kind == PathState::Kind::Missing) return {};
    // Through a descriptor of the target itself, which needs no permission to read it: what is
    // copied comes from the file the name stands for within the held folder.
    const std::string child = nameString(name);
    const int source = ::openat(folderFd(folder), child.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (source < 0) return systemError(errno, subject, FileOperation::ListAttributes);
    const std::string path = pathOfDescriptor(source);
    Status given;
    // Only a failure in the user namespace counts: the others need privileges the tool may lack
    // and hold nothing of Windows.
    ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
    std::vector<char> names(size > 0 ? static_cast<std::size_t>(size) + 1 : 1);
    if (size > 0) size = ::listxattr(path.c_str(), names.data(), names.size());
    if (size < 0 && errno != ENOTSUP && errno != ENODATA)
        given = systemError(errno, subject, FileOperation::ListAttributes);
    for (const char *attribute = names.data(); given && size > 0 && attribute < names.data() + size;
         attribute += std::char_traits<char>::length(attribute) + 1) {
        ssize_t length = ::getxattr(path.c_str(), attribute, nullptr, 0);
        std::vector<char> value(length > 0 ? static_cast<std::size_t>(length) : 0);
        if (length > 0) length = ::getxattr(path.c_str(), attribute, value.data(), value.size());
        if ((length < 0 || ::fsetxattr(fdOf(file), attribute, value.data(),
                                       static_cast<std::size_t>(length), 0) != 0) &&
            std::string_view(attribute).starts_with("user.")) {
            Error e = systemError(errno, subject, FileOperation::CopyAttributes);
            e.detail = Attribute{attribute};
            given = e;
        }
    }
    ::close(source);
    return given;
}

Status givePermissions(Handle file, const PathState &target, const std::string &subject) {
    const mode_t mode =
        target.kind == PathState::Kind::Missing ? 0666 & ~processUmask() : target.mode;
    if (::fchmod(fdOf(file), mode) != 0) return systemError(errno, subject, FileOperation::SetMode);
    return {};
}

Status flush(Handle file, const std::string &subject) {
    if (::fsync(fdOf(file)) != 0) return systemError(errno, subject, FileOperation::Flush);
    return {};
}

Status renameOver(Handle, const Folder &folder, std::string_view temporary, std::string_view target,
                  const PathState &) {
    const std::string from = nameString(temporary);
    const std::string to = nameString(target);
    if (::renameat(folderFd(folder), from.c_str(), folderFd(folder), to.c_str()) != 0)
        return systemError(errno, joinPath(folder.path(), target), FileOperation::Rename);
    return {};
}

void discard(Handle file, const Folder &folder, std::string_view temporary) {
    ::unlinkat(folderFd(folder), nameString(temporary).c_str(), 0);
    // Closing releases the lock, after the unlink, so no other copy of the tool sees the file
    // unlocked while it still has its name.
    ::close(fdOf(file));
}

} // namespace host

} // namespace corvelan::fs
