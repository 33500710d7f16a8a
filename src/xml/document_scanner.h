// A strict, lean pass over an XML document with expat, in namespace mode.
//
// The scanner reports the elements of one name (unprefixed, whatever default namespace is in
// force) with their attributes and byte spans, and describes the root element. It keeps no tree.
//
//   <Root xmlns="urn:x">  <File a="1"/>  <File b="2"> ... </File>  </Root>
//   ^ rootStartTag        ^--- span ---^ ^-------- span --------^  ^ rootEndTag
//
// Spans follow xml/splice.h. An element that an internal entity reference produced reports the
// span of the reference ("&e;"), so a caller must check that a span holds the element's own start
// tag before it cuts there.
//
// Every handler call runs inside StrictParser::guarded(): a handler that throws stops the scan,
// which then fails.
//
// Strictness: a document that is not well-formed (namespaces included) does not scan. Nor does one
// that refers to an entity whose text the scanner cannot see: an external entity, or an
// undeclared one that a DTD it does not read might declare. No external entity or DTD is ever
// read; expat's protection against entity amplification stays on.
#pragma once

#include "platform/result.h"
#include "xml/splice.h"
#include "xml/text_encoding.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace corvelan::xml {

// An attribute as a DOM shows it: qualified name ("a", "p:a", "xmlns", "xmlns:p") and value,
// UTF-8, NUL-terminated (their length is only measured by a handler that needs it). Valid during
// the handler call only.
struct Attribute {
    const char *name;
    const char *value;
};

class ScanHandler {
public:
    virtual ~ScanHandler() = default;
    // A watched element starts. `attributes` come as a DOM lists them: its namespace declarations
    // first, then its other attributes in document order.
    virtual void elementStart(std::int64_t offset, std::span<const Attribute> attributes) = 0;
    // The innermost open watched element ends just before `end`.
    virtual void elementEnd(std::int64_t end) = 0;
};

struct DocumentShape {
    TextEncoding encoding = TextEncoding::Utf8;
    std::string encodingName;    // as the XML declaration names it; empty when it names none
    std::string rootName;        // qualified name as written
    bool rootUnprefixed = false; // no prefix (a default namespace may apply)
    std::string rootLocalName;
    Span rootStartTag;
    Span rootEndTag; // length 0 for an empty root "<Root/>", at the end of its start tag
};

// The scan of a document that arrives in pieces, as a file is read.
class DocumentScanner {
public:
    DocumentScanner(std::string_view watched, ScanHandler *handler);
    ~DocumentScanner();
    DocumentScanner(const DocumentScanner &) = delete;
    DocumentScanner &operator=(const DocumentScanner &) = delete;

    // Parses the bytes of `document` past those parsed before; `document` holds everything fed
    // so far (it may have moved). `final` marks the end of the document. Fails as scanDocument.
    [[nodiscard]] Status feed(std::string_view document, bool final);

    // The document's shape, once the final feed succeeded.
    [[nodiscard]] DocumentShape shape();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Scans `bytes`, reporting the unprefixed elements named `watched` to `handler` (which may be
// null). Fails with XmlSyntax, a limit (XmlTooDeep, ...), XmlStopped or XmlUnseenEntity, with the
// offset, line and column of the fault; the handler may then have seen part of the document.
[[nodiscard]] Result<DocumentShape> scanDocument(std::string_view bytes, std::string_view watched,
                                                 ScanHandler *handler);

// True when `bytes`, text cut from a document in `encoding` (named `encodingName` by its
// declaration), is on its own a well-formed document whose root is an unprefixed `rootName`
// element (white space may follow it). False also for a fragment that needs its document's
// context: a namespace prefix or an entity declared outside.
[[nodiscard]] bool isWholeElement(std::string_view bytes, TextEncoding encoding,
                                  std::string_view encodingName, std::string_view rootName);

// True when cutting `cuts` (in document order, not overlapping) out of `document`, whose shape
// is `shape`, provably leaves a well-formed document: no cut reaches the root's start tag, each
// cut holds one whole unprefixed `elementName` element (white space around it allowed), and the
// text on both sides of a run of adjacent cuts cannot join into "]]>", which text may not hold.
// False only says that this cannot be shown without parsing the result.
[[nodiscard]] bool cutsAreLocal(std::string_view document, std::span<const Splice> cuts,
                                const DocumentShape &shape, std::string_view elementName);

} // namespace corvelan::xml
