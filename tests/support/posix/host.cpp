#include "support/host.h"

#include "support/hostile_corpus.h"
#include "support/temp_prefix.h"

#include <filesystem>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace corvelan::test {

void plantNeverReadTrap() {
    ::unlink(kNeverReadPath);
    ::mkfifo(kNeverReadPath, 0600);
}

void removeNeverReadTrap() {
    ::unlink(kNeverReadPath);
}

std::int64_t modifiedTime(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

std::int64_t changedTime(const std::string &path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return -1;
    return std::int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
}

void setModifiedTime(const std::string &path, std::int64_t nanoseconds) {
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(nanoseconds / 1000000000),
                                static_cast<long>(nanoseconds % 1000000000)}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

int runUnprivileged(const std::function<int()> &body) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (::geteuid() == 0) {
            const passwd *nobody = ::getpwnam("nobody");
            if (!nobody || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
                ::_exit(120);
        }
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

void giveToNobody(const char *path) {
    if (::geteuid() != 0) return;
    if (const passwd *nobody = ::getpwnam("nobody")) [[maybe_unused]]
        int rc = ::lchown(path, nobody->pw_uid, nobody->pw_gid);
}

void giveTreeToNobody(const std::string &path) {
    giveToNobody(path.c_str());
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        giveToNobody(it->path().c_str());
}

bool writeFileSpelledExactly(const std::string &folder, const std::string &name,
                             std::string_view bytes) {
    writeFile(folder + "/" + name, bytes);
    return true;
}

bool makeSymbolicLink(const std::string &target, const std::string &link) {
    return ::symlink(target.c_str(), link.c_str()) == 0;
}

bool makeHardLink(const std::string &target, const std::string &link) {
    return ::link(target.c_str(), link.c_str()) == 0;
}

} // namespace corvelan::test
