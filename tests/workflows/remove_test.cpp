// Remove through the session: only the device's entries go, and nothing is written when there
// is nothing to take out.
#include "workflows/install_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;
using test::kSavePath;
using test::profile;
using test::readFile;
using test::ShownBox;
using test::writeFile;

// The file's identity on its volume: a save that replaces it changes it.
std::uint64_t identityOf(const std::string &path) {
    auto file = fs::OpenFile::open(path);
    return file ? file->stamp().inode : 0;
}

TEST_F(InstallTest, RemoveCutsOnlyTheDeviceEntries) {
    writeFile(prefix.repositoryDir() + "/QVX TSR 7700.xml", "stored");
    writeFile(pictures() + "/corvelan.ico", "stored picture");
    UpdateSession &s = start();
    s.remove(view, boxes);
    const std::string after = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DDXMLRepository>\r\n"
                              "<File ProductID=\"Norvik\" Fileversion=\"2\"/>\r\n"
                              "<File ProductID=\"Halden\" Fileversion=\"11\"/>\r\n"
                              "</DDXMLRepository>\r\n";
    EXPECT_EQ(readFile(prefix.catalogueFile()), after);
    EXPECT_EQ(view.lines,
              (std::vector<std::string>{"Norvik  Revision: 2", "Halden  Revision: 11"}));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(test::listFolder(prefix.repositoryDir()),
              "DDXMLRepository.xml Pictures QVX TSR 7700.xml");
    EXPECT_EQ(test::listFolder(pictures()), "corvelan.ico");

    // A second click removes nothing and saves the same content again.
    s.remove(view, boxes);
    EXPECT_EQ(readFile(prefix.catalogueFile()), after);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(InstallTest, NearMissesOfTheProductIdAreOtherProducts) {
    const std::string others = "<DDXMLRepository>\r\n"
                               "<File ProductID=\"QVX TSR 7700 Plus\" Fileversion=\"3\"/>\r\n"
                               "<File ProductID=\"QVX TSR 770\" Fileversion=\"4\"/>\r\n"
                               "<File ProductID=\"qvx tsr 7700\" Fileversion=\"5\"/>\r\n";
    const std::vector<std::string> otherLines{
        "QVX TSR 7700 Plus  Revision: 3", "QVX TSR 770  Revision: 4", "qvx tsr 7700  Revision: 5"};
    writeFile(prefix.catalogueFile(), others +
                                          "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n"
                                          "</DDXMLRepository>\r\n");
    UpdateSession &s = start();
    s.remove(view, boxes);
    EXPECT_EQ(readFile(prefix.catalogueFile()), others + "</DDXMLRepository>\r\n");
    EXPECT_EQ(view.lines, otherLines);

    s.installDtm(description("a.xml", profile("<productName>QVXTSR7700</productName>"
                                              "<version>6</version>")),
                 view, boxes);
    EXPECT_EQ(readFile(prefix.catalogueFile()), others + entry("6") + "</DDXMLRepository>\r\n");
    auto lines = otherLines;
    lines.push_back("QVX TSR 7700  Revision: 6");
    EXPECT_EQ(view.lines, lines);
    EXPECT_EQ(boxes.shown.size(), 1u) << "only the confirmation";
}

TEST_F(InstallTest, RemoveWithoutACatalogueSaysSo) {
    stdfs::remove(test::fsPath(prefix.catalogueFile()));
    UpdateSession s(prefix.drives());
    EXPECT_EQ(s.startUp(view), StartupOutcome::CatalogueNotLoaded);
    const auto statusLines = view.lines;
    s.remove(view, boxes);
    EXPECT_EQ(boxes.shown,
              (std::vector<ShownBox>{{kSavePath + " is not loaded. Nothing was removed.",
                                      "File Error", BoxStyle::Error}}));
    EXPECT_EQ(view.lines, statusLines);
    EXPECT_FALSE(test::fileExists(prefix.catalogueFile()));
}

TEST_F(InstallTest, RemoveWithNothingToRemoveWritesNothing) {
    const std::string noDevice = "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>"
                                 "\r\n</DDXMLRepository>\r\n";
    writeFile(prefix.catalogueFile(), noDevice);
    const std::uint64_t before = identityOf(prefix.catalogueFile());
    UpdateSession &s = start();
    s.remove(view, boxes);
    s.remove(view, boxes);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(identityOf(prefix.catalogueFile()), before) << "the file was not replaced";
    EXPECT_EQ(readFile(prefix.catalogueFile()), noDevice);
    EXPECT_EQ(view.lines, std::vector<std::string>{"A  Revision: 1"});

    // A device entry that another program added meanwhile is still taken out.
    writeFile(prefix.catalogueFile(), kCatalogue);
    s.remove(view, boxes);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(view.lines,
              (std::vector<std::string>{"Norvik  Revision: 2", "Halden  Revision: 11"}));
    EXPECT_EQ(readFile(prefix.catalogueFile()).find("QVX TSR 7700"), std::string::npos);
}

} // namespace
} // namespace corvelan::workflows
