// The encodings a catalogue may be written in, and text written into it in that encoding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvelan::xml {

enum class TextEncoding {
    Utf8,
    Latin1,
    Ascii,
    Utf16LE,
    Utf16BE,
    SingleByte, // another single-byte encoding, ASCII where markup stands (windows-1252, ...)
};

// The encoding of a document from its first bytes and the encoding its XML declaration names
// (empty when none). Only meaningful for a document the parser accepted.
[[nodiscard]] TextEncoding detectEncoding(std::string_view bytes, std::string_view declared);

// UTF-8 text in `encoding`. Characters the encoding cannot hold become character references
// ("&#233;"), which is only right where markup may stand, as in attribute values.
[[nodiscard]] std::string encodeText(std::string_view utf8, TextEncoding encoding);

// An attribute value ready to stand between double quotes: '&', '<', '"', TAB, LF and CR as
// character references, so that the parser gives back exactly `utf8`.
[[nodiscard]] std::string escapeAttributeValue(std::string_view utf8);

// True when `bytes` at `offset` hold `ascii` in `encoding` (each character one code unit).
[[nodiscard]] bool holdsAscii(std::string_view bytes, std::int64_t offset, std::string_view ascii,
                              TextEncoding encoding);

// The code unit at `offset` (a byte, or a UTF-16 unit in its byte order); the offset must be in
// range.
[[nodiscard]] std::uint32_t codeUnitAt(std::string_view bytes, std::int64_t offset,
                                       TextEncoding encoding);

// Bytes per code unit of an ASCII character: 2 for UTF-16, 1 otherwise.
[[nodiscard]] int unitSize(TextEncoding encoding);

} // namespace corvelan::xml
