// The command line on the windows' workflows: what it prints where, what it leaves on disk, and
// the exit code that tells a deployment system how it ended.
#include "platform/process.h"
#include "support/device_entry.h"
#include "support/fault_hooks.h"
#include "support/repository.h"
#include "support/repository_files.h"
#include "support/temp_prefix.h"
#include "workflows/command_line.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;

using test::kPictures;
const std::string kHead = "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>\r\n";
const std::string kCatalogue =
    kHead + "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n</DDXMLRepository>\r\n";
using test::kSavePath;

struct Ran {
    int code = -1;
    std::string out;
    std::string err;
};

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeFile(prefix / "drive_c/good.xml", test::description("3.1"));
        test::writeFile(prefix / "drive_c/other.xml",
                        test::profile("<productName>Other</productName>"));
    }
    Ran run(const std::vector<std::string> &arguments) {
        Ran r;
        r.code = runCommandLine(
            arguments, prefix.drives(), repo.toolFolder(), "9.8.7",
            [&r](std::string_view text) { r.out += text; },
            [&r](std::string_view text) { r.err += text; });
        return r;
    }

    test::Repository repo{kCatalogue};
    test::TempPrefix &prefix = repo.prefix;
    test::TempDir &tool = repo.tool;
};

TEST_F(CommandLineTest, ListPrintsTheListingOrTheStatusLines) {
    Ran listed = run({"list"});
    EXPECT_EQ(listed.code, kExitDone);
    EXPECT_EQ(listed.out, "A  Revision: 1\nQVX TSR 7700  Revision: 1\n");
    EXPECT_EQ(listed.err, "");

    stdfs::remove(test::fsPath(prefix.catalogueFile()));
    Ran missing = run({"list"});
    EXPECT_EQ(missing.code, kExitRefused);
    EXPECT_EQ(missing.out, "File Missing\n" + kSavePath + "\n");
    EXPECT_EQ(run({"remove"}).err, kSavePath + " is not loaded. Nothing was removed.\n");
    EXPECT_EQ(run({"remove"}).code, kExitRefused);
}

TEST_F(CommandLineTest, InstallChecksInstallsWithoutAskingAndPrintsTheNewListing) {
    Ran installed = run({"install", "C:\\good.xml"});
    EXPECT_EQ(installed.code, kExitDone);
    EXPECT_EQ(installed.out, "A  Revision: 1\nQVX TSR 7700  Revision: 3.1\n");
    EXPECT_EQ(installed.err, "") << "no question, no box";
    EXPECT_EQ(test::readFile(prefix.catalogueFile()),
              kHead + test::deviceEntry("3.1") + "</DDXMLRepository>\r\n");
    EXPECT_EQ(test::readFile(prefix.repositoryDir() + "/QVX TSR 7700.xml"),
              test::readFile(prefix / "drive_c/good.xml"));
    for (const char *picture : kPictures)
        EXPECT_EQ(test::readFile(prefix.repositoryDir() + "/Pictures/" + picture),
                  test::pictureBytes(picture));

    Ran removed = run({"remove"});
    EXPECT_EQ(removed.code, kExitDone);
    EXPECT_EQ(removed.out, "A  Revision: 1\n");
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kHead + "</DDXMLRepository>\r\n");
    Ran again = run({"remove"});
    EXPECT_EQ(again.code, kExitDone) << "nothing needed changing";
    EXPECT_EQ(again.out, "A  Revision: 1\n");
}

TEST_F(CommandLineTest, AHostPathRelativeToTheCurrentFolderIsTheFileToInstall) {
    const auto saved = stdfs::current_path();
    stdfs::current_path(test::fsPath(prefix / "drive_c"));
    Ran installed = run({"install", "good.xml"});
    stdfs::current_path(saved);
    EXPECT_EQ(installed.code, kExitDone) << installed.err;
    EXPECT_EQ(installed.out, "A  Revision: 1\nQVX TSR 7700  Revision: 3.1\n");
}

TEST_F(CommandLineTest, ARefusedDescriptionChangesNothing) {
    const struct {
        const char *file;
        std::string error;
    } cases[] = {
        {"C:\\other.xml", "The Product ID of this file is Other. It should be QVXTSR7700.\n"},
        {"C:\\missing.xml", "C:\\missing.xml is not a valid DTM XML file.\n"},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.file);
        Ran refused = run({"install", tc.file});
        EXPECT_EQ(refused.code, kExitRefused);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err, tc.error);
        EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
        EXPECT_EQ(test::listFolder(prefix.repositoryDir()), "DDXMLRepository.xml Pictures");
    }
}

// Fails every write of a file, as a full disk does.
class FullDisk final : public test::ScopedHook {
public:
    int before(fs::FileOperation operation, const std::string &) override {
        return operation == fs::FileOperation::Write ? ENOSPC : 0;
    }
};

TEST_F(CommandLineTest, AFailedSaveExitsTwoWithTheCatalogueIntact) {
    for (const std::vector<std::string> &command :
         {std::vector<std::string>{"remove"}, {"install", "C:\\good.xml"}}) {
        SCOPED_TRACE(command.front());
        const FullDisk full;
        Ran failed = run(command);
        EXPECT_EQ(failed.code, kExitFailed);
        EXPECT_EQ(failed.out, "");
        EXPECT_TRUE(failed.err.starts_with(kSavePath + " could not be saved: cannot write: "))
            << failed.err;
        EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
        EXPECT_EQ(test::listFolder(prefix.repositoryDir()), "DDXMLRepository.xml Pictures");
    }
    // A copy that fails after the save: the catalogue as saved, and the exit code says so.
    stdfs::remove(test::fsPath(tool / "corvelan.jpg"));
    Ran partly = run({"install", "C:\\good.xml"});
    EXPECT_EQ(partly.code, kExitFailed);
    EXPECT_EQ(partly.out, "A  Revision: 1\nQVX TSR 7700  Revision: 3.1\n");
    EXPECT_TRUE(partly.err.starts_with("The DTM was installed, but these files could not be "
                                       "copied:\n"))
        << partly.err;
}

TEST_F(CommandLineTest, UsageHelpAndVersion) {
    for (const std::vector<std::string> &wrong : {std::vector<std::string>{},
                                                  {"install"},
                                                  {"list", "x"},
                                                  {"remove", "x"},
                                                  {"frob"},
                                                  {"install", "a.xml", "b.xml"}}) {
        Ran usage = run(wrong);
        EXPECT_EQ(usage.code, kExitUsage);
        EXPECT_EQ(usage.out, "");
        EXPECT_TRUE(usage.err.starts_with("Usage: corvelan-dtm-cli list\n"));
    }
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
    Ran help = run({"--help"});
    EXPECT_EQ(help.code, kExitDone);
    EXPECT_TRUE(help.out.starts_with("Usage: corvelan-dtm-cli list\n"));
    EXPECT_EQ(run({"--version"}).out, "corvelan-dtm-cli 9.8.7\n");
}

} // namespace
} // namespace corvelan::workflows
