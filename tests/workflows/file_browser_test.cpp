#include "support/temp_prefix.h"
#include "workflows/file_browser.h"

#include <gtest/gtest.h>

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

TEST_F(FileBrowserTest, ListsXmlFilesAndFoldersAsWindowsDoes) {
    FileBrowser browser(prefix.drives());
    ASSERT_TRUE(browser.open("c:\\data\\").ok());
    EXPECT_EQ(browser.path(), "c:\\data");
    EXPECT_EQ(browser.files(), (std::vector<std::string>{"a.xml", "A2.xml", "b.XML"}));
    EXPECT_EQ(browser.subFolders(),
              (std::vector<std::string>{"folder.xml", "link", "Sub", "sub two"}));
    ASSERT_EQ(browser.chain().size(), 2u);
    EXPECT_EQ(browser.chain()[0].name, "c:\\");
    EXPECT_EQ(browser.chain()[1].path, "c:\\data");
    EXPECT_EQ(browser.driveLetter(), 'c');

    ASSERT_TRUE(browser.open(composeFilePath(browser.path(), "sub two")).ok());
    EXPECT_EQ(browser.path(), "c:\\data\\sub two");
    EXPECT_TRUE(browser.files().empty());
    ASSERT_TRUE(browser.open("Z:\\").ok());
    EXPECT_EQ(browser.chain().size(), 1u);
    EXPECT_EQ(browser.driveLetter(), 'z');
}

TEST_F(FileBrowserTest, KeepsThePreviousFolderWhenOneCannotBeRead) {
    FileBrowser browser(prefix.drives());
    ASSERT_TRUE(browser.open("C:\\Data").ok());
    const Status missing = browser.open("C:\\Data\\Gone");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().subject, "C:\\Data\\Gone");
    const Status noDrive = browser.open("Q:\\");
    ASSERT_FALSE(noDrive.ok());
    EXPECT_EQ(noDrive.error().subject, "Q:\\");
    EXPECT_EQ(browser.path(), "C:\\Data");
    EXPECT_EQ(browser.files().size(), 3u);
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
