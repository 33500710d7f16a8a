// Interposes the C library's fsync, fdatasync, rename family, openat, write, unlinkat and mkdirat
// in the test executable: every call from the tool's code reaches these first, then the C
// library's own.
#include "support/disk_calls.h"

#include <cstdarg>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelan::test {
namespace {

template <typename Function> Function real(const char *name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

FlushFault g_fault = FlushFault::None;
std::optional<DiskCall> g_heldFlush; // a file's flush, to be recorded after the next rename

// The flush of `fd` as recorded, or nothing when it is not to run.
std::optional<DiskCall> flushOf(int fd) {
    struct stat st {};
    if (!hooks::recording() || ::fstat(fd, &st) != 0) return std::nullopt;
    if (S_ISDIR(st.st_mode)) return DiskCall{DiskCall::FlushFolder, 0, st.st_ino, -1};
    return DiskCall{DiskCall::FlushFile, st.st_ino, 0, st.st_size};
}

bool leftOut(const std::optional<DiskCall> &flush) {
    if (!flush) return false;
    if (flush->kind == DiskCall::FlushFolder) return g_fault == FlushFault::NoFolderFlush;
    if (g_fault == FlushFault::FileFlushAfterRename) {
        g_heldFlush = flush;
        return true;
    }
    return g_fault == FlushFault::NoFileFlush;
}

std::string folderOf(const char *path) {
    const std::string p(path);
    const auto slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

std::string nameOf(const char *path) {
    const std::string p(path);
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// The inode of the folder `path` (relative to `at`) lies in.
std::uint64_t folderInode(int at, const char *path) {
    struct stat st {};
    return ::fstatat(at, folderOf(path).c_str(), &st, 0) == 0 ? st.st_ino : 0;
}

std::uint64_t inodeOf(int at, const char *path) {
    struct stat st {};
    return ::fstatat(at, path, &st, AT_SYMLINK_NOFOLLOW) == 0 ? st.st_ino : 0;
}

// What a rename from `from` (relative to `fromFolder`) into `to` will move, looked at before it.
DiskCall renameOf(int fromFolder, const char *from, int toFolder, const char *to) {
    DiskCall call{DiskCall::Rename, 0, 0, -1};
    struct stat st {};
    if (::fstatat(fromFolder, from, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        call.file = st.st_ino;
        call.size = st.st_size;
    }
    call.folder = folderInode(toFolder, to);
    call.fromFolder = folderInode(fromFolder, from);
    call.fromName = nameOf(from);
    call.name = nameOf(to);
    return call;
}

int recordRename(int result, const DiskCall &call) {
    if (result != 0) return result;
    hooks::record(call);
    if (g_heldFlush) hooks::record(*std::exchange(g_heldFlush, std::nullopt));
    return result;
}

void recordWrite(int fd, const void *bytes, ssize_t written, off_t offset) {
    struct stat st {};
    if (written <= 0 || !hooks::recording() || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return;
    DiskCall call{DiskCall::Write, st.st_ino, 0, st.st_size};
    call.offset = offset;
    call.bytes.assign(static_cast<const char *>(bytes), static_cast<std::size_t>(written));
    hooks::record(call);
}

int recordOpen(int fd, int at, const char *path, bool created) {
    if (fd >= 0 && created && hooks::recording()) {
        DiskCall call{DiskCall::Create, inodeOf(at, path), folderInode(at, path), 0};
        call.name = nameOf(path);
        hooks::record(call);
    }
    return fd;
}

template <typename Open>
int openAndRecord(Open open, int at, const char *path, int flags, va_list rest) {
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(rest, mode_t) : 0;
    const bool created = (flags & O_CREAT) && hooks::recording() && inodeOf(at, path) == 0;
    return recordOpen(open(at, path, flags, mode), at, path, created);
}

} // namespace

// The C library's functions are interposed when the test is linked: nothing to put in place.
void hooks::install() {}

void setFlushFault(FlushFault fault) {
    g_fault = fault;
    g_heldFlush.reset();
}

} // namespace corvelan::test

using corvelan::test::DiskCall;
using corvelan::test::real;
using corvelan::test::recordRename;
using corvelan::test::renameOf;
namespace hooks = corvelan::test::hooks;

namespace {

int flushAndRecord(int (*call)(int), int fd) {
    const auto flush = corvelan::test::flushOf(fd);
    if (corvelan::test::leftOut(flush)) return 0;
    const int result = call(fd);
    if (result == 0 && flush) hooks::record(*flush);
    return result;
}

// A removal or a new folder in `folder`, recorded when it succeeded.
int recordInFolder(int result, DiskCall::Kind kind, int at, const char *path, std::uint64_t node) {
    if (result == 0 && hooks::recording()) {
        DiskCall call{kind, node, corvelan::test::folderInode(at, path), -1};
        call.name = corvelan::test::nameOf(path);
        hooks::record(call);
    }
    return result;
}

} // namespace

extern "C" int fsync(int fd) {
    static const auto call = real<int (*)(int)>("fsync");
    return flushAndRecord(call, fd);
}

extern "C" int fdatasync(int fd) {
    static const auto call = real<int (*)(int)>("fdatasync");
    return flushAndRecord(call, fd);
}

extern "C" int openat(int at, const char *path, int flags, ...) {
    static const auto call = real<int (*)(int, const char *, int, ...)>("openat");
    va_list rest;
    va_start(rest, flags);
    const int fd = corvelan::test::openAndRecord(call, at, path, flags, rest);
    va_end(rest);
    return fd;
}

extern "C" int openat64(int at, const char *path, int flags, ...) {
    static const auto call = real<int (*)(int, const char *, int, ...)>("openat64");
    va_list rest;
    va_start(rest, flags);
    const int fd = corvelan::test::openAndRecord(call, at, path, flags, rest);
    va_end(rest);
    return fd;
}

extern "C" ssize_t write(int fd, const void *bytes, size_t size) {
    static const auto call = real<ssize_t (*)(int, const void *, size_t)>("write");
    const off_t offset = hooks::recording() ? ::lseek(fd, 0, SEEK_CUR) : 0;
    const ssize_t written = call(fd, bytes, size);
    corvelan::test::recordWrite(fd, bytes, written, offset);
    return written;
}

extern "C" ssize_t pwrite(int fd, const void *bytes, size_t size, off_t offset) {
    static const auto call = real<ssize_t (*)(int, const void *, size_t, off_t)>("pwrite");
    const ssize_t written = call(fd, bytes, size, offset);
    corvelan::test::recordWrite(fd, bytes, written, offset);
    return written;
}

extern "C" int unlinkat(int at, const char *path, int flags) noexcept {
    static const auto call = real<int (*)(int, const char *, int)>("unlinkat");
    const std::uint64_t node = hooks::recording() ? corvelan::test::inodeOf(at, path) : 0;
    return recordInFolder(call(at, path, flags),
                          (flags & AT_REMOVEDIR) ? DiskCall::RemoveFolder : DiskCall::Remove, at,
                          path, node);
}

extern "C" int mkdirat(int at, const char *path, mode_t mode) noexcept {
    static const auto call = real<int (*)(int, const char *, mode_t)>("mkdirat");
    const int result = call(at, path, mode);
    return recordInFolder(result, DiskCall::MakeFolder, at, path,
                          result == 0 && hooks::recording() ? corvelan::test::inodeOf(at, path)
                                                            : 0);
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
