#include "platform/file_system.h"

#include "platform/file_operations.h"
#include "platform/file_system_parts.h"
#include "platform/temporary_names.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace corvelan::fs {
namespace {

constexpr const char *kDosAttrib = "user.DOSATTRIB";
constexpr size_t kPiece = 1 << 20;

std::string folderOf(const std::string &path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Closes a descriptor once; move-only.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(Fd &&other) noexcept : m_fd(other.release()) {}
    Fd &operator=(Fd &&other) noexcept {
        if (this != &other) {
            reset();
            m_fd = other.release();
        }
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }

    [[nodiscard]] int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    void reset() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

mode_t processUmask() {
    // /proc tells the umask without the race of setting it to read it back.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

std::int64_t nanoseconds(const timespec &t) {
    return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

FileStamp stampOf(const struct stat &st) {
    FileStamp stamp;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = nanoseconds(st.st_mtim);
    return stamp;
}

// What one look at a file sees: its stamp and its change time, which every write moves and which,
// unlike the write time, no program can set back.
struct Look {
    FileStamp stamp;
    std::int64_t changedNs = 0;
    friend bool operator==(const Look &, const Look &) = default;
};

Look lookAt(const struct stat &st) {
    return {stampOf(st), nanoseconds(st.st_ctim)};
}

Error changedOnDisk(const std::string &path, std::string detail) {
    return makeError(ErrorCode::ChangedOnDisk, path, std::move(detail));
}

// Opens `path` (relative to `folder`, a descriptor or AT_FDCWD) for reading without blocking, so
// that a FIFO or a device never stalls the tool, and keeps it only when it is a regular file.
Result<Fd> openRegular(int folder, const std::string &name, const std::string &subject,
                       struct stat &st, int extraFlags = 0) {
    Fd fd(::openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | extraFlags));
    if (fd.get() < 0) {
        if (errno == ENOENT) return makeError(ErrorCode::NotFound, subject);
        return systemError(errno, subject, "cannot open");
    }
    if (::fstat(fd.get(), &st) != 0) return systemError(errno, subject, "cannot read the size");
    if (S_ISDIR(st.st_mode)) return makeError(ErrorCode::NotAFile, subject);
    if (!S_ISREG(st.st_mode)) return makeError(ErrorCode::NotRegularFile, subject);
    // A regular file: reads may wait for the disk as usual again.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return systemError(errno, subject, "cannot open");
    return fd;
}

Result<Fd> openRegular(const std::string &path, struct stat &st) {
    return openRegular(AT_FDCWD, path, path, st);
}

Status writeAll(int fd, std::string_view bytes, const std::string &subject) {
    while (!bytes.empty()) {
        if (int e = gate(FileOperation::Write, subject))
            return systemError(e, subject, "cannot write");
        const ssize_t n = ::write(fd, bytes.data(), std::min<size_t>(bytes.size(), kPiece));
        if (n < 0) {
            if (errno == EINTR) continue;
            return systemError(errno, subject, "cannot write");
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return {};
}

// Copies the extended attributes of `from` onto the open file `fd`. Only a failure in the user
// namespace counts: the others need privileges the tool may lack and hold nothing of Windows.
Status copyExtendedAttributes(const std::string &from, int fd, const std::string &subject) {
    if (int e = gate(FileOperation::CopyAttributes, subject))
        return systemError(e, subject, "cannot copy the attributes");
    ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
    if (size < 0)
        return (errno == ENOTSUP || errno == ENODATA)
                   ? Status()
                   : systemError(errno, subject, "cannot list extended attributes");
    std::vector<char> names(static_cast<size_t>(size) + 1);
    size = ::listxattr(from.c_str(), names.data(), names.size());
    if (size < 0) return systemError(errno, subject, "cannot list extended attributes");
    for (const char *name = names.data(); name < names.data() + size;
         name += std::char_traits<char>::length(name) + 1) {
        const bool user = std::string_view(name).starts_with("user.");
        ssize_t length = ::getxattr(from.c_str(), name, nullptr, 0);
        std::vector<char> value(length > 0 ? static_cast<size_t>(length) : 0);
        if (length > 0) length = ::getxattr(from.c_str(), name, value.data(), value.size());
        if (length < 0 ||
            ::fsetxattr(fd, name, value.data(), static_cast<size_t>(length), 0) != 0) {
            if (user) return systemError(errno, subject, std::string("cannot copy ") + name);
        }
    }
    return {};
}

// True when `name` in `folder` is still the file open as `fd`.
bool stillNamed(int folder, const char *name, int fd) {
    struct stat named {};
    struct stat open {};
    return ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

// Removes the temporary files that killed saves and copies left in `folder`, whatever file they
// were for: those of the tool's naming pattern that are regular files and that no process holds
// locked. A live one, of this or another copy of the tool, is locked and stays.
void removeStaleTemporaries(const std::string &folder) {
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return;
    std::vector<std::string> candidates;
    while (const dirent *entry = ::readdir(dir.get()))
        if (isTemporaryFileName(entry->d_name)) candidates.emplace_back(entry->d_name);
    const int dirFd = ::dirfd(dir.get());
    for (const std::string &name : candidates) {
        struct stat st {};
        auto opened = openRegular(dirFd, name, name, st, O_NOFOLLOW);
        if (!opened) continue;
        const int fd = opened->get();
        // The lock is held across the unlink, so a copy of the tool that creates a temporary file
        // and locks it sees either its own file or none.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && stillNamed(dirFd, name.c_str(), fd))
            ::unlinkat(dirFd, name.c_str(), 0);
    }
}

std::uint32_t parseDosAttrib(const std::string &value) {
    if (value.size() < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return 0;
    char *end = nullptr;
    const unsigned long bits = std::strtoul(value.c_str() + 2, &end, 16);
    return static_cast<std::uint32_t>(bits) & (kHidden | kSystem);
}

int fdOf(std::intptr_t handle) {
    return static_cast<int>(handle);
}

Status setModeOf(int fd, mode_t mode, const std::string &subject) {
    int e = gate(FileOperation::SetMode, subject);
    if (e == 0 && ::fchmod(fd, mode) != 0) e = errno;
    if (e != 0) return systemError(e, subject, "cannot set the permissions");
    return {};
}

} // namespace

// --- OpenFile ---------------------------------------------------------------------------------

void OpenFile::close() {
    if (m_handle >= 0) ::close(fdOf(m_handle));
    m_handle = -1;
}

Result<OpenFile> OpenFile::open(const std::string &hostPath) {
    struct stat st {};
    auto fd = openRegular(hostPath, st);
    if (!fd) return fd.error();
    OpenFile file(hostPath, fd->release());
    file.m_stamp = stampOf(st);
    return file;
}

Result<std::size_t> OpenFile::readAt(char *buffer, std::size_t size, std::uint64_t offset) const {
    while (true) {
        const ssize_t n = ::pread(fdOf(m_handle), buffer, size, static_cast<off_t>(offset));
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) return systemError(errno, m_path, "cannot read");
    }
}

Status OpenFile::checkUnchanged() const {
    // Size and write time: the change time also moves when the file is only renamed or unlinked,
    // which leaves its bytes, the ones that were checked, as they were.
    struct stat st {};
    if (::fstat(fdOf(m_handle), &st) != 0) return systemError(errno, m_path, "cannot read");
    if (stampOf(st) != m_stamp)
        return changedOnDisk(m_path, "Another program changed the file after it was checked");
    return {};
}

// --- Reading ----------------------------------------------------------------------------------

Status checkUnchanged(const std::string &hostPath, const ReplaceGuard &guard) {
    if (guard.stamp.size < 0) return {};
    if (int e = gate(FileOperation::Check, hostPath))
        return systemError(e, hostPath, "cannot read");
    struct stat st {};
    auto opened = openRegular(hostPath, st);
    if (!opened) return changedOnDisk(hostPath, "Another program removed, replaced or locked it");
    const int fd = opened->get();
    const Look first = lookAt(st);
    if (first.stamp != guard.stamp) return changedOnDisk(hostPath, "Another program changed it");
    // Compared a piece at a time, so that the check needs no second copy of the file.
    std::vector<char> piece(kPiece);
    std::string_view expected = guard.bytes;
    while (true) {
        if (int e = gate(FileOperation::Compare, hostPath))
            return systemError(e, hostPath, "cannot read");
        const ssize_t n = ::read(fd, piece.data(), piece.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return changedOnDisk(hostPath, "Another program removed, replaced or locked it");
        }
        if (n == 0) break;
        const auto got = std::string_view(piece.data(), static_cast<size_t>(n));
        if (!expected.starts_with(got))
            return changedOnDisk(hostPath, "Another program changed it");
        expected.remove_prefix(got.size());
    }
    if (!expected.empty()) return changedOnDisk(hostPath, "Another program changed it");
    // A write while the bytes were compared, even one of the same size into a part already
    // compared, moved the change time; a file renamed over the path is another inode.
    struct stat again {};
    struct stat named {};
    if (::fstat(fd, &again) != 0 || lookAt(again) != first ||
        ::stat(hostPath.c_str(), &named) != 0 || named.st_dev != st.st_dev ||
        named.st_ino != st.st_ino)
        return changedOnDisk(hostPath, "Another program changed it while it was compared");
    return {};
}

// --- Attributes -------------------------------------------------------------------------------

Result<std::uint32_t> fileAttributes(const std::string &hostPath) {
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0) {
        if (errno == ENOENT) return makeError(ErrorCode::NotFound, hostPath);
        return systemError(errno, hostPath, "cannot read the attributes");
    }
    std::uint32_t attributes = S_ISDIR(st.st_mode) ? kDirectory : kArchive;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kReadOnly;
    std::array<char, 64> value{};
    const ssize_t n = ::getxattr(hostPath.c_str(), kDosAttrib, value.data(), value.size() - 1);
    if (n >= 0)
        attributes |= parseDosAttrib(std::string(value.data(), static_cast<size_t>(n)));
    else if (nameOf(hostPath).starts_with('.'))
        attributes |= kHidden;
    return attributes;
}

Status setFileAttributes(const std::string &hostPath, std::uint32_t attributes) {
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0)
        return systemError(errno, hostPath, "cannot read the attributes");
    // The xattr needs write permission, so it goes before a read-only mode and after a
    // writable one.
    const std::uint32_t dos = attributes & (kHidden | kSystem);
    auto writeDosAttrib = [&]() -> Status {
        if (dos == 0 && st.st_nlink <= 1) {
            if (::removexattr(hostPath.c_str(), kDosAttrib) != 0 && errno != ENODATA &&
                errno != ENOTSUP)
                return systemError(errno, hostPath, "cannot clear the attributes");
            return {};
        }
        char text[16];
        const int length = std::snprintf(text, sizeof text, "0x%x", dos);
        if (::setxattr(hostPath.c_str(), kDosAttrib, text, static_cast<size_t>(length), 0) != 0)
            return systemError(errno, hostPath, "cannot set the attributes");
        return {};
    };
    mode_t mode = st.st_mode & 07777;
    if (attributes & kReadOnly)
        mode &= static_cast<mode_t>(~0222);
    else if ((mode & 0222) == 0)
        mode |= S_IWUSR;
    if ((attributes & kReadOnly) == 0) {
        if (::chmod(hostPath.c_str(), mode) != 0)
            return systemError(errno, hostPath, "cannot set the attributes");
        return writeDosAttrib();
    }
    if (Status s = writeDosAttrib(); !s) return s;
    if (::chmod(hostPath.c_str(), mode) != 0)
        return systemError(errno, hostPath, "cannot set the attributes");
    return {};
}

// --- ReplacementFile --------------------------------------------------------------------------

ReplacementFile::~ReplacementFile() {
    if (!m_temp.empty()) ::unlink(m_temp.c_str());
    // Closing releases the lock, after the unlink, so no other copy of the tool sees the file
    // unlocked while it still has its name.
    if (m_handle >= 0) ::close(fdOf(m_handle));
}

Result<ReplacementFile> ReplacementFile::create(const std::string &target) {
    const std::string folder = folderOf(target);
    removeStaleTemporaries(folder);
    if (int e = gate(FileOperation::CreateTemp, target))
        return systemError(e, target, "cannot create a temporary file");
    // mkostemp puts its six random characters where the X stand.
    const std::string pattern =
        joinPath(folder, temporaryName(nameOf(target), std::string(kTemporaryRandomLength, 'X')));
    // Another copy of the tool may take a new file for a stale one in the moment before it is
    // locked; then the file is gone or going, and another is made.
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string temp = pattern;
        Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
        if (fd.get() < 0) return systemError(errno, target, "cannot create a temporary file");
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
            stillNamed(AT_FDCWD, temp.c_str(), fd.get()))
            return ReplacementFile(target, std::move(temp), fd.release());
    }
    return systemError(EBUSY, target, "cannot create a temporary file");
}

Status ReplacementFile::write(std::string_view bytes, const std::string &subject) {
    return writeAll(fdOf(m_handle), bytes, subject);
}

Result<FileStamp> ReplacementFile::commit(const ReplaceGuard *guard) {
    const std::string &t = m_target;
    const int fd = fdOf(m_handle);
    struct stat old {};
    if (::stat(t.c_str(), &old) == 0) {
        // Owner first: fchown may clear set-id bits, and xattrs need write permission, so the
        // mode goes last.
        int e = gate(FileOperation::SetOwner, t);
        if (e == 0 && ::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) e = errno;
        if (e != 0) return systemError(e, t, "cannot set the owner");
        if (Status s = copyExtendedAttributes(t, fd, t); !s) return s.error();
        if (Status s = setModeOf(fd, old.st_mode & 07777, t); !s) return s.error();
    } else if (Status s = setModeOf(fd, 0666 & ~processUmask(), t); !s) {
        return s.error();
    }
    // A failed fsync is never retried: the kernel may have dropped the dirty pages, so a second
    // call could report success for data that is gone.
    int e = gate(FileOperation::Flush, t);
    if (e == 0 && ::fsync(fd) != 0) e = errno;
    if (e != 0) return systemError(e, t, "cannot flush");
    struct stat written {};
    if (::fstat(fd, &written) != 0) return systemError(errno, t, "cannot flush");
    if (guard)
        if (Status s = checkUnchanged(t, *guard); !s) return s.error();
    // What remains: a write by another program that lands between the check's last look and this
    // rename, two system calls apart, is replaced. POSIX has no rename that first checks what it
    // replaces, so that window cannot be closed, only kept this small.
    e = gate(FileOperation::Rename, t);
    if (e == 0 && ::rename(m_temp.c_str(), t.c_str()) != 0) e = errno;
    if (e != 0) return systemError(e, t, "cannot replace");
    m_temp.clear();
    // The rename is only durable once the folder is flushed; the new content is in place whatever
    // this answers, so a failure here is not reported.
    if (gate(FileOperation::FlushFolder, t) == 0)
        if (Fd dir(::open(folderOf(t).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir.get() >= 0)
            ::fsync(dir.get());
    return stampOf(written);
}

// --- Replacing and copying --------------------------------------------------------------------

std::string joinPath(const std::string &folder, std::string_view name) {
    std::string out = folder;
    if (out.empty() || out.back() != '/') out += '/';
    out += name;
    return out;
}

namespace detail {

// Resolves `path` to the file that a write must replace: the target of a link, or for a dangling
// link the place it points to.
Result<std::string> replacementTarget(const std::string &path) {
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real)) return std::string(real);
    if (errno != ENOENT) return systemError(errno, path, "cannot resolve the path");
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        char link[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), link, sizeof link - 1);
        if (n < 0) break;
        link[n] = '\0';
        current = link[0] == '/' ? std::string(link) : folderOf(current) + "/" + link;
    }
    const std::string folder = folderOf(current);
    if (!::realpath(folder.c_str(), real))
        return systemError(errno, path, "cannot resolve the folder");
    return joinPath(real, nameOf(current));
}

Result<bool> isCopyOntoItself(const OpenFile &source, const std::string &to) {
    struct stat out {};
    if (::stat(to.c_str(), &out) != 0) return false;
    if (out.st_dev == source.stamp().device && out.st_ino == source.stamp().inode) return true;
    if (S_ISDIR(out.st_mode)) return makeError(ErrorCode::NotAFile, to);
    if (!S_ISREG(out.st_mode)) return makeError(ErrorCode::NotRegularFile, to);
    if ((out.st_mode & 0222) == 0) return systemError(EACCES, to, "the file is read-only");
    return false;
}

} // namespace detail

Result<std::string> executableFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n < 0) return systemError(errno, "/proc/self/exe", "cannot find the executable");
    path[n] = '\0';
    return folderOf(path);
}

Result<std::string> currentFolder() {
    char path[PATH_MAX];
    if (!::getcwd(path, sizeof path))
        return systemError(errno, ".", "cannot find the current folder");
    return std::string(path);
}

} // namespace corvelan::fs
