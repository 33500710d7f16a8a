#include "support/error_text.h"
#include "xml/document_scanner.h"
#include "xml/strict_parser.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include <chrono>
#include <string>
#include <vector>

namespace corvelan::xml {
namespace {

struct Seen {
    Span span;
    std::string startTag;
    std::vector<std::string> attributes; // "name=value"
};

class Recorder final : public ScanHandler {
public:
    void elementStart(std::int64_t offset, std::string_view startTag,
                      std::span<const Attribute> attributes) override {
        Seen seen;
        seen.span.offset = offset;
        seen.startTag = startTag;
        for (const Attribute &a : attributes)
            seen.attributes.push_back(std::string(a.name) + "=" + std::string(a.value));
        open.push_back(elements.size());
        elements.push_back(std::move(seen));
    }
    void elementEnd(std::int64_t end) override {
        Span &span = elements[open.back()].span;
        span.length = end - span.offset;
        open.pop_back();
    }
    std::vector<Seen> elements;
    std::vector<size_t> open;
};

// The span of the n-th occurrence of `text` in `doc`.
Span spanOf(const std::string &doc, const std::string &text, int n = 0) {
    size_t at = doc.find(text);
    while (n-- > 0)
        at = doc.find(text, at + 1);
    return {static_cast<std::int64_t>(at), static_cast<std::int64_t>(text.size())};
}

TEST(ScanDocument, ReportsWatchedElementsWithTheirSpans) {
    struct Case {
        const char *name;
        std::string doc;
        std::vector<std::string> elements; // the exact text each span must cover
    } cases[] = {
        {"empty and full elements",
         "<R><File a='1'/><File b=\"2\">t</File></R>",
         {"<File a='1'/>", "<File b=\"2\">t</File>"}},
        {"BOM and CRLF count as bytes", "\xEF\xBB\xBF<R>\r\n<File/>\r\n</R>\r\n", {"<File/>"}},
        {"nested elements, outer first",
         "<R><File x='o'><a><File x='i'/></a></File></R>",
         {"<File x='o'><a><File x='i'/></a></File>", "<File x='i'/>"}},
        {"multi-byte names before", "<Räume><Größe/><File v='é'/></Räume>", {"<File v='é'/>"}},
        {"end tag with white space", "<R><File></File ></R>", {"<File></File >"}},
        {"prefixed File is another element",
         "<R xmlns:p='urn:p'><p:File/><File/></R>",
         {"<File/>"}},
        {"default namespace is still File", "<R xmlns='urn:x'><File/></R>", {"<File/>"}},
        {"the root itself", "<File a='1'></File>", {"<File a='1'></File>"}},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        Recorder recorder;
        ASSERT_TRUE(scanDocument(tc.doc, "File", &recorder).ok());
        ASSERT_EQ(recorder.elements.size(), tc.elements.size());
        for (size_t i = 0; i < tc.elements.size(); ++i) {
            const Span &span = recorder.elements[i].span;
            EXPECT_EQ(
                tc.doc.substr(static_cast<size_t>(span.offset), static_cast<size_t>(span.length)),
                tc.elements[i]);
            // The handler gets the element's own start tag, as the document holds it.
            EXPECT_TRUE(tc.elements[i].starts_with(recorder.elements[i].startTag));
            EXPECT_EQ(recorder.elements[i].startTag.back(), '>');
        }
    }
}

TEST(ScanDocument, AttributesAsADomShowsThem) {
    const std::string doc = "<R xmlns:p='urn:p'><File b='2' xmlns='urn:d' p:c='3&amp;&#65;' "
                            "a=' x\ty '/></R>";
    Recorder recorder;
    ASSERT_TRUE(scanDocument(doc, "File", &recorder).ok());
    ASSERT_EQ(recorder.elements.size(), 1u);
    // Namespace declarations first, then the others in document order; values normalised.
    EXPECT_EQ(recorder.elements[0].attributes,
              (std::vector<std::string>{"xmlns=urn:d", "b=2", "p:c=3&A", "a= x y "}));
}

TEST(ScanDocument, DescribesTheRoot) {
    const std::string full = "<?xml version='1.0'?>\n<DDXMLRepository a='1'>\n</DDXMLRepository>\n";
    auto shape = scanDocument(full, "File", nullptr);
    ASSERT_TRUE(shape.ok());
    EXPECT_EQ(shape->rootName, "DDXMLRepository");
    EXPECT_TRUE(shape->rootUnprefixed);
    EXPECT_EQ(shape->rootStartTag, spanOf(full, "<DDXMLRepository a='1'>"));
    EXPECT_EQ(shape->rootEndTag, spanOf(full, "</DDXMLRepository>"));

    const std::string empty = "<DDXMLRepository />";
    shape = scanDocument(empty, "File", nullptr);
    ASSERT_TRUE(shape.ok());
    EXPECT_EQ(shape->rootStartTag, spanOf(empty, empty));
    EXPECT_EQ(shape->rootEndTag, (Span{static_cast<std::int64_t>(empty.size()), 0}));

    shape = scanDocument("<p:Repo xmlns:p='urn:p'/>", "File", nullptr);
    ASSERT_TRUE(shape.ok());
    EXPECT_EQ(shape->rootName, "p:Repo");
    EXPECT_FALSE(shape->rootUnprefixed);
}

TEST(ScanDocument, CountsUtf16InBytes) {
    // "<R><File/></R>" in UTF-16 LE with a BOM, and in BE without one.
    auto widen = [](const std::string &ascii, bool little, bool bom) {
        std::string out = bom ? (little ? "\xFF\xFE" : "\xFE\xFF") : "";
        for (char c : ascii) {
            out += little ? c : '\0';
            out += little ? '\0' : c;
        }
        return out;
    };
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "LE" : "BE");
        const std::string doc = widen("<R><File/></R>", little, little);
        Recorder recorder;
        auto shape = scanDocument(doc, "File", &recorder);
        ASSERT_TRUE(shape.ok()) << shape.error();
        EXPECT_EQ(shape->encoding, little ? TextEncoding::Utf16LE : TextEncoding::Utf16BE);
        const std::int64_t bom = little ? 2 : 0;
        ASSERT_EQ(recorder.elements.size(), 1u);
        EXPECT_EQ(recorder.elements[0].span, (Span{bom + 6, 14}));
        EXPECT_EQ(shape->rootEndTag, (Span{bom + 20, 8}));
    }
}

TEST(ScanDocument, EntityElementsReportTheReference) {
    const std::string doc = "<!DOCTYPE R [<!ENTITY e '<File a=\"1\"/>'>]><R>&e;</R>";
    Recorder recorder;
    ASSERT_TRUE(scanDocument(doc, "File", &recorder).ok());
    ASSERT_EQ(recorder.elements.size(), 1u);
    EXPECT_EQ(recorder.elements[0].span, spanOf(doc, "&e;"));
    EXPECT_EQ(recorder.elements[0].attributes, (std::vector<std::string>{"a=1"}));
}

TEST(ScanDocument, RefusesWhatIsNotWellFormedWithThePosition) {
    struct Case {
        const char *name;
        std::string doc;
        std::int64_t offset;
        std::int64_t line;
        std::int64_t column;
    } cases[] = {
        {"empty", "", 0, 1, 1},
        {"unclosed", "<R>\n<File>\n</R>", 13, 3, 3},
        {"unbound prefix", "<R>\n  <p:File/></R>", 6, 2, 3},
        {"duplicate attribute", "<R a='1' a='2'/>", 9, 1, 10},
        {"text after the root", "<R/>x", 4, 1, 5},
        {"undeclared entity", "<R>&nope;</R>", 3, 1, 4},
        {"unknown encoding", "<?xml version='1.0' encoding='x-unknown'?><R/>", 30, 1, 31},
        {"multi-byte encoding", "<?xml version='1.0' encoding='Shift_JIS'?><R/>", 30, 1, 31},
        {"undefined windows-1252 byte", "<?xml version='1.0' encoding='windows-1252'?><R>\x81</R>",
         48, 1, 49},
        {"encoding contradicts the bytes", "\xFF\xFE<\0R\0/\0>\0", -2, 0, 0},
        {"NUL byte", std::string("<R>\0</R>", 8), 3, 1, 4},
        {"a multi-byte name before the fault", "<R>\n<\xC3\xA9l\xC3\xA9/>&x;</R>", 12, 2, 7},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        auto shape = scanDocument(tc.doc, "File", nullptr);
        ASSERT_FALSE(shape.ok());
        EXPECT_EQ(shape.error().code, ErrorCode::XmlSyntax);
        EXPECT_FALSE(shape.error().about<ParserMessage>().text.empty());
        if (tc.line > 0) { // the contradiction has no position that would mean anything
            EXPECT_EQ(shape.error().offset, tc.offset);
            EXPECT_EQ(shape.error().line, tc.line);
            EXPECT_EQ(shape.error().column, tc.column);
        }
    }
}

TEST(ScanDocument, LimitsStopTheScanWhereTheyAreBroken) {
    // The root and kMaxDepth elements inside it: the last is one level too deep.
    std::string deep = "<R>";
    for (std::int64_t i = 0; i < kMaxDepth; ++i)
        deep += "<a>";
    auto tooDeep = scanDocument(deep, "File", nullptr);
    ASSERT_FALSE(tooDeep.ok());
    EXPECT_EQ(tooDeep.error().code, ErrorCode::XmlTooDeep);
    EXPECT_EQ(tooDeep.error().about<Limit>().value, static_cast<std::uint64_t>(kMaxDepth));
    EXPECT_EQ(tooDeep.error().offset, static_cast<std::int64_t>(deep.size()) - 3);

    // A run without markup is refused before the parser sees it, at the end of what was fed.
    const std::string text =
        "<R>" + std::string(static_cast<size_t>(kMaxRunWithoutMarkup) + 1, 'x');
    auto tooLong = scanDocument(text, "File", nullptr);
    ASSERT_FALSE(tooLong.ok());
    EXPECT_EQ(tooLong.error().code, ErrorCode::XmlRunTooLong);
    EXPECT_EQ(tooLong.error().about<Limit>().value,
              static_cast<std::uint64_t>(kMaxRunWithoutMarkup));
    EXPECT_GE(tooLong.error().offset, 0);
    EXPECT_LE(tooLong.error().offset, static_cast<std::int64_t>(text.size()));
}

// A handler that fails the way C++ code fails: by throwing, at its n-th call.
class ThrowingHandler final : public ScanHandler {
public:
    explicit ThrowingHandler(int throwAt, bool outOfMemory)
        : m_throwAt(throwAt), m_oom(outOfMemory) {}
    void elementStart(std::int64_t, std::string_view, std::span<const Attribute>) override {
        call();
    }
    void elementEnd(std::int64_t) override { call(); }
    int calls = 0;

private:
    void call() {
        if (++calls != m_throwAt) return;
        if (m_oom) throw std::bad_alloc();
        throw std::runtime_error("handler failed");
    }
    int m_throwAt;
    bool m_oom;
};

TEST(ScanDocument, AnExceptionInAHandlerStopsTheScanWithoutCrossingExpat) {
    const std::string doc = "<R><File a='1'/><File a='2'><File/></File></R>";
    for (const bool outOfMemory : {false, true}) {
        for (int at = 1; at <= 6; ++at) {
            SCOPED_TRACE(std::to_string(at) + (outOfMemory ? " bad_alloc" : " runtime_error"));
            ThrowingHandler handler(at, outOfMemory);
            Result<DocumentShape> shape = DocumentShape{};
            EXPECT_NO_THROW(shape = scanDocument(doc, "File", &handler));
            ASSERT_FALSE(shape.ok());
            EXPECT_EQ(shape.error().code, ErrorCode::XmlStopped);
            if (!outOfMemory) {
                EXPECT_EQ(shape.error().about<ParserMessage>().text, "handler failed");
            }
            // expat still reports the end of an empty element whose start stopped it.
            EXPECT_LE(handler.calls, at + 1) << "the scan went on after the handler threw";
        }
    }
}

TEST(ScanDocument, RefusesEntitiesWhoseTextItCannotSee) {
    const std::string external = "<!DOCTYPE R SYSTEM 'repository.dtd'>";
    struct Case {
        const char *name;
        std::string doc;
    } cases[] = {
        {"external entity in content",
         "<!DOCTYPE R [<!ENTITY x SYSTEM '/etc/hostname'>]><R>&x;</R>"},
        {"undeclared entity under an external DTD", external + "<R>&x;</R>"},
        {"undeclared entity in a File attribute", external + "<R><File ProductID='&x;'/></R>"},
        {"parameter entity hides the declarations",
         "<!DOCTYPE R [<!ENTITY % p SYSTEM 'p.ent'> %p; <!ENTITY y 'ok'>]><R><File a='&y;'/></R>"},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        Recorder recorder;
        auto shape = scanDocument(tc.doc, "File", &recorder);
        ASSERT_FALSE(shape.ok());
        EXPECT_TRUE(shape.error().code == ErrorCode::XmlUnseenEntity) << shape.error();
    }
}

TEST(ScanDocument, ReadsDocumentsThatOnlyNameADtd) {
    const std::string cases[] = {
        "<!DOCTYPE R SYSTEM 'repository.dtd'><R><File a='&amp;&#33;'/></R>",
        "<!DOCTYPE R SYSTEM 'r.dtd' [<!ENTITY v '1.0'>]><R><File a='&v;'/>&v;</R>",
        "<!DOCTYPE R [<!ENTITY v '1.0'>]><R><File a='&v;'/></R>",
    };
    for (const std::string &doc : cases) {
        SCOPED_TRACE(doc);
        Recorder recorder;
        auto shape = scanDocument(doc, "File", &recorder);
        ASSERT_TRUE(shape.ok()) << shape.error();
        EXPECT_EQ(recorder.elements.size(), 1u);
    }
}

TEST(ScanDocument, StopsEntityBombsQuickly) {
    std::string doc = "<!DOCTYPE R [<!ENTITY a0 'laugh'>";
    for (int i = 1; i <= 9; ++i) {
        doc += "<!ENTITY a" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k)
            doc += "&a" + std::to_string(i - 1) + ";";
        doc += "'>";
    }
    doc += "]><R><File a='&a9;'>&a9;</File></R>";
    const auto start = std::chrono::steady_clock::now();
    auto shape = scanDocument(doc, "File", nullptr);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(shape.ok());
    EXPECT_EQ(shape.error().code, ErrorCode::XmlSyntax);
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}

} // namespace
} // namespace corvelan::xml
