#include "platform/process.h"

#include "platform/file_system.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

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

namespace corvelan::process {

ChildRun runSelf(const std::vector<std::string> &arguments,
                 const std::vector<std::string> &environment) {
    ChildRun run;
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n < 0) return run;
    self[n] = '\0';
    std::vector<std::string> strings{self};
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    // The environment as it is, but for the names given anew.
    std::vector<std::string> variables = environment;
    for (char **e = environ; *e; ++e) {
        const std::string_view name(*e, std::strcspn(*e, "="));
        bool replaced = false;
        for (const std::string &v : environment)
            replaced = replaced || (v.size() > name.size() &&
                                    v.compare(0, name.size(), name) == 0 && v[name.size()] == '=');
        if (!replaced) variables.emplace_back(*e);
    }
    std::vector<char *> envp;
    for (std::string &v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);

    int out[2];
    if (::pipe(out) != 0) return run;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, self, &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned == 0) {
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(out[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
            if (got > 0) run.output.append(buffer, static_cast<std::size_t>(got));
        int status = 0;
        if (::waitpid(child, &status, 0) == child && WIFEXITED(status))
            run.exitCode = WEXITSTATUS(status);
    }
    ::close(out[0]);
    return run;
}

} // namespace corvelan::process
