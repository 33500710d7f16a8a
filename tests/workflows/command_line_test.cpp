// The command line on the windows' workflows: what it prints where, what it leaves on disk, and
// the exit code that tells a deployment system how it ended.
#include "platform/process.h"
#include "support/device_entry.h"
#include "support/fault_hooks.h"
#include "support/repository_files.h"
#include "workflows/command_line_fixture.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;

using test::kPictures;
using test::kSavePath;

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

using test::FullDisk;

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

TEST_F(CommandLineTest, AUsageErrorSaysWhatWasWrongThenTheUsage) {
    const struct {
        std::vector<std::string> arguments;
        std::string wrong;
    } cases[] = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"--frob"}, "unknown option '--frob'"},
        {{"install"}, "install needs a FILE"},
        {{"install", "--dry-run"}, "install needs a FILE"},
        {{"install", "a.xml", "b.xml"}, "unexpected argument 'b.xml'"},
        {{"install", "--detect", "a.xml"}, "unknown option '--detect' for install"},
        {{"list", "x"}, "unexpected argument 'x'"},
        {{"list", "--dry-run"}, "unknown option '--dry-run' for list"},
        {{"remove", "x"}, "unexpected argument 'x'"},
        {{"status", "1", "2"}, "unexpected argument '2'"},
        {{"status", "--dry-run"}, "unknown option '--dry-run' for status"},
        {{"--help", "x"}, "unexpected argument 'x'"},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.wrong);
        Ran usage = run(tc.arguments);
        EXPECT_EQ(usage.code, kExitUsage);
        EXPECT_EQ(usage.out, "");
        EXPECT_TRUE(usage.err.starts_with("corvelan-dtm-cli: " + tc.wrong +
                                          "\n\nUsage: corvelan-dtm-cli list\n"))
            << usage.err;
    }
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);
    EXPECT_TRUE(repo.log.events.empty());
    Ran help = run({"--help"});
    EXPECT_EQ(help.code, kExitDone);
    EXPECT_TRUE(help.out.starts_with("Usage: corvelan-dtm-cli list\n"));
    EXPECT_EQ(run({"-h"}).out, help.out);
    // The version, then what is linked, expat as expat names itself ("expat_2.5.0").
    const std::string version = run({"--version"}).out;
    EXPECT_TRUE(version.starts_with("corvelan-dtm-cli 9.8.7\n")) << version;
    const std::string expat = XML_ExpatVersion();
    EXPECT_NE(version.find("\nexpat " + expat.substr(expat.find('_') + 1) + "\n"),
              std::string::npos)
        << version;
    for (const char *component : {"\nlibstdc++ ", "\ncompiler GCC "})
        EXPECT_NE(version.find(component), std::string::npos) << version;
}

TEST_F(CommandLineTest, AfterTwoDashesAWordIsAFileNotAnOption) {
    test::writeFile(prefix / "drive_c/--dry-run", test::description("4"));
    Ran installed = run({"install", "--", "C:\\--dry-run"});
    EXPECT_EQ(installed.code, kExitDone) << installed.err;
    EXPECT_EQ(installed.out, "A  Revision: 1\nQVX TSR 7700  Revision: 4\n");
}

TEST_F(CommandLineTest, WithoutAUsablePrefixStatusCannotTellAndTheOthersFindNoRepository) {
    const Error unusable = makeError(ErrorCode::PrefixNotAbsolute, "wine");
    const auto runWithout = [&](const std::vector<std::string> &arguments) {
        Ran r;
        r.code = runCommandLine(
            arguments, unusable, repo.toolFolder(), "9.8.7",
            [&r](std::string_view text) { r.out += text; },
            [&r](std::string_view text) { r.err += text; }, repo.log);
        return r;
    };
    for (const char *form : {"", "--detect"}) {
        SCOPED_TRACE(form);
        std::vector<std::string> arguments{"status"};
        if (*form) arguments.emplace_back(form);
        Ran status = runWithout(arguments);
        EXPECT_EQ(status.code, kExitFailed);
        EXPECT_EQ(status.out, "");
        EXPECT_TRUE(status.err.starts_with("Whether the QVX TSR 7700 DTM is installed cannot be "
                                           "told: 'wine': "))
            << status.err;
    }
    Ran listed = runWithout({"list"});
    EXPECT_EQ(listed.code, kExitRefused);
    EXPECT_TRUE(listed.err.starts_with("'wine': ")) << listed.err;
    EXPECT_EQ(listed.out, "Folder Missing\n"
                          "c:\\ProgramData\\Schneider Electric\\PTK Generic "
                          "DTM\\DDXMLRepository\\\n");
}

} // namespace
} // namespace corvelan::workflows
