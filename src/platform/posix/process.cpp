// The running process on Linux.
#include "platform/process.h"

#include <cerrno>
#include <climits>

#include <gnu/libc-version.h>
#include <unistd.h>

namespace corvelan::fs {

Result<std::string> currentFolder() {
    char path[PATH_MAX];
    if (!::getcwd(path, sizeof path))
        return systemError(errno, ".", FileOperation::FindCurrentFolder);
    return std::string(path);
}

Result<std::string> ownExecutable() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n < 0) return systemError(errno, "/proc/self/exe", FileOperation::FindOwnExecutable);
    path[n] = '\0';
    return std::string(path);
}

std::vector<std::string> runtimeComponents() {
    return {std::string("glibc ") + ::gnu_get_libc_version()};
}

} // namespace corvelan::fs
