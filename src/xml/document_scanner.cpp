#include "xml/document_scanner.h"

#include "platform/utf16.h"
#include "xml/strict_parser.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <thread>
#include <unordered_set>
#include <vector>

namespace corvelan::xml {
namespace {

constexpr std::int64_t kChunk = std::int64_t{1} << 26;

class Scanner final : public StrictParser {
public:
    Scanner(std::string_view watched, ScanHandler *handler)
        : m_watched(watched), m_handler(handler) {
        if (!valid()) return;
        XML_SetElementHandler(parser(), &Scanner::onStart, &Scanner::onEnd);
        XML_SetStartNamespaceDeclHandler(parser(), &Scanner::onNamespace);
    }

    // Where the parser's input stands in the document, for a scan of a part: the input begins
    // with `synthetic` bytes written for the part (the root's start tag), after which input
    // offset p is document offset p + shift; from input offset `realEnd` on (a root end tag
    // written for the part) it is not the document's.
    void placeInput(std::int64_t synthetic, std::int64_t shift, std::int64_t realEnd) {
        m_synthetic = synthetic;
        m_shift = shift;
        m_realEnd = realEnd;
    }

    // Parses the document's bytes [from, to); `document` views everything read so far.
    bool consume(std::string_view document, std::int64_t from, std::int64_t to, bool final) {
        if (!valid()) return false;
        m_document = document;
        do {
            const std::int64_t length = std::min(kChunk, to - from);
            if (!feed(document.data() + from, length, final && from + length == to)) return false;
            from += length;
        } while (from < to);
        return true;
    }

    // Parses text written for a part, which is not in the document.
    bool consumeWritten(std::string_view text, bool final) {
        return valid() && feed(text.data(), static_cast<std::int64_t>(text.size()), final);
    }

    using StrictParser::failure;
    using StrictParser::sawDoctype;

    // The shape of what was parsed so far; the encoding once the document's first bytes are in.
    [[nodiscard]] DocumentShape shape() const {
        DocumentShape shape = m_shape;
        shape.encoding = detectEncoding(m_document, declaredEncoding());
        shape.encodingName = declaredEncoding();
        return shape;
    }
    [[nodiscard]] bool rootStarted() const { return m_rootStarted; }
    [[nodiscard]] bool rootEnded() const { return m_rootEnded; }

private:
    [[nodiscard]] bool isDocumentInput(std::int64_t input) const {
        return input >= m_synthetic && input < m_realEnd;
    }

    // An undeclared entity in an attribute value is dropped without a word by expat when the
    // document is not standalone, so the start tag itself is checked.
    bool refersToUnseenEntity(std::int64_t offset, std::int64_t length, std::string &name) const {
        const TextEncoding encoding = detectEncoding(m_document, declaredEncoding());
        if (!holdsAscii(m_document, offset, "<", encoding))
            return true; // made by an entity: its text is not checked, so refuse it
        const int unit = unitSize(encoding);
        const auto codeAt = [&](std::int64_t i) { return codeUnitAt(m_document, i, encoding); };
        const std::int64_t end = std::min<std::int64_t>(offset + length, m_document.size());
        for (std::int64_t i = offset; i + unit <= end; i += unit) {
            if (codeAt(i) != '&') continue;
            name.clear();
            std::int64_t j = i + unit;
            for (; j + unit <= end && codeAt(j) != ';'; j += unit) {
                const std::uint32_t c = codeAt(j);
                if (unit == 1 && encoding == TextEncoding::Utf8)
                    name += static_cast<char>(c);
                else
                    appendUtf8(name, c);
            }
            if (name.starts_with('#')) continue;
            static const std::unordered_set<std::string> predefined{"amp", "lt", "gt", "quot",
                                                                    "apos"};
            if (!predefined.contains(name) && !isInternalEntity(name)) return true;
        }
        return false;
    }

    static void XMLCALL onNamespace(void *data, const XML_Char *prefix, const XML_Char *uri) {
        guarded(data, [&] {
            auto *self = &reader<Scanner>(data);
            self->m_pendingNames.push_back(prefix ? std::string("xmlns:") + prefix : "xmlns");
            self->m_pendingValues.emplace_back(uri ? uri : "");
        });
    }

    static void XMLCALL onStart(void *data, const XML_Char *name, const XML_Char **atts) {
        guarded(data, [&] {
            auto *self = &reader<Scanner>(data);
            self->start(name, atts);
            self->m_pendingNames.clear();
            self->m_pendingValues.clear();
        });
    }

    void start(const XML_Char *name, const XML_Char **atts) {
        ++m_depth;
        size_t count = 0;
        while (atts[count * 2])
            ++count;
        if (!admitElement(m_depth, count + m_pendingNames.size())) return;
        const QName qname = splitName(name);
        const std::int64_t input = XML_GetCurrentByteIndex(parser());
        const std::int64_t length = XML_GetCurrentByteCount(parser());
        const std::int64_t offset = input + m_shift;
        if (m_depth == 1) {
            // A part's own root tag is not the document's.
            if (!isDocumentInput(input)) return;
            m_shape.rootLocalName = std::string(qname.local);
            m_shape.rootUnprefixed = qname.prefix.empty();
            m_shape.rootName = qname.prefix.empty()
                                   ? m_shape.rootLocalName
                                   : std::string(qname.prefix) + ":" + m_shape.rootLocalName;
            m_shape.rootStartTag = {offset, length};
            m_rootStarted = true;
        }
        if (!qname.prefix.empty() || qname.local != m_watched) return;
        if (notStandalone()) {
            std::string entity;
            if (refersToUnseenEntity(offset, length, entity)) {
                stopForEntity(entity.empty() ? std::string(m_watched) : entity);
                return;
            }
        }
        m_watchedDepths.push_back(m_depth);
        if (!m_handler) return;

        m_attributes.clear();
        m_qualified.clear();
        for (size_t i = 0; i < m_pendingNames.size(); ++i)
            m_attributes.push_back({m_pendingNames[i].c_str(), m_pendingValues[i].c_str()});
        m_qualified.reserve(count); // views below point into it: no reallocation after this
        for (size_t i = 0; i < count; ++i) {
            const char *attrName = atts[i * 2];
            // Only a prefixed name holds the separator; the others are used as they come.
            if (std::strchr(attrName, '\xFF')) {
                const QName attr = splitName(attrName);
                m_qualified.push_back(std::string(attr.prefix) + ":" + std::string(attr.local));
                attrName = m_qualified.back().c_str();
            }
            m_attributes.push_back({attrName, atts[i * 2 + 1]});
        }
        m_handler->elementStart(
            offset,
            m_document.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)),
            m_attributes);
    }

    static void XMLCALL onEnd(void *data, const XML_Char *) {
        guarded(data, [&] { reader<Scanner>(data).end(); });
    }

    void end() {
        const std::int64_t input = XML_GetCurrentByteIndex(parser());
        const std::int64_t count = XML_GetCurrentByteCount(parser());
        if (!m_watchedDepths.empty() && m_watchedDepths.back() == m_depth) {
            m_watchedDepths.pop_back();
            if (m_handler) m_handler->elementEnd(input + count + m_shift);
        }
        if (m_depth == 1 && isDocumentInput(input)) {
            m_shape.rootEndTag = {input + m_shift, count};
            m_rootEnded = true;
        }
        --m_depth;
    }

    std::string_view m_document; // everything read so far
    std::int64_t m_synthetic = 0;
    std::int64_t m_shift = 0;
    std::int64_t m_realEnd = std::numeric_limits<std::int64_t>::max();
    std::string_view m_watched;
    ScanHandler *m_handler;
    DocumentShape m_shape;
    bool m_rootStarted = false;
    bool m_rootEnded = false;
    std::int64_t m_depth = 0;
    std::vector<std::int64_t> m_watchedDepths;
    std::vector<std::string> m_pendingNames;
    std::vector<std::string> m_pendingValues;
    std::vector<std::string> m_qualified;
    std::vector<Attribute> m_attributes;
};

Error tooLarge(std::uint64_t maxSize) {
    Error e = makeError(ErrorCode::TooLarge);
    e.limit = maxSize;
    return e;
}

// Reads the document on from the end of `buffer` and gives `scanner` what it was not given yet
// (all but `fed` bytes), to the end of the document.
Result<DocumentShape> scanOnward(Scanner &scanner, const ReadAt &read, std::uint64_t maxSize,
                                 DocumentBuffer &buffer, std::uint64_t fed, std::size_t piece) {
    while (true) {
        const std::uint64_t have = buffer.size();
        if (fed < have) {
            if (!scanner.consume(buffer.view(), static_cast<std::int64_t>(fed),
                                 static_cast<std::int64_t>(have), false))
                return scanner.failure();
            fed = have;
        }
        if (have > maxSize) return tooLarge(maxSize);
        buffer.resize(static_cast<std::size_t>(have) + piece);
        auto got = read(buffer.data() + have, piece, have);
        buffer.resize(static_cast<std::size_t>(have) + (got ? got.value() : 0));
        if (!got) return got.error();
        if (got.value() > 0) continue;
        if (!scanner.consume(buffer.view(), static_cast<std::int64_t>(have),
                             static_cast<std::int64_t>(have), true))
            return scanner.failure();
        return scanner.shape();
    }
}

// Where the rest of a document can be scanned apart from its start: the first watched element
// that begins a line in `window` (at `from` in the document). -1 when there is none.
std::int64_t splitPoint(std::string_view window, std::int64_t from, std::string_view watched) {
    for (std::size_t at = window.find('\n'); at != std::string_view::npos;
         at = window.find('\n', at + 1)) {
        std::size_t tag = at + 1;
        while (tag < window.size() && (window[tag] == ' ' || window[tag] == '\t'))
            ++tag;
        const std::size_t after = tag + 1 + watched.size();
        if (after >= window.size()) return -1;
        if (window[tag] != '<' || window.substr(tag + 1, watched.size()) != watched) continue;
        const char next = window[after];
        if (next == ' ' || next == '\t' || next == '\r' || next == '\n' || next == '/' ||
            next == '>')
            return from + static_cast<std::int64_t>(tag);
    }
    return -1;
}

// How a part went: parsed to its end without a fault, and read from its start to `readTo`.
struct PartRun {
    bool parsed = false;
    std::uint64_t readTo = 0;
    std::optional<Error> readError;
};

// Reads [from, to) of the document into `buffer` (sized already) a piece at a time, giving each
// to `scanner`, until a fault, until `stop` is set, or until the document ends early.
PartRun scanPart(Scanner &scanner, const ReadAt &read, DocumentBuffer &buffer, std::uint64_t from,
                 std::uint64_t to, const std::atomic<bool> &stop, std::size_t piece) {
    PartRun run;
    run.readTo = from;
    while (run.readTo < to) {
        if (stop) return run;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(piece, to - run.readTo));
        auto got = read(buffer.data() + run.readTo, want, run.readTo);
        if (!got) {
            run.readError = got.error();
            return run;
        }
        if (got.value() == 0) return run; // the document shrank
        const auto start = static_cast<std::int64_t>(run.readTo);
        run.readTo += got.value();
        if (!scanner.consume(buffer.view(), start, static_cast<std::int64_t>(run.readTo), false))
            return run;
    }
    run.parsed = true;
    return run;
}

} // namespace

Result<DocumentShape> scanDocument(std::string_view bytes, std::string_view watched,
                                   ScanHandler *handler) {
    Scanner scanner(watched, handler);
    if (!scanner.consume(bytes, 0, static_cast<std::int64_t>(bytes.size()), true))
        return scanner.failure();
    return scanner.shape();
}

Result<DocumentShape> scanReading(const ReadAt &read, std::uint64_t size, std::uint64_t maxSize,
                                  std::string_view watched, DocumentBuffer &buffer,
                                  PartedHandler &handlers, const ScanOptions &options) {
    const std::size_t piece = std::max<std::size_t>(options.piece, 1);
    buffer.resize(0);
    if (size > maxSize) return tooLarge(maxSize);
    // Room for the whole document and the read that finds its end, so that it never moves.
    buffer.reserve(static_cast<std::size_t>(size) + piece);
    Scanner first(watched, &handlers.part(0));
    // A short first read: enough to decide on parts, little enough that the parts stay even.
    const std::size_t opening = std::min<std::size_t>(piece, 1 << 16);
    buffer.resize(opening);
    auto got = read(buffer.data(), opening, 0);
    buffer.resize(got ? got.value() : 0);
    if (!got) return got.error();
    const std::uint64_t have = buffer.size();
    if (!first.consume(buffer.view(), 0, static_cast<std::int64_t>(have), have == 0))
        return first.failure();
    if (have == 0) return first.shape();
    const DocumentShape head = first.shape();
    const bool inParts = size >= options.partsFrom && have == opening && first.rootStarted() &&
                         !first.rootEnded() && !first.sawDoctype() &&
                         head.encoding == TextEncoding::Utf8 && // as declared, if at all
                         !(head.rootUnprefixed && head.rootLocalName == watched) &&
                         std::thread::hardware_concurrency() > 1;
    if (!inParts) return scanOnward(first, read, maxSize, buffer, have, piece);

    // The split: a watched element at the start of a line about halfway.
    buffer.resize(static_cast<std::size_t>(size));
    const std::uint64_t middle = size / 2;
    const auto windowSize = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max<std::size_t>(piece, 1 << 16), size - middle));
    auto window = read(buffer.data() + middle, windowSize, middle);
    const std::int64_t split =
        window ? splitPoint(buffer.view().substr(static_cast<std::size_t>(middle), window.value()),
                            static_cast<std::int64_t>(middle), watched)
               : -1;
    if (split < 0) {
        buffer.resize(static_cast<std::size_t>(have));
        return scanOnward(first, read, maxSize, buffer, have, piece);
    }

    // The rest is parsed as the content of a root with the root's own start tag, on a thread of
    // its own, while this thread parses the start up to the split and closes the root there.
    const auto at = static_cast<std::uint64_t>(split);
    const std::string rootStart(
        buffer.view().substr(static_cast<std::size_t>(head.rootStartTag.offset),
                             static_cast<std::size_t>(head.rootStartTag.length)));
    std::atomic<bool> stop = false;
    Scanner second(watched, &handlers.part(1));
    second.placeInput(static_cast<std::int64_t>(rootStart.size()),
                      split - static_cast<std::int64_t>(rootStart.size()),
                      std::numeric_limits<std::int64_t>::max());
    PartRun rest;
    std::thread other([&] {
        if (second.consumeWritten(rootStart, false))
            rest = scanPart(second, read, buffer, at, size, stop, piece);
        if (rest.parsed) {
            // The document must end where it ended when it was opened.
            char probe = 0;
            auto more = read(&probe, 1, size);
            rest.parsed =
                more && more.value() == 0 && second.consume(buffer.view(), split, split, true);
        }
        if (!rest.parsed) stop = true;
    });
    first.placeInput(0, 0, split);
    PartRun start = scanPart(first, read, buffer, have, at, stop, piece);
    if (start.parsed) start.parsed = first.consumeWritten("</" + head.rootName + ">", true);
    if (!start.parsed) stop = true;
    other.join();
    if (start.parsed && rest.parsed) {
        DocumentShape shape = first.shape();
        shape.rootEndTag = second.shape().rootEndTag;
        return shape;
    }
    if (start.readError) return *start.readError;

    // The parts do not join, or one is not well-formed: the whole document, from its start,
    // over what is read already and then on.
    handlers.reset();
    Scanner whole(watched, &handlers.part(0));
    const std::uint64_t contiguous =
        start.readTo == at && !rest.readError ? std::max(rest.readTo, at) : start.readTo;
    buffer.resize(static_cast<std::size_t>(contiguous));
    return scanOnward(whole, read, maxSize, buffer, 0, piece);
}

} // namespace corvelan::xml
