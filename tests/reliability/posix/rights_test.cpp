// What a run may change and what it must leave: folders and files the user may not write or read,
// another user's prefix or folder, and links, to root's run and to a standard user's.
#include "reliability/posix/hostile_fixture.h"
#include "support/host.h"
#include "workflows/command_line_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;
using test::ShownBox;
using test::TempDir;

using test::kSavePath;

TEST_F(Hostile, NothingToRemoveInAFolderTheUserCannotWriteShowsNothing) {
    const std::string noDevice =
        "<DDXMLRepository>\r\n<File ProductID=\"A\"/>\r\n</DDXMLRepository>";
    test::writeFile(prefix.catalogueFile(), noDevice);
    // The user's own prefix, whose repository folder the user may not write.
    for (stdfs::path p = prefix.repositoryDir(); p.string().size() > 4; p = p.parent_path())
        ::chmod(p.c_str(), 0755);
    test::giveTreeToNobody(prefix.path());
    ::chmod(prefix.repositoryDir().c_str(), 0555);
    const int rc = test::runUnprivileged([&] {
        UpdateSession &s = start();
        s.remove(view, boxes);
        if (!boxes.shown.empty()) return 1;
        if (view.lines != std::vector<std::string>{"A  Revision: "}) return 2;
        return 0;
    });
    ::chmod(prefix.repositoryDir().c_str(), 0755);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), noDevice);
}

TEST_F(Hostile, AFailedSaveChangesNothingAndCopiesNothing) {
    for (const bool removing : {false, true}) {
        SCOPED_TRACE(removing ? "remove" : "install");
        // The unprivileged child owns the prefix and may write the pictures folder, but may not
        // create the catalogue's replacement beside it.
        for (stdfs::path p = prefix.repositoryDir(); p.string().size() > 4; p = p.parent_path())
            ::chmod(p.c_str(), 0755);
        test::giveTreeToNobody(prefix.path());
        ::chmod(prefix.repositoryDir().c_str(), 0555);
        ::chmod(tool.path().c_str(), 0755);
        const int rc = test::runUnprivileged([&] {
            UpdateSession &s = start();
            const auto before = view.lines;
            if (removing)
                s.remove(view, boxes);
            else
                s.installDtm("C:\\dtm.xml", view, boxes);
            // Why, and what to do about it in a Wine prefix.
            const std::string expected =
                kSavePath + " could not be saved: you may not change it. Nothing was " +
                (removing ? "removed" : "installed") +
                ". To change the repository, ask for write access to its folder in the Wine "
                "prefix, or start the tool as the user who owns the prefix.";
            const ShownBox &last = boxes.shown.back();
            if (last.text != expected || last.style != BoxStyle::Error) return 1;
            if (view.lines != before || s.catalogue()->bytes() != kCatalogue) return 2;
            return 0;
        });
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
        EXPECT_EQ(test::listFolder(prefix.repositoryDir()), "DDXMLRepository.xml Pictures");
        EXPECT_EQ(test::listFolder(pictures()), "");
    }
}

TEST_F(Hostile, ACatalogueTheUserMayNoLongerReadGetsTheNoRightsBox) {
    // The user owns the prefix; the catalogue's read permission goes after start-up.
    test::giveTreeToNobody(prefix.path());
    test::giveTreeToNobody(tool.path());
    for (const bool removing : {false, true}) {
        SCOPED_TRACE(removing ? "remove" : "install");
        const int rc = test::runUnprivileged([&] {
            UpdateSession &s = start();
            ::chmod(prefix.catalogueFile().c_str(), 0);
            if (removing)
                s.remove(view, boxes);
            else
                s.installDtm("C:\\dtm.xml", view, boxes);
            ::chmod(prefix.catalogueFile().c_str(), 0644);
            const std::string expected =
                kSavePath + " could not be saved: you may not change it. Nothing was " +
                (removing ? "removed" : "installed") +
                ". To change the repository, ask for write access to its folder in the Wine "
                "prefix, or start the tool as the user who owns the prefix.";
            if (boxes.shown.empty() || boxes.shown.back().text != expected) {
                std::fprintf(stderr, "box: %s\n",
                             boxes.shown.empty() ? "none" : boxes.shown.back().text.c_str());
                return 1;
            }
            return s.catalogue()->bytes() == kCatalogue ? 0 : 2;
        });
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
        EXPECT_EQ(test::listFolder(pictures()), "") << "nothing copied";
    }
}

TEST_F(Hostile, ADryRunInAFolderTheUserCannotWriteSaysWhatTheCommandWould) {
    test::writeFile(prefix / "drive_c/good.xml", test::description("3.1"));
    for (stdfs::path p = prefix.repositoryDir(); p.string().size() > 4; p = p.parent_path())
        ::chmod(p.c_str(), 0755);
    test::giveTreeToNobody(prefix.path());
    test::giveTreeToNobody(tool.path());
    ::chmod(prefix.repositoryDir().c_str(), 0555);
    const int rc = test::runUnprivileged([&] {
        const std::string before = test::snapshotWithTimesOf(prefix.path());
        const Ran rehearsed = runCli(repo, {"install", "--dry-run", "C:\\good.xml"});
        if (test::snapshotWithTimesOf(prefix.path()) != before) return 2;
        const Ran made = runCli(repo, {"install", "C:\\good.xml"});
        const bool same =
            rehearsed.code == kExitFailed && made.code == kExitFailed &&
            rehearsed.err == made.err &&
            rehearsed.err.find("you may not change it") != std::string::npos &&
            rehearsed.out == "Dry run: nothing was changed; install would exit with 2.\n";
        if (!same)
            std::fprintf(stderr, "[%s] [%s] [%s]\n", rehearsed.out.c_str(), rehearsed.err.c_str(),
                         made.err.c_str());
        return same ? 0 : 1;
    });
    ::chmod(prefix.repositoryDir().c_str(), 0755);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
}

TEST_F(Hostile, StatusCannotTellWhatTheUserMayNotRead) {
    test::writeFile(prefix / "drive_c/good.xml", test::description("3.1"));
    ASSERT_EQ(runCli(repo, {"install", "C:\\good.xml"}).code, kExitDone);
    for (stdfs::path p = prefix.repositoryDir(); p.string().size() > 4; p = p.parent_path())
        ::chmod(p.c_str(), 0755);
    ::chmod(pictures().c_str(), 0755);
    // Root's files, which the unprivileged user may not read.
    for (const std::string &unreadable :
         {prefix.catalogueFile(), repo.pictures() + "/QVXTSR7700.jpg"}) {
        SCOPED_TRACE(unreadable);
        ::chmod(unreadable.c_str(), 0);
        const int rc = test::runUnprivileged([&] {
            for (const std::vector<std::string> &form :
                 {std::vector<std::string>{"status"}, {"status", "--detect", "3.1"}}) {
                const Ran r = runCli(repo, form);
                if (r.code != kExitFailed || !r.out.empty() ||
                    !r.err.starts_with("Whether the QVX TSR 7700 DTM is installed cannot be "
                                       "told: '" +
                                       unreadable + "': ")) {
                    std::fprintf(stderr, "%d [%s] [%s]\n", r.code, r.out.c_str(), r.err.c_str());
                    return 1;
                }
            }
            return 0;
        });
        ::chmod(unreadable.c_str(), 0644);
        EXPECT_EQ(rc, 0);
    }
}

TEST_F(Hostile, AnotherUsersPrefixOrFolderIsListedButNeverChanged) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give the folders to another user";
    const struct {
        const char *name;
        std::string given; // given to nobody
        std::string shown; // as the box names it
    } cases[] = {
        {"the prefix", prefix.path(), prefix.path()},
        {"the repository folder", prefix.repositoryDir(),
         test::kRepository.substr(0, test::kRepository.size() - 1)},
        {"the history folder", prefix / "drive_c/ProgramData/Corvelan/DTM Update Tool/History",
         "c:\\ProgramData\\Corvelan\\DTM Update Tool\\History"},
    };
    stdfs::create_directories(test::fsPath(cases[2].given));
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        // What the box says of the command that did not run, `undone`.
        const auto refusal = [&](const std::string &undone) {
            return tc.shown + " belongs to nobody. Nothing was " + undone +
                   ". Start the tool as nobody.";
        };
        test::giveToNobody(tc.given.c_str());
        const std::string before = test::snapshotOf(prefix.path());
        UpdateSession &s = start();
        EXPECT_EQ(startup, StartupOutcome::Listed) << "listing is harmless";
        // Rehearsed first: the same refusals, and nothing found to change.
        Rehearsal rehearsal;
        EXPECT_EQ(s.rehearseInstall("C:\\dtm.xml", boxes, rehearsal), Outcome::Refused);
        EXPECT_EQ(boxes.shown.back().text, refusal("installed"));
        EXPECT_EQ(s.rehearseRemove(boxes, rehearsal), Outcome::Refused);
        EXPECT_EQ(boxes.shown.back().text, refusal("removed"));
        EXPECT_FALSE(rehearsal.catalogueChecked);
        EXPECT_TRUE(rehearsal.copies.empty());
        EXPECT_EQ(s.installDtm("C:\\dtm.xml", view, boxes), Outcome::Refused);
        EXPECT_EQ(boxes.shown.back().text, refusal("installed"));
        EXPECT_EQ(s.remove(view, boxes), Outcome::Refused);
        EXPECT_EQ(boxes.shown.back().text, refusal("removed"));
        EXPECT_EQ(test::snapshotOf(prefix.path()), before) << "nothing written";
        EXPECT_EQ(::chown(tc.given.c_str(), 0, 0), 0);
        boxes.shown.clear();
    }
}

TEST_F(Hostile, RootIsAnElevatedRunThatFollowsNoLink) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    test::TempDir elsewhere;
    stdfs::remove(pictures());
    stdfs::create_symlink(elsewhere.path(), pictures());
    UpdateSession &s = start(); // as the tool starts it: it judges its own rights
    EXPECT_EQ(s.installDtm("C:\\dtm.xml", view, boxes), Outcome::Refused);
    EXPECT_TRUE(boxes.shown.back().text.ends_with(
        "\\pictures is a link to another place. Nothing was installed. Remove the link, or ask "
        "an administrator to, then try again."))
        << boxes.shown.back().text;
    EXPECT_EQ(test::listFolder(elsewhere.path()), "");
}

TEST_F(Hostile, AStandardUsersRunFollowsItsOwnLinks) {
    // The user's own link to a catalogue kept elsewhere in the prefix: replaced behind the link,
    // which stays, as before the tool trusted nothing an elevated run may not.
    const std::string kept = prefix / "drive_c/kept.xml";
    test::writeFile(kept, kCatalogue);
    stdfs::remove(prefix.catalogueFile());
    stdfs::create_symlink(kept, prefix.catalogueFile());
    EXPECT_EQ(StartedSession::start(StartupOutcome::Listed, false).remove(view, boxes),
              Outcome::Done);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(stdfs::is_symlink(prefix.catalogueFile()));
    EXPECT_EQ(test::readFile(kept).find("QVX TSR 7700"), std::string::npos);
}

} // namespace
} // namespace corvelan::workflows
