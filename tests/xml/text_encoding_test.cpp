#include "xml/splice.h"
#include "xml/text_encoding.h"

#include <gtest/gtest.h>

namespace corvelan::xml {
namespace {

TEST(EncodeText, WritesEachEncodingOrCharacterReferences) {
    struct Case {
        const char *name;
        TextEncoding encoding;
        std::string utf8;
        std::string expected;
    } cases[] = {
        {"UTF-8 as is", TextEncoding::Utf8, "v\xC3\xA9 \xE2\x82\xAC", "v\xC3\xA9 \xE2\x82\xAC"},
        {"Latin-1 holds é, not €", TextEncoding::Latin1, "v\xC3\xA9\xE2\x82\xAC", "v\xE9&#8364;"},
        {"ASCII holds neither", TextEncoding::Ascii, "\xC3\xA9", "&#233;"},
        {"UTF-16 LE", TextEncoding::Utf16LE, "A\xC3\xA9", std::string("A\0\xE9\0", 4)},
        {"UTF-16 BE", TextEncoding::Utf16BE, "A\xC3\xA9", std::string("\0A\0\xE9", 4)},
        {"UTF-16 surrogate pair", TextEncoding::Utf16LE, "\xF0\x9F\x98\x80",
         std::string("\x3D\xD8\x00\xDE", 4)},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        EXPECT_EQ(encodeText(tc.utf8, tc.encoding), tc.expected);
    }
}

TEST(EscapeAttributeValue, ProtectsWhatTheParserWouldChange) {
    EXPECT_EQ(escapeAttributeValue("1.0 <beta> & \"x\" 'y'"),
              "1.0 &#60;beta> &#38; &#34;x&#34; 'y'");
    EXPECT_EQ(escapeAttributeValue("a\tb\nc\rd"), "a&#9;b&#10;c&#13;d");
    EXPECT_EQ(escapeAttributeValue(""), "");
}

TEST(DetectEncoding, FromBytesThenDeclaration) {
    EXPECT_EQ(detectEncoding("\xFF\xFE<", ""), TextEncoding::Utf16LE);
    EXPECT_EQ(detectEncoding("\xFE\xFF\0<", ""), TextEncoding::Utf16BE);
    EXPECT_EQ(detectEncoding(std::string("<\0?\0", 4), ""), TextEncoding::Utf16LE);
    EXPECT_EQ(detectEncoding(std::string("\0<\0?", 4), ""), TextEncoding::Utf16BE);
    EXPECT_EQ(detectEncoding("\xEF\xBB\xBF<", ""), TextEncoding::Utf8);
    // After a UTF-8 mark, a declared single-byte encoding is the one the parser reads.
    EXPECT_EQ(detectEncoding("\xEF\xBB\xBF<", "ISO-8859-1"), TextEncoding::Latin1);
    EXPECT_EQ(detectEncoding("\xEF\xBB\xBF<", "windows-1252"), TextEncoding::SingleByte);
    EXPECT_EQ(detectEncoding("<?xml", "iso-8859-1"), TextEncoding::Latin1);
    EXPECT_EQ(detectEncoding("<?xml", "US-ASCII"), TextEncoding::Ascii);
    EXPECT_EQ(detectEncoding("<R/>", ""), TextEncoding::Utf8);
}

TEST(ApplySplices, CutsAndInsertsInAnyOrder) {
    const std::string doc = "0123456789";
    EXPECT_EQ(applySplices(doc, {{8, 1, ""}, {2, 3, "ab"}, {10, 0, "!"}, {0, 0, "<"}}),
              "<01ab5679!");
    EXPECT_EQ(applySplices(doc, {}), doc);
    EXPECT_EQ(applySplices(doc, {{5, 0, "a"}, {5, 0, "b"}}), "01234ab56789");
}

} // namespace
} // namespace corvelan::xml
