// Windows attributes on Linux, as Wine keeps them: read-only is the absence of every write
// permission bit, hidden and system live in the user.DOSATTRIB extended attribute ("0x%x").
#include "support/attributes.h"

#include "platform/file_system.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>
#include <sys/xattr.h>

namespace corvelan::test {

using fs::FileOperation;
namespace {

constexpr const char *kDosAttrib = "user.DOSATTRIB";

std::uint32_t parseDosAttrib(const std::string &value) {
    if (value.size() < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return 0;
    return static_cast<std::uint32_t>(std::strtoul(value.c_str() + 2, nullptr, 16)) &
           (kHidden | kSystem);
}

} // namespace

Result<std::uint32_t> fileAttributes(const std::string &hostPath) {
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0) {
        if (errno == ENOENT) return makeError(ErrorCode::NotFound, hostPath);
        return systemError(errno, hostPath, FileOperation::None);
    }
    std::uint32_t attributes = S_ISDIR(st.st_mode) ? kDirectory : kArchive;
    if ((st.st_mode & 0222) == 0) attributes |= kReadOnly;
    std::array<char, 64> value{};
    const ssize_t n = ::getxattr(hostPath.c_str(), kDosAttrib, value.data(), value.size() - 1);
    if (n >= 0)
        attributes |= parseDosAttrib(std::string(value.data(), static_cast<std::size_t>(n)));
    else if (fs::nameOf(hostPath).starts_with('.'))
        attributes |= kHidden;
    return attributes;
}

Status setFileAttributes(const std::string &hostPath, std::uint32_t attributes) {
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0)
        return systemError(errno, hostPath, FileOperation::None);
    // The xattr needs write permission, so it goes before a read-only mode and after a
    // writable one.
    const std::uint32_t dos = attributes & (kHidden | kSystem);
    auto writeDosAttrib = [&]() -> Status {
        if (dos == 0 && st.st_nlink <= 1) {
            if (::removexattr(hostPath.c_str(), kDosAttrib) != 0 && errno != ENODATA &&
                errno != ENOTSUP)
                return systemError(errno, hostPath, FileOperation::ClearAttributes);
            return {};
        }
        char text[16];
        const int length = std::snprintf(text, sizeof text, "0x%x", dos);
        if (::setxattr(hostPath.c_str(), kDosAttrib, text, static_cast<std::size_t>(length), 0) !=
            0)
            return systemError(errno, hostPath, FileOperation::None);
        return {};
    };
    mode_t mode = st.st_mode & 07777;
    if (attributes & kReadOnly)
        mode &= static_cast<mode_t>(~0222);
    else if ((mode & 0222) == 0)
        mode |= S_IWUSR;
    auto setMode = [&]() -> Status {
        if (::chmod(hostPath.c_str(), mode) != 0)
            return systemError(errno, hostPath, FileOperation::None);
        return {};
    };
    if ((attributes & kReadOnly) == 0) {
        if (Status s = setMode(); !s) return s;
        return writeDosAttrib();
    }
    if (Status s = writeDosAttrib(); !s) return s;
    return setMode();
}

} // namespace corvelan::test
