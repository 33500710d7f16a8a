// What the description reader refuses, and where: the code of each refusal and the byte offset
// of the fault (counted by hand in each document), the same whether the document is read from
// memory or from a file, which is read a piece at a time.
#include "support/error_text.h"
#include "support/path_files.h"
#include "support/temp_prefix.h"
#include "xml/description_reader.h"

#include <gtest/gtest.h>

namespace corvelan::xml {
namespace {

TEST(DescriptionReader, EachRefusalSaysWhatAndWhere) {
    std::string deep;
    for (int i = 0; i < 10'001; ++i)
        deep += "<a>";
    std::string attributes = "<r";
    for (int i = 0; i < 65'537; ++i)
        attributes += " a" + std::to_string(i) + "=''";
    attributes += "/>";
    const std::string run = "<r>" + std::string((8 << 20) + 1, 'x') + "</r>";
    const struct {
        const char *name;
        std::string doc;
        ErrorCode code;
        std::int64_t offset; // -1: anywhere in the run of text
        std::int64_t line;
        std::int64_t column; // -1 with the offset
        std::string named;   // the limit's or entity's name, where there is one
    } cases[] = {
        // The end of the document, where an end tag was missing.
        {"no end tag", "<ISO15745Profile><productName>x</productName>", ErrorCode::XmlSyntax, 45, 1,
         46, ""},
        // expat points at the name of the end tag that does not match.
        {"mismatched tag", "<a><b></a>", ErrorCode::XmlSyntax, 8, 1, 9, ""},
        {"unbound prefix", "<p:x/>", ErrorCode::XmlSyntax, 0, 1, 1, ""},
        {"a NUL", std::string("<r>\0</r>", 8), ErrorCode::XmlSyntax, 3, 1, 4, ""},
        {"an undeclared entity", "<r>&nope;</r>", ErrorCode::XmlSyntax, 3, 1, 4, ""},
        // 17 + 1 + 13 bytes before the text, on the second line.
        {"a product name too long",
         "<ISO15745Profile>\n<productName>" + std::string(256, 'Q') +
             "</productName>"
             "</ISO15745Profile>",
         ErrorCode::FactTooLong, 31, 2, 14, "productName"},
        // The piece of text after the comment makes it too long: 17 + 1 + 9 + 100 + 7.
        {"a version too long across a comment",
         "<ISO15745Profile>\n<version>" + std::string(100, 'v') + "<!---->" +
             std::string(156, 'v') + "</version></ISO15745Profile>",
         ErrorCode::FactTooLong, 134, 2, 117, "version"},
        // The reference, after a document type of 13 + 22 + 2 bytes and "<r>".
        {"an external entity", "<!DOCTYPE r [<!ENTITY x SYSTEM 'f'>]><r>&x;</r>",
         ErrorCode::XmlUnseenEntity, 40, 1, 41, "f"},
        {"nested too deep", deep, ErrorCode::XmlTooDeep, 30'000, 1, 30'001, ""},
        {"too many attributes", attributes, ErrorCode::XmlTooManyAttributes, 0, 1, 1, ""},
        {"a run of text too long", run, ErrorCode::XmlRunTooLong, -1, 1, -1, ""},
    };
    test::TempDir dir;
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        const std::string path = dir / "description.xml";
        test::writeFile(path, tc.doc);
        for (const auto &read : {test::readDescriptionBytes(tc.doc), test::readDescription(path)}) {
            ASSERT_FALSE(read.ok());
            const Error &e = read.error();
            EXPECT_EQ(e.code, tc.code) << e;
            if (tc.offset >= 0) {
                EXPECT_EQ(e.offset, tc.offset);
            } else {
                EXPECT_GT(e.offset, 2);
                EXPECT_LE(e.offset, static_cast<std::int64_t>(tc.doc.size()) - 4);
            }
            EXPECT_EQ(e.line, tc.line);
            if (tc.column >= 0) {
                EXPECT_EQ(e.column, tc.column);
            }
            EXPECT_EQ(e.about<Limit>().of + e.about<Entity>().name, tc.named);
        }
    }
}

TEST(DescriptionReader, ReadsTheFactsOfAWholeProfile) {
    const auto facts = test::readDescriptionBytes(
        "<p:Wrapper xmlns:p='urn:p'/>"); // a root of another name: no profile, no facts
    ASSERT_TRUE(facts.ok());
    EXPECT_FALSE(facts->rootIsProfile);
    EXPECT_FALSE(facts->productName || facts->version);
    const auto profile = test::readDescriptionBytes(
        "<ISO15745Profile xmlns='urn:d'><a><productName>QVX<b>TSR</b>7700</productName></a>"
        "<version> 1 </version><version>2</version></ISO15745Profile>");
    ASSERT_TRUE(profile.ok());
    EXPECT_TRUE(profile->rootIsProfile);
    EXPECT_EQ(profile->productName, "QVXTSR7700");
    EXPECT_EQ(profile->version, " 1 ") << "the first, untrimmed";
}

} // namespace
} // namespace corvelan::xml
