// The file layer's protocol, written once over each platform's primitives
// (platform/file_primitives.h): reading, the unchanged check, replacing and copying, and the
// cleanup of stale temporary files. Every gate of the fault seam is asked here.
#include "platform/file_system.h"

#include "base/sha256.h"
#include "platform/fault_seam.h"
#include "platform/file_primitives.h"
#include "platform/file_protocol.h"
#include "platform/folder_listing.h"
#include "platform/retry.h"
#include "platform/temporary_names.h"

#include <algorithm>
#include <cerrno>
#include <random>
#include <utility>
#include <vector>

namespace corvelan::fs {
namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;

// Closes a host handle once.
class HandleCloser {
public:
    explicit HandleCloser(host::Handle file) : m_file(file) {}
    HandleCloser(const HandleCloser &) = delete;
    HandleCloser &operator=(const HandleCloser &) = delete;
    ~HandleCloser() { host::close(m_file); }
    [[nodiscard]] host::Handle get() const { return m_file; }

private:
    host::Handle m_file;
};

std::string randomLetters(std::size_t count) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937_64 random(std::random_device{}());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += kAlphabet[pick(random)];
    return out;
}

// Removes the temporary files that killed saves and copies left in `folder`, whatever file they
// were for: those of the tool's naming pattern that no process holds. A live one, of this or
// another copy of the tool, is held and stays. The names are only read through the path; each is
// reached and removed through the folder's handle.
void removeStaleTemporaries(const Folder &folder) {
    auto contents = listFolder(folder.path());
    if (!contents) return;
    for (const std::string &name : contents->files)
        if (isTemporaryFileName(name))
            (void)retrying([&] { return host::removeIfStale(folder, name); });
}

} // namespace

Error changedOnDisk(const std::string &path, FileOperation operation) {
    Error e = makeError(ErrorCode::ChangedOnDisk, path);
    e.operation = operation;
    return e;
}

std::optional<Error> refusedByGate(FileOperation operation, const std::string &path) {
    if (const int e = gate(operation, path)) return systemError(e, path, operation);
    return std::nullopt;
}

// --- OpenFile ---------------------------------------------------------------------------------

OpenFile::OpenFile(std::string path, std::intptr_t handle)
    : m_path(std::move(path)), m_handle(handle) {}

OpenFile::OpenFile(OpenFile &&other) noexcept
    : m_path(std::move(other.m_path)), m_handle(std::exchange(other.m_handle, host::kNoHandle)),
      m_stamp(other.m_stamp), m_sha256(std::move(other.m_sha256)) {}

OpenFile &OpenFile::operator=(OpenFile &&other) noexcept {
    if (this != &other) {
        close();
        m_path = std::move(other.m_path);
        m_handle = std::exchange(other.m_handle, host::kNoHandle);
        m_stamp = other.m_stamp;
        m_sha256 = std::move(other.m_sha256);
    }
    return *this;
}

OpenFile::~OpenFile() {
    close();
}

void OpenFile::close() {
    if (m_handle != host::kNoHandle) host::close(m_handle);
    m_handle = host::kNoHandle;
}

Result<OpenFile> OpenFile::open(const std::string &hostPath) {
    host::Look look;
    auto handle = retrying([&] { return host::openRegular(hostPath, look); });
    if (!handle) return handle.error();
    OpenFile file(hostPath, handle.value());
    file.m_stamp = look.stamp;
    return file;
}

Result<OpenFile> OpenFile::openIn(const Folder &folder, std::string_view name) {
    host::Look look;
    auto handle = retrying([&] { return host::openRegularIn(folder, name, folder.links(), look); });
    if (!handle) return handle.error();
    OpenFile file(joinPath(folder.path(), name), handle.value());
    file.m_stamp = look.stamp;
    return file;
}

Result<std::size_t> OpenFile::readAt(char *buffer, std::size_t size, std::uint64_t offset) const {
    // A range another program locked refuses reads until it lets go (ERROR_LOCK_VIOLATION).
    return retrying([&] { return host::readAt(m_handle, buffer, size, offset, m_path); });
}

Status OpenFile::checkUnchanged() const {
    // Size and write time: the change time also moves when the file is only renamed or unlinked,
    // which leaves its bytes, the ones that were checked, as they were.
    auto now = host::lookAt(m_handle, m_path);
    if (!now) return now.error();
    if (now->stamp != m_stamp) return changedOnDisk(m_path, FileOperation::Read);
    return {};
}

Status OpenFile::readAll(std::size_t pieceSize,
                         const std::function<Status(std::string_view, bool last)> &piece) {
    m_sha256.reset();
    Sha256 digest;
    std::vector<char> buffer(pieceSize);
    std::uint64_t at = 0;
    while (true) {
        auto got = readAt(buffer.data(), buffer.size(), at);
        if (!got) return got.error();
        const std::string_view bytes(buffer.data(), got.value());
        digest.add(bytes);
        at += got.value();
        const bool last = got.value() == 0;
        // Every byte was read, whatever `piece` makes of the last call.
        if (last) m_sha256 = digest.hex();
        if (Status s = piece(bytes, last); !s) return s;
        if (last) return {};
    }
}

// --- The unchanged check ---------------------------------------------------------------------

Status checkUnchanged(const Folder &folder, std::string_view name, const ReplaceGuard &guard) {
    if (guard.stamp.size < 0) return {};
    const std::string hostPath = joinPath(folder.path(), name);
    host::Look first;
    // The gates stand in for the calls they guard, so that a refusal they make is judged as the
    // system's own would be.
    auto opened = retrying([&]() -> Result<host::Handle> {
        if (auto refused = refusedByGate(FileOperation::Check, hostPath)) return *refused;
        return host::openRegularIn(folder, name, folder.links(), first);
    });
    if (!opened) {
        // Removed, or replaced by something that is no file: not what was read. Any other
        // failure (held, no rights, the disk) stops the save as it is.
        const ErrorCode why = opened.error().code;
        if (why == ErrorCode::NotFound || why == ErrorCode::NotAFile ||
            why == ErrorCode::NotRegularFile || why == ErrorCode::LinksElsewhere)
            return changedOnDisk(hostPath, FileOperation::Check);
        return opened.error();
    }
    const HandleCloser file(opened.value());
    if (first.stamp != guard.stamp) return changedOnDisk(hostPath, FileOperation::Check);
    // Compared a piece at a time, so that the check needs no second copy of the file.
    std::vector<char> piece(kPiece);
    std::string_view expected = guard.bytes;
    std::uint64_t at = 0;
    while (true) {
        // A read that fails says why, as any other: a file another program locked for a moment
        // is waited for, one the user may no longer read says so.
        auto got = retrying([&]() -> Result<std::size_t> {
            if (auto refused = refusedByGate(FileOperation::Compare, hostPath)) return *refused;
            return host::readAt(file.get(), piece.data(), piece.size(), at, hostPath);
        });
        if (!got) return got.error();
        if (got.value() == 0) break;
        const std::string_view bytes(piece.data(), got.value());
        if (!expected.starts_with(bytes)) return changedOnDisk(hostPath, FileOperation::Compare);
        expected.remove_prefix(bytes.size());
        at += got.value();
    }
    if (!expected.empty()) return changedOnDisk(hostPath, FileOperation::Compare);
    // A write while the bytes were compared, even one of the same size into a part already
    // compared, moved the change time; a file renamed over the path is another file.
    auto again = host::lookAt(file.get(), hostPath);
    const host::PathState named = host::stateIn(folder, name, folder.links());
    if (!again || again.value() != first || named.device != first.stamp.device ||
        named.inode != first.stamp.inode)
        return changedOnDisk(hostPath, FileOperation::Compare);
    return {};
}

// --- ReplacementFile --------------------------------------------------------------------------

ReplacementFile::ReplacementFile(const Folder &folder, std::optional<Folder> followed,
                                 std::string target, std::string temp, std::intptr_t handle)
    : m_folder(&folder), m_followed(std::move(followed)), m_target(std::move(target)),
      m_temp(std::move(temp)), m_handle(handle) {}

ReplacementFile::ReplacementFile(ReplacementFile &&other) noexcept
    : m_folder(other.m_folder), m_followed(std::move(other.m_followed)),
      m_target(std::move(other.m_target)), m_temp(std::exchange(other.m_temp, std::string())),
      m_handle(std::exchange(other.m_handle, host::kNoHandle)) {}

ReplacementFile::~ReplacementFile() {
    if (m_handle == host::kNoHandle) return;
    if (m_temp.empty())
        host::close(m_handle);
    else
        host::discard(m_handle, folder(), m_temp);
}

namespace {

// Where a replacement of `name` within `folder` goes: followed, a symbolic link stays a link and
// the file behind it is replaced, in its own folder (then held here).
Result<std::string> replacedName(const Folder &folder, std::string_view name,
                                 std::optional<Folder> &followed) {
    if (folder.links() == Links::Refuse) return std::string(name);
    auto behind = host::linkTarget(folder, name);
    if (!behind) return behind.error();
    if (!behind.value()) return std::string(name);
    auto opened = Folder::open(folderOf(*behind.value()));
    if (!opened) return opened.error();
    followed = std::move(opened).value();
    return nameOf(*behind.value());
}

} // namespace

Result<ReplacementFile> ReplacementFile::create(const Folder &folder, std::string_view name) {
    std::optional<Folder> followed;
    auto replaced = replacedName(folder, name, followed);
    if (!replaced) return replaced.error();
    std::string target = std::move(replaced).value();
    const Folder &in = followed ? *followed : folder;
    const std::string subject = joinPath(in.path(), target);
    removeStaleTemporaries(in);
    // Another copy of the tool may take a new file for a stale one in the moment before it is
    // locked, or have taken the name: then another name is tried.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = temporaryName(target, randomLetters(kTemporaryRandomLength));
        auto created = retrying([&]() -> Result<host::Handle> {
            if (auto refused = refusedByGate(FileOperation::CreateTemp, subject)) return *refused;
            return host::createLocked(in, temp);
        });
        if (created)
            return ReplacementFile(folder, std::move(followed), std::move(target), std::move(temp),
                                   created.value());
        if (created.error().sysErrno != EEXIST || created.error().code != ErrorCode::System) {
            Error e = created.error();
            e.path = subject;
            return e;
        }
    }
    return systemError(EEXIST, subject, FileOperation::CreateTemp);
}

Status ReplacementFile::write(std::string_view bytes, const std::string &subject) {
    while (!bytes.empty()) {
        if (auto refused = refusedByGate(FileOperation::Write, subject)) return *refused;
        auto written = host::write(m_handle, bytes.data(), std::min(bytes.size(), kPiece), subject);
        if (!written) return written.error();
        bytes.remove_prefix(written.value());
    }
    return {};
}

Result<FileStamp> ReplacementFile::commit(const ReplaceGuard *guard) {
    const Folder &in = folder();
    const std::string t = joinPath(in.path(), m_target);
    const host::PathState target = host::stateIn(in, m_target, in.links());
    if (target.kind == host::PathState::Kind::Link) return makeError(ErrorCode::LinksElsewhere, t);
    // Owner first: it may clear set-id bits; the security next (under Wine it sets the mode);
    // attributes need write permission, so the permissions (read-only) go last.
    if (auto refused = refusedByGate(FileOperation::SetOwner, t)) return *refused;
    if (Status s = host::giveOwner(m_handle, target, t); !s) return s.error();
    if (auto refused = refusedByGate(FileOperation::SetSecurity, t)) return *refused;
    if (Status s = host::giveSecurity(m_handle, target, t); !s) return s.error();
    if (auto refused = refusedByGate(FileOperation::CopyAttributes, t)) return *refused;
    if (Status s = host::giveAttributes(m_handle, in, m_target, target, t); !s) return s.error();
    if (auto refused = refusedByGate(FileOperation::SetMode, t)) return *refused;
    if (Status s = host::givePermissions(m_handle, target, t); !s) return s.error();
    // A failed flush is never retried: the system may have dropped the unwritten pages, so a
    // second call could report success for data that is gone.
    if (auto refused = refusedByGate(FileOperation::Flush, t)) return *refused;
    if (Status s = host::flush(m_handle, t); !s) return s.error();
    auto written = host::lookAt(m_handle, t);
    if (!written) return written.error();
    // The check is the last look before each try of the rename, so that no try replaces what
    // another program wrote while the target was held. What remains: a write that lands between
    // the check's last look and the rename is replaced. Neither POSIX nor Windows has a rename
    // that first checks what it replaces, so that window cannot be closed, only kept this small.
    const Status renamed = retrying([&]() -> Status {
        if (guard)
            if (Status s = checkUnchanged(in, m_target, *guard); !s) return s;
        if (auto refused = refusedByGate(FileOperation::Rename, t)) return *refused;
        // The rename goes into the folder held, wherever it lies now; a folder moved away (and
        // something else put at its path) is not where the user asked for the file.
        if (!in.resolved().empty() && host::resolvedPath(in.handle()) != in.resolved())
            return makeError(ErrorCode::FolderMoved, in.path());
        return host::renameOver(m_handle, in, m_temp, m_target, target);
    });
    if (!renamed) return renamed.error();
    m_temp.clear();
    host::close(std::exchange(m_handle, host::kNoHandle));
    // The rename is only durable once the folder is flushed; the new content is in place whatever
    // this answers, so a failure here is not reported.
    if (gate(FileOperation::FlushFolder, t) == 0) host::flushFolder(in);
    return written->stamp;
}

// --- Replacing and copying --------------------------------------------------------------------

Result<Replacement> rehearseReplace(const Folder &folder, std::string_view name) {
    std::optional<Folder> followed;
    auto target = replacedName(folder, name, followed);
    if (!target) return target.error();
    const Folder &in = followed ? *followed : folder;
    const std::string subject = joinPath(in.path(), target.value());
    Status may = retrying([&]() -> Status {
        if (auto refused = refusedByGate(FileOperation::CreateTemp, subject)) return *refused;
        return host::mayReplaceIn(in, target.value());
    });
    if (!may) {
        Error e = may.error();
        e.path = subject;
        return e;
    }
    const host::PathState state = host::stateIn(in, target.value(), Links::Refuse);
    return state.kind == host::PathState::Kind::Missing ? Replacement::Creates
                                                        : Replacement::Replaces;
}

Result<FileStamp> replaceFile(const Folder &folder, std::string_view name,
                              std::span<const std::string_view> pieces, const ReplaceGuard *guard) {
    auto file = ReplacementFile::create(folder, name);
    if (!file) return file.error();
    const std::string subject = joinPath(folder.path(), name);
    for (std::string_view piece : pieces)
        if (Status s = file->write(piece, subject); !s) return s.error();
    return file->commit(guard);
}

} // namespace corvelan::fs
