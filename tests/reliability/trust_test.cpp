// A run with more rights than the standard users who share the machine, over a repository they
// could have planted links in: real links (under Wine, Unix ones) at the repository's folders, at
// the files an install replaces and at the names of temporary files. Whatever stands there, the
// tool changes nothing outside the repository, and says what it refused.
#include "platform/file_system.h"
#include "support/attributes.h"
#include "support/error_text.h"
#include "support/fault_hooks.h"
#include "support/host.h"
#include "support/repository_files.h"
#include "support/started_session.h"
#include "workflows/update_session.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;
using test::kSavePath;
using test::ShownBox;

const std::string &kCatalogue = test::kTwoEntries;
using test::kRepository;

std::string refusal(const std::string &path, const char *undone) {
    return path + " is a link to another place. Nothing was " + undone +
           ". Remove the link, or ask an administrator to, then try again.";
}

// A repository, the tool's pictures, a description, and a folder outside the repository that a
// standard user's links lead to, holding a read-only file of someone else's.
class ElevatedRun : public test::StartedSession {
protected:
    void SetUp() override {
        test::writeFile(outside / "precious.ico", "someone else's file");
        ASSERT_TRUE(test::setFileAttributes(outside / "precious.ico", test::kReadOnly).ok());
    }
    // Elevated; listing stays harmless, whatever was planted.
    UpdateSession &start() { return StartedSession::start(StartupOutcome::Listed, true); }
    void expectLinkedFolderRefused(const std::string &folder, const std::string &shown);

    test::TempDir outside;
};

// Makes `folder` a link to a folder outside, then expects an install and a remove refused naming
// `shown` (a remove goes through the pictures folder too: the history keeps the pictures);
// nothing outside changes.
void ElevatedRun::expectLinkedFolderRefused(const std::string &folder, const std::string &shown) {
    stdfs::rename(test::fsPath(folder), test::fsPath(outside / "moved"));
    ASSERT_TRUE(test::makeSymbolicLink(outside / "moved", folder));
    const std::string before = test::snapshotOf(outside.path());
    UpdateSession &s = start();
    // Rehearsed first: the same refusal, and nothing found to change.
    Rehearsal rehearsal;
    EXPECT_EQ(s.rehearseInstall("C:\\dtm.xml", boxes, rehearsal), Outcome::Refused);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1],
              (ShownBox{refusal(shown, "installed"), "File Error", BoxStyle::Error}));
    EXPECT_FALSE(rehearsal.catalogueChecked);
    EXPECT_TRUE(rehearsal.copies.empty());
    boxes.shown.clear();
    EXPECT_EQ(s.installDtm("C:\\dtm.xml", view, boxes), Outcome::Refused);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1],
              (ShownBox{refusal(shown, "installed"), "File Error", BoxStyle::Error}));
    boxes.shown.clear();
    EXPECT_EQ(s.remove(view, boxes), Outcome::Refused);
    EXPECT_EQ(boxes.shown,
              (std::vector<ShownBox>{{refusal(shown, "removed"), "File Error", BoxStyle::Error}}));
    EXPECT_EQ(test::snapshotOf(outside.path()), before) << "nothing outside changed";
}

TEST_F(ElevatedRun, AFolderAboveTheRepositoryThatIsALinkIsRefused) {
    expectLinkedFolderRefused(prefix / "drive_c/ProgramData/Schneider Electric",
                              "c:\\ProgramData\\Schneider Electric");
}

TEST_F(ElevatedRun, ARepositoryFolderThatIsALinkIsRefused) {
    expectLinkedFolderRefused(prefix.repositoryDir(),
                              kRepository.substr(0, kRepository.size() - 1));
}

TEST_F(ElevatedRun, APicturesFolderThatIsALinkIsRefused) {
    expectLinkedFolderRefused(pictures(), kRepository + "pictures");
}

TEST_F(ElevatedRun, ACatalogueThatIsALinkIsRefused) {
    // The catalogue lives outside and is listed through the link, as the tool lists.
    test::writeFile(outside / "catalogue.xml", kCatalogue);
    stdfs::remove(test::fsPath(prefix.catalogueFile()));
    ASSERT_TRUE(test::makeSymbolicLink(outside / "catalogue.xml", prefix.catalogueFile()));
    const std::string before = test::snapshotOf(outside.path());
    UpdateSession &s = start();
    EXPECT_EQ(s.installDtm("C:\\dtm.xml", view, boxes), Outcome::Refused);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, refusal(kSavePath, "installed"));
    boxes.shown.clear();
    EXPECT_EQ(s.remove(view, boxes), Outcome::Refused);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(test::snapshotOf(outside.path()), before) << "nothing outside changed";
    EXPECT_EQ(test::listFolder(pictures()), "") << "no copy made";
}

TEST_F(ElevatedRun, APictureThatIsALinkIsRefused) {
    ASSERT_TRUE(test::makeSymbolicLink(outside / "precious.ico", pictures() + "/corvelan.ico"));
    const std::string before = test::snapshotOf(outside.path());
    UpdateSession &s = start();
    EXPECT_EQ(s.installDtm("C:\\dtm.xml", view, boxes), Outcome::Refused);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, refusal(kRepository + "pictures\\corvelan.ico", "installed"));
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue) << "refused before any change";
    EXPECT_EQ(test::snapshotOf(outside.path()), before) << "nothing outside changed";
    boxes.shown.clear();
    Rehearsal rehearsal;
    EXPECT_EQ(s.rehearseInstall("C:\\dtm.xml", boxes, rehearsal), Outcome::Refused);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, refusal(kRepository + "pictures\\corvelan.ico", "installed"));
}

TEST_F(ElevatedRun, ARestoreThroughALinkedPictureChangesNothingOutside) {
    UpdateSession &s = start();
    ASSERT_EQ(s.installDtm("C:\\dtm.xml", view, boxes), Outcome::Done);
    // The original held no picture: a restore to it would remove each one, this one through the
    // link a standard user put in its place.
    stdfs::remove(test::fsPath(pictures() + "/corvelan.ico"));
    ASSERT_TRUE(test::makeSymbolicLink(outside / "precious.ico", pictures() + "/corvelan.ico"));
    const std::string before = test::snapshotOf(outside.path());
    const std::string catalogue = test::readFile(prefix.catalogueFile());
    boxes.shown.clear();
    EXPECT_EQ(s.restore(1, view, boxes), Outcome::Refused);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, refusal(kRepository + "pictures\\corvelan.ico", "restored"));
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), catalogue) << "refused before any change";
    EXPECT_EQ(test::snapshotOf(outside.path()), before) << "nothing outside changed";
}

TEST_F(ElevatedRun, AStoredDescriptionNameThatLeadsOutsideMakesNothingThere) {
    // A link to where nothing is yet: a copy through it would make a file of the run's own
    // wherever it points.
    const std::string stored = prefix.repositoryDir() + "/QVX TSR 7700.xml";
    ASSERT_TRUE(test::makeSymbolicLink(outside / "planted.xml", stored));
    UpdateSession &s = start();
    const Outcome outcome = s.installDtm("C:\\dtm.xml", view, boxes);
    EXPECT_FALSE(test::fileExists(outside / "planted.xml")) << "made through the link";
    // Refused where the host shows the link (Linux), else the link itself replaced by the file
    // (Wine shows no link that leads nowhere, and a rename replaces the name, not its target).
    if (outcome == Outcome::Refused) {
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(boxes.shown[1].text, refusal(kRepository + "QVX TSR 7700.xml", "installed"));
    } else {
        EXPECT_EQ(outcome, Outcome::Done);
        EXPECT_EQ(test::readFile(stored), test::readFile(prefix / "drive_c/dtm.xml"));
    }
}

TEST_F(ElevatedRun, LinksNamedLikeTemporaryFilesAreLeftAlone) {
    // What a standard user could plant for the cleanup of a killed save's files to meet.
    test::writeFile(outside / "second name.ico", "a file with two names");
    ASSERT_TRUE(test::setFileAttributes(outside / "second name.ico", test::kReadOnly).ok());
    const std::string symbolic = prefix.repositoryDir() + "/.DDXMLRepository.xml.corvelan-L1nked";
    const std::string hard = prefix.repositoryDir() + "/.QVX TSR 7700.xml.corvelan-H4rdLk";
    ASSERT_TRUE(test::makeSymbolicLink(outside / "precious.ico", symbolic));
    ASSERT_TRUE(test::makeHardLink(outside / "second name.ico", hard));
    const std::string before = test::snapshotOf(outside.path());
    UpdateSession &s = start();
    EXPECT_EQ(s.remove(view, boxes), Outcome::Done);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(test::snapshotOf(outside.path()), before) << "nothing outside changed";
    EXPECT_TRUE(test::fileExists(symbolic));
    EXPECT_TRUE(test::fileExists(hard));
    EXPECT_EQ(test::fileAttributes(outside / "second name.ico").value() & test::kReadOnly,
              test::kReadOnly);
}

TEST_F(ElevatedRun, ACatalogueMadeALinkDuringTheSaveIsNeitherReadNorReplaced) {
    // The other program's catalogue, well-formed, with an entry of its own: neither read into
    // the tool's listing nor edited.
    const std::string planted = "<DDXMLRepository>\r\n<File ProductID=\"Planted\" "
                                "Fileversion=\"6\"/>\r\n</DDXMLRepository>\r\n";
    test::writeFile(outside / "planted.xml", planted);
    const std::string before = test::snapshotOf(outside.path());
    UpdateSession &s = start();
    const auto listed = view.lines;
    {
        // Just before the look at the catalogue before the rename, once.
        bool linked = false;
        const test::AtStep link(fs::FileOperation::Check, [&](int time) {
            if (time == 1) {
                stdfs::remove(test::fsPath(prefix.catalogueFile()));
                linked = test::makeSymbolicLink(outside / "planted.xml", prefix.catalogueFile());
            }
            return 0;
        });
        EXPECT_EQ(s.remove(view, boxes), Outcome::Failed);
        ASSERT_TRUE(linked);
    }
    EXPECT_EQ(boxes.shown,
              (std::vector<ShownBox>{{kSavePath + " could not be saved: It is a link to another "
                                                  "place. Nothing was removed.",
                                      "File Error", BoxStyle::Error}}));
    EXPECT_EQ(view.lines, listed);
    EXPECT_EQ(s.catalogue()->bytes(), kCatalogue);
    EXPECT_EQ(test::snapshotOf(outside.path()), before) << "nothing outside changed";
}

TEST_F(ElevatedRun, AFolderSwappedForALinkAtTheRenameGetsNothing) {
    stdfs::create_directories(test::fsPath(outside / "elsewhere"));
    UpdateSession &s = start();
    Outcome outcome{};
    bool swapped = false;
    {
        // At the rename, another program moves the folder away and puts a link to a folder of
        // its own in its place, once.
        const std::string folder = prefix.repositoryDir();
        const test::AtStep swap(fs::FileOperation::Rename, [&](int time) {
            std::error_code refused;
            if (time == 1)
                stdfs::rename(test::fsPath(folder), test::fsPath(folder + ".moved"), refused);
            swapped = swapped || (time == 1 && !refused &&
                                  test::makeSymbolicLink(outside / "elsewhere", folder));
            return 0;
        });
        outcome = s.remove(view, boxes);
        ASSERT_GE(swap.times(), 1);
    }
    EXPECT_EQ(test::listFolder(outside / "elsewhere"), "") << "the catalogue went through it";
    if (swapped) {
        // Linux lets a held folder move: the save stops, and the folder moved keeps its file.
        EXPECT_EQ(outcome, Outcome::Failed);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text,
                  kSavePath + " could not be saved: Its folder was moved or replaced while the "
                              "tool worked in it. Nothing was removed.");
        EXPECT_EQ(test::readFile(prefix.repositoryDir() + ".moved/DDXMLRepository.xml"),
                  kCatalogue);
        EXPECT_EQ(test::listFolder(prefix.repositoryDir() + ".moved"),
                  "DDXMLRepository.xml Pictures")
            << "no temporary left";
    } else {
        // Windows keeps a held folder where it is: the swap fails, the save lands in place.
        EXPECT_EQ(outcome, Outcome::Done);
        EXPECT_EQ(test::readFile(prefix.catalogueFile()).find("QVX TSR 7700"), std::string::npos);
    }
}

} // namespace
} // namespace corvelan::workflows
