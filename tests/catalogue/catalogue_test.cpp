#include "catalogue/catalogue.h"
#include "support/attributes.h"
#include "support/device_entry.h"
#include "support/error_text.h"
#include "support/temp_prefix.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>

namespace corvelan::catalogue {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// The device entry exactly as it must stand in a saved catalogue; `version` is already in the
// file's encoding and escaped.
std::string entry(const std::string &version) {
    return test::deviceEntry(version);
}

std::string utf16(const std::string &ascii, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : ascii) {
        out += little ? c : '\0';
        out += little ? '\0' : c;
    }
    return out;
}

// Install's catalogue work: remove the device's entries, append the new one, save.
Result<Catalogue> install(const Catalogue &catalogue, std::string_view version) {
    auto splices = catalogue.planRemoveDeviceEntries();
    if (!splices) return splices.error();
    auto insert = catalogue.planAppendDeviceEntry(version);
    if (!insert) return insert.error();
    splices->push_back(insert.value());
    return catalogue.edited(std::move(splices).value());
}

// The index an edit moved along must be the one a full parse of its bytes gives.
void expectIndexOfAFullParse(const Catalogue &edited) {
    auto parsed = Catalogue::parse(edited.bytes());
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    ASSERT_EQ(edited.entries().size(), parsed->entries().size());
    for (size_t i = 0; i < parsed->entries().size(); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        const CatalogueEntry &a = edited.entries()[i];
        const CatalogueEntry &b = parsed->entries()[i];
        EXPECT_EQ(a.span(), b.span());
        EXPECT_EQ(a.attributeCount, b.attributeCount);
        EXPECT_EQ(edited.productId(a), parsed->productId(b));
        EXPECT_EQ(edited.fileVersion(a), parsed->fileVersion(b));
    }
    EXPECT_EQ(edited.shape().rootStartTag, parsed->shape().rootStartTag);
    EXPECT_EQ(edited.shape().rootEndTag, parsed->shape().rootEndTag);
    EXPECT_EQ(edited.shape().encoding, parsed->shape().encoding);
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
        TempDir dir;
        const std::string path = dir / "DDXMLRepository.xml";
        writeFile(path, tc.before);
        auto loaded = Catalogue::load(path);
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        auto changed = install(loaded.value(), tc.version);
        ASSERT_TRUE(changed.ok()) << changed.error();
        ASSERT_TRUE(fs::replaceFileContent(path, changed->bytes()).ok());
        EXPECT_EQ(readFile(path), tc.after);
        EXPECT_EQ(loaded->bytes(), tc.before) << "the loaded catalogue is not changed by an edit";

        // The workflows' edit, which moves the index along instead of parsing again.
        auto moved = loaded->withDeviceEntries(&tc.version);
        ASSERT_TRUE(moved.ok()) << moved.error();
        EXPECT_EQ(moved->bytes(), tc.after);
        expectIndexOfAFullParse(moved.value());
        auto removedOnly = loaded->withDeviceEntries(nullptr);
        ASSERT_TRUE(removedOnly.ok());
        expectIndexOfAFullParse(removedOnly.value());

        // The result is a catalogue again, with one device entry, listed last with the very
        // version installed.
        auto reloaded = Catalogue::load(path);
        ASSERT_TRUE(reloaded.ok());
        const auto lines = reloaded->listing().lines();
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
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        auto catalogue = Catalogue::parse(tc.before);
        ASSERT_TRUE(catalogue.ok());
        auto removed = catalogue->withDeviceEntries(nullptr);
        ASSERT_TRUE(removed.ok()) << removed.error();
        EXPECT_EQ(removed->bytes(), tc.after);
        expectIndexOfAFullParse(removed.value());
        // Nothing to remove: no splice, same bytes.
        EXPECT_TRUE(removed->planRemoveDeviceEntries().value().empty());
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
            auto installed = catalogue->withDeviceEntries(&version);
            ASSERT_TRUE(installed.ok());
            auto removed = installed->withDeviceEntries(nullptr);
            ASSERT_TRUE(removed.ok());
            EXPECT_EQ(removed->bytes(), before) << "cycle " << cycle;
            catalogue = std::move(removed).value();
        }
    }
}

TEST(CatalogueEdit, NeverSavesADocumentThatIsNotWellFormed) {
    struct Case {
        const char *name;
        std::string xml;
    } cases[] = {
        {"the root is the device entry, holding the others",
         "<File ProductID='QVX TSR 7700'><File ProductID='A'/><File ProductID='B'/></File>"},
        {"]] before the entry, > after it", "<DDXMLRepository>]]<File ProductID='QVX TSR 7700'/>>"
                                            "</DDXMLRepository>"},
        {"] before the entry, ]> after it", "<DDXMLRepository>a]<File ProductID='QVX TSR 7700'/>]>"
                                            "</DDXMLRepository>"},
        {"]] and > around two entries side by side",
         "<DDXMLRepository>]]<File ProductID='QVX TSR 7700'/><File ProductID='QVX TSR 7700'/>>"
         "</DDXMLRepository>"},
        {"UTF-16",
         utf16("<DDXMLRepository>]]<File ProductID='QVX TSR 7700'/>></DDXMLRepository>", true)},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        auto catalogue = Catalogue::parse(tc.xml);
        ASSERT_TRUE(catalogue.ok()) << catalogue.error();
        const std::string version = "2";
        for (const std::string *edit : {static_cast<const std::string *>(nullptr), &version}) {
            auto changed = catalogue->withDeviceEntries(edit);
            if (changed.ok()) {
                // Accepted only when the result is whole.
                EXPECT_TRUE(Catalogue::parse(changed->bytes()).ok()) << changed->bytes();
                continue;
            }
            EXPECT_TRUE(changed.error().code == ErrorCode::EditNotWellFormed ||
                        changed.error().code == ErrorCode::EntryIsRoot ||
                        changed.error().code == ErrorCode::NotRepository)
                << changed.error();
        }
        EXPECT_FALSE(catalogue->withDeviceEntries(nullptr).ok());
    }
}

TEST(CatalogueEdit, RefusesEditsItCannotMakeExactly) {
    auto fromEntity = Catalogue::parse(
        "<!DOCTYPE DDXMLRepository [<!ENTITY d '<File ProductID=\"QVX TSR 7700\"/>'>]>"
        "<DDXMLRepository>&d;</DDXMLRepository>");
    ASSERT_TRUE(fromEntity.ok());
    EXPECT_EQ(fromEntity->listing().lines(),
              (std::vector<std::string>{"QVX TSR 7700  Revision: "}));
    EXPECT_EQ(fromEntity->planRemoveDeviceEntries().error().code, ErrorCode::EntryFromEntity);
    EXPECT_EQ(fromEntity->planRemoveDeviceEntries().error().offset,
              fromEntity->entries()[0].span().offset);

    auto otherRoot = Catalogue::parse("<Catalog><File ProductID='QVX TSR 7700'/></Catalog>");
    ASSERT_TRUE(otherRoot.ok());
    EXPECT_FALSE(otherRoot->hasRepositoryRoot());
    EXPECT_EQ(otherRoot->planAppendDeviceEntry("1").error().code, ErrorCode::NotRepository);
    auto prefixed = Catalogue::parse("<p:DDXMLRepository xmlns:p='urn:p'/>");
    EXPECT_EQ(prefixed->planAppendDeviceEntry("1").error().code, ErrorCode::NotRepository);

    // The device entry as the root: cutting it would leave no document.
    auto rootEntry = Catalogue::parse("<File ProductID='QVX TSR 7700'/>");
    ASSERT_TRUE(rootEntry.ok());
    EXPECT_EQ(rootEntry->planRemoveDeviceEntries().error().code, ErrorCode::EntryIsRoot);
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
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        auto catalogue = Catalogue::parse(tc.xml);
        ASSERT_TRUE(catalogue.ok()) << catalogue.error();
        EXPECT_EQ(catalogue->listing().lines(), tc.lines);
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
    EXPECT_EQ(catalogue->listing().lines(), (std::vector<std::string>{"Wide  Revision: 9"}));
}

TEST(CatalogueEncodings, SingleByteEncodingsTheSystemKnowsAreReadAndKept) {
    struct Case {
        const char *encoding;
        std::string product; // in the encoding
        std::string listed;  // UTF-8
        std::string version; // installed, UTF-8
        std::string stored;  // as the entry stores it
    } cases[] = {
        {"windows-1252", "\x80uro \xE9t\xE9", "\xE2\x82\xACuro \xC3\xA9t\xC3\xA9", "2 \xE2\x82\xAC",
         "2 &#8364;"},
        {"ISO-8859-15", "\xA4 \xBD", "\xE2\x82\xAC \xC5\x93", "\xC5\x93", "&#339;"},
        {"iso-8859-2",
         "\xA3\xF3"
         "d\xBC",
         "\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         "\xC5\x82", "&#322;"},
        {"latin1",
         "Gr\xF6\xDF"
         "e",
         "Gr\xC3\xB6\xC3\x9F"
         "e",
         "\xC3\xA9", "&#233;"},
        // At the edge of what each table holds byte for byte: one character either side.
        {"windows-1252", "x", "x", "\x7F\xC2\x80", "\x7F&#128;"},
        {"ISO-8859-1", "x", "x", "\xC3\xBF\xC4\x80", "\xFF&#256;"},
        {"US-ASCII", "x", "x", "\x7F\xC2\x80", "\x7F&#128;"},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(std::string(tc.encoding) + ", version stored as " + tc.stored);
        const std::string head = std::string("<?xml version='1.0' encoding='") + tc.encoding +
                                 "'?>\r\n<DDXMLRepository>\r\n<File ProductID='" + tc.product +
                                 "' Fileversion='1'/>\r\n";
        auto catalogue = Catalogue::parse(head + "</DDXMLRepository>\r\n");
        ASSERT_TRUE(catalogue.ok()) << catalogue.error();
        EXPECT_EQ(catalogue->listing().lines(),
                  (std::vector<std::string>{tc.listed + "  Revision: 1"}));
        auto installed = catalogue->withDeviceEntries(&tc.version);
        ASSERT_TRUE(installed.ok()) << installed.error();
        EXPECT_EQ(installed->bytes(), head + entry(tc.stored) + "</DDXMLRepository>\r\n");
        expectIndexOfAFullParse(installed.value());
        EXPECT_EQ(installed->listing().lines().back(), "QVX TSR 7700  Revision: " + tc.version);
    }
}

TEST(CatalogueLoad, RefusesWhatItCannotReadWhole) {
    TempDir dir;
    struct Case {
        const char *name;
        const char *file;
        const char *bytes; // null: not created
        ErrorCode code;
    } cases[] = {
        {"missing", "missing.xml", nullptr, ErrorCode::NotFound},
        {"empty", "empty.xml", "", ErrorCode::XmlSyntax},
        {"not well-formed", "broken.xml", "<DDXMLRepository><File></DDXMLRepository>",
         ErrorCode::XmlSyntax},
        {"multi-byte encoding", "sjis.xml",
         "<?xml version='1.0' encoding='Shift_JIS'?><DDXMLRepository/>", ErrorCode::XmlSyntax},
        {"encoding the system does not know", "unknown.xml",
         "<?xml version='1.0' encoding='x-corvelan-unknown'?><DDXMLRepository/>",
         ErrorCode::XmlSyntax},
        {"external entity", "ext.xml",
         "<!DOCTYPE DDXMLRepository [<!ENTITY x SYSTEM 'file:///etc/passwd'>]>"
         "<DDXMLRepository>&x;</DDXMLRepository>",
         ErrorCode::XmlUnseenEntity},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        const std::string path = dir / tc.file;
        if (tc.bytes) writeFile(path, tc.bytes);
        auto catalogue = Catalogue::load(path);
        ASSERT_FALSE(catalogue.ok());
        EXPECT_EQ(catalogue.error().code, tc.code);
        EXPECT_EQ(catalogue.error().path, path);
        if (tc.bytes) {
            EXPECT_EQ(readFile(path), tc.bytes) << "never changed";
        }
    }
    EXPECT_EQ(Catalogue::load(dir.path()).error().code, ErrorCode::NotAFile);
}

TEST(CatalogueSave, KeepsAReadOnlyCatalogueReadOnly) {
    TempDir dir;
    const std::string path = dir / "DDXMLRepository.xml";
    writeFile(path, "<DDXMLRepository>\r\n</DDXMLRepository>\r\n");
    ASSERT_TRUE(test::setFileAttributes(path, test::kReadOnly).ok());
    auto catalogue = Catalogue::load(path);
    ASSERT_TRUE(catalogue.ok());
    const std::string version = "3.1";
    auto edit = catalogue->planDeviceEntries(&version);
    ASSERT_TRUE(edit.ok());
    ASSERT_TRUE(catalogue->saveEdit(edit.value(), path, true).ok());
    EXPECT_EQ(readFile(path), "<DDXMLRepository>\r\n" + entry("3.1") + "</DDXMLRepository>\r\n");
    EXPECT_EQ(test::fileAttributes(path).value() & test::kReadOnly, test::kReadOnly);
}

// One loaded catalogue saves edit after edit, each guarded by what the one before wrote, until
// another program writes the file: that save is refused and the file keeps what it wrote.
TEST(CatalogueSave, EditsOneAfterAnotherUntilAnotherProgramWrites) {
    TempDir dir;
    const std::string path = dir / "DDXMLRepository.xml";
    const std::string head = "<DDXMLRepository>\r\n<File ProductID=\"A\"/>\r\n";
    writeFile(path, head + "</DDXMLRepository>\r\n");
    auto catalogue = Catalogue::load(path);
    ASSERT_TRUE(catalogue.ok());
    for (const std::string version : {"1.0", "1.1", "12.0"}) {
        SCOPED_TRACE(version);
        auto edit = catalogue->planDeviceEntries(&version);
        ASSERT_TRUE(edit.ok());
        auto saved = catalogue->saveEdit(edit.value(), path, true);
        ASSERT_TRUE(saved.ok()) << saved.error();
        catalogue->apply(std::move(edit).value(), saved.value());
        EXPECT_EQ(readFile(path), head + entry(version) + "</DDXMLRepository>\r\n");
        EXPECT_EQ(catalogue->bytes(), readFile(path));
    }
    const std::string other = head + "</DDXMLRepository>\r\n<!-- another program -->";
    writeFile(path, other);
    auto edit = catalogue->planDeviceEntries(nullptr);
    ASSERT_TRUE(edit.ok());
    auto saved = catalogue->saveEdit(edit.value(), path, true);
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error().code, ErrorCode::ChangedOnDisk);
    EXPECT_EQ(readFile(path), other);
}

} // namespace
} // namespace corvelan::catalogue

namespace corvelan::catalogue {
namespace {

// The catalogue `bytes` read as a file is read, a few bytes at a time, in two parts from a small
// size on, so that the parts meet documents of every shape.
Result<Catalogue> readInParts(std::string_view bytes, std::size_t piece = 7) {
    const xml::ReadAt read = [bytes](char *into, std::size_t want, std::uint64_t at) {
        const std::string_view rest = at < bytes.size() ? bytes.substr(at) : std::string_view();
        const std::size_t got = std::min(want, rest.size());
        if (got > 0) std::memcpy(into, rest.data(), got);
        return Result<std::size_t>(got);
    };
    return Catalogue::read(read, bytes.size(), {piece, 16});
}

// A read in parts gives what a parse of the whole gives: the same index, shape and bytes, or the
// same refusal at the same place.
void expectAsAWholeParse(const std::string &doc) {
    auto whole = Catalogue::parse(doc);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{64}}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        auto parts = readInParts(doc, piece);
        ASSERT_EQ(parts.ok(), whole.ok()) << (parts.ok() ? whole.error() : parts.error());
        if (!whole) {
            EXPECT_EQ(parts.error().code, whole.error().code);
            EXPECT_EQ(parts.error().offset, whole.error().offset);
            EXPECT_EQ(parts.error().line, whole.error().line);
            EXPECT_EQ(parts.error().column, whole.error().column);
            continue;
        }
        EXPECT_EQ(parts->bytes(), doc);
        expectIndexOfAFullParse(parts.value());
        EXPECT_EQ(parts->shape().rootName, whole->shape().rootName);
        EXPECT_EQ(parts->shape().encodingName, whole->shape().encodingName);
        EXPECT_EQ(parts->listing().lines(), whole->listing().lines());
    }
}

TEST(CatalogueRead, InTwoPartsAsWhole) {
    std::string entries;
    for (int i = 0; i < 40; ++i)
        entries += "<File ProductID=\"P" + std::to_string(i) + "\" Fileversion=\"" +
                   std::to_string(i) + "\"/>\n";
    const std::string half = entries.substr(0, entries.size() / 2);
    const std::string rest = entries.substr(entries.size() / 2);
    const struct {
        const char *name;
        std::string doc;
    } cases[] = {
        {"entries on their lines", "<DDXMLRepository>\n" + entries + "</DDXMLRepository>\n"},
        {"a root with namespaces and attributes",
         "<?xml version='1.0' encoding='UTF-8'?>\n<R xmlns='urn:d' xmlns:p='urn:p' a='1'>\n" +
             half + "<File p:x='1' ProductID='QVX TSR 7700'/>\n" + rest + "</R>"},
        {"the middle inside a comment", "<R>\n" + half + "<!--\n" + rest + "-->\n" + half + "</R>"},
        {"the middle inside CDATA", "<R>\n" + half + "<a><![CDATA[\n" + rest + "]]></a>\n</R>"},
        {"the middle inside a nested entry",
         "<R>\n<File ProductID='outer'>\n" + entries + "</File>\n</R>"},
        {"the middle inside another element", "<R>\n<group>\n" + entries + "</group>\n</R>"},
        {"a prefix declared below the root",
         "<R>\n<g xmlns:p='urn:p'>\n" + half + "<p:File/>\n" + rest + "</g>\n</R>"},
        {"values escaped and plain",
         "<R>\n" + half + "<File ProductID='R&amp;D &#x263A;' Fileversion=' 1\n2 '/>\n" + rest +
             "</R>"},
        {"values escaped throughout",
         "<R>\n" + std::regex_replace(entries, std::regex("\"P"), "\"&#x50;") + "</R>"},
        {"not well-formed after the middle", "<R>\n" + entries + "<File></R>"},
        {"not well-formed before the middle", "<R>\n<a>" + entries + "</R>"},
        {"text after the root", "<R>\n" + entries + "</R>x"},
        {"a document type declaration", "<!DOCTYPE R [<!ENTITY v '9'>]>\n<R>\n" + half +
                                            "<File Fileversion='&v;'/>\n" + rest + "</R>"},
        {"the root is an entry", "<File>\n" + entries + "</File>"},
        {"UTF-16", std::string("\xFF\xFE<\0R\0>\0<\0/\0R\0>\0", 14)},
        // Two Latin-1 characters that read as one in UTF-8, at the end.
        {"single-byte", "<?xml version='1.0' encoding='ISO-8859-1'?>\n<R>\n" + entries +
                            "<File ProductID='\xC3\xA9'/>\n</R>"},
        {"the end tag of the root in the middle", "<R>\n" + half + "</R>\n<!--" + rest + "-->"},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        expectAsAWholeParse(tc.doc);
    }
}

TEST(CatalogueRead, AFileThatGrowsOrShrinksWhileReadIsReadToItsEnd) {
    std::string doc = "<R>\n";
    for (int i = 0; i < 40; ++i)
        doc += "<File ProductID='P" + std::to_string(i) + "'/>\n";
    doc += "</R>\n";
    for (const std::int64_t change : {-20, 20}) {
        SCOPED_TRACE(change);
        // Opened with one size, read with another.
        const std::uint64_t said = doc.size() + static_cast<std::uint64_t>(-change);
        const xml::ReadAt read = [&doc](char *into, std::size_t want, std::uint64_t at) {
            const std::size_t got = at < doc.size() ? std::min(want, doc.size() - at) : 0;
            if (got > 0) std::memcpy(into, doc.data() + at, got);
            return Result<std::size_t>(got);
        };
        auto catalogue = Catalogue::read(read, said, {5, 16});
        ASSERT_TRUE(catalogue.ok()) << catalogue.error();
        EXPECT_EQ(catalogue->bytes(), doc);
        EXPECT_EQ(catalogue->entries().size(), 40u);
    }
}

} // namespace
} // namespace corvelan::catalogue
