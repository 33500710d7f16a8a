#include "xml/strict_parser.h"

#include <cerrno>

namespace corvelan::xml {
namespace {

// Byte 0xFF never occurs in UTF-8, so it cannot be part of a name or a namespace URI.
constexpr char kSeparator = '\xFF';

} // namespace

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
}

bool StrictParser::feed(const char *data, std::int64_t length, bool final) {
    return XML_Parse(m_parser.get(), data, static_cast<int>(length), final) == XML_STATUS_OK;
}

Error StrictParser::failure() const {
    Error e;
    if (!m_parser) {
        e = systemError(ENOMEM, {}, "cannot create the XML parser");
        return e;
    }
    XML_Parser p = m_parser.get();
    e.offset = XML_GetCurrentByteIndex(p);
    e.line = static_cast<std::int64_t>(XML_GetCurrentLineNumber(p));
    e.column = static_cast<std::int64_t>(XML_GetCurrentColumnNumber(p)) + 1;
    if (!m_unseenEntity.empty()) {
        e.code = ErrorCode::XmlUnseenEntity;
        e.detail =
            "The document refers to the entity '" + m_unseenEntity + "', whose text cannot be read";
    } else {
        e.code = ErrorCode::XmlSyntax;
        e.detail = XML_ErrorString(XML_GetErrorCode(p));
    }
    return e;
}

void StrictParser::stopForEntity(std::string entity) {
    m_unseenEntity = std::move(entity);
    XML_StopParser(m_parser.get(), XML_FALSE);
}

void XMLCALL StrictParser::onXmlDecl(void *data, const XML_Char *, const XML_Char *encoding, int) {
    static_cast<StrictParser *>(data)->m_declaredEncoding = encoding ? encoding : "";
}

void XMLCALL StrictParser::onEntityDecl(void *data, const XML_Char *name, int isParameter,
                                        const XML_Char *value, int, const XML_Char *,
                                        const XML_Char *, const XML_Char *, const XML_Char *) {
    if (!isParameter && value) static_cast<StrictParser *>(data)->m_internalEntities.insert(name);
}

void XMLCALL StrictParser::onSkippedEntity(void *data, const XML_Char *name, int isParameter) {
    if (!isParameter) static_cast<StrictParser *>(data)->stopForEntity(name);
}

int XMLCALL StrictParser::onExternalEntity(XML_Parser parser, const XML_Char *, const XML_Char *,
                                           const XML_Char *systemId, const XML_Char *) {
    auto *self = static_cast<StrictParser *>(XML_GetUserData(parser));
    self->m_unseenEntity = systemId ? systemId : "external entity";
    return XML_STATUS_ERROR;
}

int XMLCALL StrictParser::onNotStandalone(void *data) {
    static_cast<StrictParser *>(data)->m_notStandalone = true;
    return XML_STATUS_OK;
}

} // namespace corvelan::xml
