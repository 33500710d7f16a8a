// The way back: what a generation keeps, what a restore puts back, and what it refuses.
#include "support/fault_hooks.h"
#include "support/host.h"
#include "support/repository_files.h"
#include "support/started_session.h"

#include "workflows/history.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

namespace corvelan {
namespace {

using workflows::Outcome;
namespace stdfs = std::filesystem;

// Other products around the device's entries, indented, so that an entry's line is what moves.
const std::string kMixed = "<?xml version=\"1.0\"?>\r\n<DDXMLRepository>\r\n"
                           "  <File ProductID=\"A\" Fileversion=\"1\"/>\r\n"
                           "  <File ProductID=\"QVX TSR 7700\" Fileversion=\"0.9\"/>\r\n"
                           "  <File ProductID=\"B\" Fileversion=\"2\"/>\r\n</DDXMLRepository>\r\n";

class History : public test::StartedSession {
protected:
    History() : StartedSession(kMixed) {}
    void SetUp() override { start(); }

    // The device's part of the repository and the catalogue, byte for byte, as one text.
    std::string state() const {
        std::string out;
        for (const std::string &part : test::devicePart(prefix))
            out += part + "\n";
        return out;
    }
    // The host path of `name` in generation `number`.
    std::string kept(int number, const std::string &name) const {
        return prefix.drives()
            .hostPath(std::string(workflows::kHistoryDir) + std::to_string(number) + "\\" + name)
            .value();
    }
    std::vector<int> numbers() const {
        std::vector<int> out;
        for (const workflows::Generation &g : session->history())
            out.push_back(g.number);
        return out;
    }
    void install(const std::string &version) {
        test::writeFile(prefix / "drive_c/d.xml", test::description(version));
        ASSERT_EQ(session->installDtm("C:\\d.xml", view, boxes), Outcome::Done);
    }
};

// From any sequence of installs, removes and restores, restore N gives back, byte for byte, the
// state generation N was kept from; a command that changes nothing keeps nothing.
TEST_F(History, RestoreGivesBackTheStateEachGenerationKept) {
    const auto seed = static_cast<unsigned>(std::random_device{}());
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::map<int, std::string> before; // each generation's state, as the test saw it
    for (int step = 0; step < 24; ++step) {
        const std::string now = state();
        const std::vector<int> had = numbers();
        const int what = static_cast<int>(random() % 3);
        SCOPED_TRACE("step " + std::to_string(step) + ": " + std::to_string(what));
        if (what == 0) {
            // A picture changes between installs too, so that a copy is more than a rename.
            test::writeFile(tool / "corvelan.ico", "picture " + std::to_string(random() % 2));
            install(std::to_string(random() % 3) + ".0");
        } else if (what == 1) {
            ASSERT_EQ(session->remove(view, boxes), Outcome::Done);
        } else if (!had.empty()) {
            const int target = had[random() % had.size()];
            ASSERT_EQ(session->restore(target, view, boxes), Outcome::Done);
            EXPECT_EQ(state(), before.at(target)) << "restore " << target;
        }
        const std::vector<int> has = numbers();
        if (state() == now) {
            EXPECT_EQ(has, had) << "nothing changed, nothing kept";
        } else {
            ASSERT_FALSE(has.empty());
            ASSERT_TRUE(had.empty() || has.front() > had.front());
            before[has.front()] = now;
        }
        EXPECT_LE(has.size(), workflows::kKeptGenerations + 1);
    }
}

TEST_F(History, PruningKeepsTheOriginalAndTheLastTen) {
    for (int i = 0; i < 13; ++i)
        install(std::to_string(i));
    EXPECT_EQ(numbers(), (std::vector<int>{13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 1}));
    EXPECT_FALSE(stdfs::exists(test::fsPath(kept(2, "manifest.txt")).parent_path()))
        << "a pruned generation's folder goes with its files";
    EXPECT_EQ(session->history().back().original, true);
    ASSERT_EQ(session->restore(1, view, boxes), Outcome::Done);
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kMixed) << "the original is never pruned";
}

TEST_F(History, AKeptFileMissingOrDamagedIsNamedAndNothingChanges) {
    install("2.0");
    install("3.0");
    boxes.shown.clear();
    const std::string now = state();
    for (const bool missing : {false, true}) {
        SCOPED_TRACE(missing ? "missing" : "damaged");
        const std::string file = missing ? "corvelan.jpg" : "QVX TSR 7700.xml";
        if (missing)
            ASSERT_TRUE(stdfs::remove(test::fsPath(kept(2, file))));
        else
            test::writeFile(kept(2, file), "not what was kept");
        boxes.shown.clear();
        EXPECT_EQ(session->restore(2, view, boxes), Outcome::Refused);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text,
                  std::string(workflows::kHistoryDir) + "2\\" + file +
                      " is missing or damaged: it does not hold what the history's manifest "
                      "says, so that version cannot be restored. Nothing was restored.");
        EXPECT_EQ(state(), now);
        EXPECT_EQ(numbers(), (std::vector<int>{2, 1}));
    }
    // A manifest that names no command of the tool's is no generation.
    std::string manifest = test::readFile(kept(2, "manifest.txt"));
    const auto command = manifest.find("\ncommand install");
    ASSERT_NE(command, std::string::npos);
    manifest.replace(command, 16, "\ncommand uninstall");
    test::writeFile(kept(2, "manifest.txt"), manifest);
    EXPECT_EQ(numbers(), (std::vector<int>{1}));
}

TEST_F(History, RestoreAsksWhichVersionAndWhenItWasInstalled) {
    install("2.3.0");
    install("2.5.0");
    boxes.answer = workflows::BoxAnswer::No;
    boxes.shown.clear();
    const std::string now = state();
    EXPECT_EQ(session->restore(std::nullopt, view, boxes), Outcome::Declined);
    ASSERT_EQ(boxes.shown.size(), 1u);
    const workflows::Generation installed = session->history().at(1);
    EXPECT_EQ(boxes.shown[0].text, "Go back to the QVX TSR 7700 DTM version 2.3.0, installed on " +
                                       workflows::messages::localTime(installed.time) + " by " +
                                       installed.user + "?");
    EXPECT_EQ(state(), now);
    EXPECT_EQ(repo.log.events.back().id & 0xffff, 12u) << "restore not confirmed";
}

// A generation stands for a change that was made: a reinstall whose catalogue keeps its bytes and
// whose every copy failed changed nothing, and leaves none.
TEST_F(History, AnInstallWhoseEveryCopyFailedKeepsNoGeneration) {
    install("2.0");
    const std::vector<int> had = numbers();
    test::writeFile(prefix / "drive_c/d.xml", test::description("2.0") + " ");
    const test::FullDisk full;
    EXPECT_EQ(session->installDtm("C:\\d.xml", view, boxes), Outcome::Failed);
    EXPECT_EQ(numbers(), had);
}

// The dry run of a restore to a state without the device's files says it would remove them.
TEST_F(History, ARestoresDryRunSaysWhichFilesWouldGo) {
    install("2.0");
    const std::string now = state();
    workflows::Rehearsal rehearsal;
    EXPECT_EQ(session->rehearseRestore(1, boxes, rehearsal), Outcome::Done);
    ASSERT_EQ(rehearsal.copies.size(), catalogue::kInstalledFiles.size());
    for (const workflows::Rehearsal::Copy &copy : rehearsal.copies)
        EXPECT_EQ(copy.effect, fs::Replacement::Removes) << copy.destination;
    EXPECT_EQ(rehearsal.added, std::vector<std::string>{"QVX TSR 7700  Revision: 0.9"});
    EXPECT_EQ(state(), now);
}

// A run with more rights follows no link into the history: a link planted there is refused, and
// nothing is kept through it.
TEST_F(History, AnElevatedRunRefusesAHistoryFolderThatIsALink) {
    test::TempDir outside;
    const std::string history = prefix / "drive_c/ProgramData/Corvelan/DTM Update Tool/History";
    stdfs::create_directories(
        test::fsPath(prefix / "drive_c/ProgramData/Corvelan/DTM Update Tool"));
    ASSERT_TRUE(test::makeSymbolicLink(outside.path(), history));
    start(workflows::StartupOutcome::Listed, true);
    const std::string now = state();
    EXPECT_EQ(session->remove(view, boxes), Outcome::Refused);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.starts_with("c:\\ProgramData\\Corvelan\\DTM Update "
                                                "Tool\\History is a link to another place. "
                                                "Nothing was removed."))
        << boxes.shown[0].text;
    EXPECT_EQ(state(), now);
    EXPECT_EQ(test::listFolder(outside.path()), "") << "nothing kept through the link";
}

} // namespace
} // namespace corvelan
