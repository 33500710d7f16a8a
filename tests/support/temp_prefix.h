// Temporary folders and Wine prefixes for tests, removed when the test ends.
#pragma once

#include "platform/drive_map.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace corvelan::test {

// A fresh folder under the system's temporary folder. Paths under it are in the host's own form
// (on Windows with backslashes, whatever separators the caller wrote).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    [[nodiscard]] const std::string &path() const { return m_path; }
    [[nodiscard]] std::string operator/(std::string_view name) const;

private:
    std::string m_path;
};

// A Wine prefix with drive c:, optionally holding the host product's repository.
class TempPrefix : public TempDir {
public:
    // Creates drive_c and, when asked, the repository folder and its pictures folder (named as
    // given, to try letter case).
    explicit TempPrefix(bool withRepository = true, std::string_view picturesName = "Pictures");

    [[nodiscard]] std::string repositoryDir() const;
    [[nodiscard]] std::string catalogueFile() const;
    [[nodiscard]] DriveMap drives() const;
};

// The std::filesystem form of a UTF-8 host path (never the narrow one, which Windows reads in its
// ANSI code page), and back.
[[nodiscard]] std::filesystem::path fsPath(const std::string &utf8);
[[nodiscard]] std::string utf8Of(const std::filesystem::path &path);

void writeFile(const std::string &path, std::string_view bytes);
// Overwrites `bytes` at `offset` of the existing file, in place: the same file, another content.
void writeInPlace(const std::string &path, std::int64_t offset, std::string_view bytes);
[[nodiscard]] std::string readFile(const std::string &path);
[[nodiscard]] bool fileExists(const std::string &path);
// Names in `folder`, sorted.
[[nodiscard]] std::string listFolder(const std::string &folder);
// The path of the one file in `folder` named as the tool's temporary files are; empty when there
// is none or more than one.
[[nodiscard]] std::string theTemporaryFileIn(const std::string &folder);
// Everything below `folder`, one line a name, sorted: each file's bytes and write permission, each
// link's target (not followed), each folder's name. Equal snapshots: nothing there changed.
[[nodiscard]] std::string snapshotOf(const std::string &folder);
// The same with the times: each name's, and the folder's own, last write and last change.
// Equal: nothing there was written, renamed, created and removed, or had its attributes set.
[[nodiscard]] std::string snapshotWithTimesOf(const std::string &folder);

} // namespace corvelan::test
