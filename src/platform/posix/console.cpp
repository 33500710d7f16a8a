#include "platform/console.h"

#include <cerrno>

#include <unistd.h>

namespace corvelan {

bool writeStandardOutput(std::string_view utf8) {
    while (!utf8.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, utf8.data(), utf8.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        utf8.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace corvelan
