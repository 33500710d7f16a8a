// A rehearsed install or remove: every check the real one makes, what it would change, and the
// exit code it would end with; not a byte, a name or a time changes on disk, and no event is left.
#include "support/fault_hooks.h"
#include "support/repository_files.h"
#include "workflows/command_line_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;
using test::kSavePath;

using test::kRepository;

// What an install would do to each file it copies, in the order it copies them.
std::string copies(const char *picturesVerb, const char *descriptionVerb) {
    const auto picture = [&](const char *name) {
        return std::string("Would ") + picturesVerb + " " + kRepository + "pictures\\" + name +
               "\n";
    };
    return picture("corvelan.ico") + picture("corvelan.jpg") + "Would " + descriptionVerb + " " +
           kRepository + "QVX TSR 7700.xml" +
           (std::string(descriptionVerb) == "leave" ? " as it is\n" : "\n") +
           picture("QVXTSR7700.jpg") + picture("QVXTSR7700Large.ico") +
           picture("QVXTSR7700Small.ico");
}

class DryRunTest : public CommandLineTest {
protected:
    // Runs `arguments`, then expects nothing below the prefix or the tool's folder changed.
    Ran rehearse(const std::vector<std::string> &arguments) {
        const std::string before = snapshot();
        const std::size_t events = repo.log.events.size();
        Ran ran = run(arguments);
        EXPECT_EQ(snapshot(), before) << "a dry run changes nothing";
        EXPECT_EQ(repo.log.events.size(), events) << "and leaves no event";
        return ran;
    }
    std::string snapshot() const {
        return test::snapshotWithTimesOf(prefix.path()) + test::snapshotWithTimesOf(tool.path());
    }
};

TEST_F(DryRunTest, SaysWhatAnInstallAndARemoveWouldChangeAndTheCodeTheyWouldEndWith) {
    const Ran install = rehearse({"install", "--dry-run", "C:\\good.xml"});
    EXPECT_EQ(install.code, kExitDone);
    EXPECT_EQ(install.err, "");
    EXPECT_EQ(install.out, "Would take out of " + kSavePath + ": QVX TSR 7700  Revision: 1\n" +
                               "Would add to " + kSavePath + ": QVX TSR 7700  Revision: 3.1\n" +
                               copies("create", "create") +
                               "Dry run: nothing was changed; install would exit with 0.\n");
    const Ran remove = rehearse({"remove", "--dry-run"});
    EXPECT_EQ(remove.code, kExitDone);
    EXPECT_EQ(remove.out, "Would take out of " + kSavePath + ": QVX TSR 7700  Revision: 1\n" +
                              "Dry run: nothing was changed; remove would exit with 0.\n");

    // Once installed, the same install leaves the catalogue's bytes as they are; the copies
    // replace; and the stored description installed from itself is left alone.
    ASSERT_EQ(run({"install", "C:\\good.xml"}).code, kExitDone);
    EXPECT_EQ(rehearse({"install", "C:\\good.xml", "--dry-run"}).out,
              "Would leave " + kSavePath + " as it is\n" + copies("replace", "replace") +
                  "Dry run: nothing was changed; install would exit with 0.\n");
    const std::string stored = kRepository + "QVX TSR 7700.xml";
    EXPECT_EQ(rehearse({"install", "--dry-run", stored}).out,
              "Would leave " + kSavePath + " as it is\n" + copies("replace", "leave") +
                  "Dry run: nothing was changed; install would exit with 0.\n");

    ASSERT_EQ(run({"remove"}).code, kExitDone);
    EXPECT_EQ(rehearse({"remove", "--dry-run"}).out,
              "Would leave " + kSavePath +
                  " as it is\nDry run: nothing was changed; remove would exit with 0.\n");
}

TEST_F(DryRunTest, ARefusalIsTheRealCommandsBoxAndExitCode) {
    const Ran other = rehearse({"install", "--dry-run", "C:\\other.xml"});
    EXPECT_EQ(other.code, kExitRefused);
    EXPECT_EQ(other.err, "The Product ID of this file is Other. It should be QVXTSR7700.\n");
    EXPECT_EQ(other.out, "Dry run: nothing was changed; install would exit with 1.\n");

    stdfs::remove(test::fsPath(tool / "corvelan.jpg"));
    const Ran noPicture = rehearse({"install", "--dry-run", "C:\\good.xml"});
    EXPECT_EQ(noPicture.code, kExitFailed);
    EXPECT_TRUE(noPicture.err.starts_with("The DTM was installed, but these files could not be "
                                          "copied:\n"))
        << "the box the install would end with: " << noPicture.err;
    EXPECT_TRUE(noPicture.out.ends_with("install would exit with 2.\n")) << noPicture.out;
}

TEST_F(DryRunTest, AFolderTheUserMayNotWriteGetsTheNoRightsBoxWithoutAWrite) {
    for (const char *command : {"install", "remove"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> arguments{command, "--dry-run"};
        if (std::string(command) == "install") arguments.emplace_back("C:\\good.xml");
        std::string real;
        {
            // Every temporary file refused, as in a folder the user may not write.
            const test::AtStep none(fs::FileOperation::CreateTemp, [](int) { return EACCES; });
            const Ran rehearsed = rehearse(arguments);
            EXPECT_EQ(rehearsed.code, kExitFailed);
            EXPECT_TRUE(rehearsed.err.starts_with(kSavePath + " could not be saved: you may not "
                                                              "change it. Nothing was "))
                << rehearsed.err;
            arguments.erase(arguments.begin() + 1);
            const Ran made = run(arguments);
            EXPECT_EQ(made.code, rehearsed.code);
            EXPECT_EQ(made.err, rehearsed.err) << "the rehearsal tells what the command tells";
        }
    }
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
}

} // namespace
} // namespace corvelan::workflows
