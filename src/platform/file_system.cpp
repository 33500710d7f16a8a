#include "platform/file_system.h"

#include "platform/file_operations.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace corvelan::fs {
namespace {

constexpr const char *kDosAttrib = "user.DOSATTRIB";
constexpr const char *kTempMarker = ".corvelan-";

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
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
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
    return std::string(real) + (std::string(real) == "/" ? "" : "/") + nameOf(current);
}

FileStamp stampOf(const struct stat &st) {
    FileStamp stamp;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

Error changedOnDisk(const std::string &path, std::string detail) {
    return makeError(ErrorCode::ChangedOnDisk, path, std::move(detail));
}

// Fails with ChangedOnDisk unless `path` still holds what `guard` says: the same file, size and
// time, and then the same bytes (a time stamp may not tell two quick writes apart).
Status checkUnchanged(const std::string &path, const ReplaceGuard &guard) {
    if (guard.stamp.size < 0) return {};
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
        return changedOnDisk(path, "Another program removed or locked the file");
    if (stampOf(st) != guard.stamp) return changedOnDisk(path, "Another program changed the file");
    // Compared a piece at a time, so that the check needs no second copy of the file.
    std::vector<char> piece(1 << 20);
    std::string_view expected = guard.bytes;
    while (true) {
        const ssize_t n = ::read(fd.get(), piece.data(), piece.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return changedOnDisk(path, "Another program removed or locked the file");
        }
        if (n == 0) break;
        const auto got = std::string_view(piece.data(), static_cast<size_t>(n));
        if (!expected.starts_with(got))
            return changedOnDisk(path, "Another program changed the file");
        expected.remove_prefix(got.size());
    }
    if (!expected.empty()) return changedOnDisk(path, "Another program changed the file");
    return {};
}

Status writeAll(int fd, std::string_view bytes, const std::string &subject) {
    while (!bytes.empty()) {
        if (int e = gate(FileOperation::Write, subject))
            return systemError(e, subject, "cannot write");
        const ssize_t n = ::write(fd, bytes.data(), std::min<size_t>(bytes.size(), 1 << 20));
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

// Removes the temporary files that killed saves of `target` left in its folder, and only those.
void removeStaleTemporaries(const std::string &target) {
    const std::string folder = folderOf(target);
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return;
    std::vector<std::string> stale;
    while (const dirent *entry = ::readdir(dir.get()))
        if (isTemporaryFileOf(entry->d_name, target)) stale.emplace_back(entry->d_name);
    for (const std::string &name : stale)
        ::unlinkat(::dirfd(dir.get()), name.c_str(), 0);
}

// A new file beside `target` that becomes `target` on commit, or disappears.
class ReplacementFile {
public:
    static Result<ReplacementFile> create(const std::string &target) {
        removeStaleTemporaries(target);
        if (int e = gate(FileOperation::CreateTemp, target))
            return systemError(e, target, "cannot create a temporary file");
        std::string temp = folderOf(target) + "/." + nameOf(target) + kTempMarker + "XXXXXX";
        const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0) return systemError(errno, target, "cannot create a temporary file");
        return ReplacementFile(target, std::move(temp), Fd(fd));
    }
    ReplacementFile(ReplacementFile &&) = default;
    ReplacementFile &operator=(ReplacementFile &&) = delete;
    ReplacementFile(const ReplacementFile &) = delete;
    ~ReplacementFile() {
        // The one cleanup path: whatever failed, the temporary file goes.
        if (!m_committed && !m_temp.empty()) {
            m_fd.reset();
            ::unlink(m_temp.c_str());
        }
    }

    [[nodiscard]] int fd() const { return m_fd.get(); }

    Result<FileStamp> commit(const ReplaceGuard *guard) {
        const std::string &t = m_target;
        struct stat old {};
        if (::stat(t.c_str(), &old) == 0) {
            // Owner first: fchown may clear set-id bits, and xattrs need write permission, so
            // the mode goes last.
            int e = gate(FileOperation::SetOwner, t);
            if (e == 0 && ::fchown(m_fd.get(), old.st_uid, old.st_gid) != 0 && errno != EPERM)
                e = errno;
            if (e != 0) return systemError(e, t, "cannot set the owner");
            if (Status s = copyExtendedAttributes(t, m_fd.get(), t); !s) return s.error();
            if (Status s = setMode(old.st_mode & 07777); !s) return s.error();
        } else if (Status s = setMode(0666 & ~processUmask()); !s) {
            return s.error();
        }
        // A failed fsync is never retried: the kernel may have dropped the dirty pages, so a
        // second call could report success for data that is gone.
        int e = gate(FileOperation::Flush, t);
        if (e == 0 && ::fsync(m_fd.get()) != 0) e = errno;
        if (e != 0) return systemError(e, t, "cannot flush");
        struct stat written {};
        if (::fstat(m_fd.get(), &written) != 0) return systemError(errno, t, "cannot flush");
        e = gate(FileOperation::Close, t);
        if (::close(m_fd.release()) != 0 && e == 0) e = errno;
        if (e != 0) return systemError(e, t, "cannot close");
        if (guard)
            if (Status s = checkUnchanged(t, *guard); !s) return s.error();
        e = gate(FileOperation::Rename, t);
        if (e == 0 && ::rename(m_temp.c_str(), t.c_str()) != 0) e = errno;
        if (e != 0) return systemError(e, t, "cannot replace");
        m_committed = true;
        // The rename is only durable once the folder is flushed; the new content is in place
        // whatever this answers, so a failure here is not reported.
        if (gate(FileOperation::FlushFolder, t) == 0)
            if (Fd dir(::open(folderOf(t).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                dir.get() >= 0)
                ::fsync(dir.get());
        return stampOf(written);
    }

private:
    ReplacementFile(std::string target, std::string temp, Fd fd)
        : m_target(std::move(target)), m_temp(std::move(temp)), m_fd(std::move(fd)) {}

    Status setMode(mode_t mode) {
        int e = gate(FileOperation::SetMode, m_target);
        if (e == 0 && ::fchmod(m_fd.get(), mode) != 0) e = errno;
        if (e != 0) return systemError(e, m_target, "cannot set the permissions");
        return {};
    }

    std::string m_target;
    std::string m_temp;
    Fd m_fd;
    bool m_committed = false;
};

std::uint32_t parseDosAttrib(const std::string &value) {
    if (value.size() < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return 0;
    char *end = nullptr;
    const unsigned long bits = std::strtoul(value.c_str() + 2, &end, 16);
    return static_cast<std::uint32_t>(bits) & (kHidden | kSystem);
}

// Opens a regular file for reading: NotFound, NotAFile or the OS error otherwise.
Result<Fd> openRegularFile(const std::string &hostPath, struct stat &st) {
    Fd fd(::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            return makeError(ErrorCode::NotFound, hostPath);
        }
        return systemError(errno, hostPath, "cannot open");
    }
    if (::fstat(fd.get(), &st) != 0) return systemError(errno, hostPath, "cannot read the size");
    if (S_ISDIR(st.st_mode)) {
        return makeError(ErrorCode::NotAFile, hostPath);
    }
    return fd;
}

} // namespace

Status streamFile(const std::string &hostPath, std::size_t pieceSize,
                  const std::function<Status(std::string_view piece, bool last)> &piece) {
    struct stat st {};
    auto opened = openRegularFile(hostPath, st);
    if (!opened) return opened.error();
    std::vector<char> buffer(pieceSize);
    while (true) {
        const ssize_t n = ::read(opened->get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return systemError(errno, hostPath, "cannot read");
        }
        if (Status s = piece(std::string_view(buffer.data(), static_cast<size_t>(n)), n == 0); !s)
            return s;
        if (n == 0) return {};
    }
}

Result<std::string>
readFileInPieces(const std::string &hostPath, std::uint64_t maxSize, FileStamp *stamp,
                 const std::function<Status(std::string_view soFar, bool last)> &piece) {
    auto tooLarge = [&] {
        return makeError(ErrorCode::TooLarge, hostPath,
                         "The file is larger than " + std::to_string(maxSize >> 20) + " MiB");
    };
    struct stat st {};
    auto opened = openRegularFile(hostPath, st);
    if (!opened) return opened.error();
    Fd fd = std::move(opened).value();
    if (stamp) *stamp = stampOf(st);
    if (static_cast<std::uint64_t>(st.st_size) > maxSize) return tooLarge();
    constexpr size_t kPiece = 1 << 20;
    std::string bytes;
    // Room for the last read too, so that the buffer is not moved at the end of the file.
    bytes.reserve(static_cast<size_t>(st.st_size) + kPiece);
    while (true) {
        const size_t done = bytes.size();
        // The file may have grown since fstat: read until its end, within the limit.
        bytes.resize(done + kPiece);
        const ssize_t n = ::read(fd.get(), bytes.data() + done, kPiece);
        if (n < 0) {
            bytes.resize(done);
            if (errno == EINTR) continue;
            return systemError(errno, hostPath, "cannot read");
        }
        bytes.resize(done + static_cast<size_t>(n));
        if (bytes.size() > maxSize) return tooLarge();
        if (piece)
            if (Status s = piece(bytes, n == 0); !s) return s.error();
        if (n == 0) return bytes;
    }
}

Result<std::string> readFile(const std::string &hostPath, std::uint64_t maxSize, FileStamp *stamp) {
    return readFileInPieces(hostPath, maxSize, stamp, nullptr);
}

Result<std::uint32_t> fileAttributes(const std::string &hostPath) {
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return makeError(ErrorCode::NotFound, hostPath);
        }
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

Result<FileStamp> replaceFileContent(const std::string &hostPath, std::string_view bytes,
                                     const ReplaceGuard *guard) {
    auto target = replacementTarget(hostPath);
    if (!target) return target.error();
    auto file = ReplacementFile::create(target.value());
    if (!file) return file.error();
    if (Status s = writeAll(file->fd(), bytes, hostPath); !s) return s.error();
    return file->commit(guard);
}

Status copyFile(const std::string &from, const std::string &to) {
    int e = gate(FileOperation::OpenSource, from);
    Fd source(e == 0 ? ::open(from.c_str(), O_RDONLY | O_CLOEXEC) : -1);
    if (source.get() < 0) return systemError(e ? e : errno, from, "cannot open");
    struct stat in {};
    if (::fstat(source.get(), &in) != 0) return systemError(errno, from, "cannot read");
    if (S_ISDIR(in.st_mode)) {
        return makeError(ErrorCode::NotAFile, from);
    }
    struct stat out {};
    if (::stat(to.c_str(), &out) == 0) {
        if (out.st_dev == in.st_dev && out.st_ino == in.st_ino) return {};
        if (S_ISDIR(out.st_mode)) {
            return makeError(ErrorCode::NotAFile, to);
        }
        if ((out.st_mode & 0222) == 0) return systemError(EACCES, to, "the file is read-only");
    }
    auto target = replacementTarget(to);
    if (!target) return target.error();
    auto file = ReplacementFile::create(target.value());
    if (!file) return file.error();
    std::vector<char> buffer(1 << 16);
    while (true) {
        if ((e = gate(FileOperation::Read, from)) != 0) return systemError(e, from, "cannot read");
        const ssize_t n = ::read(source.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return systemError(errno, from, "cannot read");
        }
        if (n == 0) break;
        if (Status s =
                writeAll(file->fd(), std::string_view(buffer.data(), static_cast<size_t>(n)), to);
            !s)
            return s;
    }
    auto committed = file->commit(nullptr);
    return committed ? Status() : Status(committed.error());
}

bool isTemporaryFileOf(const std::string &name, const std::string &target) {
    const std::string prefix = "." + nameOf(target) + kTempMarker;
    if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) return false;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

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
