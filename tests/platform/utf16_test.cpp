#include "platform/utf16.h"

#include <gtest/gtest.h>

namespace corvelan {
namespace {

TEST(Utf16, RoundTripsEveryPlane) {
    struct Case {
        const char *name;
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"ASCII", "C:\\Data\\dev.xml", u"C:\\Data\\dev.xml"},
        {"Latin-1 and Latin Extended-A",
         "Gr\xC3\xB6\xC3\x9F"
         "e \xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         u"Gr\u00F6\u00DFe \u0141\u00F3d\u017A"},
        {"three-byte forms", "\xE2\x82\xAC \xE2\x98\xBA", u"\u20AC \u263A"},
        {"surrogate pair", "\xF0\x9F\x98\x80", std::u16string{0xD83D, 0xDE00}},
        {"highest code point", "\xF4\x8F\xBF\xBF", std::u16string{0xDBFF, 0xDFFF}},
        {"empty", "", u""},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        EXPECT_EQ(utf8ToUtf16Replacing(tc.utf8), tc.utf16);
        EXPECT_EQ(utf16ToUtf8(tc.utf16), tc.utf8);
    }
}

TEST(Utf16, EachByteThatStartsNoSequenceIsOneReplacementCharacter) {
    constexpr char16_t r = 0xFFFD;
    const struct {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"\xC3", {r}},
        {"\xE2\x82", {r, r}},
        {"\xC0\xAF", {r, r}},               // overlong '/'
        {"\xED\xA0\x80", {r, r, r}},        // a surrogate
        {"\xF4\x90\x80\x80", {r, r, r, r}}, // past U+10FFFF
        {"\xFF", {r}},
        {"a\x80", {u'a', r}},
        {"\xC3\xA9\xC3", {0xE9, r}},
    };
    for (const auto &tc : cases)
        EXPECT_EQ(utf8ToUtf16Replacing(tc.utf8), tc.utf16) << testing::PrintToString(tc.utf8);
}

TEST(Utf16, ALoneSurrogateNeverPassesForAnotherName) {
    const std::string lone = utf16ToUtf8(std::u16string{u'a', 0xD800, u'b'});
    EXPECT_EQ(lone, "a\xED\xA0\x80"
                    "b");
    EXPECT_EQ(utf8ToUtf16Replacing(lone), (std::u16string{u'a', 0xFFFD, 0xFFFD, 0xFFFD, u'b'}));
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xDC00, 0xD800}), "\xED\xB0\x80\xED\xA0\x80");
}

} // namespace
} // namespace corvelan
