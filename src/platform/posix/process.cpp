#include "platform/process.h"

#include "platform/file_system.h"

#include <cerrno>
#include <climits>

#include <sys/resource.h>
#include <unistd.h>

namespace corvelan::fs {

Result<std::string> executableFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n < 0) return systemError(errno, "/proc/self/exe", FileOperation::FindOwnExecutable);
    path[n] = '\0';
    return folderOf(path);
}

Result<std::string> currentFolder() {
    char path[PATH_MAX];
    if (!::getcwd(path, sizeof path))
        return systemError(errno, ".", FileOperation::FindCurrentFolder);
    return std::string(path);
}

} // namespace corvelan::fs

namespace corvelan::process {

std::uint64_t peakMemoryBytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}

} // namespace corvelan::process
