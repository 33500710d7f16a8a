// The arithmetic of an edit in place: where positions go when splices are applied, and which
// cuts provably leave a well-formed document.
#include "xml/document_buffer.h"
#include "xml/local_edits.h"
#include "xml/splice.h"

#include <gtest/gtest.h>

#include <random>

namespace corvelan::xml {
namespace {

TEST(SpliceShift, MovesStartsPastSplicesAndEndsBeforeInsertsThere) {
    //                      012345678901234
    const std::string doc = "<R><A/><B/></R>";
    const std::vector<Splice> splices{{3, 4, ""}, {11, 0, "<C x='1'/>"}};
    const SpliceShift shift(splices);
    const struct {
        const char *name;
        std::int64_t at;
        std::int64_t start;
        std::int64_t end;
    } cases[] = {
        {"before every splice", 1, 1, 1},          {"where the cut began", 3, 3, 3},
        {"the first byte after the cut", 7, 3, 3}, {"where the insert goes", 11, 17, 7},
        {"past the insert", 12, 18, 18},           {"the end of the document", 15, 21, 21},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        EXPECT_EQ(shift.start(tc.at), tc.start);
        EXPECT_EQ(shift.end(tc.at), tc.end);
    }
    EXPECT_EQ(applySplices(doc, splices), "<R><B/><C x='1'/></R>");
    EXPECT_EQ(SpliceShift({}).start(5), 5);
}

// Every byte that no splice covers is found, unchanged, where the shift puts it; and the bytes
// between two such bytes that were neighbours stay neighbours unless a splice lay between them.
TEST(SpliceShift, EveryByteOutsideTheSplicesIsUnchanged) {
    std::mt19937 random(7700);
    for (int round = 0; round < 500; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string doc(1 + random() % 60, ' ');
        for (char &c : doc)
            c = static_cast<char>('a' + random() % 26);
        std::vector<Splice> splices;
        std::vector<bool> covered(doc.size(), false);
        for (std::int64_t at = 0; at <= static_cast<std::int64_t>(doc.size());) {
            at += random() % 8;
            if (at > static_cast<std::int64_t>(doc.size())) break;
            const std::int64_t length =
                std::min<std::int64_t>(random() % 4, static_cast<std::int64_t>(doc.size()) - at);
            splices.push_back({at, length, std::string(random() % 3, '#')});
            for (std::int64_t k = at; k < at + length; ++k)
                covered[static_cast<size_t>(k)] = true;
            at += length + 1; // never two splices at one offset
        }
        const std::string after = applySplices(doc, splices);
        const SpliceShift shift(splices);
        for (size_t i = 0; i < doc.size(); ++i) {
            if (covered[i]) continue;
            const auto moved = static_cast<size_t>(shift.start(static_cast<std::int64_t>(i)));
            ASSERT_LT(moved, after.size());
            EXPECT_EQ(after[moved], doc[i]) << "byte " << i;
            EXPECT_EQ(shift.end(static_cast<std::int64_t>(i) + 1),
                      static_cast<std::int64_t>(moved) + 1);
        }
    }
}

// Splicing where the bytes stand makes what joining the pieces makes, whichever way each stretch
// moves and whether or not the document must grow beyond its room.
TEST(DocumentBuffer, SplicedInPlaceAsTheJoinedPieces) {
    std::mt19937 random(7701);
    for (int round = 0; round < 2000; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string doc(random() % 80, ' ');
        for (char &c : doc)
            c = static_cast<char>('a' + random() % 26);
        std::vector<Splice> splices;
        for (std::int64_t at = random() % 6; at <= static_cast<std::int64_t>(doc.size());
             at += 1 + random() % 12) {
            const std::int64_t length =
                std::min<std::int64_t>(random() % 10, static_cast<std::int64_t>(doc.size()) - at);
            splices.push_back(
                {at, length, std::string(random() % 12, static_cast<char>('A' + round % 26))});
            at += length;
        }
        DocumentBuffer buffer(doc);
        if (round % 2 == 1) buffer.reserve(doc.size() + 200); // room to grow where it stands
        buffer.splice(splices);
        EXPECT_EQ(buffer.view(), applySplices(doc, splices));
    }
}

TEST(CutsAreLocal, OnlyWholeElementsAwayFromTheRootAndFromTextThatWouldJoin) {
    const struct {
        const char *name;
        std::string doc;
        std::string cut; // the text of one cut, found in doc; "*" several: each listed below
        bool local;
    } cases[] = {
        {"a whole entry", "<R><F a='1'/><F/></R>", "<F a='1'/>", true},
        {"a whole entry with its line", "<R>\n  <F a='1'/>\n</R>", "  <F a='1'/>\n", true},
        {"an entry holding others", "<R><F><F/></F></R>", "<F><F/></F>", true},
        {"part of an entry", "<R><F><G/></F></R>", "<F><G/>", false},
        {"text beside the entry", "<R>x<F/></R>", "x<F/>", false},
        {"another element", "<R><G/></R>", "<G/>", false},
        {"a prefixed entry", "<R xmlns:p='urn:p'><p:F/></R>", "<p:F/>", false},
        {"an entity declared outside the cut", "<!DOCTYPE R [<!ENTITY e 'x'>]><R><F a='&e;'/></R>",
         "<F a='&e;'/>", false},
        {"the root itself", "<F><F/></F>", "<F><F/></F>", false},
        {"]] before, > after", "<R>]]<F/>></R>", "<F/>", false},
        {"] before, ]> after", "<R>]<F/>]></R>", "<F/>", false},
        {"]] before, text after", "<R>]]<F/>x</R>", "<F/>", true},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        auto shape = scanDocument(tc.doc, "F", nullptr);
        ASSERT_TRUE(shape.ok());
        const auto at = static_cast<std::int64_t>(tc.doc.rfind(tc.cut));
        const std::vector<Splice> cuts{{at, static_cast<std::int64_t>(tc.cut.size()), ""}};
        EXPECT_EQ(cutsAreLocal(tc.doc, cuts, shape.value(), "F"), tc.local);
        if (tc.local) {
            auto result = scanDocument(applySplices(tc.doc, cuts), "F", nullptr);
            EXPECT_TRUE(result.ok()) << "a local cut leaves a well-formed document";
        }
    }
    // A run of adjacent cuts is judged by the text on both sides of the whole run.
    const std::string doc = "<R>]]<F/><F/>></R>";
    auto shape = scanDocument(doc, "F", nullptr);
    ASSERT_TRUE(shape.ok());
    EXPECT_FALSE(
        cutsAreLocal(doc, std::vector<Splice>{{5, 4, ""}, {9, 4, ""}}, shape.value(), "F"));
    EXPECT_TRUE(cutsAreLocal(doc, std::vector<Splice>{{9, 4, ""}}, shape.value(), "F"));
}

} // namespace
} // namespace corvelan::xml
