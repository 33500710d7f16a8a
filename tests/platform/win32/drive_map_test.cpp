// Drives on Windows: native paths after the same validation as on Linux, with c: of a test prefix
// standing in for the system's.
#include "platform/drive_map.h"
#include "support/error_text.h"
#include "support/temp_prefix.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace corvelan {
namespace {

namespace stdfs = std::filesystem;
using test::TempPrefix;

TEST(Win32DriveMap, WindowsPathsAreHostPathsAfterValidation) {
    const DriveMap system;
    struct Case {
        const char *windows;
        const char *host;
    } cases[] = {
        {"C:\\ProgramData\\Vendor", "C:\\ProgramData\\Vendor"},
        {"c:/ProgramData/./Vendor/../Vendor/", "C:\\ProgramData\\Vendor"},
        {"z:\\tmp\\trailing dots... ", "Z:\\tmp\\trailing dots"},
        {"C:\\", "C:\\"},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.windows);
        auto host = system.hostPath(tc.windows);
        ASSERT_TRUE(host.ok()) << host.error();
        EXPECT_EQ(host.value(), tc.host);
    }
    EXPECT_EQ(system.hostPath("c:\\bad|name").error().code, ErrorCode::ForbiddenName);
    EXPECT_EQ(system.hostPath("\\no drive").error().code, ErrorCode::NoDriveLetter);
    EXPECT_EQ(system.hostPath("c:\\latin1 \xE9").error().code, ErrorCode::NotUtf8Name);
    EXPECT_EQ(system.hostPath("q:\\data").error().code, ErrorCode::DriveNotMapped);
    EXPECT_EQ(system.windowsPath("c:/Users/x/"), "C:\\Users\\x");
    EXPECT_EQ(system.windowsPath("z:"), "Z:\\");
}

TEST(Win32DriveMap, APrefixStandsInForDriveC) {
    TempPrefix prefix{false};
    stdfs::create_directories(test::fsPath(prefix / "drive_c/ProgramData/Vendor"));
    const DriveMap map = prefix.drives();
    EXPECT_EQ(map.hostPath("c:\\ProgramData\\Vendor").value(),
              prefix / "drive_c/ProgramData/Vendor");
    // The file system itself compares names without regard to case.
    EXPECT_TRUE(map.folderExists("C:\\PROGRAMDATA\\vendor\\"));
    EXPECT_FALSE(map.folderExists("C:\\ProgramData\\Missing"));
    EXPECT_EQ(map.windowsPath(prefix / "drive_c/ProgramData"), "C:\\ProgramData");
    EXPECT_EQ(map.windowsPath(prefix / "drive_c"), "C:\\");
    EXPECT_EQ(map.windowsPath("Z:\\usr\\share"), "Z:\\usr\\share");

    std::vector<char> letters;
    for (const Drive &drive : map.drives())
        letters.push_back(drive.letter);
    ASSERT_FALSE(letters.empty());
    EXPECT_EQ(letters.front(), 'c');
    EXPECT_EQ(map.drives().front().root, prefix / "drive_c");
}

} // namespace
} // namespace corvelan
