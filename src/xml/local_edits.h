// Edits whose result is well-formed without parsing it again: proofs over a document's bytes
// and its shape, so that an edit can move an index along instead of building it anew.
#pragma once

#include "xml/document_scanner.h"
#include "xml/splice.h"

#include <span>
#include <string_view>

namespace corvelan::xml {

// True when `bytes`, text cut from a document in `encoding` (named `encodingName` by its
// declaration), is on its own a well-formed document whose root is an unprefixed `rootName`
// element (white space may follow it). False also for a fragment that needs its document's
// context: a namespace prefix or an entity declared outside.
[[nodiscard]] bool isWholeElement(std::string_view bytes, TextEncoding encoding,
                                  std::string_view encodingName, std::string_view rootName);

// True when cutting `cuts` (in document order, not overlapping) out of `document`, whose shape
// is `shape`, provably leaves a well-formed document: no cut reaches the root's start tag, each
// cut holds one whole unprefixed `elementName` element (white space around it allowed), and the
// text on both sides of a run of adjacent cuts cannot join into "]]>", which text may not hold.
// False only says that this cannot be shown without parsing the result.
[[nodiscard]] bool cutsAreLocal(std::string_view document, std::span<const Splice> cuts,
                                const DocumentShape &shape, std::string_view elementName);

} // namespace corvelan::xml
