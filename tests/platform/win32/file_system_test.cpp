// The file layer on Windows: attributes, identity, paths beyond MAX_PATH and names beyond ASCII,
// locked temporary files, and copies, through the W functions.
#include "base/file_operation.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/retry.h"
#include "platform/win32/wide.h"
#include "support/attributes.h"
#include "support/error_text.h"
#include "support/path_files.h"
#include "support/temp_prefix.h"
#include "workflows/messages.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace corvelan::fs {
namespace {

namespace stdfs = std::filesystem;
using test::copyFile;
using test::kHidden;
using test::kReadOnly;
using test::kSystem;
using test::readFile;
using test::replaceFileContent;
using test::setFileAttributes;
using test::TempDir;
using test::writeFile;

DWORD rawAttributes(const std::string &path) {
    return ::GetFileAttributesW(win32::toWidePath(path).c_str());
}

TEST(Win32Attributes, ReadOnlyHiddenAndSystemSurviveAReplacement) {
    TempDir dir;
    const std::string path = dir / "DDXMLRepository.xml";
    writeFile(path, "old");
    ASSERT_TRUE(setFileAttributes(path, kReadOnly | kHidden | kSystem).ok());
    EXPECT_EQ(rawAttributes(path) & 7u, 7u) << "all three set, hidden and system not dropped";
    const std::uint64_t before = OpenFile::open(path)->stamp().inode;

    auto saved = replaceFileContent(path, "new");
    ASSERT_TRUE(saved.ok()) << saved.error();
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(rawAttributes(path) & 7u, 7u);
    const FileStamp now = OpenFile::open(path)->stamp();
    EXPECT_NE(now.inode, before) << "a new file moved over the old one";
    EXPECT_EQ(now, saved.value()) << "the stamp a save returns is the file's";
    EXPECT_EQ(test::listFolder(dir.path()), "DDXMLRepository.xml");

    ASSERT_TRUE(setFileAttributes(path, 0).ok());
    EXPECT_EQ(rawAttributes(path) & 7u, 0u);
}

TEST(Win32Identity, IsTheSameFileWhateverTheLetterCase) {
    TempDir dir;
    writeFile(dir / "Catalog.xml", "x");
    const FileStamp exact = OpenFile::open(dir / "Catalog.xml")->stamp();
    const FileStamp other = OpenFile::open(dir / "CATALOG.XML")->stamp();
    EXPECT_EQ(exact, other);
    EXPECT_NE(exact.inode, 0u);
    // So a copy onto itself under another spelling leaves it alone.
    ASSERT_TRUE(copyFile(dir / "catalog.XML", dir / "Catalog.xml").ok());
    EXPECT_EQ(OpenFile::open(dir / "Catalog.xml")->stamp(), exact);
}

TEST(Win32Paths, NonAsciiNamesAndPathsLongerThanMaxPath) {
    TempDir dir;
    std::string folder = dir / "Données techniques ☺";
    for (int i = 0; i < 8; ++i)
        folder += "\\Sous-dossier numéro " + std::to_string(i) + " avec des espaces";
    ASSERT_GT(folder.size(), 300u);
    std::error_code ec;
    stdfs::create_directories(test::fsPath(folder), ec);
    ASSERT_FALSE(ec) << ec.message();
    const std::string file = folder + "\\QVX été 𝄞.xml";
    ASSERT_TRUE(replaceFileContent(file, "<profile/>").ok());
    EXPECT_EQ(readFile(file), "<profile/>");
    ASSERT_TRUE(copyFile(file, folder + "\\copie.xml").ok());
    EXPECT_EQ(readFile(folder + "\\copie.xml"), "<profile/>");
    auto listed = listFolder(folder);
    ASSERT_TRUE(listed.ok());
    std::sort(listed->files.begin(), listed->files.end());
    EXPECT_EQ(listed->files, (std::vector<std::string>{"QVX été 𝄞.xml", "copie.xml"}));

    EXPECT_EQ(win32::toWidePath(file).substr(0, 4), L"\\\\?\\");
    EXPECT_EQ(win32::toWidePath("C:/short/path.xml"), L"C:\\short\\path.xml");
    EXPECT_EQ(win32::toWidePath("\\\\server\\share\\" + std::string(300, 'x')).substr(0, 9),
              L"\\\\?\\UNC\\s");
}

TEST(Win32TemporaryFiles, ALiveOneIsLockedAStaleOneGoes) {
    TempDir dir;
    const std::string path = dir / "DDXMLRepository.xml";
    writeFile(path, "old");
    const Folder folder = Folder::open(dir.path()).value();
    auto live = ReplacementFile::create(folder, "DDXMLRepository.xml");
    ASSERT_TRUE(live.ok());
    const std::string temp = test::theTemporaryFileIn(dir.path());
    ASSERT_FALSE(temp.empty());
    // Locked: no other process may delete or rename it, and another save's cleanup leaves it.
    EXPECT_FALSE(::DeleteFileW(win32::toWidePath(temp).c_str()));
    writeFile(dir / ".QVX TSR 7700.xml.corvelan-st4le1", "left by a killed copy");
    writeFile(dir / ".pictures.corvelan-st4le2", "read-only and left behind");
    ASSERT_TRUE(setFileAttributes(dir / ".pictures.corvelan-st4le2", kReadOnly).ok());
    ASSERT_TRUE(replaceFileContent(dir / "other.xml", "other").ok());
    EXPECT_TRUE(test::fileExists(temp));
    EXPECT_FALSE(test::fileExists(dir / ".QVX TSR 7700.xml.corvelan-st4le1"));
    EXPECT_FALSE(test::fileExists(dir / ".pictures.corvelan-st4le2"));
    ASSERT_TRUE(live->write("new", path).ok());
    ASSERT_TRUE(live->commit(nullptr).ok());
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(test::listFolder(dir.path()), "DDXMLRepository.xml other.xml");
}

TEST(Win32Copies, RefuseDevicesAndReadOnlyDestinations) {
    TempDir dir;
    writeFile(dir / "src.jpg", "picture");
    writeFile(dir / "dst.jpg", "kept");
    ASSERT_TRUE(setFileAttributes(dir / "dst.jpg", kReadOnly).ok());
    EXPECT_EQ(copyFile(dir / "src.jpg", dir / "dst.jpg").error().sysErrno, EACCES);
    EXPECT_EQ(readFile(dir / "dst.jpg"), "kept");
    EXPECT_EQ(copyFile("NUL", dir / "x.jpg").error().code, ErrorCode::NotRegularFile);
    EXPECT_EQ(OpenFile::open(dir / "nul.xml").error().code, ErrorCode::NotRegularFile);
    EXPECT_EQ(OpenFile::open(dir / "none.xml").error().code, ErrorCode::NotFound);
}

TEST(Win32Errors, CarryWindowsOwnText) {
    const Error e = win32::win32Error(ERROR_ACCESS_DENIED, "C:\\x", fs::FileOperation::Write);
    EXPECT_EQ(e.sysErrno, EACCES);
    EXPECT_EQ(e.osCode, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(e.osMessage.empty());
    EXPECT_EQ(workflows::reasonOf(e), "cannot write: " + e.osMessage);
    EXPECT_EQ(win32::win32Error(ERROR_DISK_FULL, "C:\\x", fs::FileOperation::Write).sysErrno,
              ENOSPC);
}

} // namespace
} // namespace corvelan::fs

namespace corvelan::fs {
namespace {

// What each refusal Windows gives means to the tool: another program holds the file (waited for,
// then told as such), the user may not change it, or neither. A lock on a range of the file
// (ERROR_LOCK_VIOLATION) is a hold like a sharing violation, though Wine never returns it.
TEST(Win32Refusals, EachWindowsErrorIsAHoldMissingRightsOrNeither) {
    TempDir dir;
    const std::string free = dir / "free.xml";
    const std::string held = dir / "held.xml";
    writeFile(free, "x");
    writeFile(held, "x");
    const win32::Handle holding(::CreateFileW(win32::toWidePath(held).c_str(), GENERIC_READ,
                                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holding.valid());
    const struct {
        const char *name;
        DWORD code;
        FileOperation operation;
        std::string path;
        ErrorCode told;
    } cases[] = {
        {"sharing violation", ERROR_SHARING_VIOLATION, FileOperation::Open, free, ErrorCode::InUse},
        {"locked range", ERROR_LOCK_VIOLATION, FileOperation::Read, free, ErrorCode::InUse},
        {"mapped by another program", ERROR_USER_MAPPED_FILE, FileOperation::Rename, free,
         ErrorCode::InUse},
        {"deletion pending", ERROR_DELETE_PENDING, FileOperation::Open, free, ErrorCode::InUse},
        {"access denied", ERROR_ACCESS_DENIED, FileOperation::CreateTemp, free,
         ErrorCode::NoRights},
        {"rename over a file held without delete sharing", ERROR_ACCESS_DENIED,
         FileOperation::Rename, held, ErrorCode::InUse},
        {"rename over a file free again", ERROR_ACCESS_DENIED, FileOperation::Rename, free,
         ErrorCode::InUse},
        {"rename where nothing can be opened", ERROR_ACCESS_DENIED, FileOperation::Rename,
         dir / "no such folder\\x.xml", ErrorCode::NoRights},
        {"write-protected", ERROR_WRITE_PROTECT, FileOperation::Write, free, ErrorCode::NoRights},
        {"privilege not held", ERROR_PRIVILEGE_NOT_HELD, FileOperation::SetMode, free,
         ErrorCode::NoRights},
        {"disk full", ERROR_DISK_FULL, FileOperation::Write, free, ErrorCode::System},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        const Error error = win32::win32Error(tc.code, tc.path, tc.operation);
        EXPECT_EQ(explained(error).code, tc.told);
        // A hold is tried again until it lets go; anything else is not.
        int tries = 0;
        const Status done =
            retrying([&]() -> Status { return ++tries < 3 ? Status(error) : Status(); });
        EXPECT_EQ(done.ok(), tc.told == ErrorCode::InUse);
        EXPECT_EQ(tries, tc.told == ErrorCode::InUse ? 3 : 1);
    }
}

} // namespace
} // namespace corvelan::fs
