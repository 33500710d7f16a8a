// Reads what the tool needs of a device description file, streaming it through expat in chunks
// so that memory stays small whatever the file's size.
#pragma once

#include "base/result.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvelan::xml {

// A product name or version longer than this many characters makes the file unreadable: no
// device has such a name, and the text would otherwise be shown and stored whole.
inline constexpr std::size_t kMaxFactLength = 255;

struct DescriptionFacts {
    // The root element is an unprefixed ISO15745Profile (any default namespace).
    bool rootIsProfile = false;
    // Text of the first unprefixed productName / version element below the root, in document
    // order: all character data inside it, descendants and CDATA included, entities expanded,
    // UTF-8, nothing trimmed. Empty optionals when there is no such element.
    std::optional<std::string> productName;
    std::optional<std::string> version;
};

// Takes the next piece of a document; `last` comes with the empty piece after its end.
using PieceHandler = std::function<Status(std::string_view piece, bool last)>;
// Hands a document to `piece` in order from its start, at most `pieceSize` bytes at a time, and
// stops with the first error `piece` returns or its own.
using ReadInOrder = std::function<Status(std::size_t pieceSize, const PieceHandler &piece)>;

// Reads the document that `read` hands over, to its end. Fails as `read` does, or when it is not
// a well-formed document the tool can read whole, with the same strictness as the catalogue
// (xml/strict_parser.h), or when its product name or version is longer than kMaxFactLength
// characters (FactTooLong; reading stops there).
[[nodiscard]] Result<DescriptionFacts> readDescription(const ReadInOrder &read);

} // namespace corvelan::xml
