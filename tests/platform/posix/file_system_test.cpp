#include "platform/file_system.h"
#include "platform/process.h"
#include "support/attributes.h"
#include "support/host.h"
#include "support/path_files.h"
#include "support/temp_prefix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace corvelan::fs {
namespace {

namespace stdfs = std::filesystem;
using test::copyFile;
using test::fileAttributes;
using test::kArchive;
using test::kDirectory;
using test::kHidden;
using test::kNormal;
using test::kReadOnly;
using test::kSystem;
using test::readFile;
using test::replaceFileContent;
using test::setFileAttributes;
using test::TempDir;
using test::writeFile;

mode_t modeOf(const std::string &path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

ino_t inodeOf(const std::string &path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_ino;
}

std::string dosAttrib(const std::string &path) {
    char value[64] = {};
    const ssize_t n = ::getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value);
    return n < 0 ? "<none>" : std::string(value, static_cast<size_t>(n));
}

void setDosAttrib(const std::string &path, const char *value) {
    ASSERT_EQ(::setxattr(path.c_str(), "user.DOSATTRIB", value, std::strlen(value), 0), 0);
}

TEST(FileAttributes, ReadAsWineShowsThem) {
    TempDir dir;
    struct Case {
        const char *name;
        const char *file;
        mode_t mode;
        const char *dosAttrib; // null: none
        std::uint32_t expected;
    } cases[] = {
        {"plain file", "a.xml", 0644, nullptr, kArchive},
        {"no write bit at all", "b.xml", 0444, nullptr, kArchive | kReadOnly},
        {"group write counts as writable", "c.xml", 0464, nullptr, kArchive},
        {"hidden and system", "d.xml", 0644, "0x6", kArchive | kHidden | kSystem},
        {"read-only kept apart from the xattr", "e.xml", 0444, "0x1", kArchive | kReadOnly},
        {"dot file is hidden without the xattr", ".f.xml", 0644, nullptr, kArchive | kHidden},
        {"xattr overrides the dot", ".g.xml", 0644, "0x0", kArchive},
        {"malformed xattr is ignored", "h.xml", 0644, "6", kArchive},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        const std::string path = dir / tc.file;
        writeFile(path, "x");
        ::chmod(path.c_str(), tc.mode);
        if (tc.dosAttrib) setDosAttrib(path, tc.dosAttrib);
        EXPECT_EQ(fileAttributes(path).value(), tc.expected);
    }
    EXPECT_EQ(fileAttributes(dir.path()).value(), kDirectory);
    EXPECT_EQ(fileAttributes(dir / "missing").error().code, ErrorCode::NotFound);
}

TEST(FileAttributes, SetThenReadBack) {
    TempDir dir;
    const std::string path = dir / "catalog.xml";
    writeFile(path, "x");
    ::chmod(path.c_str(), 0664);

    ASSERT_TRUE(setFileAttributes(path, kReadOnly | kHidden).ok());
    EXPECT_EQ(modeOf(path), 0444u);
    EXPECT_EQ(dosAttrib(path), "0x2");
    EXPECT_EQ(fileAttributes(path).value(), kArchive | kReadOnly | kHidden);

    ASSERT_TRUE(setFileAttributes(path, kNormal).ok());
    EXPECT_EQ(modeOf(path), 0644u);
    EXPECT_EQ(dosAttrib(path), "<none>");
    EXPECT_EQ(fileAttributes(path).value(), kArchive);
}

TEST(ReplaceFileContent, KeepsModeOwnerAttributesAndLinks) {
    TempDir dir;
    const std::string real = dir / "real.xml";
    const std::string link = dir / "link.xml";
    writeFile(real, "old content");
    ::chmod(real.c_str(), 0444);
    setDosAttrib(real, "0x6");
    stdfs::create_symlink("real.xml", link);
    const ino_t before = inodeOf(real);

    ASSERT_TRUE(replaceFileContent(link, "new content").ok());

    EXPECT_EQ(readFile(real), "new content");
    EXPECT_TRUE(stdfs::is_symlink(link));
    EXPECT_NE(inodeOf(real), before) << "replaced by rename, not written in place";
    EXPECT_EQ(modeOf(real), 0444u);
    EXPECT_EQ(dosAttrib(real), "0x6");
    EXPECT_EQ(test::listFolder(dir.path()), "link.xml real.xml") << "no temporary file left";
}

TEST(ReplaceFileContent, CreatesAMissingFileAndFollowsADanglingLink) {
    TempDir dir;
    ASSERT_TRUE(replaceFileContent(dir / "new.xml", "abc").ok());
    EXPECT_EQ(readFile(dir / "new.xml"), "abc");
    EXPECT_EQ(modeOf(dir / "new.xml") & 0600u, 0600u);

    stdfs::create_symlink("target.xml", dir / "dangling.xml");
    ASSERT_TRUE(replaceFileContent(dir / "dangling.xml", "via link").ok());
    EXPECT_EQ(readFile(dir / "target.xml"), "via link");
    EXPECT_TRUE(stdfs::is_symlink(dir / "dangling.xml"));
}

TEST(ReplaceFileContent, FailureLeavesTheFileAndNoTemporary) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string folder = dir / "locked";
    stdfs::create_directory(folder);
    const std::string path = folder + "/catalog.xml";
    writeFile(path, "original");
    test::giveToNobody(path.c_str());
    ::chmod(folder.c_str(), 0555); // the file is writable, its folder is not

    const int rc = test::runUnprivileged([&] {
        const Status s = replaceFileContent(path, "changed").status();
        if (s.ok()) return 1;
        if (s.error().sysErrno != EACCES || s.error().path != path) return 2;
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(readFile(path), "original");
    EXPECT_EQ(test::listFolder(folder), "catalog.xml");
}

TEST(CopyFile, OntoItselfLeavesTheFileAlone) {
    TempDir dir;
    writeFile(dir / "QVX TSR 7700.xml", "<profile/>");
    stdfs::create_symlink("QVX TSR 7700.xml", dir / "alias.xml");
    stdfs::create_hard_link(dir / "QVX TSR 7700.xml", dir / "hard.xml");
    const ino_t before = inodeOf(dir / "QVX TSR 7700.xml");
    for (const char *other : {"QVX TSR 7700.xml", "alias.xml", "hard.xml"}) {
        SCOPED_TRACE(other);
        ASSERT_TRUE(copyFile(dir / other, dir / "QVX TSR 7700.xml").ok());
        EXPECT_EQ(inodeOf(dir / "QVX TSR 7700.xml"), before);
        EXPECT_EQ(readFile(dir / "QVX TSR 7700.xml"), "<profile/>");
    }
}

TEST(ProcessFolders, AreTheExecutablesAndTheCurrentOne) {
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(currentFolder().value(), cwd);
    const std::string exe = stdfs::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(executableFolder().value(), stdfs::path(exe).parent_path().string());
}

} // namespace
} // namespace corvelan::fs

namespace corvelan::fs {
namespace {

TEST(ProcessFolders, TheToolsFolderIsFoundThroughALinkToIt) {
    TempDir dir;
    const stdfs::path probe = stdfs::canonical(TOOL_FOLDER_PROBE);
    stdfs::create_symlink(probe, dir / "corvelan-dtm-update-tool");
    FILE *out = ::popen((dir / "corvelan-dtm-update-tool").c_str(), "r");
    ASSERT_NE(out, nullptr);
    char line[4096] = {};
    const bool read = std::fgets(line, sizeof line, out) != nullptr;
    EXPECT_EQ(::pclose(out), 0);
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string(line), probe.parent_path().string() + "\n");
}

} // namespace
} // namespace corvelan::fs
