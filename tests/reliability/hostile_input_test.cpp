#include "support/host.h"
#include "support/hostile_corpus.h"
#include "support/recording_view.h"
#include "support/repository.h"
#include "support/scripted_boxes.h"
#include "support/temp_prefix.h"
#include "workflows/update_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;
using test::TempDir;
using test::TempPrefix;

class HostileInput : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::plantNeverReadTrap(); }
    static void TearDownTestSuite() { test::removeNeverReadTrap(); }
};

TEST_F(HostileInput, CatalogueIsRefusedOrReadButNeverChanged) {
    for (const test::HostileCase &tc : test::hostileCases()) {
        SCOPED_TRACE(tc.name);
        TempPrefix prefix;
        test::writeHostileCase(tc, "DDXMLRepository", prefix.catalogueFile());
        const auto sizeBefore = stdfs::file_size(test::fsPath(prefix.catalogueFile()));
        UpdateSession session(prefix.drives());
        test::RecordingView view;
        const StartupOutcome outcome = session.startUp(view);
        if (tc.catalogueLoads) {
            EXPECT_EQ(outcome, StartupOutcome::Listed);
            EXPECT_EQ(view.lines, std::vector<std::string>{"QVX TSR 7700  Revision: 1.0"});
        } else {
            EXPECT_EQ(outcome, StartupOutcome::CatalogueNotLoaded);
            EXPECT_EQ(view.lines.front(), "File Missing");
            // Remove after a refused load changes nothing either.
            test::ScriptedBoxes boxes;
            session.remove(view, boxes);
            EXPECT_EQ(boxes.shown.size(), 1u);
        }
        EXPECT_EQ(stdfs::file_size(test::fsPath(prefix.catalogueFile())), sizeBefore);
    }
}

TEST_F(HostileInput, DescriptionIsRefusedWithTheFirstBox) {
    for (const test::HostileCase &tc : test::hostileCases()) {
        SCOPED_TRACE(tc.name);
        TempPrefix prefix;
        test::writeFile(prefix.catalogueFile(), "<DDXMLRepository/>");
        test::writeHostileCase(tc, "ISO15745Profile", prefix / "drive_c/picked.xml");
        UpdateSession session(prefix.drives());
        test::RecordingView view;
        ASSERT_EQ(session.startUp(view), StartupOutcome::Listed);
        test::ScriptedBoxes boxes;
        boxes.answer = BoxAnswer::No;
        session.installDtm("C:\\picked.xml", view, boxes);
        ASSERT_EQ(boxes.shown.size(), 1u);
        if (tc.descriptionPasses)
            EXPECT_EQ(boxes.shown[0].style, BoxStyle::Confirm) << boxes.shown[0].text;
        else
            EXPECT_EQ(boxes.shown[0].text, "C:\\picked.xml is not a valid DTM XML file.");
        EXPECT_EQ(test::readFile(prefix.catalogueFile()), "<DDXMLRepository/>");
    }
}

TEST(AwkwardPaths, SpacesNonAsciiAndLengthWork) {
    TempDir base;
    const std::string prefixPath = base / "Wine prefix für Prüfung";
    const std::string repository =
        prefixPath + "/drive_c/ProgramData/Schneider Electric/PTK Generic DTM/DDXMLRepository";
    stdfs::create_directories(test::fsPath(repository + "/pictures"));
    test::writeFile(repository + "/DDXMLRepository.xml", "<DDXMLRepository>\n</DDXMLRepository>");
    std::string longFolder = prefixPath + "/drive_c/Données techniques";
    std::string windowsFolder = "C:\\Données techniques";
    for (int i = 0; i < 12; ++i) {
        const std::string part = "Sous-dossier numéro " + std::to_string(i) + " avec espaces";
        longFolder += "/" + part;
        windowsFolder += "\\" + part;
    }
    stdfs::create_directories(test::fsPath(longFolder));
    const std::string profile = test::description("ß 2.0 ☺");
    test::writeFile(longFolder + "/QVX été ☺.xml", profile);
    TempDir tool;
    for (const char *picture : {"corvelan.ico", "corvelan.jpg", "QVXTSR7700.jpg",
                                "QVXTSR7700Large.ico", "QVXTSR7700Small.ico"})
        test::writeFile(tool / picture, picture);

    const DriveMap drives = DriveMap::forPrefix(prefixPath).value();
    UpdateSession session(drives, [&tool]() -> Result<std::string> { return tool.path(); });
    test::RecordingView view;
    ASSERT_EQ(session.startUp(view), StartupOutcome::Listed);
    test::ScriptedBoxes boxes;
    const std::string picked = windowsFolder + "\\QVX été ☺.xml";
    ASSERT_GT(picked.size(), 400u);
    session.installDtm(picked, view, boxes);
    ASSERT_EQ(boxes.shown.size(), 1u) << boxes.shown.back().text;
    EXPECT_EQ(view.lines, std::vector<std::string>{"QVX TSR 7700  Revision: ß 2.0 ☺"});
    EXPECT_EQ(test::readFile(repository + "/QVX TSR 7700.xml"), profile);
    EXPECT_EQ(test::readFile(repository + "/pictures/corvelan.ico"), "corvelan.ico");
}

} // namespace
} // namespace corvelan::workflows
