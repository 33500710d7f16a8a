// The scanner behind scanDocument and scanReading: a strict parser that reports the watched
// elements of a document, or of a part of one, with their byte spans in the document. Internal
// to xml/.
#pragma once

#include "platform/utf16.h"
#include "xml/document_scanner.h"
#include "xml/strict_parser.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace corvelan::xml::detail {

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
        const std::size_t count = attributeCount(atts);
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

} // namespace corvelan::xml::detail
