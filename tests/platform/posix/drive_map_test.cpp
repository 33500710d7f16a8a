#include "platform/drive_map.h"
#include "support/error_text.h"
#include "support/temp_prefix.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

namespace corvelan {
namespace {

namespace stdfs = std::filesystem;
using test::TempPrefix;

class DriveMapTest : public ::testing::Test {
protected:
    void SetUp() override {
        stdfs::create_directories(prefix / "drive_c/ProgramData/Vendor/Repo");
        test::writeFile(prefix / "drive_c/ProgramData/Vendor/Repo/Catalog.xml", "x");
        stdfs::create_directories(prefix / "drive_c/Twins/Case");
        stdfs::create_directories(prefix / "drive_c/Twins/case");
        stdfs::create_directories(prefix / "drive_c/Straße/Ünïcode");
    }
    TempPrefix prefix{false};
};

TEST_F(DriveMapTest, ResolvesWindowsPathsAsWineDoes) {
    const DriveMap map = prefix.drives();
    const std::string c = prefix / "drive_c";
    struct Case {
        const char *name;
        const char *windows;
        std::string host;
    } cases[] = {
        {"exact spelling", "C:\\ProgramData\\Vendor\\Repo", c + "/ProgramData/Vendor/Repo"},
        {"other letter case", "c:\\programdata\\VENDOR\\repo\\catalog.XML",
         c + "/ProgramData/Vendor/Repo/Catalog.xml"},
        {"forward slashes and trailing separator", "c:/ProgramData/Vendor/Repo/",
         c + "/ProgramData/Vendor/Repo"},
        {"dot and dot-dot collapse", "c:\\ProgramData\\.\\Vendor\\..\\Vendor\\Repo",
         c + "/ProgramData/Vendor/Repo"},
        {"exact match wins over a case twin", "c:\\Twins\\case", c + "/Twins/case"},
        {"missing file keeps the given spelling", "c:\\programdata\\vendor\\New File.XML",
         c + "/ProgramData/Vendor/New File.XML"},
        {"below a missing folder keeps the spelling", "c:\\NoSuch\\Sub\\f.xml",
         c + "/NoSuch/Sub/f.xml"},
        {"non-ASCII letters fold", "c:\\STRASSE\\..\\straße\\üNÏCODE", c + "/Straße/Ünïcode"},
        {"drive root", "C:\\", c},
        {"z: is the host root", "z:\\tmp", "/tmp"},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        const auto host = map.hostPath(tc.windows);
        ASSERT_TRUE(host.ok()) << host.error();
        EXPECT_EQ(host.value(), tc.host);
    }
}

TEST_F(DriveMapTest, RefusesPathsItCannotResolveSafely) {
    const DriveMap map = prefix.drives();
    struct Case {
        const char *name;
        const char *windows;
        ErrorCode code;
    } cases[] = {
        {"case twins without an exact match", "c:\\Twins\\CASE", ErrorCode::AmbiguousName},
        {"no drive letter", "\\ProgramData", ErrorCode::NoDriveLetter},
        {"relative", "ProgramData\\x", ErrorCode::NoDriveLetter},
        {"forbidden character", "c:\\Program?Data", ErrorCode::ForbiddenName},
        {"control character",
         "c:\\a\x01"
         "b",
         ErrorCode::ForbiddenName},
        {"not UTF-8", "c:\\latin1 \xE9", ErrorCode::NotUtf8Name},
        {"unmapped drive", "q:\\data", ErrorCode::DriveNotMapped},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        const auto host = map.hostPath(tc.windows);
        ASSERT_FALSE(host.ok());
        EXPECT_EQ(host.error().code, tc.code);
        EXPECT_EQ(host.error().path, tc.windows);
    }
}

TEST_F(DriveMapTest, DosDevicesLinksOverrideTheDefaults) {
    stdfs::create_directories(prefix / "dosdevices");
    stdfs::create_directories(prefix / "data");
    stdfs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
    stdfs::create_directory_symlink(prefix / "data", prefix / "dosdevices/d:");
    const DriveMap map = prefix.drives();
    EXPECT_EQ(map.hostPath("D:\\x.xml").value(), prefix / "dosdevices/d:/x.xml");
    EXPECT_TRUE(map.folderExists("c:\\programdata"));
    // Back to Windows form through the longest root that holds the path.
    EXPECT_EQ(map.windowsPath(prefix / "data/sub"), "D:\\sub");
    EXPECT_EQ(map.windowsPath(prefix / "drive_c/ProgramData/Vendor"), "C:\\ProgramData\\Vendor");
    EXPECT_EQ(map.windowsPath(prefix / "data"), "D:\\");
    std::vector<char> letters;
    for (const Drive &drive : map.drives())
        letters.push_back(drive.letter);
    EXPECT_EQ(letters, (std::vector<char>{'c', 'd', 'z'}));
}

TEST_F(DriveMapTest, HostPathsOutsideEveryDriveGoThroughZ) {
    const DriveMap map = prefix.drives();
    EXPECT_EQ(map.windowsPath("/usr/share"), "Z:\\usr\\share");
    EXPECT_EQ(map.windowsPath("/"), "Z:\\");
    EXPECT_EQ(map.windowsPath(prefix / "drive_c"), "C:\\");
    // A path that does not exist yet keeps its spelling.
    EXPECT_EQ(map.windowsPath(prefix / "drive_c/ProgramData/Not Yet"), "C:\\ProgramData\\Not Yet");
}

TEST_F(DriveMapTest, FolderExistsAnswersOnlyForFolders) {
    const DriveMap map = prefix.drives();
    EXPECT_TRUE(map.folderExists("c:\\ProgramData\\Vendor\\"));
    EXPECT_TRUE(map.folderExists("C:\\PROGRAMDATA\\vendor\\Repo"));
    EXPECT_FALSE(map.folderExists("c:\\ProgramData\\Vendor\\Repo\\Catalog.xml"));
    EXPECT_FALSE(map.folderExists("c:\\ProgramData\\Missing\\"));
    EXPECT_FALSE(map.folderExists("c:\\Twins\\CASE")); // ambiguous is not "exists"
    EXPECT_FALSE(map.folderExists("not a path"));
}

TEST(DriveMapPrefix, OnlyAnAbsolutePrefixIsTaken) {
    EXPECT_FALSE(DriveMap::forPrefix("relative/.wine").ok());
    EXPECT_FALSE(DriveMap::forPrefix("").ok());
    EXPECT_EQ(DriveMap::forPrefix("/home/u/.wine//").value().prefix(), "/home/u/.wine");
    // Without a prefix only z: is mapped.
    EXPECT_EQ(DriveMap().hostPath("c:\\x").error().code, ErrorCode::DriveNotMapped);
    EXPECT_EQ(DriveMap().hostPath("z:\\etc").value(), "/etc");
}

TEST(DriveMapPrefix, EnvironmentChoosesWinePrefixThenHome) {
    const char *savedPrefix = std::getenv("WINEPREFIX");
    const std::string saved = savedPrefix ? savedPrefix : "";
    ::setenv("WINEPREFIX", "/opt/prefix", 1);
    EXPECT_EQ(DriveMap::fromEnvironment().value().prefix(), "/opt/prefix");
    ::setenv("WINEPREFIX", "not/absolute", 1);
    EXPECT_EQ(DriveMap::fromEnvironment().error().code, ErrorCode::PrefixNotAbsolute);
    ::unsetenv("WINEPREFIX");
    EXPECT_EQ(DriveMap::fromEnvironment().value().prefix(),
              std::string(std::getenv("HOME")) + "/.wine");
    if (savedPrefix) ::setenv("WINEPREFIX", saved.c_str(), 1);
}

} // namespace
} // namespace corvelan
