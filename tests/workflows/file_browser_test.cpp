#include "support/host.h"
#include "support/scripted_boxes.h"
#include "support/temp_prefix.h"
#include "workflows/file_browser.h"
#include "workflows/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;
using test::TempPrefix;

TEST(ComposeFilePath, JoinsWithOneSeparator) {
    struct Case {
        const char *folder;
        const char *name;
        const char *expected;
    } cases[] = {
        {"C:\\Data", "dev.xml", "C:\\Data\\dev.xml"},
        {"D:\\", "dev.xml", "D:\\dev.xml"},
        {"C:\\Data", "", "C:\\Data\\"},
        {"D:\\", "", "D:\\"},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(composeFilePath(tc.folder, tc.name), tc.expected) << tc.folder << tc.name;
}

TEST(NormaliseFolderPath, KeepsOneFormPerFolder) {
    EXPECT_EQ(normaliseFolderPath("C:"), "C:\\");
    EXPECT_EQ(normaliseFolderPath("C:\\"), "C:\\");
    EXPECT_EQ(normaliseFolderPath("C:\\a\\\\b\\"), "C:\\a\\b");
    EXPECT_EQ(normaliseFolderPath("c:/a/./b/../c"), "c:\\a\\c");
    EXPECT_EQ(normaliseFolderPath("C:\\..\\.."), "C:\\");
}

class FileBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string data = prefix / "drive_c/Data";
        stdfs::create_directories(test::fsPath(data + "/sub two"));
        stdfs::create_directories(test::fsPath(data + "/Sub"));
        stdfs::create_directories(test::fsPath(data + "/.cache"));
        stdfs::create_directories(test::fsPath(data + "/folder.xml"));
        for (const char *name : {"b.XML", "a.xml", "c.txt", ".hidden.xml", "A2.xml", "xml"})
            test::writeFile(data + "/" + name, "x");
        stdfs::create_directories(test::fsPath(data + "/link"));
    }
    TempPrefix prefix{false};
};

TEST_F(FileBrowserTest, NamesThatDifferOnlyInCaseStandInOneOrderWhateverTheFolderSays) {
    // However the folder happens to list them (the order they were made in, here), the rows
    // come without regard to case first and then by their bytes, upper case before lower.
    const std::vector<std::string> sorted{"DEVICE.XML", "DeViCe.xml", "Device.xml", "device.xml"};
    const std::vector<std::vector<int>> orders{{0, 1, 2, 3}, {3, 2, 1, 0}, {2, 0, 3, 1}};
    for (size_t k = 0; k < orders.size(); ++k) {
        SCOPED_TRACE("made in order " + std::to_string(k));
        const std::string folder = prefix / ("drive_c/Twins" + std::to_string(k));
        stdfs::create_directories(test::fsPath(folder));
        for (const int i : orders[k])
            ASSERT_TRUE(test::writeFileSpelledExactly(folder, sorted[static_cast<size_t>(i)], "x"));
        FileBrowser browser(prefix.drives());
        ASSERT_TRUE(browser.open("C:\\Twins" + std::to_string(k)).ok());
        EXPECT_EQ(browser.fileRows(), sorted);
    }
}

TEST_F(FileBrowserTest, ListsXmlFilesAndFoldersAsWindowsDoes) {
    FileBrowser browser(prefix.drives());
    ASSERT_TRUE(browser.open("c:\\data\\").ok());
    EXPECT_EQ(browser.path(), "c:\\data");
    EXPECT_EQ(browser.fileRows(), (std::vector<std::string>{"a.xml", "A2.xml", "b.XML"}));
    // The folders down to the current one, open, then its sub-folders, a level deeper each.
    const std::vector<std::pair<std::string, std::string>> rows{
        {"c:\\", "c:\\"},
        {"  data", "c:\\data"},
        {"    folder.xml", "c:\\data\\folder.xml"},
        {"    link", "c:\\data\\link"},
        {"    Sub", "c:\\data\\Sub"},
        {"    sub two", "c:\\data\\sub two"},
    };
    ASSERT_EQ(browser.folderRows().size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].first);
        EXPECT_EQ(browser.folderRows()[i].text, rows[i].first);
        EXPECT_EQ(browser.folderRows()[i].path, rows[i].second);
        EXPECT_EQ(browser.folderRows()[i].open, i < 2);
    }
    EXPECT_EQ(browser.currentFolderRow(), 1);
    EXPECT_EQ(browser.driveRows()[static_cast<size_t>(browser.currentDriveRow())].letter, 'c');
}

TEST_F(FileBrowserTest, ChoicesOpenFoldersAndDrivesAndComposeThePath) {
    FileBrowser browser(prefix.drives());
    test::ScriptedBoxes boxes;
    ASSERT_TRUE(browser.open("C:\\Data").ok());
    EXPECT_EQ(browser.pathToOpen(1), "C:\\Data\\A2.xml");
    EXPECT_EQ(browser.pathToOpen(-1), "C:\\Data\\") << "no file selected";

    ASSERT_TRUE(browser.chooseFolder(5, boxes)); // "sub two"
    EXPECT_EQ(browser.path(), "C:\\Data\\sub two");
    EXPECT_TRUE(browser.fileRows().empty());
    ASSERT_TRUE(browser.chooseFolder(0, boxes)); // the drive's root, up the chain
    EXPECT_EQ(browser.path(), "C:\\");
    EXPECT_EQ(browser.folderRows().size(), 2u) << "drive_c holds Data alone";
    EXPECT_EQ(browser.pathToOpen(-1), "C:\\");

    // Another drive shows its root, not the folder last used there.
    const auto &drives = browser.driveRows();
    const auto z = std::find_if(drives.begin(), drives.end(),
                                [](const DriveRow &d) { return d.letter == 'z'; });
    ASSERT_NE(z, drives.end());
    ASSERT_TRUE(browser.chooseDrive(static_cast<int>(z - drives.begin()), boxes));
    EXPECT_EQ(browser.path(), "Z:\\");
    EXPECT_EQ(browser.currentDriveRow(), z - drives.begin());
    EXPECT_EQ(browser.currentFolderRow(), 0);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FileBrowserTest, KeepsThePreviousFolderWhenOneCannotBeRead) {
    FileBrowser browser(prefix.drives());
    ASSERT_TRUE(browser.open("C:\\Data").ok());
    const Status missing = browser.open("C:\\Data\\Gone");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().path, "C:\\Data\\Gone");
    const Status noDrive = browser.open("Q:\\");
    ASSERT_FALSE(noDrive.ok());
    EXPECT_EQ(noDrive.error().code, ErrorCode::DriveNotMapped);
    EXPECT_EQ(messages::folderUnreadable(noDrive.error()).text,
              "Q:\\ cannot be read: Drive Q: is not mapped.");
    EXPECT_EQ(noDrive.error().path, "Q:\\");
    EXPECT_EQ(browser.path(), "C:\\Data");
    EXPECT_EQ(browser.fileRows().size(), 3u);

    // A folder that went away between its listing and the click: a box names it, and the
    // lists stay on the folder still shown.
    test::ScriptedBoxes boxes;
    stdfs::remove_all(test::fsPath(prefix / "drive_c/Data/Sub"));
    EXPECT_FALSE(browser.chooseFolder(4, boxes));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.starts_with("C:\\Data\\Sub cannot be read: "))
        << boxes.shown[0].text;
    EXPECT_EQ(boxes.shown[0].title, "File Error");
    EXPECT_EQ(boxes.shown[0].style, BoxStyle::Error);
    EXPECT_EQ(browser.path(), "C:\\Data");
    EXPECT_EQ(browser.currentFolderRow(), 1);
    EXPECT_FALSE(browser.chooseFolder(99, boxes)) << "no such row";
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(FileBrowserTest, StartsAtTheProcessFolder) {
    const auto saved = stdfs::current_path();
    stdfs::current_path(test::fsPath(prefix / "drive_c/Data/Sub"));
    FileBrowser browser(prefix.drives());
    const Status s = browser.openCurrentFolder();
    stdfs::current_path(saved);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(browser.path(), "C:\\Data\\Sub");
}

} // namespace
} // namespace corvelan::workflows
