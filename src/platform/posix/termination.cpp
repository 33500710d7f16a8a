#include "platform/termination.h"

#include <cerrno>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace corvelan {
namespace {

int g_signalSocket[2] = {-1, -1};

void onTerminate(int) {
    // Only async-signal-safe work: one write that never blocks (a full socket already holds the
    // news), with errno as the interrupted code left it.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalSocket[1], &byte, 1);
    errno = saved;
}

} // namespace

int catchEndRequests() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalSocket) != 0)
        return -1;
    struct sigaction action {};
    action.sa_handler = onTerminate;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return g_signalSocket[0];
}

void drainEndRequests(int descriptor) {
    char bytes[64];
    while (::read(descriptor, bytes, sizeof bytes) > 0) {
    }
}

} // namespace corvelan
