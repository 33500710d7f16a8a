// Reads what the tool needs of a device description file, streaming it through expat in chunks
// so that memory stays small whatever the file's size.
#pragma once

#include "base/result.h"
#include "base/sha256.h"
#include "platform/file_system.h"

#include <optional>
#include <string>

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

// Reads the open file from its start, to its end. Fails when it cannot be read or is not a
// well-formed document the tool can read whole, with the same strictness as the catalogue
// (xml/strict_parser.h), or when its product name or version is longer than kMaxFactLength
// characters (FactTooLong; reading stops there). Every byte read is added to `digest`, in order:
// all of the file's when it was read to its end.
[[nodiscard]] Result<DescriptionFacts> readDescription(fs::OpenFile &file, Sha256 &digest);

// The same for a document in memory.
[[nodiscard]] Result<DescriptionFacts> readDescriptionBytes(std::string_view bytes);

} // namespace corvelan::xml
