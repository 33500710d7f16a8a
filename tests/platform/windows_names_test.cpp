#include "platform/windows_names.h"

#include <gtest/gtest.h>

#include <string>

namespace corvelan {
namespace {

TEST(NamesIgnoringCase, ComparesAsWindowsUpcasesThem) {
    struct Case {
        const char *name;
        const char *a;
        const char *b;
        bool equal;
    } cases[] = {
        {"ASCII", "Pictures", "pICTURES", true},
        {"Latin-1", "ÄÖÜÉØÞ", "äöüéøþ", true},
        {"y with diaeresis is the pair of U+0178", "Ÿ", "ÿ", true},
        {"U+0178 is not Z with acute", "Ÿ", "ź", false},
        {"Latin Extended-A pairs", "ŁÓDŹ ĀĮĲĶĹŇŊŶŽ", "łódź āįĳķĺňŋŷž", true},
        {"dotless i has no pair here", "ı", "I", false},
        {"sharp s stays itself", "STRASSE", "straße", false},
        {"Greek, final sigma is sigma", "ΟΔΟΣ", "οδος", true},
        {"Greek, final sigma matches the middle one", "ς", "σ", true},
        {"Greek with tonos", "ΆΈΉΊΌΎΏ", "άέήίόύώ", true},
        {"Cyrillic", "ДАННЫЕ ЁЂЏ", "данные ёђџ", true},
        {"different length", "a", "ab", false},
        {"punctuation is not folded", "a-b", "a_b", false},
        {"an invalid byte only equals itself", "a\xFF", "a\xFF", true},
        {"an invalid byte is not a letter", "\xC3", "\xE3", false},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        EXPECT_EQ(namesEqualIgnoringCase(tc.a, tc.b), tc.equal);
        EXPECT_EQ(namesEqualIgnoringCase(tc.b, tc.a), tc.equal);
    }
}

TEST(NamesIgnoringCase, EveryLowerCaseLetterMapsToItsOwnUpperCase) {
    // Round trip through a table of (upper, lower) pairs held apart from the code's ranges.
    const std::pair<char32_t, char32_t> pairs[] = {
        {U'A', U'a'},   {U'Z', U'z'},   {0xC0, 0xE0},   {0xD6, 0xF6},   {0xD8, 0xF8},
        {0xDE, 0xFE},   {0x178, 0xFF},  {0x100, 0x101}, {0x12E, 0x12F}, {0x132, 0x133},
        {0x136, 0x137}, {0x139, 0x13A}, {0x147, 0x148}, {0x14A, 0x14B}, {0x176, 0x177},
        {0x179, 0x17A}, {0x17D, 0x17E}, {0x386, 0x3AC}, {0x388, 0x3AD}, {0x38A, 0x3AF},
        {0x38C, 0x3CC}, {0x38E, 0x3CD}, {0x38F, 0x3CE}, {0x391, 0x3B1}, {0x3A1, 0x3C1},
        {0x3A3, 0x3C2}, {0x3A3, 0x3C3}, {0x3AB, 0x3CB}, {0x400, 0x450}, {0x40F, 0x45F},
        {0x410, 0x430}, {0x42F, 0x44F},
    };
    for (const auto &[upper, lower] : pairs) {
        SCOPED_TRACE(std::to_string(static_cast<unsigned>(lower)));
        EXPECT_EQ(upcaseForNames(lower), upper);
        EXPECT_EQ(upcaseForNames(upper), upper);
    }
    for (char32_t unpaired : {char32_t{0xDF}, char32_t{0xF7}, char32_t{0x131}, char32_t{0x138},
                              char32_t{0x149}, char32_t{0x17F}, char32_t{0x3A2}})
        EXPECT_EQ(upcaseForNames(unpaired), unpaired);
}

TEST(AddressableNames, AreThoseAWindowsPathLeadsBackTo) {
    struct Case {
        std::string name;
        bool addressable;
    } cases[] = {
        {"desc.xml", true},
        {"QVX TSR 7700 v2.3.0.xml", true},
        {"été ☺.xml", true},
        {".hidden.xml", true},
        {"x\\..\\desc.xml", false},
        {"a/b.xml", false},
        {"trailing space.xml ", false},
        {"trailing dot.xml.", false},
        {"new\nline.xml", false},
        {std::string("tab\t.xml"), false},
        {"colon:.xml", false},
        {"star*.xml", false},
        {"what?.xml", false},
        {"quote\".xml", false},
        {"less<.xml", false},
        {"more>.xml", false},
        {"pipe|.xml", false},
        {"latin1 \xE9.xml", false},
        {"overlong \xC0\xAF.xml", false},
        {"surrogate \xED\xA0\x80.xml", false},
        {".", false},
        {"..", false},
        {"", false},
        {"nul.xml", false},
        {"CON", false},
        {"com1.xml", false},
        {"Lpt9.data.xml", false},
        {"com10.xml", true},
        {"console.xml", true},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(isAddressableName(tc.name), tc.addressable) << '"' << tc.name << '"';
}

} // namespace
} // namespace corvelan
