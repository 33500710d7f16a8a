#include "platform/process.h"

#include "platform/file_system.h"
#include "platform/process_primitives.h"
#include "platform/trust.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace corvelan::fs {

Result<std::string> currentFolder() {
    char path[PATH_MAX];
    if (!::getcwd(path, sizeof path))
        return systemError(errno, ".", FileOperation::FindCurrentFolder);
    return std::string(path);
}

bool runsElevated() {
    return ::geteuid() == 0;
}

void guardAgainstPlantedLinks() {} // Linux has no such guard; the proof of folders does the work

} // namespace corvelan::fs

namespace corvelan::process {

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

void *allocateOnLargePages(std::size_t size) {
    // Transparent huge pages are given to aligned blocks that ask for them: a 50 MB document
    // then fills with a few dozen faults instead of twelve thousand.
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    if (size < 2 * kLargePage) return nullptr;
    const std::size_t rounded = (size + kLargePage - 1) & ~(kLargePage - 1);
    void *block = std::aligned_alloc(kLargePage, rounded);
    if (block) ::madvise(block, rounded, MADV_HUGEPAGE); // advice: a refusal changes nothing
    return block;
}

Result<std::string> ownExecutable() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n < 0) return systemError(errno, "/proc/self/exe", fs::FileOperation::FindOwnExecutable);
    path[n] = '\0';
    return std::string(path);
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
    if (::pipe2(out, O_CLOEXEC) != 0)
        return systemError(errno, executable, fs::FileOperation::Open);
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
        return systemError(spawned, executable, fs::FileOperation::Open);
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

} // namespace corvelan::process
