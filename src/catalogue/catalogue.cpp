#include "catalogue/catalogue.h"

#include "base/sha256.h"
#include "catalogue/repository.h"
#include "xml/local_edits.h"
#include "xml/text_encoding.h"

#include <algorithm>
#include <cstring>

namespace corvelan::catalogue {
namespace {

// Where a value the parser read stands in the start tag it came from: anywhere its bytes stand as
// they read there, for the text is all that is kept of it; else in `decoded`.
ValueRef locateValue(std::string_view startTag, const std::optional<std::string_view> &value,
                     std::vector<std::string> &decoded) {
    if (!value) return {};
    const std::size_t at =
        startTag.starts_with('<') ? startTag.find(*value) : std::string_view::npos;
    if (at != std::string_view::npos)
        return {ValueRef::Where::InBytes, static_cast<std::uint32_t>(at),
                static_cast<std::uint32_t>(value->size())};
    decoded.emplace_back(*value);
    return {ValueRef::Where::Decoded, static_cast<std::uint32_t>(decoded.size() - 1), 0};
}

// The entries of one part of a scan, with the values their bytes do not hold as they read.
class PartCollector final : public xml::ScanHandler {
public:
    void elementStart(std::int64_t offset, std::string_view startTag,
                      std::span<const xml::Attribute> attributes) override {
        CatalogueEntry entry;
        entry.offset = offset;
        entry.attributeCount = static_cast<std::uint32_t>(attributes.size());
        std::optional<std::string_view> product;
        std::optional<std::string_view> version;
        // strcmp stops at the first differing byte: most names are told apart at once.
        for (const xml::Attribute &attribute : attributes) {
            if (std::strcmp(attribute.name, kProductIdAttribute.data()) == 0)
                product = attribute.value;
            else if (std::strcmp(attribute.name, kFileVersionAttribute.data()) == 0)
                version = attribute.value;
        }
        entry.productId = locateValue(startTag, product, decoded);
        entry.fileVersion = locateValue(startTag, version, decoded);
        m_open.push_back(entries.size());
        entries.push_back(entry);
    }

    void elementEnd(std::int64_t end) override {
        CatalogueEntry &entry = entries[m_open.back()];
        entry.length = static_cast<std::uint32_t>(end - entry.offset);
        m_open.pop_back();
    }

    void clear() {
        entries.clear();
        decoded.clear();
        m_open.clear();
    }

    std::vector<CatalogueEntry> entries;
    std::vector<std::string> decoded;

private:
    std::vector<std::size_t> m_open;
};

// The entries of a scan in one part or two.
class EntryCollector final : public xml::PartedHandler {
public:
    explicit EntryCollector(std::size_t expected) { m_parts[0].entries.reserve(expected); }
    xml::ScanHandler &part(int index) override { return m_parts[index]; }
    void reset() override {
        m_parts[0].clear();
        m_parts[1].clear();
    }
    // The entries in document order, and their decoded values.
    void takeInto(std::vector<CatalogueEntry> &entries, std::vector<std::string> &decoded) {
        entries = std::move(m_parts[0].entries);
        decoded = std::move(m_parts[0].decoded);
        const auto first = static_cast<std::uint32_t>(decoded.size());
        entries.reserve(entries.size() + m_parts[1].entries.size());
        for (CatalogueEntry entry : m_parts[1].entries) {
            for (ValueRef *ref : {&entry.productId, &entry.fileVersion})
                if (ref->where == ValueRef::Where::Decoded) ref->position += first;
            entries.push_back(entry);
        }
        for (std::string &value : m_parts[1].decoded)
            decoded.push_back(std::move(value));
    }

private:
    PartCollector m_parts[2];
};

// True when the bytes at `offset` open an element named `name`: "<name" followed by white
// space, "/" or ">".
bool holdsStartTag(std::string_view bytes, std::int64_t offset, std::string_view name,
                   xml::TextEncoding encoding) {
    std::string open(1, '<');
    open.append(name);
    if (!xml::holdsAscii(bytes, offset, open, encoding)) return false;
    const std::int64_t next =
        offset + static_cast<std::int64_t>(open.size()) * xml::unitSize(encoding);
    for (std::string_view follow : {" ", "\t", "\r", "\n", "/", ">"})
        if (xml::holdsAscii(bytes, next, follow, encoding)) return true;
    return false;
}

bool isBlank(std::uint32_t c) {
    return c == ' ' || c == '\t';
}

// The span to cut for the element at `element`: its whole line, indentation and line end
// included, when nothing but blanks shares the line with it; else the element alone. So an entry
// installed and removed again leaves no empty line behind.
xml::Span cutFor(std::string_view bytes, xml::Span element, xml::TextEncoding encoding) {
    const std::int64_t unit = xml::unitSize(encoding);
    const auto size = static_cast<std::int64_t>(bytes.size());
    auto at = [&](std::int64_t i) { return xml::codeUnitAt(bytes, i, encoding); };
    std::int64_t start = element.offset;
    while (start >= unit && isBlank(at(start - unit)))
        start -= unit;
    if (start < unit || (at(start - unit) != '\n' && at(start - unit) != '\r')) return element;
    std::int64_t end = element.end();
    while (end + unit <= size && isBlank(at(end)))
        end += unit;
    if (end + unit > size) return element;
    if (at(end) == '\r') {
        end += unit;
        if (end + unit <= size && at(end) == '\n') end += unit;
    } else if (at(end) == '\n') {
        end += unit;
    } else {
        return element;
    }
    return {start, end - start};
}

// An entry without attributes has no line in the listing.
bool hasLine(const CatalogueEntry &entry) {
    return entry.attributeCount != 0;
}

} // namespace

Result<Catalogue> Catalogue::parse(std::string_view bytes) {
    Catalogue catalogue;
    catalogue.m_bytes = xml::DocumentBuffer(bytes);
    EntryCollector collector(bytes.size() / 256);
    auto shape = xml::scanDocument(catalogue.bytes(), kEntryElement, &collector.part(0));
    if (!shape) return shape.error();
    catalogue.m_shape = std::move(shape).value();
    collector.takeInto(catalogue.m_entries, catalogue.m_decoded);
    return catalogue;
}

Result<Catalogue> Catalogue::read(const xml::ReadAt &read, std::uint64_t size,
                                  const xml::ScanOptions &options) {
    Catalogue catalogue;
    // About one entry in every 256 bytes: the index grows little while it is read.
    EntryCollector collector(static_cast<std::size_t>(std::min(size, kMaxCatalogueSize) / 256));
    // Read and parsed a piece at a time, so that a hostile file is refused as soon as the parser
    // sees it, long before it is all in memory.
    auto shape = xml::scanReading(read, size, kMaxCatalogueSize, kEntryElement, catalogue.m_bytes,
                                  collector, options);
    if (!shape) return shape.error();
    catalogue.m_shape = std::move(shape).value();
    collector.takeInto(catalogue.m_entries, catalogue.m_decoded);
    return catalogue;
}

bool Catalogue::hasRepositoryRoot() const {
    return m_shape.rootUnprefixed && m_shape.rootLocalName == kRootElement;
}

std::optional<std::string_view> Catalogue::valueOf(const CatalogueEntry &entry,
                                                   const ValueRef &ref) const {
    switch (ref.where) {
    case ValueRef::Where::Missing:
        break;
    case ValueRef::Where::Decoded:
        return m_decoded[ref.position];
    case ValueRef::Where::InBytes:
        return bytes().substr(static_cast<std::size_t>(entry.offset) + ref.position, ref.length);
    }
    return std::nullopt;
}

std::optional<std::string_view> Catalogue::productId(const CatalogueEntry &entry) const {
    return valueOf(entry, entry.productId);
}

std::optional<std::string_view> Catalogue::fileVersion(const CatalogueEntry &entry) const {
    return valueOf(entry, entry.fileVersion);
}

bool Catalogue::isDevice(const CatalogueEntry &entry) const {
    return productId(entry) == kDeviceProductId;
}

std::vector<std::string> Catalogue::deviceVersions() const {
    std::vector<std::string> versions;
    for (const CatalogueEntry &entry : m_entries)
        if (isDevice(entry)) versions.emplace_back(fileVersion(entry).value_or(""));
    return versions;
}

Listing Catalogue::listing() const {
    Listing lines;
    lines.reserve(m_entries.size(), m_entries.size() * 32);
    for (const CatalogueEntry &entry : m_entries) {
        if (!hasLine(entry)) continue;
        lines.add(productId(entry).value_or(""), kListSeparator, fileVersion(entry).value_or(""));
    }
    return lines;
}

std::optional<std::size_t> Catalogue::deviceLine() const {
    std::size_t line = 0;
    for (const CatalogueEntry &entry : m_entries) {
        if (!hasLine(entry)) continue;
        if (isDevice(entry)) return line;
        ++line;
    }
    return std::nullopt;
}

Result<std::vector<xml::Splice>> Catalogue::planCuts() const {
    std::vector<xml::Splice> splices;
    std::int64_t coveredUntil = -1; // entries are in document order, so nested ones follow
    for (const CatalogueEntry &entry : m_entries) {
        if (!isDevice(entry) || entry.span().end() <= coveredUntil) continue;
        if (entry.offset == m_shape.rootStartTag.offset) return makeError(ErrorCode::EntryIsRoot);
        if (!holdsStartTag(bytes(), entry.offset, kEntryElement, m_shape.encoding)) {
            Error e = makeError(ErrorCode::EntryFromEntity);
            e.offset = entry.offset;
            return e;
        }
        const xml::Span cut = cutFor(bytes(), entry.span(), m_shape.encoding);
        splices.push_back({cut.offset, cut.length, {}});
        coveredUntil = cut.end();
    }
    return splices;
}

std::string encodingKey(const xml::DocumentShape &shape) {
    return std::to_string(static_cast<int>(shape.encoding)) + " " + shape.encodingName;
}

std::string Catalogue::restDigest(std::span<const xml::Splice> cuts) const {
    Sha256 rest;
    for (std::string_view piece : xml::splicedPieces(bytes(), cuts))
        rest.add(piece);
    return rest.hex();
}

Result<DevicePart> Catalogue::devicePart() const {
    auto cuts = planCuts();
    if (!cuts) return cuts.error();
    DevicePart part{encodingKey(m_shape), restDigest(cuts.value()), {}};
    std::int64_t cutBefore = 0;
    for (const xml::Splice &cut : cuts.value()) {
        part.pieces.push_back({cut.offset - cutBefore,
                               std::string(bytes().substr(static_cast<std::size_t>(cut.offset),
                                                          static_cast<std::size_t>(cut.length)))});
        cutBefore += cut.length;
    }
    return part;
}

Result<Catalogue::Edit> Catalogue::planRestore(const DevicePart &part) const {
    auto cuts = planCuts();
    if (!cuts) return cuts.error();
    Edit edit;
    if (restDigest(cuts.value()) == part.rest) {
        // The rest is as it was: each piece goes back to its place in it, after the cuts that
        // stand at or before that place.
        std::int64_t cutBefore = 0;
        std::int64_t last = 0;
        std::size_t next = 0;
        const std::vector<xml::Splice> &current = cuts.value();
        for (const DevicePart::Piece &piece : part.pieces) {
            while (next < current.size() && current[next].offset - cutBefore <= piece.at) {
                cutBefore += current[next].length;
                edit.splices.push_back(current[next++]);
            }
            const std::int64_t restSize = static_cast<std::int64_t>(bytes().size()) - cutBefore;
            if (piece.at < last || piece.at > restSize)
                return makeError(ErrorCode::EditNotWellFormed);
            last = piece.at;
            edit.splices.push_back({piece.at + cutBefore, 0, piece.bytes});
        }
        edit.splices.insert(edit.splices.end(), current.begin() + static_cast<std::ptrdiff_t>(next),
                            current.end());
    } else {
        // Other entries changed: the device's go where an install puts its entry.
        if (part.encoding != encodingKey(m_shape)) return makeError(ErrorCode::EncodingChanged);
        edit.splices = std::move(cuts).value();
        if (!part.pieces.empty()) {
            if (m_shape.rootEndTag.length == 0 ||
                !xml::holdsAscii(bytes(), m_shape.rootEndTag.offset, "</" + m_shape.rootName,
                                 m_shape.encoding))
                return makeError(ErrorCode::RootEndTagMissing);
            for (const DevicePart::Piece &piece : part.pieces)
                edit.splices.push_back({m_shape.rootEndTag.offset, 0, piece.bytes});
        }
    }
    // Rare enough, and put together from kept bytes: always read whole again.
    if (Status s = parseWhole(edit); !s) return s.error();
    return edit;
}

std::string deviceEntryMarkup(std::string_view version) {
    std::string markup = "<";
    markup += kEntryElement;
    for (const EntryAttribute &attribute : kDeviceEntryAttributes) {
        const std::string_view value =
            attribute.name == kFileVersionAttribute ? version : attribute.value;
        markup.append(" ").append(attribute.name).append("=\"");
        markup.append(xml::escapeAttributeValue(value)).append("\"");
    }
    markup += "/>\r\n";
    return markup;
}

Result<xml::Splice> Catalogue::planInsert(std::string_view version) const {
    if (!hasRepositoryRoot()) {
        Error e = makeError(ErrorCode::NotRepository);
        e.detail = RootElement{m_shape.rootName};
        return e;
    }
    const xml::TextEncoding encoding = m_shape.encoding;
    const std::string entry = xml::encodeText(deviceEntryMarkup(version), encoding);
    if (m_shape.rootEndTag.length > 0) {
        if (!xml::holdsAscii(bytes(), m_shape.rootEndTag.offset, "</" + m_shape.rootName, encoding))
            return makeError(ErrorCode::RootEndTagMissing);
        return xml::Splice{m_shape.rootEndTag.offset, 0, entry};
    }
    // An empty root "<DDXMLRepository/>" is opened up: its "/>" becomes ">", the entry and
    // the end tag.
    const std::int64_t close = m_shape.rootStartTag.end() - 2 * xml::unitSize(encoding);
    if (!xml::holdsAscii(bytes(), close, "/>", encoding))
        return makeError(ErrorCode::EmptyRootNotOpened);
    return xml::Splice{close, 2 * xml::unitSize(encoding),
                       xml::encodeText(">", encoding) + entry +
                           xml::encodeText("</" + m_shape.rootName + ">", encoding)};
}

Status Catalogue::proveOrParse(Edit &edit) const {
    const std::span<const xml::Splice> cuts(edit.splices.data(),
                                            edit.splices.size() - (edit.version ? 1 : 0));
    const xml::Splice *insert = edit.version ? &edit.splices.back() : nullptr;
    // Only an insert of one whole entry before the root's end tag is moved along; opening up an
    // empty root (its "/>" replaced) is rare enough to be parsed again whole.
    const bool local = xml::cutsAreLocal(bytes(), cuts, m_shape, kEntryElement) &&
                       (!insert || xml::isWholeElement(insert->bytes, m_shape.encoding,
                                                       m_shape.encodingName, kEntryElement));
    if (local) return {};
    return parseWhole(edit);
}

Status Catalogue::parseWhole(Edit &edit) const {
    auto parsed = parse(xml::applySplices(bytes(), edit.splices));
    if (!parsed) {
        Error e = parsed.error();
        e.cause = e.code;
        e.code = ErrorCode::EditNotWellFormed;
        return e;
    }
    edit.reparsed = std::move(parsed).value();
    return {};
}

Result<Catalogue::Edit> Catalogue::planRemoval() const {
    auto cuts = planCuts();
    if (!cuts) return cuts.error();
    Edit edit;
    edit.splices = std::move(cuts).value();
    if (Status s = proveOrParse(edit); !s) return s.error();
    return edit;
}

Result<Catalogue::Edit> Catalogue::planInstall(std::string_view version) const {
    auto cuts = planCuts();
    if (!cuts) return cuts.error();
    auto insert = planInsert(version);
    if (!insert) return insert.error();
    Edit edit;
    edit.splices = std::move(cuts).value();
    edit.splices.push_back(std::move(insert).value());
    edit.version = std::string(version);
    if (Status s = proveOrParse(edit); !s) return s.error();
    return edit;
}

bool Catalogue::keepsBytes(const Edit &edit) const {
    std::int64_t grows = 0;
    for (const xml::Splice &s : edit.splices)
        grows += static_cast<std::int64_t>(s.bytes.size()) - s.length;
    if (grows != 0) return false;
    // The same length: the result, piece by piece, against what stands there now.
    std::size_t at = 0;
    for (std::string_view piece : xml::splicedPieces(bytes(), edit.splices)) {
        if (bytes().compare(at, piece.size(), piece) != 0) return false;
        at += piece.size();
    }
    return true;
}

std::vector<std::string_view> Catalogue::editedPieces(const Edit &edit) const {
    return xml::splicedPieces(bytes(), edit.splices);
}

void Catalogue::apply(Edit edit) {
    if (edit.reparsed) {
        *this = std::move(*edit.reparsed);
        return;
    }
    const std::span<const xml::Splice> splices(edit.splices);
    const std::size_t cutCount = splices.size() - (edit.version ? 1 : 0);
    const xml::SpliceShift shift(splices);
    // Entries come in document order, and so do cuts: walk both together to drop those cut and
    // move the others along, where they are.
    std::size_t cut = 0;
    std::size_t kept = 0;
    for (const CatalogueEntry &entry : m_entries) {
        while (cut < cutCount && splices[cut].offset + splices[cut].length <= entry.offset)
            ++cut;
        if (cut < cutCount && splices[cut].offset <= entry.offset) continue; // gone with it
        CatalogueEntry &moved = m_entries[kept++];
        moved = entry;
        moved.offset = shift.start(entry.offset);
        moved.length = static_cast<std::uint32_t>(shift.end(entry.span().end()) - moved.offset);
    }
    m_entries.resize(kept);
    m_shape.rootEndTag.offset = shift.start(m_shape.rootEndTag.offset);
    m_bytes.splice(splices);
    if (edit.version) {
        const xml::Splice &insert = splices.back();
        CatalogueEntry added;
        added.offset = shift.end(insert.offset);
        added.length = static_cast<std::uint32_t>(insert.bytes.size()) -
                       2 * static_cast<std::uint32_t>(xml::unitSize(m_shape.encoding)); // CR LF
        added.attributeCount = static_cast<std::uint32_t>(kDeviceEntryAttributes.size());
        const std::string_view tag =
            bytes().substr(static_cast<std::size_t>(added.offset), added.length);
        added.productId = locateValue(tag, kDeviceProductId, m_decoded);
        added.fileVersion = locateValue(tag, *edit.version, m_decoded);
        m_entries.push_back(added);
    }
}

} // namespace corvelan::catalogue
