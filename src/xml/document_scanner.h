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

#include "base/result.h"
#include "xml/document_buffer.h"
#include "xml/splice.h"
#include "xml/text_encoding.h"

#include <cstdint>
#include <functional>
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
    // A watched element starts at `offset`; `startTag` is its start tag as the document holds it
    // (for an element an entity reference produced, the reference). `attributes` come as a DOM
    // lists them: its namespace declarations first, then its other attributes in document order.
    virtual void elementStart(std::int64_t offset, std::string_view startTag,
                              std::span<const Attribute> attributes) = 0;
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

// Scans `bytes`, reporting the unprefixed elements named `watched` to `handler` (which may be
// null). Fails with XmlSyntax, a limit (XmlTooDeep, ...), XmlStopped or XmlUnseenEntity, with the
// offset, line and column of the fault; the handler may then have seen part of the document.
[[nodiscard]] Result<DocumentShape> scanDocument(std::string_view bytes, std::string_view watched,
                                                 ScanHandler *handler);

// Reads `size` bytes at `offset` of a document into `into`: how many it read, 0 at its end.
using ReadAt =
    std::function<Result<std::size_t>(char *into, std::size_t size, std::uint64_t offset)>;

// The handlers of a scan that may run in two parts at once: part 0 the start of the document,
// part 1 the rest of it, each called on a thread of its own. When the parts do not join, reset()
// forgets what both were told, and the whole document is scanned again into part 0.
class PartedHandler {
public:
    virtual ~PartedHandler() = default;
    virtual ScanHandler &part(int index) = 0;
    virtual void reset() = 0;
};

// How a reading scan goes: the size of its reads, and the size from which a document is scanned
// in two parts. Small values let a test try the parts on small documents.
struct ScanOptions {
    std::size_t piece = std::size_t{1} << 20;
    std::uint64_t partsFrom = std::uint64_t{1} << 20; // below, a second thread costs more
};

// Reads the document `read` reads (`size` bytes when it was opened; it may have grown) into
// `buffer` and scans it as scanDocument does, a piece at a time, so that a document that is
// refused is refused as soon as the parser sees it. Fails with TooLarge (its limit `maxSize`)
// beyond that many bytes, and with the error of a failed read.
//
// A large document in UTF-8 without a document type declaration, whose root is not a watched
// element, is scanned in two parts at once: the start of it, and the rest from a watched element
// that begins a line at about its middle. The result is that of a whole scan: the parts are
// joined only when each is well-formed with the root's tags around it, which holds exactly when
// that element is a child of the root; otherwise the document is scanned again whole.
[[nodiscard]] Result<DocumentShape> scanReading(const ReadAt &read, std::uint64_t size,
                                                std::uint64_t maxSize, std::string_view watched,
                                                DocumentBuffer &buffer, PartedHandler &handlers,
                                                const ScanOptions &options = {});

} // namespace corvelan::xml
