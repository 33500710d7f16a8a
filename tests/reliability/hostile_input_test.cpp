#include "support/recording_view.h"
#include "support/scripted_boxes.h"
#include "support/temp_prefix.h"
#include "workflows/update_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;
using test::TempDir;
using test::TempPrefix;

const std::string kHostile = std::string(FIXTURES_DIR) + "/hostile/";

std::string body(const std::string &root) {
    return root == "DDXMLRepository"
               ? "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1.0\"/>"
               : "<productName>QVXTSR7700</productName><version>1.0</version>";
}

// Writes a generated hostile document with the given root to `path`.
using Generator = std::function<void(const std::string &path, const std::string &root)>;

void deepNesting(const std::string &path, const std::string &root) {
    std::ofstream out(path, std::ios::binary);
    out << "<" << root << ">" << body(root);
    for (int i = 0; i < 2'000'000; ++i)
        out << "<a>";
    for (int i = 0; i < 2'000'000; ++i)
        out << "</a>";
    out << "</" << root << ">";
}

void manyAttributes(const std::string &path, const std::string &root) {
    std::ofstream out(path, std::ios::binary);
    out << "<" << root << ">" << body(root) << "<File ProductID='x'";
    for (int i = 0; i < 100'000; ++i)
        out << " a" << i << "='1'";
    out << "/></" << root << ">";
}

void hugeValue(const std::string &path, const std::string &root) {
    std::ofstream out(path, std::ios::binary);
    out << "<" << root << ">" << body(root) << "<File ProductID='";
    const std::string block(1 << 20, 'v');
    for (int i = 0; i < 64; ++i)
        out << block;
    out << "'/></" << root << ">";
}

void sparseTwoGigabytes(const std::string &path, const std::string &root) {
    {
        std::ofstream out(path, std::ios::binary);
        out << "<" << root << ">" << body(root);
    }
    ASSERT_EQ(::truncate(path.c_str(), std::int64_t{2} << 30), 0);
}

struct Case {
    const char *name;
    Generator generate; // null: the committed fixture of that name
    bool catalogueLoads;
    bool descriptionPasses; // false: box 1
};

const Case kCases[] = {
    {"billion-laughs", nullptr, false, false},
    {"quadratic-blowup", nullptr, false, false},
    {"external-entity", nullptr, false, false},
    {"external-dtd", nullptr, true, true},
    {"duplicate-attributes", nullptr, false, false},
    {"control-character", nullptr, false, false},
    {"invalid-utf8", nullptr, false, false},
    {"nul-byte", nullptr, false, false},
    {"truncated", nullptr, false, false},
    {"windows-1252", nullptr, false, false},
    {"declared-utf16-but-utf8", nullptr, false, false},
    {"utf16-without-bom", nullptr, true, true},
    {"nesting-2000000-deep", deepNesting, false, false},
    {"100000-attributes", manyAttributes, false, false},
    {"64-MB-attribute-value", hugeValue, false, false},
    {"2-GB-sparse", sparseTwoGigabytes, false, false},
};

class HostileInput : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The external entity names this FIFO: a reader would block, so the test would hang.
        ::unlink("/tmp/corvelan-never-read");
        ASSERT_EQ(::mkfifo("/tmp/corvelan-never-read", 0600), 0);
    }
    static void TearDownTestSuite() { ::unlink("/tmp/corvelan-never-read"); }

    std::string materialise(const Case &tc, const std::string &folder, const std::string &root,
                            const std::string &path) {
        if (tc.generate)
            tc.generate(path, root);
        else
            stdfs::copy_file(kHostile + folder + "/" + tc.name + ".xml", path,
                             stdfs::copy_options::overwrite_existing);
        return path;
    }
};

TEST_F(HostileInput, CatalogueIsRefusedOrReadButNeverChanged) {
    for (const Case &tc : kCases) {
        SCOPED_TRACE(tc.name);
        TempPrefix prefix;
        materialise(tc, "catalogue", "DDXMLRepository", prefix.catalogueFile());
        const auto sizeBefore = stdfs::file_size(prefix.catalogueFile());
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
        EXPECT_EQ(stdfs::file_size(prefix.catalogueFile()), sizeBefore);
    }
}

TEST_F(HostileInput, DescriptionIsRefusedWithTheFirstBox) {
    for (const Case &tc : kCases) {
        SCOPED_TRACE(tc.name);
        TempPrefix prefix;
        test::writeFile(prefix.catalogueFile(), "<DDXMLRepository/>");
        const std::string host =
            materialise(tc, "description", "ISO15745Profile", prefix / "drive_c/picked.xml");
        UpdateSession session(prefix.drives());
        test::RecordingView view;
        ASSERT_EQ(session.startUp(view), StartupOutcome::Listed);
        test::ScriptedBoxes boxes;
        boxes.answer = kAnswerNo;
        session.installDtm("C:\\picked.xml", view, boxes);
        ASSERT_EQ(boxes.shown.size(), 1u);
        if (tc.descriptionPasses)
            EXPECT_EQ(boxes.shown[0].style, kStyleConfirm) << boxes.shown[0].text;
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
    stdfs::create_directories(repository + "/pictures");
    test::writeFile(repository + "/DDXMLRepository.xml", "<DDXMLRepository>\n</DDXMLRepository>");
    std::string longFolder = prefixPath + "/drive_c/Données techniques";
    std::string windowsFolder = "C:\\Données techniques";
    for (int i = 0; i < 12; ++i) {
        const std::string part = "Sous-dossier numéro " + std::to_string(i) + " avec espaces";
        longFolder += "/" + part;
        windowsFolder += "\\" + part;
    }
    stdfs::create_directories(longFolder);
    const std::string profile = "<ISO15745Profile><productName>QVXTSR7700</productName>"
                                "<version>ß 2.0 ☺</version></ISO15745Profile>";
    test::writeFile(longFolder + "/QVX été ☺.xml", profile);
    TempDir tool;
    for (const char *picture : {"corvelan.ico", "corvelan.jpg", "QVXTSR7700.jpg",
                                "QVXTSR7700Large.ico", "QVXTSR7700Small.ico"})
        test::writeFile(tool / picture, picture);

    const DriveMap drives = DriveMap::forPrefix(prefixPath).value();
    UpdateSession session(drives, [&tool](const DriveMap &map) -> Result<std::string> {
        return map.windowsPath(tool.path());
    });
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
