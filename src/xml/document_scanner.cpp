#include "xml/document_scanner.h"

#include <expat.h>

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <vector>

namespace corvelan::xml {
namespace {

// Byte 0xFF never occurs in UTF-8, so it cannot be part of a name or a namespace URI.
constexpr char kSeparator = '\xFF';
constexpr std::int64_t kChunk = std::int64_t{1} << 26;

struct QName {
    std::string_view local;
    std::string_view prefix; // empty when none
};

// Splits expat's "uri<sep>local<sep>prefix", "uri<sep>local" or "local".
QName splitName(std::string_view name) {
    const auto first = name.find(kSeparator);
    if (first == std::string_view::npos) return {name, {}};
    const auto rest = name.substr(first + 1);
    const auto second = rest.find(kSeparator);
    if (second == std::string_view::npos) return {rest, {}};
    return {rest.substr(0, second), rest.substr(second + 1)};
}

void appendUtf8(std::string &out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

class Scanner {
public:
    Scanner(std::string_view bytes, std::string_view watched, ScanHandler *handler)
        : m_bytes(bytes), m_watched(watched), m_handler(handler) {}

    Result<DocumentShape> run() {
        std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
            XML_ParserCreateNS(nullptr, kSeparator), XML_ParserFree);
        if (!parser) return systemError(ENOMEM, {}, "cannot create the XML parser");
        m_parser = parser.get();
        XML_SetUserData(m_parser, this);
        XML_SetReturnNSTriplet(m_parser, 1);
        XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_NEVER);
        XML_SetXmlDeclHandler(m_parser, &Scanner::onXmlDecl);
        XML_SetElementHandler(m_parser, &Scanner::onStart, &Scanner::onEnd);
        XML_SetStartNamespaceDeclHandler(m_parser, &Scanner::onNamespace);
        XML_SetEntityDeclHandler(m_parser, &Scanner::onEntityDecl);
        XML_SetSkippedEntityHandler(m_parser, &Scanner::onSkippedEntity);
        XML_SetExternalEntityRefHandler(m_parser, &Scanner::onExternalEntity);
        XML_SetNotStandaloneHandler(m_parser, &Scanner::onNotStandalone);

        std::int64_t at = 0;
        const auto size = static_cast<std::int64_t>(m_bytes.size());
        do {
            const std::int64_t length = std::min(kChunk, size - at);
            const bool final = at + length == size;
            if (XML_Parse(m_parser, m_bytes.data() + at, static_cast<int>(length), final) !=
                XML_STATUS_OK)
                return failure();
            at += length;
        } while (at < size);
        m_shape.encoding = detectEncoding(m_bytes, m_declaredEncoding);
        return std::move(m_shape);
    }

private:
    Error failure() const {
        Error e;
        e.offset = XML_GetCurrentByteIndex(m_parser);
        e.line = static_cast<std::int64_t>(XML_GetCurrentLineNumber(m_parser));
        e.column = static_cast<std::int64_t>(XML_GetCurrentColumnNumber(m_parser)) + 1;
        if (!m_unseenEntity.empty()) {
            e.code = ErrorCode::XmlUnseenEntity;
            e.detail = "The document refers to the entity '" + m_unseenEntity +
                       "', whose text cannot be read";
        } else {
            e.code = ErrorCode::XmlSyntax;
            e.detail = XML_ErrorString(XML_GetErrorCode(m_parser));
        }
        return e;
    }

    void stopForEntity(std::string name) {
        m_unseenEntity = std::move(name);
        XML_StopParser(m_parser, XML_FALSE);
    }

    // An undeclared entity in an attribute value is dropped without a word by expat when the
    // document is not standalone, so the start tag itself is checked.
    bool refersToUnseenEntity(std::int64_t offset, std::int64_t length, std::string &name) const {
        const TextEncoding encoding = detectEncoding(m_bytes, m_declaredEncoding);
        if (!holdsAscii(m_bytes, offset, "<", encoding))
            return true; // made by an entity: its text is not checked, so refuse it
        const int unit = unitSize(encoding);
        const auto codeAt = [&](std::int64_t i) -> std::uint32_t {
            const auto *p = reinterpret_cast<const unsigned char *>(m_bytes.data() + i);
            if (unit == 1) return p[0];
            return encoding == TextEncoding::Utf16LE ? (p[0] | p[1] << 8) : (p[1] | p[0] << 8);
        };
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
            if (!predefined.contains(name) && !m_internalEntities.contains(name)) return true;
        }
        return false;
    }

    static void XMLCALL onXmlDecl(void *self, const XML_Char *, const XML_Char *encoding, int) {
        static_cast<Scanner *>(self)->m_declaredEncoding = encoding ? encoding : "";
    }

    static void XMLCALL onNamespace(void *data, const XML_Char *prefix, const XML_Char *uri) {
        auto *self = static_cast<Scanner *>(data);
        self->m_pendingNames.push_back(prefix ? std::string("xmlns:") + prefix : "xmlns");
        self->m_pendingValues.emplace_back(uri ? uri : "");
    }

    static void XMLCALL onStart(void *data, const XML_Char *name, const XML_Char **atts) {
        auto *self = static_cast<Scanner *>(data);
        self->start(name, atts);
        self->m_pendingNames.clear();
        self->m_pendingValues.clear();
    }

    void start(const XML_Char *name, const XML_Char **atts) {
        ++m_depth;
        const QName qname = splitName(name);
        const std::int64_t offset = XML_GetCurrentByteIndex(m_parser);
        const std::int64_t length = XML_GetCurrentByteCount(m_parser);
        if (m_depth == 1) {
            m_shape.rootLocalName = std::string(qname.local);
            m_shape.rootUnprefixed = qname.prefix.empty();
            m_shape.rootName = qname.prefix.empty()
                                   ? m_shape.rootLocalName
                                   : std::string(qname.prefix) + ":" + m_shape.rootLocalName;
            m_shape.rootStartTag = {offset, length};
        }
        if (!qname.prefix.empty() || qname.local != m_watched) return;
        if (m_notStandalone) {
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
            m_attributes.push_back({m_pendingNames[i], m_pendingValues[i]});
        size_t count = 0;
        while (atts[count * 2])
            ++count;
        m_qualified.reserve(count); // views below point into it: no reallocation after this
        for (size_t i = 0; i < count; ++i) {
            const QName attr = splitName(atts[i * 2]);
            std::string_view attrName = attr.local;
            if (!attr.prefix.empty()) {
                m_qualified.push_back(std::string(attr.prefix) + ":" + std::string(attr.local));
                attrName = m_qualified.back();
            }
            m_attributes.push_back({attrName, atts[i * 2 + 1]});
        }
        m_handler->elementStart(offset, m_attributes);
    }

    static void XMLCALL onEnd(void *data, const XML_Char *) {
        auto *self = static_cast<Scanner *>(data);
        const std::int64_t end =
            XML_GetCurrentByteIndex(self->m_parser) + XML_GetCurrentByteCount(self->m_parser);
        if (!self->m_watchedDepths.empty() && self->m_watchedDepths.back() == self->m_depth) {
            self->m_watchedDepths.pop_back();
            if (self->m_handler) self->m_handler->elementEnd(end);
        }
        if (self->m_depth == 1)
            self->m_shape.rootEndTag = {XML_GetCurrentByteIndex(self->m_parser),
                                        XML_GetCurrentByteCount(self->m_parser)};
        --self->m_depth;
    }

    static void XMLCALL onEntityDecl(void *data, const XML_Char *name, int isParameter,
                                     const XML_Char *value, int, const XML_Char *, const XML_Char *,
                                     const XML_Char *, const XML_Char *) {
        if (!isParameter && value) static_cast<Scanner *>(data)->m_internalEntities.insert(name);
    }

    static void XMLCALL onSkippedEntity(void *data, const XML_Char *name, int isParameter) {
        if (!isParameter) static_cast<Scanner *>(data)->stopForEntity(name);
    }

    static int XMLCALL onExternalEntity(XML_Parser parser, const XML_Char *, const XML_Char *,
                                        const XML_Char *systemId, const XML_Char *) {
        auto *self = static_cast<Scanner *>(XML_GetUserData(parser));
        self->m_unseenEntity = systemId ? systemId : "external entity";
        return XML_STATUS_ERROR;
    }

    static int XMLCALL onNotStandalone(void *data) {
        static_cast<Scanner *>(data)->m_notStandalone = true;
        return XML_STATUS_OK;
    }

    std::string_view m_bytes;
    std::string_view m_watched;
    ScanHandler *m_handler;
    XML_Parser m_parser = nullptr;
    DocumentShape m_shape;
    std::string m_declaredEncoding;
    std::int64_t m_depth = 0;
    std::vector<std::int64_t> m_watchedDepths;
    std::vector<std::string> m_pendingNames;
    std::vector<std::string> m_pendingValues;
    std::vector<std::string> m_qualified;
    std::vector<Attribute> m_attributes;
    bool m_notStandalone = false;
    std::unordered_set<std::string> m_internalEntities;
    std::string m_unseenEntity;
};

} // namespace

Result<DocumentShape> scanDocument(std::string_view bytes, std::string_view watched,
                                   ScanHandler *handler) {
    return Scanner(bytes, watched, handler).run();
}

} // namespace corvelan::xml
