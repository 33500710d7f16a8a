// The repository's catalogue: its bytes, kept as the one copy, and an index of its File entries
// that points into them.
//
// Edits never rewrite the document. They are planned as splices (cut a device entry's span,
// insert the new entry before the root's end tag), written to the file from the old bytes and the
// splices, and made in memory only once the file holds them; every other byte stays as it was.
// An edit that cannot be shown to keep the document well-formed by looking at its splices alone
// is parsed whole before anything is written.
#pragma once

#include "base/result.h"
#include "catalogue/listing.h"
#include "xml/document_buffer.h"
#include "xml/document_scanner.h"
#include "xml/splice.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::catalogue {

// What a catalogue holds of the device, kept so that it can be put back as it stood: each device
// entry's bytes as a removal cuts them (its whole line where nothing else stands on it) and where
// they stood in the rest, the catalogue without them, by its SHA-256.
//
//   bytes:  <R>\r\n  <A/>\r\n  <Dev v="1"/>\r\n  <B/>\r\n</R>
//   rest:   <R>\r\n  <A/>\r\n  <B/>\r\n</R>          a piece "  <Dev v=\"1\"/>\r\n" at 13
struct DevicePart {
    std::string encoding; // the document's encoding, as encodingKey() names it
    std::string rest;     // SHA-256 of the rest, as 64 lower-case hexadecimal digits
    struct Piece {
        std::int64_t at = 0; // where it stood in the rest, in bytes; pieces in document order
        std::string bytes;
        friend bool operator==(const Piece &, const Piece &) = default;
    };
    std::vector<Piece> pieces;
    friend bool operator==(const DevicePart &, const DevicePart &) = default;
};

// A catalogue larger than this is not loaded.
inline constexpr std::uint64_t kMaxCatalogueSize = std::uint64_t{1} << 30;

// Where an attribute's value is: in the catalogue's bytes as it reads there, among the values the
// catalogue decoded (where the bytes hold it escaped or in another encoding), or nowhere.
struct ValueRef {
    enum class Where : std::uint8_t { Missing, InBytes, Decoded };
    Where where = Where::Missing;
    std::uint32_t position = 0; // InBytes: bytes from its entry's start; Decoded: its index
    std::uint32_t length = 0;   // InBytes: how many bytes
};

struct CatalogueEntry {
    std::int64_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t attributeCount = 0; // namespace declarations included, as a DOM counts them
    ValueRef productId;
    ValueRef fileVersion;

    [[nodiscard]] xml::Span span() const { return {offset, length}; }
};

class Catalogue {
public:
    // The catalogue held by `bytes`. Fails when they are not a well-formed document the tool can
    // read whole (xml/document_scanner.h).
    static Result<Catalogue> parse(std::string_view bytes);

    // The catalogue that `read` reads, `size` bytes when it was opened; a large one is read in two
    // halves at once (xml::scanReading). Fails as parse() does.
    static Result<Catalogue> read(const xml::ReadAt &read, std::uint64_t size,
                                  const xml::ScanOptions &options = {});

    [[nodiscard]] std::string_view bytes() const { return m_bytes.view(); }
    [[nodiscard]] const std::vector<CatalogueEntry> &entries() const { return m_entries; }
    [[nodiscard]] const xml::DocumentShape &shape() const { return m_shape; }

    // The entry's ProductID and Fileversion as the parser reads them (UTF-8); empty optionals for
    // an attribute it lacks.
    [[nodiscard]] std::optional<std::string_view> productId(const CatalogueEntry &entry) const;
    [[nodiscard]] std::optional<std::string_view> fileVersion(const CatalogueEntry &entry) const;
    // True for an entry of the tool's device: its ProductID is exactly "QVX TSR 7700".
    [[nodiscard]] bool isDevice(const CatalogueEntry &entry) const;
    // The Fileversion of each device entry, in document order (empty for one that lacks it).
    [[nodiscard]] std::vector<std::string> deviceVersions() const;

    // True when the root element is an unprefixed DDXMLRepository.
    [[nodiscard]] bool hasRepositoryRoot() const;

    // One line per entry that has attributes, in document order: its ProductID, "  Revision: ",
    // its Fileversion (an attribute it lacks shows as empty).
    [[nodiscard]] Listing listing() const;
    // The line of the listing that shows the first device entry; none when there is none.
    [[nodiscard]] std::optional<std::size_t> deviceLine() const;

    // An edit planned on this catalogue and not made yet (below).
    struct Edit;

    // The edit of a remove: every device entry cut out, its whole line (indentation and line end
    // included) when nothing else stands on that line, else the element alone. Refused when an
    // entry's span does not hold its own start tag, as for an entry an entity reference produced
    // (EntryFromEntity), or when the entry is the root element itself (EntryIsRoot).
    [[nodiscard]] Result<Edit> planRemoval() const;

    // The edit of an install: the removal's cuts, then the device entry with `version` (UTF-8)
    // and CR LF inserted just before the root's end tag, in the document's encoding. Refused as
    // planRemoval() is, and (NotRepository) when the root is not DDXMLRepository, or when the
    // root's end tag is not where the parse put it.
    [[nodiscard]] Result<Edit> planInstall(std::string_view version) const;

    // The device's part of this catalogue. Fails as planRemoval() does.
    [[nodiscard]] Result<DevicePart> devicePart() const;

    // The edit of a restore: this catalogue's device entries cut as a removal cuts them, and the
    // pieces of `part` put back. Where the rest is what it was, each piece goes back where it
    // stood, so that the bytes are those `part` was taken from; where other entries changed
    // meanwhile, the pieces go before the root's end tag, in the same encoding only
    // (EncodingChanged). The result is parsed whole (EditNotWellFormed); refused as planRemoval()
    // and planInstall() are.
    [[nodiscard]] Result<Edit> planRestore(const DevicePart &part) const;

    // True when `edit` leaves the bytes as they are (nothing, or the same entry taken out and put
    // back where it was).
    [[nodiscard]] bool keepsBytes(const Edit &edit) const;

    // The catalogue `edit` makes, as pieces to be written one after the other: these bytes
    // between the splices and the splices' own. No copy of the catalogue is made.
    [[nodiscard]] std::vector<std::string_view> editedPieces(const Edit &edit) const;

    // Makes this catalogue what `edit` (planned on it) makes it, in place: the bytes spliced and
    // the index moved along.
    void apply(Edit edit);

private:
    [[nodiscard]] Result<std::vector<xml::Splice>> planCuts() const;
    // The SHA-256 of the bytes that `cuts` leave.
    [[nodiscard]] std::string restDigest(std::span<const xml::Splice> cuts) const;
    [[nodiscard]] Result<xml::Splice> planInsert(std::string_view version) const;
    // `edit` with its reparsed result when its splices cannot be shown to be local; refused
    // (EditNotWellFormed) when that result does not parse.
    [[nodiscard]] Status proveOrParse(Edit &edit) const;
    // `edit` with its result parsed whole; refused (EditNotWellFormed) when it does not parse.
    [[nodiscard]] Status parseWhole(Edit &edit) const;
    [[nodiscard]] std::optional<std::string_view> valueOf(const CatalogueEntry &entry,
                                                          const ValueRef &ref) const;

    xml::DocumentBuffer m_bytes;
    xml::DocumentShape m_shape;
    std::vector<CatalogueEntry> m_entries;
    std::vector<std::string> m_decoded; // values the bytes do not hold as they read
};

struct Catalogue::Edit {
    std::vector<xml::Splice> splices; // in document order
    // The result parsed whole, when the edit could not be shown to be local: each cut holds one
    // whole element and never the root, the text on both sides of a cut cannot join into a token
    // such as "]]>", and the inserted entry is one whole element.
    std::optional<Catalogue> reparsed;
    std::optional<std::string> version; // of the entry an install appends
};

// The name a DevicePart keeps of the encoding of a document of `shape`.
[[nodiscard]] std::string encodingKey(const xml::DocumentShape &shape);

// The device entry's markup as UTF-8: "<File" then ' name="value"' for each attribute in order,
// then "/>" and CR LF.
[[nodiscard]] std::string deviceEntryMarkup(std::string_view version);

} // namespace corvelan::catalogue
