// The file layer as both platforms must behave: reads, atomic replacement, copies and the
// Windows attributes the tool keeps.
#include "platform/file_system.h"
#include "support/attributes.h"
#include "support/error_text.h"
#include "support/path_files.h"
#include "support/temp_prefix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>

namespace corvelan::fs {
namespace {

using test::copyFile;
using test::fileAttributes;
using test::kHidden;
using test::kReadOnly;
using test::kSystem;
using test::readFile;
using test::replaceFileContent;
using test::setFileAttributes;
using test::TempDir;
using test::writeFile;

TEST(OpenFile, NamesTheDigestOfAReadThatReachedTheEnd) {
    TempDir dir;
    writeFile(dir / "abc.xml", "abc");
    OpenFile file = OpenFile::open(dir / "abc.xml").value();
    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    ASSERT_TRUE(file.readAll(2, [](std::string_view, bool) { return Status(); }).ok());
    EXPECT_EQ(file.sha256(), abc);
    // Refused at its first piece: not read on, so no digest.
    const Status refused = makeError(ErrorCode::XmlSyntax);
    EXPECT_FALSE(file.readAll(2, [&](std::string_view, bool) { return refused; }).ok());
    EXPECT_EQ(file.sha256(), std::nullopt);
    // Refused only after its end: every byte was read.
    EXPECT_FALSE(
        file.readAll(2, [&](std::string_view, bool last) { return last ? refused : Status(); })
            .ok());
    EXPECT_EQ(file.sha256(), abc);
}

std::uint64_t identityOf(const std::string &path) {
    auto file = OpenFile::open(path);
    return file ? file->stamp().inode : 0;
}

TEST(OpenFile, RefusesFoldersAndWhatIsNotThere) {
    TempDir dir;
    EXPECT_EQ(OpenFile::open(dir.path()).error().code, ErrorCode::NotAFile);
    EXPECT_EQ(OpenFile::open(dir / "none").error().code, ErrorCode::NotFound);
}

TEST(ReplaceFileContent, KeepsReadOnlyAndHiddenAndLeavesNoTemporary) {
    TempDir dir;
    const std::string path = dir / "catalog.xml";
    writeFile(path, "old content");
    ASSERT_TRUE(setFileAttributes(path, kReadOnly | kHidden).ok());
    const std::uint64_t before = identityOf(path);

    auto saved = replaceFileContent(path, "new content");
    ASSERT_TRUE(saved.ok()) << saved.error();
    EXPECT_EQ(readFile(path), "new content");
    EXPECT_NE(identityOf(path), before) << "replaced, not written in place";
    EXPECT_EQ(saved->inode, identityOf(path));
    EXPECT_EQ(fileAttributes(path).value() & (kReadOnly | kHidden | kSystem), kReadOnly | kHidden);
    EXPECT_EQ(test::listFolder(dir.path()), "catalog.xml");

    ASSERT_TRUE(replaceFileContent(dir / "new.xml", "abc").ok());
    EXPECT_EQ(readFile(dir / "new.xml"), "abc");
    EXPECT_EQ(fileAttributes(dir / "new.xml").value() & kReadOnly, 0u);
}

TEST(ReplacementFile, AMovedFromFileLeavesTheTemporaryToItsNewOwner) {
    TempDir dir;
    const std::string path = dir / "catalog.xml";
    writeFile(path, "old");
    const Folder folder = Folder::open(dir.path()).value();
    std::optional<ReplacementFile> first;
    first.emplace(std::move(ReplacementFile::create(folder, "catalog.xml")).value());
    const std::string temp = test::theTemporaryFileIn(dir.path());
    ASSERT_FALSE(temp.empty());
    ReplacementFile second(std::move(*first));
    first.reset();
    EXPECT_TRUE(test::fileExists(temp)) << "the moved-from object removed the live file";
    ASSERT_TRUE(second.write("new", path).ok());
    ASSERT_TRUE(second.commit(nullptr).ok());
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(test::listFolder(dir.path()), "catalog.xml");

    // Never committed: the temporary file goes with its owner.
    {
        auto dropped = ReplacementFile::create(folder, "catalog.xml");
        ASSERT_TRUE(dropped.ok());
        ASSERT_TRUE(dropped->write("lost", path).ok());
    }
    EXPECT_EQ(test::listFolder(dir.path()), "catalog.xml");
    EXPECT_EQ(readFile(path), "new");
}

TEST(CopyFile, ReplacesTheDestination) {
    TempDir dir;
    writeFile(dir / "src.jpg", std::string(200000, 'j'));
    writeFile(dir / "dst.jpg", "older and different");
    ASSERT_TRUE(copyFile(dir / "src.jpg", dir / "dst.jpg").ok());
    EXPECT_EQ(readFile(dir / "dst.jpg"), std::string(200000, 'j'));
    ASSERT_TRUE(copyFile(dir / "src.jpg", dir / "fresh.jpg").ok());
    EXPECT_EQ(readFile(dir / "fresh.jpg"), std::string(200000, 'j'));
    EXPECT_EQ(test::listFolder(dir.path()), "dst.jpg fresh.jpg src.jpg");
}

TEST(CopyFile, OntoItselfLeavesTheFileAlone) {
    TempDir dir;
    const std::string path = dir / "QVX TSR 7700.xml";
    writeFile(path, "<profile/>");
    const std::uint64_t before = identityOf(path);
    ASSERT_TRUE(copyFile(path, path).ok());
    EXPECT_EQ(identityOf(path), before);
    EXPECT_EQ(readFile(path), "<profile/>");
}

TEST(CopyFile, FailuresNameTheirCause) {
    TempDir dir;
    writeFile(dir / "src.ico", "icon");
    writeFile(dir / "ro.ico", "kept");
    ASSERT_TRUE(setFileAttributes(dir / "ro.ico", kReadOnly).ok());

    const Status readOnly = copyFile(dir / "src.ico", dir / "ro.ico");
    ASSERT_FALSE(readOnly.ok());
    EXPECT_EQ(readOnly.error().code, ErrorCode::ReadOnly);
    EXPECT_EQ(readOnly.error().sysErrno, EACCES);
    EXPECT_EQ(readOnly.error().path, dir / "ro.ico");
    EXPECT_EQ(readFile(dir / "ro.ico"), "kept");

    const Status missing = copyFile(dir / "none.ico", dir / "x.ico");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ErrorCode::NotFound);
    EXPECT_EQ(missing.error().path, dir / "none.ico");

    EXPECT_EQ(copyFile(dir.path(), dir / "x.ico").error().code, ErrorCode::NotAFile);
    EXPECT_EQ(copyFile(dir / "src.ico", dir.path()).error().code, ErrorCode::NotAFile);
    const Status noFolder = copyFile(dir / "src.ico", dir / "no/such/folder.ico");
    ASSERT_FALSE(noFolder.ok());
    EXPECT_EQ(noFolder.error().code, ErrorCode::NotFound);
    EXPECT_EQ(noFolder.error().path, dir / "no/such");
    EXPECT_FALSE(test::fileExists(dir / "x.ico"));
    EXPECT_EQ(test::listFolder(dir.path()), "ro.ico src.ico");
}

} // namespace
} // namespace corvelan::fs
