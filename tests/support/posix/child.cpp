#include "support/child.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <utility>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace corvelan::test {

// The high-water mark of this process's own memory. Not getrusage's ru_maxrss: Linux carries the
// parent's resident size across fork and exec into it, so a child of a large parent would not see
// its own peak below the parent's.
std::uint64_t peakMemoryBytes() {
    std::FILE *status = std::fopen("/proc/self/status", "r");
    if (status) {
        char line[256];
        unsigned long long kilobytes = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "VmHWM: %llu kB", &kilobytes) == 1;
        std::fclose(status);
        if (found) return kilobytes * 1024;
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}

Result<Child> Child::start(const std::string &executable, const std::vector<std::string> &arguments,
                           const std::vector<std::string> &environment) {
    std::vector<std::string> words{executable};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<std::string> current;
    for (char **e = environ; *e; ++e)
        current.emplace_back(*e);
    std::vector<std::string> variables = withVariables(current, environment);
    auto pointers = [](std::vector<std::string> &strings) {
        std::vector<char *> out;
        for (std::string &s : strings)
            out.push_back(s.data());
        out.push_back(nullptr);
        return out;
    };
    std::vector<char *> argv = pointers(words);
    std::vector<char *> envp = pointers(variables);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return notStarted(errno, executable);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = 0;
    const int spawned =
        ::posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return notStarted(spawned, executable);
    }
    return Child(pid, out[0]);
}

Child::Child(Child &&other) noexcept
    : m_process(std::exchange(other.m_process, -1)), m_output(std::exchange(other.m_output, -1)),
      m_exitCode(other.m_exitCode) {}

Child::~Child() {
    if (m_process >= 0 && running()) terminate();
    wait();
}

std::string Child::read(std::size_t size) {
    std::string piece(size, '\0');
    while (m_output >= 0) {
        const ssize_t n = ::read(static_cast<int>(m_output), piece.data(), size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        piece.resize(static_cast<std::size_t>(n));
        return piece;
    }
    return {};
}

bool Child::running() {
    if (m_process < 0) return false;
    int status = 0;
    const pid_t done = ::waitpid(static_cast<pid_t>(m_process), &status, WNOHANG);
    if (done == 0) return true;
    m_exitCode = done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_process = -1;
    return false;
}

bool Child::terminate() {
    return running() && ::kill(static_cast<pid_t>(m_process), SIGKILL) == 0;
}

int Child::wait() {
    if (m_process >= 0) {
        int status = 0;
        pid_t done = 0;
        while ((done = ::waitpid(static_cast<pid_t>(m_process), &status, 0)) < 0 &&
               errno == EINTR) {
        }
        m_exitCode = done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_process = -1;
    }
    if (m_output >= 0) ::close(static_cast<int>(std::exchange(m_output, -1)));
    return m_exitCode;
}

} // namespace corvelan::test
