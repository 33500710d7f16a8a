// Interposes the C library's fsync, fdatasync and rename family in the test executable: every
// call from the tool's code reaches these first, then the C library's own.
#include "support/disk_calls.h"

#include <cstdio>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelan::test {
namespace {

template <typename Function> Function real(const char *name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

void recordFlush(int fd) {
    struct stat st {};
    if (!hooks::recording() || ::fstat(fd, &st) != 0) return;
    if (S_ISDIR(st.st_mode))
        hooks::record({DiskCall::FlushFolder, 0, st.st_ino, -1});
    else
        hooks::record({DiskCall::FlushFile, st.st_ino, 0, st.st_size});
}

std::string folderOf(const char *path) {
    const std::string p(path);
    const auto slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

// What a rename from `from` (relative to `fromFolder`) into `to` will move, looked at before it.
DiskCall renameOf(int fromFolder, const char *from, int toFolder, const char *to) {
    DiskCall call{DiskCall::Rename, 0, 0, -1};
    struct stat st {};
    if (::fstatat(fromFolder, from, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        call.file = st.st_ino;
        call.size = st.st_size;
    }
    if (::fstatat(toFolder, folderOf(to).c_str(), &st, 0) == 0) call.folder = st.st_ino;
    return call;
}

int recordRename(int result, const DiskCall &call) {
    if (result == 0) hooks::record(call);
    return result;
}

} // namespace

// The C library's functions are interposed when the test is linked: nothing to put in place.
void hooks::install() {}

} // namespace corvelan::test

using corvelan::test::real;
using corvelan::test::recordFlush;
using corvelan::test::recordRename;
using corvelan::test::renameOf;

extern "C" int fsync(int fd) {
    static const auto call = real<int (*)(int)>("fsync");
    const int result = call(fd);
    if (result == 0) recordFlush(fd);
    return result;
}

extern "C" int fdatasync(int fd) {
    static const auto call = real<int (*)(int)>("fdatasync");
    const int result = call(fd);
    if (result == 0) recordFlush(fd);
    return result;
}

extern "C" int rename(const char *from, const char *to) noexcept {
    static const auto call = real<int (*)(const char *, const char *)>("rename");
    const auto planned = renameOf(AT_FDCWD, from, AT_FDCWD, to);
    return recordRename(call(from, to), planned);
}

extern "C" int renameat(int fromFolder, const char *from, int toFolder, const char *to) noexcept {
    static const auto call = real<int (*)(int, const char *, int, const char *)>("renameat");
    const auto planned = renameOf(fromFolder, from, toFolder, to);
    return recordRename(call(fromFolder, from, toFolder, to), planned);
}

extern "C" int renameat2(int fromFolder, const char *from, int toFolder, const char *to,
                         unsigned flags) noexcept {
    static const auto call =
        real<int (*)(int, const char *, int, const char *, unsigned)>("renameat2");
    const auto planned = renameOf(fromFolder, from, toFolder, to);
    return recordRename(call(fromFolder, from, toFolder, to, flags), planned);
}
