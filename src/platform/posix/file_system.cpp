// The file primitives on Linux: descriptors, flock, Wine's attributes (read-only as the absence of
// write permission, hidden and system in the user.DOSATTRIB extended attribute).
#include "platform/file_primitives.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace corvelan::fs {
namespace {

int fdOf(host::Handle file) {
    return static_cast<int>(file);
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

} // namespace

namespace host {

std::string_view separators() {
    return "/";
}

// No program holds a file from another on Linux, and errno tells the rest.
std::optional<Refusal> refusalOf(const Error &) {
    return std::nullopt;
}

RightsRemedy rightsRemedy() {
    return RightsRemedy::AskPrefixOwner;
}

Result<Handle> openRegular(const std::string &path, Look &look, bool noFollow) {
    // Without blocking, so that a FIFO or a device never stalls the tool.
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
    if (fd < 0) {
        if (errno == ENOENT) return makeError(ErrorCode::NotFound, path);
        return systemError(errno, path, FileOperation::Open);
    }
    struct stat st {};
    Error refused = makeError(ErrorCode::NotAFile, path);
    if (::fstat(fd, &st) != 0)
        refused = systemError(errno, path, FileOperation::Inspect);
    else if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
        refused.code = ErrorCode::NotRegularFile;
    else if (S_ISREG(st.st_mode)) {
        // A regular file: reads may wait for the disk as usual again.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) {
            look = lookOf(st);
            return Handle{fd};
        }
        refused = systemError(errno, path, FileOperation::Open);
    }
    ::close(fd);
    return refused;
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

PathState stateOf(const std::string &path) {
    PathState state;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return state;
    state.kind = S_ISREG(st.st_mode)   ? PathState::Kind::File
                 : S_ISDIR(st.st_mode) ? PathState::Kind::Folder
                                       : PathState::Kind::Other;
    state.device = st.st_dev;
    state.inode = st.st_ino;
    state.readOnly = (st.st_mode & 0222) == 0;
    state.user = st.st_uid;
    state.group = st.st_gid;
    state.mode = st.st_mode & 07777;
    return state;
}

Result<std::string> replacementTarget(const std::string &path) {
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real)) return std::string(real);
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
    return joinPath(real, nameOf(current));
}

Result<Handle> createLocked(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return systemError(errno, path, FileOperation::CreateTemp);
    // A cleaner of another copy of the tool may have taken the file for a stale one in the moment
    // before it was locked; then it is gone or going.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && stillNamed(AT_FDCWD, path.c_str(), fd))
        return Handle{fd};
    ::close(fd);
    return systemError(EEXIST, path, FileOperation::CreateTemp);
}

Status removeIfStale(const std::string &folder, const std::string &name) {
    const std::string path = joinPath(folder, name);
    Look look;
    auto opened = openRegular(path, look, true);
    if (!opened) return {}; // gone, or not a file of the tool's
    const int fd = fdOf(opened.value());
    // The lock is held across the unlink, so a copy of the tool that creates a temporary file
    // and locks it sees either its own file or none. A locked one is a live save's.
    Status removed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        removed = systemError(errno, path, FileOperation::CreateTemp);
    else if (stillNamed(AT_FDCWD, path.c_str(), fd) && ::unlink(path.c_str()) != 0)
        removed = systemError(errno, path, FileOperation::CreateTemp);
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

Status giveAttributes(Handle file, const std::string &targetPath, const PathState &target,
                      const std::string &subject) {
    if (target.kind == PathState::Kind::Missing) return {};
    // Only a failure in the user namespace counts: the others need privileges the tool may lack
    // and hold nothing of Windows.
    ssize_t size = ::listxattr(targetPath.c_str(), nullptr, 0);
    if (size < 0 && (errno == ENOTSUP || errno == ENODATA)) return {};
    std::vector<char> names(size > 0 ? static_cast<std::size_t>(size) + 1 : 1);
    if (size > 0) size = ::listxattr(targetPath.c_str(), names.data(), names.size());
    if (size < 0) return systemError(errno, subject, FileOperation::ListAttributes);
    for (const char *name = names.data(); name < names.data() + size;
         name += std::char_traits<char>::length(name) + 1) {
        ssize_t length = ::getxattr(targetPath.c_str(), name, nullptr, 0);
        std::vector<char> value(length > 0 ? static_cast<std::size_t>(length) : 0);
        if (length > 0) length = ::getxattr(targetPath.c_str(), name, value.data(), value.size());
        if ((length < 0 || ::fsetxattr(fdOf(file), name, value.data(),
                                       static_cast<std::size_t>(length), 0) != 0) &&
            std::string_view(name).starts_with("user.")) {
            Error e = systemError(errno, subject, FileOperation::CopyAttributes);
            e.name = name;
            return e;
        }
    }
    return {};
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

Status renameOver(Handle, const std::string &temporary, const std::string &target,
                  const PathState &) {
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return systemError(errno, target, FileOperation::Rename);
    return {};
}

void flushFolder(const std::string &folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

void discard(Handle file, const std::string &path) {
    ::unlink(path.c_str());
    // Closing releases the lock, after the unlink, so no other copy of the tool sees the file
    // unlocked while it still has its name.
    ::close(fdOf(file));
}

} // namespace host

} // namespace corvelan::fs
