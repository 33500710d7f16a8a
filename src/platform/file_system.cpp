// The part of the file layer both platforms share: what they do alike is written once, on the
// platform's own reads, locks and renames (platform/posix, platform/win32).
#include "platform/file_system.h"

#include "platform/file_operations.h"
#include "platform/file_system_parts.h"
#include "platform/fingerprint.h"

#include <utility>
#include <vector>

namespace corvelan::fs {

OpenFile::OpenFile(std::string path, std::intptr_t handle)
    : m_path(std::move(path)), m_handle(handle) {}

OpenFile::OpenFile(OpenFile &&other) noexcept
    : m_path(std::move(other.m_path)), m_handle(std::exchange(other.m_handle, -1)),
      m_stamp(other.m_stamp), m_fingerprint(std::move(other.m_fingerprint)) {}

OpenFile &OpenFile::operator=(OpenFile &&other) noexcept {
    if (this != &other) {
        close();
        m_path = std::move(other.m_path);
        m_handle = std::exchange(other.m_handle, -1);
        m_stamp = other.m_stamp;
        m_fingerprint = std::move(other.m_fingerprint);
    }
    return *this;
}

OpenFile::~OpenFile() {
    close();
}

Status OpenFile::readAll(std::size_t pieceSize,
                         const std::function<Status(std::string_view, bool last)> &piece) {
    m_fingerprint.reset();
    Fingerprint print;
    std::vector<char> buffer(pieceSize);
    std::uint64_t at = 0;
    while (true) {
        auto got = readAt(buffer.data(), buffer.size(), at);
        if (!got) return got.error();
        const std::string_view bytes(buffer.data(), got.value());
        print.add(bytes);
        at += got.value();
        const bool last = got.value() == 0;
        if (last) m_fingerprint = print.value();
        if (Status s = piece(bytes, last); !s) {
            m_fingerprint.reset();
            return s;
        }
        if (last) return {};
    }
}

Result<std::string>
readFileInPieces(const std::string &hostPath, std::uint64_t maxSize, FileStamp *stamp,
                 const std::function<Status(std::string_view soFar, bool last)> &piece) {
    auto tooLarge = [&] {
        return makeError(ErrorCode::TooLarge, hostPath,
                         "The file is larger than " + std::to_string(maxSize >> 20) + " MiB");
    };
    auto file = OpenFile::open(hostPath);
    if (!file) return file.error();
    if (stamp) *stamp = file->stamp();
    const auto size = static_cast<std::uint64_t>(file->stamp().size);
    if (size > maxSize) return tooLarge();
    constexpr std::size_t kPiece = 1 << 20;
    std::string bytes;
    // Room for the last read too, so that the buffer is not moved at the end of the file.
    bytes.reserve(static_cast<std::size_t>(size) + kPiece);
    while (true) {
        const std::size_t done = bytes.size();
        // The file may have grown since it was opened: read until its end, within the limit.
        bytes.resize(done + kPiece);
        auto got = file->readAt(bytes.data() + done, kPiece, done);
        if (!got) return got.error();
        bytes.resize(done + got.value());
        if (bytes.size() > maxSize) return tooLarge();
        if (piece)
            if (Status s = piece(bytes, got.value() == 0); !s) return s.error();
        if (got.value() == 0) return bytes;
    }
}

Result<std::string> readFile(const std::string &hostPath, std::uint64_t maxSize, FileStamp *stamp) {
    return readFileInPieces(hostPath, maxSize, stamp, nullptr);
}

ReplacementFile::ReplacementFile(std::string target, std::string temp, std::intptr_t handle)
    : m_target(std::move(target)), m_temp(std::move(temp)), m_handle(handle) {}

ReplacementFile::ReplacementFile(ReplacementFile &&other) noexcept
    : m_target(std::move(other.m_target)), m_temp(std::exchange(other.m_temp, std::string())),
      m_handle(std::exchange(other.m_handle, -1)) {}

Result<FileStamp> replaceFileContent(const std::string &hostPath, std::string_view bytes,
                                     const ReplaceGuard *guard) {
    auto target = detail::replacementTarget(hostPath);
    if (!target) return target.error();
    auto file = ReplacementFile::create(target.value());
    if (!file) return file.error();
    if (Status s = file->write(bytes, hostPath); !s) return s.error();
    return file->commit(guard);
}

Status copyFile(OpenFile &source, const std::string &to) {
    auto itself = detail::isCopyOntoItself(source, to);
    if (!itself) return itself.error();
    if (itself.value()) return {};
    auto target = detail::replacementTarget(to);
    if (!target) return target.error();
    auto file = ReplacementFile::create(target.value());
    if (!file) return file.error();
    const std::string &from = source.path();
    Fingerprint print;
    std::vector<char> buffer(1 << 16);
    std::uint64_t at = 0;
    while (true) {
        if (int e = gate(FileOperation::Read, from)) return systemError(e, from, "cannot read");
        auto got = source.readAt(buffer.data(), buffer.size(), at);
        if (!got) return got.error();
        if (got.value() == 0) break;
        const std::string_view bytes(buffer.data(), got.value());
        print.add(bytes);
        at += got.value();
        if (Status s = file->write(bytes, to); !s) return s;
    }
    // What is copied must be what was checked: the same bytes, from a file nobody wrote since.
    if (Status s = source.checkUnchanged(); !s) return s;
    if (source.fingerprint() && *source.fingerprint() != print.value())
        return makeError(ErrorCode::ChangedOnDisk, from,
                         "Another program changed the file after it was checked");
    auto committed = file->commit(nullptr);
    return committed ? Status() : Status(committed.error());
}

Status copyFile(const std::string &from, const std::string &to) {
    if (int e = gate(FileOperation::OpenSource, from)) return systemError(e, from, "cannot open");
    auto source = OpenFile::open(from);
    if (!source) return source.error();
    return copyFile(source.value(), to);
}

} // namespace corvelan::fs
