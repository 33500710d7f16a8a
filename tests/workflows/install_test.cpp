// Install through the session: the checks of the description, the edit of the catalogue, the
// copies, and what each failure leaves.
#include "support/attributes.h"
#include "support/host.h"
#include "workflows/install_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace corvelan::workflows {
namespace {

namespace stdfs = std::filesystem;
using test::kPictures;
using test::kSavePath;
using test::profile;
using test::readFile;
using test::ShownBox;
using test::writeFile;

TEST_F(InstallTest, ChecksTheFileAndShowsTheFirstFailure) {
    const std::string good = "<productName>QVXTSR7700</productName><version>2.1</version>";
    struct Case {
        const char *name;
        std::string bytes; // empty with `path`: use the path as given
        ShownBox box;      // {text, title, style}; "%" in text stands for the path
    } cases[] = {
        {"not XML",
         "this is a text file\n",
         {"% is not a valid DTM XML file.", "File Error", BoxStyle::Error}},
        {"not well-formed",
         profile("<productName>QVXTSR7700</productName>").substr(0, 50),
         {"% is not a valid DTM XML file.", "File Error", BoxStyle::Error}},
        {"external entity",
         "<!DOCTYPE ISO15745Profile [<!ENTITY x SYSTEM '/etc/hostname'>]>" + profile("&x;"),
         {"% is not a valid DTM XML file.", "File Error", BoxStyle::Error}},
        {"productName longer than 255 characters",
         profile("<productName>" + std::string(256, 'Q') + "</productName>"),
         {"% is not a valid DTM XML file.", "File Error", BoxStyle::Error}},
        {"version longer than 255 characters",
         profile("<productName>QVXTSR7700</productName><version>" + std::string(200, 'v') + "<b>" +
                 std::string(56, 'v') + "</b></version>"),
         {"% is not a valid DTM XML file.", "File Error", BoxStyle::Error}},
        {"megabytes of version text split by comments",
         profile("<productName>QVXTSR7700</productName><version>" +
                 repeated(std::string(1000, 'v') + "<!-- -->", 2000) + "</version>"),
         {"% is not a valid DTM XML file.", "File Error", BoxStyle::Error}},
        {"a version of 255 characters is shown whole",
         profile("<productName>QVXTSR7700</productName><version>" + std::string(255, 'v') +
                 "</version>"),
         {"You have selected the QVXTSR7700 DTM version " + std::string(255, 'v') +
              ". Is this correct?",
          "File Selection", BoxStyle::Confirm}},
        {"255 characters of two bytes each are 255 characters",
         profile("<productName>QVXTSR7700</productName><version>" + repeated("\xC3\xA9", 255) +
                 "</version>"),
         {"You have selected the QVXTSR7700 DTM version " + repeated("\xC3\xA9", 255) +
              ". Is this correct?",
          "File Selection", BoxStyle::Confirm}},
        {"windows-1252",
         "<?xml version='1.0' encoding='windows-1252'?><ISO15745Profile><productName>QVXTSR7700"
         "</productName><version>2.0 \xE9\x80</version></ISO15745Profile>",
         {"You have selected the QVXTSR7700 DTM version 2.0 \xC3\xA9\xE2\x82\xAC. Is this correct?",
          "File Selection", BoxStyle::Confirm}},
        {"container root holding a valid profile",
         "<Profiles>" + profile(good).substr(22) + "</Profiles>",
         {"% is not a valid QVXTSR7700 DTM XML file.", "File Error", BoxStyle::Error}},
        {"prefixed profile root",
         "<p:ISO15745Profile xmlns:p='urn:p'><productName>QVXTSR7700</productName>"
         "</p:ISO15745Profile>",
         {"% is not a valid QVXTSR7700 DTM XML file.", "File Error", BoxStyle::Error}},
        // A file that fails several checks gets the box of the first one only.
        {"not well-formed, another root and another product",
         "<Profiles><productName>Other</productName>",
         {"% is not a valid DTM XML file.", "File Error", BoxStyle::Error}},
        {"another root and a productName too long",
         "<Profiles><productName>" + std::string(256, 'Q') + "</productName></Profiles>",
         {"% is not a valid DTM XML file.", "File Error", BoxStyle::Error}},
        {"another root and another product",
         "<Profiles><productName>Other</productName><version>1</version></Profiles>",
         {"% is not a valid QVXTSR7700 DTM XML file.", "File Error", BoxStyle::Error}},
        {"another root without a productName",
         "<Profiles><version>1</version></Profiles>",
         {"% is not a valid QVXTSR7700 DTM XML file.", "File Error", BoxStyle::Error}},
        {"lower-case product",
         profile("<productName>qvxtsr7700</productName>"),
         {"The Product ID of this file is qvxtsr7700. It should be QVXTSR7700.", "File Error",
          BoxStyle::Ok}},
        {"no productName",
         profile("<version>1</version>"),
         {"The Product ID of this file is . It should be QVXTSR7700.", "File Error", BoxStyle::Ok}},
        {"white space is not trimmed",
         profile("<productName> QVXTSR7700</productName>"),
         {"The Product ID of this file is  QVXTSR7700. It should be QVXTSR7700.", "File Error",
          BoxStyle::Ok}},
        {"first productName in document order counts",
         profile("<a><b><productName>Other</productName></b></a><productName>QVXTSR7700"
                 "</productName>"),
         {"The Product ID of this file is Other. It should be QVXTSR7700.", "File Error",
          BoxStyle::Ok}},
        {"prefixed productName is another element",
         profile("<p:productName xmlns:p='urn:p'>QVXTSR7700</p:productName>"),
         {"The Product ID of this file is . It should be QVXTSR7700.", "File Error", BoxStyle::Ok}},
        {"default namespace passes, nested first version is shown",
         profile("<Body><DeviceIdentity><productName>QVXTSR7700</productName><x><version>3.0.1"
                 "</version></x></DeviceIdentity><version>9</version></Body>",
                 " xmlns=\"http://www.profibus.com/ISO15745\""),
         {"You have selected the QVXTSR7700 DTM version 3.0.1. Is this correct?", "File Selection",
          BoxStyle::Confirm}},
        {"text of descendants, CDATA and entities",
         profile("<productName>QVX<![CDATA[TSR]]>&#55;<i>70</i>0</productName>"
                 "<version>1 &amp; <b>2</b></version>"),
         {"You have selected the QVXTSR7700 DTM version 1 & 2. Is this correct?", "File Selection",
          BoxStyle::Confirm}},
        {"no version",
         profile("<productName>QVXTSR7700</productName>"),
         {"You have selected the QVXTSR7700 DTM version . Is this correct?", "File Selection",
          BoxStyle::Confirm}},
    };
    UpdateSession &s = start();
    const auto linesBefore = view.lines;
    int n = 0;
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        const std::string path = description("d" + std::to_string(n++) + ".xml", tc.bytes);
        boxes.shown.clear();
        boxes.answer = BoxAnswer::No;
        s.installDtm(path, view, boxes);
        ShownBox expected = tc.box;
        if (const auto at = expected.text.find('%'); at != std::string::npos)
            expected.text.replace(at, 1, path);
        EXPECT_EQ(boxes.shown, std::vector<ShownBox>{expected});
        EXPECT_EQ(readFile(prefix.catalogueFile()), kCatalogue);
        EXPECT_EQ(view.lines, linesBefore);
        EXPECT_EQ(test::listFolder(prefix.repositoryDir()), "DDXMLRepository.xml Pictures");
        EXPECT_EQ(test::listFolder(pictures()), "");
    }
}

TEST_F(InstallTest, PathsThatAreNoFileGiveTheFirstBox) {
    UpdateSession &s = start();
    const std::string folder = "C:\\Descriptions\\";
    for (const std::string &path :
         {folder, std::string(), folder + "missing.xml", std::string("c:\\bad|name.xml")}) {
        SCOPED_TRACE(path);
        boxes.shown.clear();
        s.installDtm(path, view, boxes);
        EXPECT_EQ(boxes.shown, (std::vector<ShownBox>{{path + " is not a valid DTM XML file.",
                                                       "File Error", BoxStyle::Error}}));
    }
    EXPECT_EQ(readFile(prefix.catalogueFile()), kCatalogue);
}

TEST_F(InstallTest, ReplacesTheDeviceEntryAndCopiesEveryFile) {
    struct Case {
        const char *name;
        std::string before;
        std::string after;
    } cases[] = {
        {"no device entry", "<DDXMLRepository>\r\n<File ProductID=\"A\"/>\r\n</DDXMLRepository>",
         "<DDXMLRepository>\r\n<File ProductID=\"A\"/>\r\n" + entry("2.1") + "</DDXMLRepository>"},
        {"one device entry", kCatalogue,
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DDXMLRepository>\r\n"
         "<File ProductID=\"Norvik\" Fileversion=\"2\"/>\r\n"
         "<File ProductID=\"Halden\" Fileversion=\"11\"/>\r\n" +
             entry("2.1") + "</DDXMLRepository>\r\n"},
        {"two device entries",
         "<DDXMLRepository><File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/><File "
         "ProductID=\"B\"/><File ProductID=\"QVX TSR 7700\"/></DDXMLRepository>",
         "<DDXMLRepository><File ProductID=\"B\"/>" + entry("2.1") + "</DDXMLRepository>"},
        {"empty root", "<DDXMLRepository/>",
         "<DDXMLRepository>" + entry("2.1") + "</DDXMLRepository>"},
        // Where it goes and as long as what it replaces: only the version differs.
        {"the entry of another version in its place",
         "<DDXMLRepository>\r\n<File ProductID=\"A\"/>\r\n" + entry("2.0") + "</DDXMLRepository>",
         "<DDXMLRepository>\r\n<File ProductID=\"A\"/>\r\n" + entry("2.1") + "</DDXMLRepository>"},
    };
    const std::string picked = profile("<productName>QVXTSR7700</productName>"
                                       "<version>2.1</version>");
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        writeFile(prefix.catalogueFile(), tc.before);
        for (const auto &old : stdfs::directory_iterator(test::fsPath(pictures())))
            stdfs::remove(old.path());
        writeFile(pictures() + "/corvelan.jpg", "an older logo"); // replaced by the copy
        view.lines.clear();
        UpdateSession &s = start();
        boxes.shown.clear();
        boxes.answer = BoxAnswer::Yes;
        s.installDtm(description("QVX new.xml", picked), view, boxes);

        ASSERT_EQ(boxes.shown.size(), 1u) << "only the confirmation, no message on success";
        EXPECT_EQ(readFile(prefix.catalogueFile()), tc.after);
        EXPECT_EQ(view.lines.back(), "QVX TSR 7700  Revision: 2.1");
        EXPECT_EQ(s.catalogue()->bytes(), tc.after);
        EXPECT_EQ(readFile(prefix.repositoryDir() + "/QVX TSR 7700.xml"), picked);
        for (const char *picture : kPictures)
            EXPECT_EQ(readFile(pictures() + "/" + picture), test::pictureBytes(picture));
        EXPECT_FALSE(test::fileExists(pictures() + "/TechnologyApproved.jpg"));
    }
}

// ASCII text in UTF-16, each character two bytes in the byte order asked for.
std::string utf16(std::string_view ascii, bool littleEndian) {
    std::string out;
    for (const char c : ascii)
        out += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    return out;
}

TEST_F(InstallTest, AnEmptyRootInUtf16IsOpenedUpInItsOwnByteOrder) {
    const std::string picked = profile("<productName>QVXTSR7700</productName>"
                                       "<version>2.1</version>");
    for (const bool littleEndian : {true, false}) {
        for (const bool bom : {true, false}) {
            SCOPED_TRACE(std::string(littleEndian ? "LE" : "BE") + (bom ? " with" : " without") +
                         " a byte order mark");
            const std::string mark = !bom ? "" : littleEndian ? "\xFF\xFE" : "\xFE\xFF";
            writeFile(prefix.catalogueFile(), mark + utf16("<DDXMLRepository/>", littleEndian));
            view.lines.clear();
            UpdateSession &s = start();
            EXPECT_TRUE(view.lines.empty());
            boxes.shown.clear();
            s.installDtm(description("a.xml", picked), view, boxes);
            EXPECT_EQ(boxes.shown.size(), 1u) << "only the confirmation";
            EXPECT_EQ(readFile(prefix.catalogueFile()),
                      mark + utf16("<DDXMLRepository>" + entry("2.1") + "</DDXMLRepository>",
                                   littleEndian));
            EXPECT_EQ(view.lines, std::vector<std::string>{"QVX TSR 7700  Revision: 2.1"});
        }
    }
}

TEST_F(InstallTest, TheVersionIsWrittenInTheEncodingTheCatalogueNames) {
    // The declaration's name in any letter case: "é" goes in as its UTF-8 bytes, never as a
    // character reference or a byte of another encoding.
    const std::string picked = profile("<productName>QVXTSR7700</productName>"
                                       "<version>\xC3\xA9</version>");
    for (const char *declared : {"UTF-8", "utf-8", "Utf-8"}) {
        SCOPED_TRACE(declared);
        const std::string head =
            std::string("<?xml version=\"1.0\" encoding=\"") + declared + "\"?>\r\n";
        writeFile(prefix.catalogueFile(), head + "<DDXMLRepository>\r\n</DDXMLRepository>\r\n");
        view.lines.clear();
        UpdateSession &s = start();
        s.installDtm(description("e.xml", picked), view, boxes);
        EXPECT_EQ(readFile(prefix.catalogueFile()),
                  head + "<DDXMLRepository>\r\n" + entry("\xC3\xA9") + "</DDXMLRepository>\r\n");
        EXPECT_EQ(view.lines.back(), "QVX TSR 7700  Revision: \xC3\xA9");
    }
}

TEST_F(InstallTest, ReadOnlyCatalogueStaysReadOnly) {
    ASSERT_TRUE(test::setFileAttributes(prefix.catalogueFile(), test::kReadOnly).ok());
    UpdateSession &s = start();
    s.installDtm(description("a.xml", profile("<productName>QVXTSR7700</productName>"
                                              "<version>5</version>")),
                 view, boxes);
    EXPECT_NE(readFile(prefix.catalogueFile()).find(entry("5")), std::string::npos);
    s.remove(view, boxes);
    EXPECT_EQ(readFile(prefix.catalogueFile()).find("QVX TSR 7700\""), std::string::npos);
    EXPECT_EQ(test::fileAttributes(prefix.catalogueFile()).value() & test::kReadOnly,
              test::kReadOnly);
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(InstallTest, RefusesACatalogueWithAnotherRoot) {
    const std::string other = "<Catalog><File ProductID=\"QVX TSR 7700\"/></Catalog>";
    writeFile(prefix.catalogueFile(), other);
    UpdateSession &s = start();
    s.installDtm(description("a.xml", profile("<productName>QVXTSR7700</productName>")), view,
                 boxes);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1],
              (ShownBox{kSavePath + " is not a DTM repository catalogue. Nothing was installed.",
                        "File Error", BoxStyle::Error}));
    EXPECT_EQ(readFile(prefix.catalogueFile()), other);
    EXPECT_EQ(view.lines, (std::vector<std::string>{"QVX TSR 7700  Revision: "}));
    EXPECT_EQ(test::listFolder(pictures()), "");
    EXPECT_FALSE(test::fileExists(prefix.repositoryDir() + "/QVX TSR 7700.xml"));
}

TEST_F(InstallTest, FailedCopiesAreListedAfterTheOthersRan) {
    stdfs::remove(test::fsPath(tool / "corvelan.jpg"));
    stdfs::remove(test::fsPath(tool / "QVXTSR7700Small.ico"));
    writeFile(pictures() + "/QVXTSR7700.jpg", "read-only picture");
    ASSERT_TRUE(test::setFileAttributes(pictures() + "/QVXTSR7700.jpg", test::kReadOnly).ok());
    UpdateSession &s = start();
    const std::string toolFolder = prefix.drives().windowsPath(tool.path());
    const std::string missing = ": The system cannot find the file specified)\n";
    s.installDtm(description("a.xml", profile("<productName>QVXTSR7700</productName>")), view,
                 boxes);

    const std::string pics =
        "c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\pictures\\";
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1],
              (ShownBox{"The DTM was installed, but these files could not be copied:\n" + pics +
                            "corvelan.jpg (" + toolFolder + "\\corvelan.jpg" + missing + pics +
                            "QVXTSR7700.jpg (the file is read-only: Permission denied)\n" + pics +
                            "QVXTSR7700Small.ico (" + toolFolder + "\\QVXTSR7700Small.ico" +
                            missing.substr(0, missing.size() - 1),
                        "File Error", BoxStyle::Warning}));
    EXPECT_EQ(test::listFolder(pictures()), "QVXTSR7700.jpg QVXTSR7700Large.ico corvelan.ico");
    EXPECT_EQ(readFile(pictures() + "/QVXTSR7700.jpg"), "read-only picture");
    EXPECT_TRUE(test::fileExists(prefix.repositoryDir() + "/QVX TSR 7700.xml"));
    EXPECT_EQ(view.lines.back(), "QVX TSR 7700  Revision: ");
}

TEST_F(InstallTest, ReinstallingTheStoredFileLeavesItAlone) {
    const std::string stored = prefix.repositoryDir() + "/QVX TSR 7700.xml";
    const std::string bytes = profile("<productName>QVXTSR7700</productName><version>7</version>");
    writeFile(stored, bytes);
    UpdateSession &s = start();
    s.installDtm(kSavePath.substr(0, kSavePath.rfind('\\')) + "\\qvx tsr 7700.XML", view, boxes);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(readFile(stored), bytes);
    EXPECT_EQ(view.lines.back(), "QVX TSR 7700  Revision: 7");
}

TEST_F(InstallTest, TheFileInstalledIsTheFileChecked) {
    const std::string stored = prefix.repositoryDir() + "/QVX TSR 7700.xml";
    const std::string checked =
        profile("<productName>QVXTSR7700</productName><version>2.0</version>");
    const std::string other =
        profile("<productName>QVXTSR7700</productName><version>6.6</version>");
    ASSERT_EQ(checked.size(), other.size());
    UpdateSession &s = start();

    // Another file renamed over the picked one while the question is open: the checked one is
    // still what gets installed. (Windows refuses to replace a file the tool holds open.)
    const std::string picked = description("picked.xml", checked);
    boxes.whileShown = [&](const ShownBox &box) {
        if (box.style != BoxStyle::Confirm) return;
        writeFile(file("swap.xml"), other);
        std::error_code refused;
        stdfs::rename(test::fsPath(file("swap.xml")), test::fsPath(file("picked.xml")), refused);
        if (refused) stdfs::remove(test::fsPath(file("swap.xml")));
    };
    s.installDtm(picked, view, boxes);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(readFile(stored), checked);
    EXPECT_EQ(view.lines.back(), "QVX TSR 7700  Revision: 2.0");

    // The picked file written into while the question is open: not copied, and the repository
    // keeps the file it had.
    writeFile(file("picked.xml"), checked);
    writeFile(stored, "the previous description");
    boxes.shown.clear();
    boxes.whileShown = [&](const ShownBox &box) {
        if (box.style == BoxStyle::Confirm) test::writeInPlace(file("picked.xml"), 0, other);
    };
    const ShownBox notCopied{"The DTM was installed, but these files could not be copied:\n"
                             "c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\"
                             "DDXMLRepository\\QVX TSR 7700.xml (" +
                                 picked +
                                 ": Another program changed the file after it was checked)",
                             "File Error", BoxStyle::Warning};
    s.installDtm(picked, view, boxes);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1], notCopied);
    EXPECT_EQ(readFile(stored), "the previous description");
    EXPECT_EQ(test::listFolder(prefix.repositoryDir()),
              "DDXMLRepository.xml Pictures QVX TSR 7700.xml")
        << "no temporary file left";
    EXPECT_EQ(test::listFolder(pictures()), "QVXTSR7700.jpg QVXTSR7700Large.ico "
                                            "QVXTSR7700Small.ico corvelan.ico corvelan.jpg");

    // Rewritten in place with the same size, its write time set back, as tools that keep time
    // stamps do (and coarse clocks): size and time say nothing changed, the bytes do.
    writeFile(file("picked.xml"), checked);
    boxes.shown.clear();
    boxes.whileShown = [&](const ShownBox &box) {
        if (box.style != BoxStyle::Confirm) return;
        const std::int64_t time = test::modifiedTime(file("picked.xml"));
        test::writeInPlace(file("picked.xml"), 0, other);
        test::setModifiedTime(file("picked.xml"), time);
        ASSERT_EQ(test::modifiedTime(file("picked.xml")), time);
    };
    s.installDtm(picked, view, boxes);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1], notCopied);
    EXPECT_EQ(readFile(stored), "the previous description");
}

} // namespace
} // namespace corvelan::workflows
