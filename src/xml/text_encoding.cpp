#include "xml/text_encoding.h"
#include "base/ascii.h"

#include "platform/utf16.h"

#include <cstdint>

namespace corvelan::xml {
namespace {

void appendUnit(std::string &out, std::uint32_t unit, TextEncoding encoding) {
    const auto lo = static_cast<char>(unit & 0xFF);
    const auto hi = static_cast<char>((unit >> 8) & 0xFF);
    if (encoding == TextEncoding::Utf16LE) {
        out += lo;
        out += hi;
    } else {
        out += hi;
        out += lo;
    }
}

void appendReference(std::string &out, std::uint32_t cp, TextEncoding encoding) {
    const std::string ref = "&#" + std::to_string(cp) + ";";
    for (char c : ref) {
        if (encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE)
            appendUnit(out, static_cast<unsigned char>(c), encoding);
        else
            out += c;
    }
}

} // namespace

TextEncoding detectEncoding(std::string_view bytes, std::string_view declared) {
    if (bytes.starts_with("\xFF\xFE")) return TextEncoding::Utf16LE;
    if (bytes.starts_with("\xFE\xFF")) return TextEncoding::Utf16BE;
    if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0') return TextEncoding::Utf16LE;
    if (bytes.size() >= 2 && bytes[0] == '\0' && bytes[1] != '\0') return TextEncoding::Utf16BE;
    // A UTF-8 byte order mark does not settle it: the parser reads a document that declares
    // another single-byte encoding in that one.
    if (declared.empty() || equalsIgnoringAsciiCase(declared, "UTF-8")) return TextEncoding::Utf8;
    if (equalsIgnoringAsciiCase(declared, "ISO-8859-1")) return TextEncoding::Latin1;
    if (equalsIgnoringAsciiCase(declared, "US-ASCII")) return TextEncoding::Ascii;
    // Any other name the parser took is a single-byte encoding it read through the system's table.
    return TextEncoding::SingleByte;
}

std::string encodeText(std::string_view utf8, TextEncoding encoding) {
    if (encoding == TextEncoding::Utf8) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size() * (unitSize(encoding)));
    for (size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = nextCodePoint(utf8, i);
        switch (encoding) {
        case TextEncoding::Utf8:
            break;
        case TextEncoding::Latin1:
        case TextEncoding::Ascii:
        case TextEncoding::SingleByte:
            if (cp < (encoding == TextEncoding::Latin1 ? 0x100u : 0x80u))
                out += static_cast<char>(cp);
            else
                appendReference(out, cp, encoding);
            break;
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE:
            if (cp >= 0x10000) {
                cp -= 0x10000;
                appendUnit(out, 0xD800 + (cp >> 10), encoding);
                appendUnit(out, 0xDC00 + (cp & 0x3FF), encoding);
            } else {
                appendUnit(out, cp, encoding);
            }
            break;
        }
    }
    return out;
}

std::string escapeAttributeValue(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '&':
            out += "&#38;";
            break;
        case '<':
            out += "&#60;";
            break;
        case '"':
            out += "&#34;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::uint32_t codeUnitAt(std::string_view bytes, std::int64_t offset, TextEncoding encoding) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data() + offset);
    if (encoding == TextEncoding::Utf16LE) return p[0] | p[1] << 8;
    if (encoding == TextEncoding::Utf16BE) return p[1] | p[0] << 8;
    return p[0];
}

int unitSize(TextEncoding encoding) {
    return (encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE) ? 2 : 1;
}

bool holdsAscii(std::string_view bytes, std::int64_t offset, std::string_view ascii,
                TextEncoding encoding) {
    const int unit = unitSize(encoding);
    if (offset < 0 || offset + static_cast<std::int64_t>(ascii.size()) * unit >
                          static_cast<std::int64_t>(bytes.size()))
        return false;
    const auto *p = bytes.data() + offset;
    for (char c : ascii) {
        if (unit == 1) {
            if (*p != c) return false;
        } else {
            const char lo = encoding == TextEncoding::Utf16LE ? p[0] : p[1];
            const char hi = encoding == TextEncoding::Utf16LE ? p[1] : p[0];
            if (lo != c || hi != '\0') return false;
        }
        p += unit;
    }
    return true;
}

} // namespace corvelan::xml
