#include "xml/document_scanner.h"

#include "platform/utf16.h"
#include "xml/strict_parser.h"

#include <algorithm>
#include <cstring>
#include <memory>
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

    // Parses what `document` holds past the bytes parsed so far.
    Status consume(std::string_view document, bool final) {
        if (!valid()) return failure();
        m_bytes = document;
        const auto size = static_cast<std::int64_t>(document.size());
        do {
            const std::int64_t length = std::min(kChunk, size - m_consumed);
            const bool last = final && m_consumed + length == size;
            if (!feed(document.data() + m_consumed, length, last)) return failure();
            m_consumed += length;
        } while (m_consumed < size);
        return {};
    }

    DocumentShape shape() {
        m_shape.encoding = detectEncoding(m_bytes, declaredEncoding());
        m_shape.encodingName = declaredEncoding();
        return std::move(m_shape);
    }

private:
    // An undeclared entity in an attribute value is dropped without a word by expat when the
    // document is not standalone, so the start tag itself is checked.
    bool refersToUnseenEntity(std::int64_t offset, std::int64_t length, std::string &name) const {
        const TextEncoding encoding = detectEncoding(m_bytes, declaredEncoding());
        if (!holdsAscii(m_bytes, offset, "<", encoding))
            return true; // made by an entity: its text is not checked, so refuse it
        const int unit = unitSize(encoding);
        const auto codeAt = [&](std::int64_t i) { return codeUnitAt(m_bytes, i, encoding); };
        const std::int64_t end = std::min<std::int64_t>(offset + length, m_bytes.size());
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
        const std::int64_t offset = XML_GetCurrentByteIndex(parser());
        const std::int64_t length = XML_GetCurrentByteCount(parser());
        if (m_depth == 1) {
            m_shape.rootLocalName = std::string(qname.local);
            m_shape.rootUnprefixed = qname.prefix.empty();
            m_shape.rootName = qname.prefix.empty()
                                   ? m_shape.rootLocalName
                                   : std::string(qname.prefix) + ":" + m_shape.rootLocalName;
            m_shape.rootStartTag = {offset, length};
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
        m_handler->elementStart(offset, m_attributes);
    }

    static void XMLCALL onEnd(void *data, const XML_Char *) {
        guarded(data, [&] { reader<Scanner>(data).end(); });
    }

    void end() {
        const std::int64_t index = XML_GetCurrentByteIndex(parser());
        const std::int64_t count = XML_GetCurrentByteCount(parser());
        if (!m_watchedDepths.empty() && m_watchedDepths.back() == m_depth) {
            m_watchedDepths.pop_back();
            if (m_handler) m_handler->elementEnd(index + count);
        }
        if (m_depth == 1) m_shape.rootEndTag = {index, count};
        --m_depth;
    }

    std::string_view m_bytes; // everything fed so far
    std::int64_t m_consumed = 0;
    std::string_view m_watched;
    ScanHandler *m_handler;
    DocumentShape m_shape;
    std::int64_t m_depth = 0;
    std::vector<std::int64_t> m_watchedDepths;
    std::vector<std::string> m_pendingNames;
    std::vector<std::string> m_pendingValues;
    std::vector<std::string> m_qualified;
    std::vector<Attribute> m_attributes;
};

} // namespace

struct DocumentScanner::Impl {
    Impl(std::string_view watched, ScanHandler *handler) : scanner(watched, handler) {}
    Scanner scanner;
};

DocumentScanner::DocumentScanner(std::string_view watched, ScanHandler *handler)
    : m_impl(std::make_unique<Impl>(watched, handler)) {}

DocumentScanner::~DocumentScanner() = default;

Status DocumentScanner::feed(std::string_view document, bool final) {
    return m_impl->scanner.consume(document, final);
}

DocumentShape DocumentScanner::shape() {
    return m_impl->scanner.shape();
}

Result<DocumentShape> scanDocument(std::string_view bytes, std::string_view watched,
                                   ScanHandler *handler) {
    DocumentScanner scanner(watched, handler);
    if (Status s = scanner.feed(bytes, true); !s) return s.error();
    return scanner.shape();
}

bool isWholeElement(std::string_view bytes, TextEncoding encoding, std::string_view encodingName,
                    std::string_view rootName) {
    // The fragment's encoding, told the way its document told it.
    std::string document;
    switch (encoding) {
    case TextEncoding::Utf8:
        break;
    case TextEncoding::Latin1:
    case TextEncoding::Ascii:
    case TextEncoding::SingleByte:
        document = "<?xml version='1.0' encoding='" + std::string(encodingName) + "'?>";
        break;
    case TextEncoding::Utf16LE:
        document = "\xFF\xFE";
        break;
    case TextEncoding::Utf16BE:
        document = "\xFE\xFF";
        break;
    }
    document.append(bytes);
    auto shape = scanDocument(document, {}, nullptr);
    return shape && shape->rootUnprefixed && shape->rootLocalName == rootName;
}

bool cutsAreLocal(std::string_view document, std::span<const Splice> cuts,
                  const DocumentShape &shape, std::string_view elementName) {
    const std::int64_t unit = unitSize(shape.encoding);
    const auto size = static_cast<std::int64_t>(document.size());
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        const Splice &cut = cuts[i];
        // Never the root: without it there is no document left.
        if (cut.offset <= shape.rootStartTag.offset &&
            cut.offset + cut.length > shape.rootStartTag.offset)
            return false;
        const std::string_view held = document.substr(static_cast<std::size_t>(cut.offset),
                                                      static_cast<std::size_t>(cut.length));
        if (!isWholeElement(held, shape.encoding, shape.encodingName, elementName)) return false;
        // The text on both sides of a run of cuts comes together: "]]" and ">" (or "]" and
        // "]>") would make "]]>".
        const std::int64_t runStart = cut.offset;
        std::int64_t runEnd = cut.offset + cut.length;
        while (i + 1 < cuts.size() && cuts[i + 1].offset == runEnd) {
            ++i;
            runEnd = cuts[i].offset + cuts[i].length;
        }
        if (runStart >= unit && runEnd + unit <= size &&
            codeUnitAt(document, runStart - unit, shape.encoding) == ']') {
            const std::uint32_t after = codeUnitAt(document, runEnd, shape.encoding);
            if (after == ']' || after == '>') return false;
        }
    }
    return true;
}

} // namespace corvelan::xml
