// Reading a catalogue: in the encodings the system knows, byte for byte where they hold a
// character, and in two parts at once as a whole parse reads it.
#include "catalogue/catalogue.h"
#include "catalogue/full_parse.h"
#include "support/device_entry.h"
#include "support/error_text.h"
#include "support/sample_catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>

namespace corvelan::catalogue {
namespace {

std::string entry(const std::string &version) {
    return test::deviceEntry(version);
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
        EXPECT_EQ(test::linesOf(catalogue->listing()),
                  (std::vector<std::string>{tc.listed + "  Revision: 1"}));
        auto installed = withInstall(catalogue.value(), tc.version);
        ASSERT_TRUE(installed.ok()) << installed.error();
        EXPECT_EQ(installed->bytes(), head + entry(tc.stored) + "</DDXMLRepository>\r\n");
        expectIndexOfAFullParse(installed.value());
        EXPECT_EQ(test::linesOf(installed->listing()).back(),
                  "QVX TSR 7700  Revision: " + tc.version);
    }
}

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
        EXPECT_EQ(test::linesOf(parts->listing()), test::linesOf(whole->listing()));
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
