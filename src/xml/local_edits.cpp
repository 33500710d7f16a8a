#include "xml/local_edits.h"

#include <cstdint>
#include <string>

namespace corvelan::xml {

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
