// The file window's model where Linux differs: links, permissions and what the drives show.
#include "support/host.h"
#include "support/temp_prefix.h"
#include "workflows/command_line.h"
#include "workflows/file_browser.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include <sys/stat.h>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;
using test::TempPrefix;

TEST(PosixFileBrowser, FollowsLinksAndKeepsTheFolderItCannotLeave) {
    TempPrefix prefix{false};
    const std::string data = prefix / "drive_c/Data";
    stdfs::create_directories(data + "/Sub");
    test::writeFile(data + "/real.xml", "x");
    stdfs::create_symlink("Sub", data + "/link");
    stdfs::create_symlink("real.xml", data + "/alias.xml");
    stdfs::create_symlink("gone.xml", data + "/dangling.xml");
    FileBrowser browser(prefix.drives());
    ASSERT_TRUE(browser.open("C:\\Data").ok());
    ASSERT_EQ(browser.folderRows().size(), 4u);
    EXPECT_EQ(browser.folderRows()[2].text, "    link");
    EXPECT_EQ(browser.folderRows()[3].text, "    Sub");
    EXPECT_EQ(browser.fileRows(), (std::vector<std::string>{"alias.xml", "real.xml"}));

    // A folder without read permission, seen by an unprivileged user.
    for (stdfs::path p = data; p.string().size() > 4; p = p.parent_path())
        ::chmod(p.c_str(), 0755);
    ::chmod((data + "/Sub").c_str(), 0311);
    const int rc = test::runUnprivileged([&] {
        const Status s = browser.open("C:\\Data\\Sub");
        return !s.ok() && s.error().sysErrno == EACCES && browser.path() == "C:\\Data" ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
}

TEST(PosixFileBrowser, AFolderTwoDrivesLeadToIsShownByTheFirstLetter) {
    const struct {
        const char *name;
        std::vector<char> linked; // drives linked to ../drive_c in dosdevices
        char shown;
    } cases[] = {
        {"d: beside c:", {'d'}, 'C'},
        {"c: and d: both linked", {'c', 'd'}, 'C'},
        {"b: before c:", {'b'}, 'B'},
    };
    const stdfs::path saved = stdfs::current_path();
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        TempPrefix prefix{false};
        stdfs::create_directories(prefix / "dosdevices");
        for (const char letter : tc.linked)
            stdfs::create_symlink("../drive_c",
                                  prefix / (std::string("dosdevices/") + letter + ":"));
        stdfs::create_directories(prefix / "drive_c/Data/Sub");
        const std::string root = std::string(1, tc.shown) + ":\\";
        const DriveMap drives = prefix.drives();
        EXPECT_EQ(drives.windowsPath(prefix / "drive_c/Data/Sub"), root + "Data\\Sub");

        // The file window at the current folder, and a message that quotes a path.
        stdfs::current_path(prefix / "drive_c/Data");
        FileBrowser browser(drives);
        const Status opened = browser.openCurrentFolder();
        std::string said;
        const int code = runCommandLine(
            {"install", "missing.xml"}, drives, [] { return Result<std::string>("/nowhere"); },
            "9.8.7", [](std::string_view) {}, [&said](std::string_view text) { said += text; });
        stdfs::current_path(saved);
        ASSERT_TRUE(opened.ok());
        EXPECT_EQ(browser.path(), root + "Data");
        EXPECT_EQ(code, kExitRefused);
        EXPECT_EQ(said, root + "Data\\missing.xml is not a valid DTM XML file.\n");
    }
}

TEST(PosixFileBrowser, OffersTheMappedDrivesWithTheirHostFolders) {
    TempPrefix prefix{false};
    FileBrowser browser(prefix.drives());
    const auto &drives = browser.driveRows();
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].text, "c: [" + (prefix / "drive_c") + "]");
    EXPECT_EQ(drives[1].text, "z: [/]");
}

} // namespace
} // namespace corvelan::workflows
