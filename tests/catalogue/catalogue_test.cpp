#include "catalogue/catalogue.h"
#include "catalogue/full_parse.h"
#include "support/device_entry.h"
#include "support/error_text.h"
#include "support/sample_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvelan::catalogue {
namespace {

// The device entry exactly as it must stand in a saved catalogue; `version` is already in the
// file's encoding and escaped.
std::string entry(const std::string &version) {
    return test::deviceEntry(version);
}

// Install's edit applied to the bytes and parsed whole again, as no fast path does.
Result<Catalogue> installedAndParsedAgain(const Catalogue &catalogue, std::string_view version) {
    auto edit = catalogue.planInstall(version);
    if (!edit) return edit.error();
    return Catalogue::parse(xml::applySplices(catalogue.bytes(), edit->splices));
}

TEST(CatalogueEdit, InstallChangesOnlyTheDeviceEntries) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string e20 = entry("2.0");
    struct Case {
        const char *name;
        std::string before;
        std::string version;
        std::string after;
    } cases[] = {
        {"UTF-8 with BOM and CRLF",
         bom + "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DDXMLRepository>\r\n"
               "<File ProductID=\"A\" Fileversion=\"1\"/>\r\n"
               "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1.0\"/>\r\n</DDXMLRepository>\r\n",
         "2.0",
         bom +
             "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DDXMLRepository>\r\n"
             "<File ProductID=\"A\" Fileversion=\"1\"/>\r\n" +
             e20 + "</DDXMLRepository>\r\n"},
        {"a tab and a line break between the element's name and its attributes",
         "<DDXMLRepository>\n<File\tProductID='QVX TSR 7700'/>\n<File\r\n ProductID='QVX TSR "
         "7700'/>\n<File ProductID='B'/>\n</DDXMLRepository>",
         "2.0", "<DDXMLRepository>\n<File ProductID='B'/>\n" + e20 + "</DDXMLRepository>"},
        {"LF, tabs, single quotes, no final newline",
         "<DDXMLRepository>\n\t<File ProductID='QVX TSR 7700'/>\n\t<File ProductID='B'/>\n"
         "</DDXMLRepository>",
         "2.0", "<DDXMLRepository>\n\t<File ProductID='B'/>\n" + e20 + "</DDXMLRepository>"},
        {"comments stay, even one that looks like an entry",
         "<!-- head --><DDXMLRepository><!-- <File ProductID='QVX TSR 7700'/> -->"
         "<File ProductID='C' a = 'x' /></DDXMLRepository><!-- tail -->",
         "2.0",
         "<!-- head --><DDXMLRepository><!-- <File ProductID='QVX TSR 7700'/> -->"
         "<File ProductID='C' a = 'x' />" +
             e20 + "</DDXMLRepository><!-- tail -->"},
        {"DOCTYPE with an internal entity",
         "<!DOCTYPE DDXMLRepository [<!ENTITY v '9.9'>]>\n<DDXMLRepository>"
         "<File ProductID='D' Fileversion='&v;'/><File ProductID='QVX TSR 7700' "
         "Fileversion='&v;'>&v;</File></DDXMLRepository>",
         "2.0",
         "<!DOCTYPE DDXMLRepository [<!ENTITY v '9.9'>]>\n<DDXMLRepository>"
         "<File ProductID='D' Fileversion='&v;'/>" +
             e20 + "</DDXMLRepository>"},
        {"default namespace",
         "<DDXMLRepository xmlns=\"urn:corvelan:test\">\r\n<File ProductID=\"QVX TSR 7700\"/>\r\n"
         "</DDXMLRepository>",
         "2.0", "<DDXMLRepository xmlns=\"urn:corvelan:test\">\r\n" + e20 + "</DDXMLRepository>"},
        {"empty root", "<?xml version=\"1.0\"?>\n<DDXMLRepository/>\n", "2.0",
         "<?xml version=\"1.0\"?>\n<DDXMLRepository>" + e20 + "</DDXMLRepository>\n"},
        {"empty root with attributes and a space", "<DDXMLRepository v='1' />", "2.0",
         "<DDXMLRepository v='1' >" + e20 + "</DDXMLRepository>"},
        {"nested entries, inner ones go with the outer",
         "<DDXMLRepository><Group><File ProductID='QVX TSR 7700'><File ProductID='QVX TSR 7700'/>"
         "</File></Group><File ProductID='X'><File ProductID='QVX TSR 7700'/></File>"
         "</DDXMLRepository>",
         "2.0",
         "<DDXMLRepository><Group></Group><File ProductID='X'></File>" + e20 +
             "</DDXMLRepository>"},
        {"two device entries side by side, a lower-case one stays",
         "<DDXMLRepository><File ProductID=\"QVX TSR 7700\"/><File ProductID=\"QVX TSR 7700\" "
         "Fileversion=\"0.9\"/><File ProductID=\"qvx tsr 7700\"/></DDXMLRepository>",
         "2.0", "<DDXMLRepository><File ProductID=\"qvx tsr 7700\"/>" + e20 + "</DDXMLRepository>"},
        {"near misses of the ProductID are other products",
         "<DDXMLRepository><File ProductID=\"QVX TSR 7700 Plus\"/><File ProductID=\"QVX TSR 770\"/>"
         "<File ProductID=\" QVX TSR 7700\"/><File ProductID=\"QVX TSR 7700 \"/>"
         "<File ProductID=\"QVX TSR 7700\"/><File ProductID=\"QVX\"/><File ProductID=\"\"/>"
         "</DDXMLRepository>",
         "2.0",
         "<DDXMLRepository><File ProductID=\"QVX TSR 7700 Plus\"/><File ProductID=\"QVX TSR 770\"/>"
         "<File ProductID=\" QVX TSR 7700\"/><File ProductID=\"QVX TSR 7700 \"/>"
         "<File ProductID=\"QVX\"/><File ProductID=\"\"/>" +
             e20 + "</DDXMLRepository>"},
        {"attributes over several lines",
         "<DDXMLRepository>\r\n  <File\r\n    ProductID=\"QVX TSR 7700\"\r\n    Fileversion=\"1\" "
         "/>\r\n</DDXMLRepository>",
         "2.0", "<DDXMLRepository>\r\n" + e20 + "</DDXMLRepository>"},
        {"ISO-8859-1 takes references for what it cannot hold",
         "<?xml version='1.0' encoding='ISO-8859-1'?><DDXMLRepository>"
         "<File ProductID='Gr\xF6\xDF"
         "e'/></DDXMLRepository>",
         "v\xC3\xA9\xE2\x82\xAC",
         "<?xml version='1.0' encoding='ISO-8859-1'?><DDXMLRepository>"
         "<File ProductID='Gr\xF6\xDF"
         "e'/>" +
             entry("v\xE9&#8364;") + "</DDXMLRepository>"},
        {"a UTF-8 mark before a declared ISO-8859-1 is read as ISO-8859-1",
         bom + "<?xml version='1.0' encoding='ISO-8859-1'?><DDXMLRepository/>",
         "\xC3\xA9\xE2\x82\xAC",
         bom + "<?xml version='1.0' encoding='ISO-8859-1'?><DDXMLRepository>" +
             entry("\xE9&#8364;") + "</DDXMLRepository>"},
        {"version that needs escaping", "<DDXMLRepository>\n</DDXMLRepository>",
         "1.0 <\"beta\"> & co\t",
         "<DDXMLRepository>\n" + entry("1.0 &#60;&#34;beta&#34;> &#38; co&#9;") +
             "</DDXMLRepository>"},
        {"empty version", "<DDXMLRepository></DDXMLRepository>", "",
         "<DDXMLRepository>" + entry("") + "</DDXMLRepository>"},
        {"UTF-16 LE with BOM",
         utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<DDXMLRepository>\r\n"
               "<File ProductID=\"QVX TSR 7700\"/>\r\n</DDXMLRepository>",
               true),
         "2.0",
         utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<DDXMLRepository>\r\n" + e20 +
                   "</DDXMLRepository>",
               true)},
        {"UTF-16 BE with BOM",
         utf16("<DDXMLRepository><File ProductID=\"Z\"/></DDXMLRepository>", false), "2.0",
         utf16("<DDXMLRepository><File ProductID=\"Z\"/>" + e20 + "</DDXMLRepository>", false)},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        auto loaded = Catalogue::parse(tc.before);
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        auto parsedAgain = installedAndParsedAgain(loaded.value(), tc.version);
        ASSERT_TRUE(parsedAgain.ok()) << parsedAgain.error();
        EXPECT_EQ(parsedAgain->bytes(), tc.after);

        // The workflows' edit, which moves the index along instead of parsing again.
        auto moved = withInstall(loaded.value(), tc.version);
        ASSERT_TRUE(moved.ok()) << moved.error();
        EXPECT_EQ(moved->bytes(), tc.after);
        EXPECT_EQ(loaded->bytes(), tc.before) << "the planned catalogue is not changed by an edit";
        expectIndexOfAFullParse(moved.value());
        auto removedOnly = withRemoval(loaded.value());
        ASSERT_TRUE(removedOnly.ok());
        expectIndexOfAFullParse(removedOnly.value());

        // The result is a catalogue again, with one device entry, listed last with the very
        // version installed.
        auto reloaded = Catalogue::parse(tc.after);
        ASSERT_TRUE(reloaded.ok());
        const auto lines = test::linesOf(reloaded->listing());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "QVX TSR 7700  Revision: " + tc.version);
        EXPECT_EQ(std::count_if(reloaded->entries().begin(), reloaded->entries().end(),
                                [&](const CatalogueEntry &e) { return reloaded->isDevice(e); }),
                  1);
    }
}

TEST(CatalogueEdit, RemoveCutsAWholeLineOnlyWhenTheEntryStandsAlone) {
    struct Case {
        const char *name;
        std::string before;
        std::string after;
    } cases[] = {
        {"alone on a CRLF line",
         "<DDXMLRepository>\r\n<File ProductID=\"A\"/>\r\n"
         "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"></File>\r\n"
         "<File ProductID=\"B\"/>\r\n</DDXMLRepository>",
         "<DDXMLRepository>\r\n<File ProductID=\"A\"/>\r\n"
         "<File ProductID=\"B\"/>\r\n</DDXMLRepository>"},
        {"indented, with blanks after it, on an LF line",
         "<DDXMLRepository>\n  <File ProductID='A'/>\n \t<File ProductID='QVX TSR 7700'/> \t\n"
         "  <File ProductID='B'/>\n</DDXMLRepository>",
         "<DDXMLRepository>\n  <File ProductID='A'/>\n  <File ProductID='B'/>\n</DDXMLRepository>"},
        {"alone on a CR line",
         "<DDXMLRepository>\r<File ProductID='QVX TSR 7700'/>\r</DDXMLRepository>",
         "<DDXMLRepository>\r</DDXMLRepository>"},
        {"two lines in a row",
         "<R>\n<File ProductID='QVX TSR 7700'/>\n<File ProductID='QVX TSR 7700'/>\n</R>",
         "<R>\n</R>"},
        {"another entry before it on the line",
         "<DDXMLRepository>\n<File ProductID='A'/><File ProductID='QVX TSR "
         "7700'/>\n</DDXMLRepository>",
         "<DDXMLRepository>\n<File ProductID='A'/>\n</DDXMLRepository>"},
        {"text after it on the line",
         "<DDXMLRepository>\n  <File ProductID='QVX TSR 7700'/> x\n</DDXMLRepository>",
         "<DDXMLRepository>\n   x\n</DDXMLRepository>"},
        {"the root's end tag after it on the line",
         "<DDXMLRepository>\n  <File ProductID='QVX TSR 7700'/></DDXMLRepository>\n",
         "<DDXMLRepository>\n  </DDXMLRepository>\n"},
        {"on the root's line",
         "<DDXMLRepository><File ProductID='QVX TSR 7700'/>\n</DDXMLRepository>",
         "<DDXMLRepository>\n</DDXMLRepository>"},
        {"a comment on the line", "<R>\n<!-- c --><File ProductID='QVX TSR 7700'/>\n</R>",
         "<R>\n<!-- c -->\n</R>"},
        {"UTF-16", utf16("<R>\r\n  <File ProductID='QVX TSR 7700'/>\r\n</R>", true),
         utf16("<R>\r\n</R>", true)},
        {"a tab or a line break after the element's name",
         "<R>\n<File\tProductID='QVX TSR 7700'/>\n<File\nProductID='QVX TSR 7700'/>\n</R>",
         "<R>\n</R>"},
        {"UTF-16BE", utf16("<R>\r\n  <File ProductID='QVX TSR 7700'/>\r\n</R>", false),
         utf16("<R>\r\n</R>", false)},
        {"UTF-16LE without a byte-order mark",
         utf16("<R>\r\n  <File ProductID='QVX TSR 7700'/>\r\n</R>", true).substr(2),
         utf16("<R>\r\n</R>", true).substr(2)},
        {"UTF-16BE without a byte-order mark",
         utf16("<R>\r\n  <File ProductID='QVX TSR 7700'/>\r\n</R>", false).substr(2),
         utf16("<R>\r\n</R>", false).substr(2)},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        auto catalogue = Catalogue::parse(tc.before);
        ASSERT_TRUE(catalogue.ok());
        auto removed = withRemoval(catalogue.value());
        ASSERT_TRUE(removed.ok()) << removed.error();
        EXPECT_EQ(removed->bytes(), tc.after);
        expectIndexOfAFullParse(removed.value());
        // Nothing to remove: no splice, same bytes.
        EXPECT_TRUE(removed->planRemoval().value().splices.empty());
    }
}

TEST(CatalogueEdit, InstallThenRemoveGivesBackTheSameBytes) {
    for (const std::string before :
         {"<?xml version=\"1.0\"?>\r\n<DDXMLRepository>\r\n  <File ProductID=\"A\"/>\r\n"
          "</DDXMLRepository>\r\n",
          "<DDXMLRepository>\n\t<File ProductID='A'/>\n</DDXMLRepository>"}) {
        SCOPED_TRACE(before);
        auto catalogue = Catalogue::parse(before);
        ASSERT_TRUE(catalogue.ok());
        for (int cycle = 0; cycle < 3; ++cycle) {
            const std::string version = "1." + std::to_string(cycle);
            auto installed = withInstall(catalogue.value(), version);
            ASSERT_TRUE(installed.ok());
            auto removed = withRemoval(installed.value());
            ASSERT_TRUE(removed.ok());
            EXPECT_EQ(removed->bytes(), before) << "cycle " << cycle;
            catalogue = std::move(removed).value();
        }
    }
}

TEST(CatalogueEdit, NeverSavesADocumentThatIsNotWellFormed) {
    // Each refused, by install and remove alike, for the one reason its row names.
    struct Case {
        const char *name;
        std::string xml;
        ErrorCode refused;
    } cases[] = {
        {"the root is the device entry, holding the others",
         "<File ProductID='QVX TSR 7700'><File ProductID='A'/><File ProductID='B'/></File>",
         ErrorCode::EntryIsRoot},
        {"]] before the entry, > after it",
         "<DDXMLRepository>]]<File ProductID='QVX TSR 7700'/>></DDXMLRepository>",
         ErrorCode::EditNotWellFormed},
        {"] before the entry, ]> after it",
         "<DDXMLRepository>a]<File ProductID='QVX TSR 7700'/>]></DDXMLRepository>",
         ErrorCode::EditNotWellFormed},
        {"]] and > around two entries side by side",
         "<DDXMLRepository>]]<File ProductID='QVX TSR 7700'/><File ProductID='QVX TSR 7700'/>>"
         "</DDXMLRepository>",
         ErrorCode::EditNotWellFormed},
        {"UTF-16",
         utf16("<DDXMLRepository>]]<File ProductID='QVX TSR 7700'/>></DDXMLRepository>", true),
         ErrorCode::EditNotWellFormed},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        auto catalogue = Catalogue::parse(tc.xml);
        ASSERT_TRUE(catalogue.ok()) << catalogue.error();
        for (const bool installing : {false, true}) {
            SCOPED_TRACE(installing ? "install" : "remove");
            auto changed =
                installing ? withInstall(catalogue.value(), "2") : withRemoval(catalogue.value());
            ASSERT_FALSE(changed.ok()) << changed->bytes();
            EXPECT_EQ(changed.error().code, tc.refused) << changed.error();
        }
    }
}

TEST(CatalogueEdit, RefusesEditsItCannotMakeExactly) {
    auto fromEntity = Catalogue::parse(
        "<!DOCTYPE DDXMLRepository [<!ENTITY d '<File ProductID=\"QVX TSR 7700\"/>'>]>"
        "<DDXMLRepository>&d;</DDXMLRepository>");
    ASSERT_TRUE(fromEntity.ok());
    EXPECT_EQ(test::linesOf(fromEntity->listing()),
              (std::vector<std::string>{"QVX TSR 7700  Revision: "}));
    EXPECT_EQ(fromEntity->planRemoval().error().code, ErrorCode::EntryFromEntity);
    EXPECT_EQ(fromEntity->planRemoval().error().offset, fromEntity->entries()[0].span().offset);

    auto otherRoot = Catalogue::parse("<Catalog><File ProductID='QVX TSR 7700'/></Catalog>");
    ASSERT_TRUE(otherRoot.ok());
    EXPECT_FALSE(otherRoot->hasRepositoryRoot());
    EXPECT_EQ(otherRoot->planInstall("1").error().code, ErrorCode::NotRepository);
    auto prefixed = Catalogue::parse("<p:DDXMLRepository xmlns:p='urn:p'/>");
    EXPECT_EQ(prefixed->planInstall("1").error().code, ErrorCode::NotRepository);

    // The device entry as the root: cutting it would leave no document.
    auto rootEntry = Catalogue::parse("<File ProductID='QVX TSR 7700'/>");
    ASSERT_TRUE(rootEntry.ok());
    EXPECT_EQ(rootEntry->planRemoval().error().code, ErrorCode::EntryIsRoot);
    EXPECT_EQ(rootEntry->bytes(), "<File ProductID='QVX TSR 7700'/>");
}

TEST(CatalogueListing, OneLinePerEntryWithItsOwnValues) {
    struct Case {
        const char *name;
        std::string xml;
        std::vector<std::string> lines;
    } cases[] = {
        {"document order, product first",
         "<DDXMLRepository><File Fileversion='1.1' ProductID='A'/><File ProductID='B' "
         "Fileversion='2'/></DDXMLRepository>",
         {"A  Revision: 1.1", "B  Revision: 2"}},
        {"no attributes, no line",
         "<DDXMLRepository><File/><File>text</File></DDXMLRepository>",
         {}},
        {"missing values show as empty, never carried over",
         "<DDXMLRepository><File Fileversion='3'/><File ProductID='C'/><File x='y'/>"
         "</DDXMLRepository>",
         {"  Revision: 3", "C  Revision: ", "  Revision: "}},
        {"a namespace declaration is an attribute",
         "<DDXMLRepository><File xmlns='urn:x'/></DDXMLRepository>",
         {"  Revision: "}},
        {"names are exact",
         "<DDXMLRepository xmlns:p='urn:p'><File productid='a' "
         "p:ProductID='b' FileVersion='c'/></DDXMLRepository>",
         {"  Revision: "}},
        {"nested anywhere, any root",
         "<Other><a><File ProductID='N' Fileversion='1'><File ProductID='M'/></File></a></Other>",
         {"N  Revision: 1", "M  Revision: "}},
        {"no File elements", "<DDXMLRepository><Entry ProductID='Q'/></DDXMLRepository>", {}},
        {"values as the parser gives them",
         "<DDXMLRepository><File ProductID='R&amp;D &#x263A;' Fileversion=' 1\n2 '/>"
         "</DDXMLRepository>",
         {"R&D \xE2\x98\xBA  Revision:  1 2 "}},
        {"the device after an entry without a line and one with one attribute",
         "<DDXMLRepository><File/><File ProductID='C'/><File ProductID='QVX TSR 7700' "
         "Fileversion='2'/><File ProductID='QVX TSR 7700'/></DDXMLRepository>",
         {"C  Revision: ", "QVX TSR 7700  Revision: 2", "QVX TSR 7700  Revision: "}},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        auto catalogue = Catalogue::parse(tc.xml);
        ASSERT_TRUE(catalogue.ok()) << catalogue.error();
        EXPECT_EQ(test::linesOf(catalogue->listing()), tc.lines);
        // The line a window makes current after a command: the device's first.
        const auto device = std::find_if(tc.lines.begin(), tc.lines.end(), [](const auto &line) {
            return line.starts_with("QVX TSR 7700  ");
        });
        EXPECT_EQ(catalogue->deviceLine(),
                  device == tc.lines.end() ? std::nullopt
                                           : std::optional<std::size_t>(device - tc.lines.begin()));
    }
}

TEST(CatalogueListing, HasNoLimitOnAttributes) {
    std::string xml = "<DDXMLRepository><File";
    for (int i = 0; i < 40000; ++i)
        xml += " a" + std::to_string(i) + "='x'";
    xml += " ProductID='Wide' Fileversion='9'/></DDXMLRepository>";
    auto catalogue = Catalogue::parse(xml);
    ASSERT_TRUE(catalogue.ok());
    EXPECT_EQ(catalogue->entries()[0].attributeCount, 40002u);
    EXPECT_EQ(test::linesOf(catalogue->listing()), (std::vector<std::string>{"Wide  Revision: 9"}));
}

} // namespace
} // namespace corvelan::catalogue
