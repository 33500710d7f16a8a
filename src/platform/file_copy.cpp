// Copying a file over another within a held folder: the copy is written to a temporary file
// and renamed over the destination, and only when the source still holds the bytes it was checked
// with.
#include "base/sha256.h"
#include "platform/fault_seam.h"
#include "platform/file_primitives.h"
#include "platform/file_protocol.h"
#include "platform/file_system.h"
#include "platform/retry.h"

#include <cerrno>
#include <optional>
#include <vector>

namespace corvelan::fs {
namespace {

// Whether a copy of `source` may go to `name` within `folder`: true when it names `source` itself
// (nothing to do), false when it may be written; refused when it is a folder, not a regular file,
// read-only, or a link that may not be followed.
Result<bool> isCopyOntoItself(const OpenFile &source, const Folder &folder, std::string_view name) {
    const std::string to = joinPath(folder.path(), name);
    const host::PathState state = host::stateIn(folder, name, folder.links());
    if (state.kind == host::PathState::Kind::Missing) return false;
    if (state.kind == host::PathState::Kind::Link) return makeError(ErrorCode::LinksElsewhere, to);
    if (state.inode != 0 && state.device == source.stamp().device &&
        state.inode == source.stamp().inode)
        return true;
    if (state.kind == host::PathState::Kind::Folder) return makeError(ErrorCode::NotAFile, to);
    if (state.kind == host::PathState::Kind::Other) return makeError(ErrorCode::NotRegularFile, to);
    if (state.readOnly) {
        Error e = makeError(ErrorCode::ReadOnly, to);
        e.sysErrno = EACCES;
        return e;
    }
    return false;
}

} // namespace

Status copyFile(OpenFile &source, const Folder &folder, std::string_view name) {
    auto itself = isCopyOntoItself(source, folder, name);
    if (!itself) return itself.error();
    if (itself.value()) return {};
    auto file = ReplacementFile::create(folder, name);
    if (!file) return file.error();
    const std::string to = joinPath(folder.path(), name);
    const std::string &from = source.path();
    // Only a source read whole before (the checked description) has a digest to compare with; a
    // picture opened for the copy is not hashed at all.
    std::optional<Sha256> digest;
    if (source.sha256()) digest.emplace();
    std::vector<char> buffer(1 << 16);
    std::uint64_t at = 0;
    while (true) {
        if (auto refused = refusedByGate(FileOperation::Read, from)) return *refused;
        auto got = source.readAt(buffer.data(), buffer.size(), at); // waits for a held range
        if (!got) return got.error();
        if (got.value() == 0) break;
        const std::string_view bytes(buffer.data(), got.value());
        if (digest) digest->add(bytes);
        at += got.value();
        if (Status s = file->write(bytes, to); !s) return s;
    }
    // What is copied must be what was checked: the same bytes, from a file nobody wrote since.
    if (Status s = source.checkUnchanged(); !s) return s;
    if (digest && *source.sha256() != digest->hex())
        return changedOnDisk(from, FileOperation::Read);
    auto committed = file->commit(nullptr);
    return committed ? Status() : Status(committed.error());
}

namespace {

Result<OpenFile> openSource(const std::string &from) {
    return retrying([&]() -> Result<OpenFile> {
        if (auto refused = refusedByGate(FileOperation::OpenSource, from)) return *refused;
        return OpenFile::open(from);
    });
}

} // namespace

Result<Replacement> rehearseCopy(const OpenFile &source, const Folder &folder,
                                 std::string_view name) {
    auto itself = isCopyOntoItself(source, folder, name);
    if (!itself) return itself.error();
    if (itself.value()) return Replacement::Keeps;
    return rehearseReplace(folder, name);
}

Result<Replacement> rehearseCopy(const std::string &from, const Folder &folder,
                                 std::string_view name) {
    auto source = openSource(from);
    if (!source) return source.error();
    return rehearseCopy(source.value(), folder, name);
}

Status copyFile(const std::string &from, const Folder &folder, std::string_view name) {
    auto source = openSource(from);
    if (!source) return source.error();
    return copyFile(source.value(), folder, name);
}

namespace {

// Whether `name` within `folder` holds a file to remove; refused as a copy's destination is when
// it is a folder, not a regular file, or a link that may not be followed.
Result<bool> holdsRemovable(const Folder &folder, std::string_view name) {
    const std::string path = joinPath(folder.path(), name);
    switch (host::stateIn(folder, name, folder.links()).kind) {
    case host::PathState::Kind::Missing:
        return false;
    case host::PathState::Kind::File:
        return true;
    case host::PathState::Kind::Link:
        return makeError(ErrorCode::LinksElsewhere, path);
    case host::PathState::Kind::Folder:
        return makeError(ErrorCode::NotAFile, path);
    case host::PathState::Kind::Other:
        break;
    }
    return makeError(ErrorCode::NotRegularFile, path);
}

} // namespace

Status removeFile(const Folder &folder, std::string_view name) {
    auto present = holdsRemovable(folder, name);
    if (!present) return present.error();
    if (!present.value()) return {};
    const std::string path = joinPath(folder.path(), name);
    Status removed = retrying([&]() -> Status {
        if (auto refused = refusedByGate(FileOperation::RemoveFile, path)) return *refused;
        if (Status s = host::removeIfStale(folder, name); !s) return s;
        if (host::stateIn(folder, name, Links::Refuse).kind == host::PathState::Kind::Missing)
            return {};
        // Another program holds it open, and it stays.
        return systemError(EBUSY, path, FileOperation::RemoveFile);
    });
    if (!removed) return explained(removed.error());
    host::flushFolder(folder);
    return {};
}

Result<Replacement> rehearseRemove(const Folder &folder, std::string_view name) {
    auto present = holdsRemovable(folder, name);
    if (!present) return present.error();
    if (!present.value()) return Replacement::Keeps;
    const std::string path = joinPath(folder.path(), name);
    Status may = retrying([&]() -> Status {
        if (auto refused = refusedByGate(FileOperation::RemoveFile, path)) return *refused;
        return host::mayReplaceIn(folder, name);
    });
    if (!may) {
        Error e = explained(may.error());
        e.path = path;
        return e;
    }
    return Replacement::Removes;
}

} // namespace corvelan::fs
