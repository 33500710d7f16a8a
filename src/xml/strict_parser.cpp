#include "xml/strict_parser.h"

#include "platform/code_pages.h"

#include <cerrno>
#include <cstring>

namespace corvelan::xml {
namespace {

// Byte 0xFF never occurs in UTF-8, so it cannot be part of a name or a namespace URI.
constexpr char kSeparator = '\xFF';

} // namespace

std::string expatVersion() {
    const XML_Expat_Version v = XML_ExpatVersionInfo();
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.micro);
}

QName splitName(std::string_view name) {
    const auto first = name.find(kSeparator);
    if (first == std::string_view::npos) return {name, {}};
    const auto rest = name.substr(first + 1);
    const auto second = rest.find(kSeparator);
    if (second == std::string_view::npos) return {rest, {}};
    return {rest.substr(0, second), rest.substr(second + 1)};
}

StrictParser::StrictParser() : m_parser(XML_ParserCreateNS(nullptr, kSeparator), XML_ParserFree) {
    if (!m_parser) return;
    XML_Parser p = m_parser.get();
    XML_SetUserData(p, this);
    XML_SetReturnNSTriplet(p, 1);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetXmlDeclHandler(p, &StrictParser::onXmlDecl);
    XML_SetEntityDeclHandler(p, &StrictParser::onEntityDecl);
    XML_SetSkippedEntityHandler(p, &StrictParser::onSkippedEntity);
    XML_SetExternalEntityRefHandler(p, &StrictParser::onExternalEntity);
    XML_SetNotStandaloneHandler(p, &StrictParser::onNotStandalone);
    XML_SetStartDoctypeDeclHandler(p, &StrictParser::onDoctype);
    XML_SetUnknownEncodingHandler(p, &StrictParser::onUnknownEncoding, this);
}

bool StrictParser::checkRuns(const char *data, std::int64_t length) {
    if (m_unit == 0 && length >= 2) {
        // UTF-16 (by its BOM or its first '<' or '?') is checked a code unit at a time.
        const auto b0 = static_cast<unsigned char>(data[0]);
        const auto b1 = static_cast<unsigned char>(data[1]);
        m_unit = ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF) ||
                  (b0 == 0 && b1 != 0) || (b0 != 0 && b1 == 0))
                     ? 2
                     : 1;
    }
    const std::int64_t limit = kMaxRunWithoutMarkup * (m_unit == 0 ? 1 : m_unit);
    // In UTF-16 '<' is 0x3C beside a zero byte; any 0x3C byte is a cheap upper bound.
    const char *from = data;
    const char *end = data + length;
    while (true) {
        // An empty piece may come without bytes to point at.
        const auto *lt =
            from == end ? nullptr : static_cast<const char *>(std::memchr(from, '<', end - from));
        const std::int64_t stop = m_fed + ((lt ? lt : end) - data);
        if (stop - m_lastMarkup > limit) {
            m_limit = ErrorCode::XmlRunTooLong;
            m_limitValue = static_cast<std::uint64_t>(kMaxRunWithoutMarkup);
            return false;
        }
        if (!lt) return true;
        m_lastMarkup = stop;
        from = lt + 1;
    }
}

bool StrictParser::feed(const char *data, std::int64_t length, bool final) {
    if (m_threw || m_limit || !checkRuns(data, length)) return false;
    m_fed += length;
    return XML_Parse(m_parser.get(), data, static_cast<int>(length), final) == XML_STATUS_OK;
}

void StrictParser::stop() noexcept {
    // Where the parser is now, in the handler of the event that stopped it: once stopped, it
    // reports the end of what it was given instead.
    XML_Parser p = m_parser.get();
    m_stoppedAt = {XML_GetCurrentByteIndex(p),
                   static_cast<std::int64_t>(XML_GetCurrentLineNumber(p)),
                   static_cast<std::int64_t>(XML_GetCurrentColumnNumber(p)) + 1};
    XML_StopParser(p, XML_FALSE);
}

bool StrictParser::admitElement(std::int64_t depth, std::size_t attributes) {
    if (depth > kMaxDepth)
        stopAtLimit(ErrorCode::XmlTooDeep, static_cast<std::uint64_t>(kMaxDepth));
    else if (attributes > kMaxAttributes)
        stopAtLimit(ErrorCode::XmlTooManyAttributes, kMaxAttributes);
    else
        return true;
    return false;
}

void StrictParser::stopAtLimit(ErrorCode limit, std::uint64_t value, std::string name) {
    m_limit = limit;
    m_limitValue = value;
    m_limitName = std::move(name);
    stop();
}

void StrictParser::stopForException(const char *what) noexcept {
    m_threw = true;
    try {
        m_stopped = what;
    } catch (...) {
        // Out of memory: the failure is told without the detail.
    }
    stop();
}

Error StrictParser::failure() const {
    if (!m_parser) return systemError(ENOMEM, {}, fs::FileOperation::CreateParser);
    Error e;
    XML_Parser p = m_parser.get();
    e.offset = XML_GetCurrentByteIndex(p);
    e.line = static_cast<std::int64_t>(XML_GetCurrentLineNumber(p));
    e.column = static_cast<std::int64_t>(XML_GetCurrentColumnNumber(p)) + 1;
    if (m_stoppedAt.offset >= 0) {
        e.offset = m_stoppedAt.offset;
        e.line = m_stoppedAt.line;
        e.column = m_stoppedAt.column;
    }
    if (m_threw) {
        e.code = ErrorCode::XmlStopped;
        if (!m_stopped.empty()) e.detail = ParserMessage{m_stopped};
    } else if (m_limit) {
        e.code = *m_limit;
        e.detail = Limit{m_limitValue, m_limitName};
    } else if (!m_unseenEntity.empty()) {
        e.code = ErrorCode::XmlUnseenEntity;
        e.detail = Entity{m_unseenEntity};
    } else {
        e.code = ErrorCode::XmlSyntax;
        e.detail = ParserMessage{XML_ErrorString(XML_GetErrorCode(p))};
    }
    // A run too long is refused before the parser sees it: at the end of what it was given.
    if (m_limit && m_stoppedAt.offset < 0) e.offset = m_fed;
    // Before its first byte (an empty document) some builds of expat say -1: the fault is there.
    if (e.offset < 0) e.offset = 0;
    return e;
}

void StrictParser::stopForEntity(std::string entity) {
    m_unseenEntity = std::move(entity);
    stop();
}

void XMLCALL StrictParser::onXmlDecl(void *data, const XML_Char *, const XML_Char *encoding, int) {
    guarded(data, [&] {
        static_cast<StrictParser *>(data)->m_declaredEncoding = encoding ? encoding : "";
    });
}

void XMLCALL StrictParser::onEntityDecl(void *data, const XML_Char *name, int isParameter,
                                        const XML_Char *value, int, const XML_Char *,
                                        const XML_Char *, const XML_Char *, const XML_Char *) {
    guarded(data, [&] {
        if (!isParameter && value)
            static_cast<StrictParser *>(data)->m_internalEntities.insert(name);
    });
}

void XMLCALL StrictParser::onSkippedEntity(void *data, const XML_Char *name, int isParameter) {
    guarded(data, [&] {
        if (!isParameter) static_cast<StrictParser *>(data)->stopForEntity(name);
    });
}

int XMLCALL StrictParser::onExternalEntity(XML_Parser parser, const XML_Char *, const XML_Char *,
                                           const XML_Char *systemId, const XML_Char *) {
    void *data = XML_GetUserData(parser);
    guarded(data, [&] {
        static_cast<StrictParser *>(data)->m_unseenEntity = systemId ? systemId : "external entity";
    });
    return XML_STATUS_ERROR;
}

void XMLCALL StrictParser::onDoctype(void *data, const XML_Char *, const XML_Char *,
                                     const XML_Char *, int) {
    static_cast<StrictParser *>(data)->m_sawDoctype = true;
}

int XMLCALL StrictParser::onNotStandalone(void *data) {
    static_cast<StrictParser *>(data)->m_notStandalone = true;
    return XML_STATUS_OK;
}

int XMLCALL StrictParser::onUnknownEncoding(void *data, const XML_Char *name, XML_Encoding *info) {
    bool known = false;
    guarded(data, [&] {
        // Only a single-byte table: expat itself refuses one that moves the characters of markup.
        const auto table = singleByteEncoding(name);
        if (!table) return;
        for (size_t b = 0; b < table->size(); ++b)
            info->map[b] = (*table)[b];
        info->data = nullptr;
        info->convert = nullptr;
        info->release = nullptr;
        known = true;
    });
    return known ? XML_STATUS_OK : XML_STATUS_ERROR;
}

} // namespace corvelan::xml
