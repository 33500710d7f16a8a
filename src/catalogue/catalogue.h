// The repository's catalogue: its bytes, kept as the one copy, and an index of its File entries.
//
// Edits never rewrite the document. They are planned as splices (cut a device entry's span,
// insert the new entry before the root's end tag), applied to the bytes, and the result is parsed
// again before it is accepted; every other byte stays as it was.
#pragma once

#include "platform/file_system.h"
#include "platform/result.h"
#include "xml/document_scanner.h"
#include "xml/splice.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::catalogue {

// A catalogue larger than this is not loaded.
inline constexpr std::uint64_t kMaxCatalogueSize = std::uint64_t{1} << 30;

struct CatalogueEntry {
    xml::Span span;
    std::size_t attributeCount = 0; // namespace declarations included, as a DOM counts them
    std::optional<std::string> productId;
    std::optional<std::string> fileVersion;

    [[nodiscard]] bool isDevice() const;
};

class Catalogue {
public:
    // The catalogue held by `bytes`. Fails when they are not a well-formed document the tool can
    // read whole (xml/document_scanner.h).
    static Result<Catalogue> parse(std::string bytes);

    // The catalogue in the file at `hostPath`; the file is only read.
    static Result<Catalogue> load(const std::string &hostPath);

    // Which version of the file the bytes were read from or saved to; unknown after parse().
    [[nodiscard]] const fs::FileStamp &stamp() const { return m_stamp; }

    [[nodiscard]] const std::string &bytes() const { return m_bytes; }
    [[nodiscard]] const std::vector<CatalogueEntry> &entries() const { return m_entries; }
    [[nodiscard]] const xml::DocumentShape &shape() const { return m_shape; }

    // True when the root element is an unprefixed DDXMLRepository.
    [[nodiscard]] bool hasRepositoryRoot() const;

    // One line per entry that has attributes, in document order: its ProductID, "  Revision: ",
    // its Fileversion (an attribute it lacks shows as empty).
    [[nodiscard]] std::vector<std::string> listing() const;

    // Splices that cut every device entry out: its whole line, indentation and line end included,
    // when nothing else stands on that line, else the element alone. Refused when an entry's span
    // does not hold its own start tag, as for an entry an entity reference produced
    // (EntryFromEntity), or when the entry is the root element itself (EntryIsRoot).
    [[nodiscard]] Result<std::vector<xml::Splice>> planRemoveDeviceEntries() const;

    // The splice that inserts the device entry with `version` (UTF-8), followed by CR LF, just
    // before the root's end tag, in the document's encoding. Refused (NotRepository) when the
    // root is not DDXMLRepository, or when the root's end tag is not where the parse put it.
    [[nodiscard]] Result<xml::Splice> planAppendDeviceEntry(std::string_view version) const;

    // The catalogue with `splices` applied, parsed again. Refused (EditNotWellFormed) when the
    // result does not parse; this catalogue is left as it is either way.
    [[nodiscard]] Result<Catalogue> edited(std::vector<xml::Splice> splices) const;

    // The catalogue without its device entries and, with a `version`, with the device entry
    // appended: the plans above, applied. When the edit is provably local (each cut holds one
    // whole element and never the root, the text on both sides of a cut cannot join into a token
    // such as "]]>", and the inserted entry is one whole element) the index is moved along with
    // the bytes; otherwise the whole result is parsed again, and refused when it does not parse.
    // Fails as the plans and edited() do.
    [[nodiscard]] Result<Catalogue> withDeviceEntries(const std::string *version) const;

    // Writes the bytes to `hostPath`, replacing the file atomically and keeping its permissions
    // and attributes; then the stamp is the new file's. With `onDisk` (the catalogue as last
    // read from that file), the file must still hold it, else nothing is written and the save
    // fails with ChangedOnDisk. On failure the file is left as it was.
    [[nodiscard]] Status saveTo(const std::string &hostPath, const Catalogue *onDisk = nullptr);

private:
    // withDeviceEntries() without a full parse; empty when a splice cannot be checked alone.
    [[nodiscard]] std::optional<Catalogue> editedInPlace(const std::vector<xml::Splice> &cuts,
                                                         const xml::Splice *insert,
                                                         const std::string *version) const;

    std::string m_bytes;
    xml::DocumentShape m_shape;
    std::vector<CatalogueEntry> m_entries;
    fs::FileStamp m_stamp;
};

// The device entry's markup as UTF-8: "<File" then ' name="value"' for each attribute in order,
// then "/>" and CR LF.
[[nodiscard]] std::string deviceEntryMarkup(std::string_view version);

} // namespace corvelan::catalogue
