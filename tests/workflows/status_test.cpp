// Whether the device is installed, as a deployment system asks it: the plain form exits 1 with
// the reason when it is not; the detection form follows Intune's and ConfigMgr's convention
// (installed: a line and 0; not installed: no output at all and 0; unknown: non-zero).
#include "support/device_entry.h"
#include "support/repository_files.h"
#include "workflows/command_line_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;

using test::kRepository;
const std::string kInstalledLine = "QVX TSR 7700  Revision: 3.1\n";

enum class Expect { Installed, NotInstalled, Unknown };

TEST(Status, TellsInstalledNotInstalledOrUnknownOnTheRightStreams) {
    const std::string head = "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>\r\n";
    const struct {
        const char *name;
        std::function<void(test::Repository &)> after; // done to the repository after an install
        std::string version;                           // asked for; empty for any
        Expect expect;
        std::string reason; // the plain form's standard error
    } cases[] = {
        {"installed", [](test::Repository &) {}, "", Expect::Installed, ""},
        {"installed, its version", [](test::Repository &) {}, "3.1", Expect::Installed, ""},
        {"another version", [](test::Repository &) {}, "3.10", Expect::NotInstalled,
         "The QVX TSR 7700 DTM 3.10 is not installed: " + test::kSavePath +
             " lists version 3.1.\n"},
        {"a picture missing",
         [](test::Repository &r) {
             stdfs::remove(test::fsPath(r.prefix.repositoryDir() + "/Pictures/corvelan.jpg"));
         },
         "3.1", Expect::NotInstalled,
         "The QVX TSR 7700 DTM is not installed: these files are missing: " + kRepository +
             "pictures\\corvelan.jpg.\n"},
        {"the description a folder",
         [](test::Repository &r) {
             const std::string stored = r.prefix.repositoryDir() + "/QVX TSR 7700.xml";
             stdfs::remove(test::fsPath(stored));
             stdfs::create_directory(test::fsPath(stored));
         },
         "", Expect::NotInstalled,
         "The QVX TSR 7700 DTM is not installed: these files are missing: " + kRepository +
             "QVX TSR 7700.xml.\n"},
        {"no entry",
         [&](test::Repository &r) {
             test::writeFile(r.prefix.catalogueFile(), head + "</DDXMLRepository>\r\n");
         },
         "", Expect::NotInstalled,
         "The QVX TSR 7700 DTM is not installed: " + test::kSavePath +
             " has no QVX TSR 7700 entry.\n"},
        {"two entries",
         [&](test::Repository &r) {
             test::writeFile(r.prefix.catalogueFile(), head + test::deviceEntry("3.1") +
                                                           test::deviceEntry("3.1") +
                                                           "</DDXMLRepository>\r\n");
         },
         "3.1", Expect::NotInstalled,
         "The QVX TSR 7700 DTM is not installed: " + test::kSavePath +
             " has 2 QVX TSR 7700 entries, where one is expected.\n"},
        {"another root",
         [](test::Repository &r) {
             test::writeFile(r.prefix.catalogueFile(),
                             "<Other>" + test::deviceEntry("3.1") + "</Other>");
         },
         "", Expect::NotInstalled,
         "The QVX TSR 7700 DTM is not installed: " + test::kSavePath +
             " is not a DDXMLRepository catalogue.\n"},
        {"no catalogue",
         [](test::Repository &r) { stdfs::remove(test::fsPath(r.prefix.catalogueFile())); }, "",
         Expect::NotInstalled,
         "The QVX TSR 7700 DTM is not installed: " + test::kSavePath + " is missing.\n"},
        {"no repository",
         [](test::Repository &r) { stdfs::remove_all(test::fsPath(r.prefix.repositoryDir())); }, "",
         Expect::NotInstalled,
         "The QVX TSR 7700 DTM is not installed: the folder " + kRepository + " is missing.\n"},
        {"a catalogue not well-formed",
         [&](test::Repository &r) { test::writeFile(r.prefix.catalogueFile(), head); }, "",
         Expect::Unknown, "Whether the QVX TSR 7700 DTM is installed cannot be told: '"},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        test::Repository repo;
        test::writeFile(repo.prefix / "drive_c/good.xml", test::description("3.1"));
        ASSERT_EQ(runCli(repo, {"install", "C:\\good.xml"}).code, kExitDone);
        tc.after(repo);
        const std::vector<std::string> version =
            tc.version.empty() ? std::vector<std::string>{} : std::vector{tc.version};
        std::vector<std::string> plain{"status"}, detect{"status", "--detect"};
        plain.insert(plain.end(), version.begin(), version.end());
        detect.insert(detect.end(), version.begin(), version.end());

        const Ran told = runCli(repo, plain);
        const Ran detected = runCli(repo, detect);
        switch (tc.expect) {
        case Expect::Installed:
            for (const Ran &r : {told, detected}) {
                EXPECT_EQ(r.code, kExitDone);
                EXPECT_EQ(r.out, kInstalledLine);
                EXPECT_EQ(r.err, "");
            }
            break;
        case Expect::NotInstalled:
            EXPECT_EQ(told.code, kExitRefused);
            EXPECT_EQ(told.out, "");
            EXPECT_EQ(told.err, tc.reason);
            EXPECT_EQ(detected.code, kExitDone);
            EXPECT_EQ(detected.out, "") << "not installed is silence";
            EXPECT_EQ(detected.err, "") << "anything on standard error reads as a failure";
            break;
        case Expect::Unknown:
            for (const Ran &r : {told, detected}) {
                EXPECT_EQ(r.code, kExitFailed);
                EXPECT_EQ(r.out, "");
                EXPECT_TRUE(r.err.starts_with(tc.reason)) << r.err;
            }
            break;
        }
        EXPECT_EQ(repo.log.events.size(), 1u) << "only the install leaves an event";
    }
}

} // namespace
} // namespace corvelan::workflows
