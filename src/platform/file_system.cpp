#include "platform/file_system.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

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

Status writeAll(int fd, std::string_view bytes, const std::string &subject) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
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

// A new file beside `target` that becomes `target` on commit, or disappears.
class ReplacementFile {
public:
    static Result<ReplacementFile> create(const std::string &target) {
        std::string temp = folderOf(target) + "/." + nameOf(target) + kTempMarker + "XXXXXX";
        const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0) return systemError(errno, target, "cannot create a temporary file");
        return ReplacementFile(target, std::move(temp), Fd(fd));
    }
    ReplacementFile(ReplacementFile &&) = default;
    ReplacementFile &operator=(ReplacementFile &&) = delete;
    ReplacementFile(const ReplacementFile &) = delete;
    ~ReplacementFile() {
        if (!m_committed && !m_temp.empty()) {
            m_fd.reset();
            ::unlink(m_temp.c_str());
        }
    }

    [[nodiscard]] int fd() const { return m_fd.get(); }

    Status commit() {
        struct stat old {};
        if (::stat(m_target.c_str(), &old) == 0) {
            // Owner first: fchown may clear set-id bits, and xattrs need write permission, so
            // the mode goes last.
            if (::fchown(m_fd.get(), old.st_uid, old.st_gid) != 0 && errno != EPERM)
                return systemError(errno, m_target, "cannot set the owner");
            if (Status s = copyExtendedAttributes(m_target, m_fd.get(), m_target); !s) return s;
            if (::fchmod(m_fd.get(), old.st_mode & 07777) != 0)
                return systemError(errno, m_target, "cannot set the permissions");
        } else if (::fchmod(m_fd.get(), 0666 & ~processUmask()) != 0) {
            return systemError(errno, m_target, "cannot set the permissions");
        }
        if (::fsync(m_fd.get()) != 0) return systemError(errno, m_target, "cannot flush");
        if (::close(m_fd.release()) != 0) return systemError(errno, m_target, "cannot close");
        if (::rename(m_temp.c_str(), m_target.c_str()) != 0)
            return systemError(errno, m_target, "cannot replace");
        m_committed = true;
        // The rename is only durable once the folder is flushed; the new content is in place
        // whatever this answers, so a failure here is not reported.
        if (Fd dir(::open(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            dir.get() >= 0)
            ::fsync(dir.get());
        return {};
    }

private:
    ReplacementFile(std::string target, std::string temp, Fd fd)
        : m_target(std::move(target)), m_temp(std::move(temp)), m_fd(std::move(fd)) {}

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

} // namespace

Result<std::string> readFile(const std::string &hostPath, std::uint64_t maxSize) {
    Fd fd(::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            Error e;
            e.code = ErrorCode::NotFound;
            e.subject = hostPath;
            return e;
        }
        return systemError(errno, hostPath, "cannot open");
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return systemError(errno, hostPath, "cannot read the size");
    if (S_ISDIR(st.st_mode)) {
        Error e;
        e.code = ErrorCode::NotAFile;
        e.subject = hostPath;
        return e;
    }
    if (static_cast<std::uint64_t>(st.st_size) > maxSize) {
        Error e;
        e.code = ErrorCode::TooLarge;
        e.subject = hostPath;
        e.detail = "The file is larger than " + std::to_string(maxSize >> 20) + " MiB";
        return e;
    }
    std::string bytes;
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (true) {
        if (done == bytes.size()) {
            // The file may have grown since fstat; read until end of file.
            if (bytes.size() >= maxSize + 1) break;
            bytes.resize(std::max<size_t>(bytes.size() * 2, 4096));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return systemError(errno, hostPath, "cannot read");
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    if (done > maxSize) {
        Error e;
        e.code = ErrorCode::TooLarge;
        e.subject = hostPath;
        e.detail = "The file is larger than " + std::to_string(maxSize >> 20) + " MiB";
        return e;
    }
    return bytes;
}

Result<std::uint32_t> fileAttributes(const std::string &hostPath) {
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            Error e;
            e.code = ErrorCode::NotFound;
            e.subject = hostPath;
            return e;
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

Status replaceFileContent(const std::string &hostPath, std::string_view bytes) {
    auto target = replacementTarget(hostPath);
    if (!target) return target.error();
    auto file = ReplacementFile::create(target.value());
    if (!file) return file.error();
    if (Status s = writeAll(file->fd(), bytes, hostPath); !s) return s;
    return file->commit();
}

Status copyFile(const std::string &from, const std::string &to) {
    Fd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (source.get() < 0) return systemError(errno, from, "cannot open");
    struct stat in {};
    if (::fstat(source.get(), &in) != 0) return systemError(errno, from, "cannot read");
    if (S_ISDIR(in.st_mode)) {
        Error e;
        e.code = ErrorCode::NotAFile;
        e.subject = from;
        return e;
    }
    struct stat out {};
    if (::stat(to.c_str(), &out) == 0) {
        if (out.st_dev == in.st_dev && out.st_ino == in.st_ino) return {};
        if (S_ISDIR(out.st_mode)) {
            Error e;
            e.code = ErrorCode::NotAFile;
            e.subject = to;
            return e;
        }
        if ((out.st_mode & 0222) == 0) return systemError(EACCES, to, "the file is read-only");
    }
    auto target = replacementTarget(to);
    if (!target) return target.error();
    auto file = ReplacementFile::create(target.value());
    if (!file) return file.error();
    std::vector<char> buffer(1 << 16);
    while (true) {
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
    return file->commit();
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
