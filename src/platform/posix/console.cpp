#include "platform/console.h"

#include <cerrno>

#include <unistd.h>

namespace corvelan {

bool writeStream(Stream stream, std::string_view utf8) {
    const int fd = stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO;
    while (!utf8.empty()) {
        const ssize_t n = ::write(fd, utf8.data(), utf8.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        utf8.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::vector<std::string> commandLineArguments(int argc, char **argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

} // namespace corvelan
