#include "catalogue/catalogue.h"

#include "catalogue/repository.h"
#include "platform/file_system.h"
#include "xml/text_encoding.h"

#include <algorithm>
#include <cstring>

namespace corvelan::catalogue {
namespace {

class EntryCollector final : public xml::ScanHandler {
public:
    explicit EntryCollector(std::vector<CatalogueEntry> &entries) : m_entries(entries) {}

    void elementStart(std::int64_t offset, std::span<const xml::Attribute> attributes) override {
        CatalogueEntry entry;
        entry.span.offset = offset;
        entry.attributeCount = attributes.size();
        // strcmp stops at the first differing byte: most names are told apart at once.
        for (const xml::Attribute &attribute : attributes) {
            if (std::strcmp(attribute.name, kProductIdAttribute.data()) == 0)
                entry.productId = attribute.value;
            else if (std::strcmp(attribute.name, kFileVersionAttribute.data()) == 0)
                entry.fileVersion = attribute.value;
        }
        m_open.push_back(m_entries.size());
        m_entries.push_back(std::move(entry));
    }

    void elementEnd(std::int64_t end) override {
        CatalogueEntry &entry = m_entries[m_open.back()];
        entry.span.length = end - entry.span.offset;
        m_open.pop_back();
    }

private:
    std::vector<CatalogueEntry> &m_entries;
    std::vector<size_t> m_open;
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

} // namespace

bool CatalogueEntry::isDevice() const {
    return productId && *productId == kDeviceProductId;
}

Result<Catalogue> Catalogue::parse(std::string bytes) {
    Catalogue catalogue;
    catalogue.m_bytes = std::move(bytes);
    EntryCollector collector(catalogue.m_entries);
    auto shape = xml::scanDocument(catalogue.m_bytes, kEntryElement, &collector);
    if (!shape) return shape.error();
    catalogue.m_shape = std::move(shape).value();
    return catalogue;
}

Result<Catalogue> Catalogue::load(const std::string &hostPath) {
    // Read and parsed in one pass, so that a hostile file is refused as soon as the parser sees
    // it, long before it is all in memory.
    Catalogue catalogue;
    EntryCollector collector(catalogue.m_entries);
    xml::DocumentScanner scanner(kEntryElement, &collector);
    auto failed = [&hostPath](Error e) {
        e.path = hostPath;
        return e;
    };
    auto read = fs::readFileInPieces(
        hostPath, kMaxCatalogueSize, &catalogue.m_stamp,
        [&](std::string_view bytes, bool last) { return scanner.feed(bytes, last); });
    if (!read) return failed(read.error());
    catalogue.m_bytes = std::move(read).value();
    catalogue.m_shape = scanner.shape();
    return catalogue;
}

bool Catalogue::hasRepositoryRoot() const {
    return m_shape.rootUnprefixed && m_shape.rootLocalName == kRootElement;
}

std::vector<std::string> Catalogue::listing() const {
    std::vector<std::string> lines;
    lines.reserve(m_entries.size());
    for (const CatalogueEntry &entry : m_entries) {
        if (entry.attributeCount == 0) continue;
        std::string line;
        const std::string &product = entry.productId ? *entry.productId : std::string();
        const std::string &version = entry.fileVersion ? *entry.fileVersion : std::string();
        line.reserve(product.size() + kListSeparator.size() + version.size());
        line.append(product).append(kListSeparator).append(version);
        lines.push_back(std::move(line));
    }
    return lines;
}

Result<std::vector<xml::Splice>> Catalogue::planRemoveDeviceEntries() const {
    std::vector<xml::Splice> splices;
    std::int64_t coveredUntil = -1; // entries are in document order, so nested ones follow
    for (const CatalogueEntry &entry : m_entries) {
        if (!entry.isDevice() || entry.span.end() <= coveredUntil) continue;
        if (entry.span.offset == m_shape.rootStartTag.offset)
            return makeError(ErrorCode::EntryIsRoot);
        if (!holdsStartTag(m_bytes, entry.span.offset, kEntryElement, m_shape.encoding)) {
            Error e = makeError(ErrorCode::EntryFromEntity);
            e.offset = entry.span.offset;
            return e;
        }
        const xml::Span cut = cutFor(m_bytes, entry.span, m_shape.encoding);
        splices.push_back({cut.offset, cut.length, {}});
        coveredUntil = cut.end();
    }
    return splices;
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

Result<xml::Splice> Catalogue::planAppendDeviceEntry(std::string_view version) const {
    if (!hasRepositoryRoot()) {
        Error e = makeError(ErrorCode::NotRepository);
        e.name = m_shape.rootName;
        return e;
    }
    const xml::TextEncoding encoding = m_shape.encoding;
    const std::string entry = xml::encodeText(deviceEntryMarkup(version), encoding);
    if (m_shape.rootEndTag.length > 0) {
        if (!xml::holdsAscii(m_bytes, m_shape.rootEndTag.offset, "</" + m_shape.rootName, encoding))
            return makeError(ErrorCode::RootEndTagMissing);
        return xml::Splice{m_shape.rootEndTag.offset, 0, entry};
    }
    // An empty root "<DDXMLRepository/>" is opened up: its "/>" becomes ">", the entry and
    // the end tag.
    const std::int64_t close = m_shape.rootStartTag.end() - 2 * xml::unitSize(encoding);
    if (!xml::holdsAscii(m_bytes, close, "/>", encoding))
        return makeError(ErrorCode::EmptyRootNotOpened);
    return xml::Splice{close, 2 * xml::unitSize(encoding),
                       xml::encodeText(">", encoding) + entry +
                           xml::encodeText("</" + m_shape.rootName + ">", encoding)};
}

Result<Catalogue> Catalogue::edited(std::vector<xml::Splice> splices) const {
    auto result = parse(xml::applySplices(m_bytes, std::move(splices)));
    if (!result) {
        Error e = result.error();
        e.cause = e.code;
        e.code = ErrorCode::EditNotWellFormed;
        return e;
    }
    return result;
}

Result<Catalogue> Catalogue::withDeviceEntries(const std::string *version) const {
    auto cuts = planRemoveDeviceEntries();
    if (!cuts) return cuts.error();
    std::optional<xml::Splice> insert;
    if (version) {
        auto planned = planAppendDeviceEntry(*version);
        if (!planned) return planned.error();
        insert = std::move(planned).value();
    }
    if (auto fast = editedInPlace(cuts.value(), insert ? &*insert : nullptr, version))
        return std::move(*fast);
    std::vector<xml::Splice> splices = std::move(cuts).value();
    if (insert) splices.push_back(std::move(*insert));
    return edited(std::move(splices));
}

std::optional<Catalogue> Catalogue::editedInPlace(const std::vector<xml::Splice> &cuts,
                                                  const xml::Splice *insert,
                                                  const std::string *version) const {
    if (!xml::cutsAreLocal(m_bytes, cuts, m_shape, kEntryElement)) return std::nullopt;
    // Only an insert before the root's end tag is moved along; opening up an empty root is
    // rare enough to be parsed again whole.
    if (insert &&
        (insert->length != 0 || !xml::isWholeElement(insert->bytes, m_shape.encoding,
                                                     m_shape.encodingName, kEntryElement)))
        return std::nullopt;

    std::vector<xml::Splice> splices = cuts; // in document order, not overlapping
    if (insert) splices.push_back(*insert);
    const xml::SpliceShift shift(splices);
    Catalogue result;
    result.m_bytes = xml::applySplices(m_bytes, splices);
    result.m_shape = m_shape;
    result.m_shape.rootEndTag.offset = shift.start(m_shape.rootEndTag.offset);
    result.m_entries.reserve(m_entries.size() + 1);
    // Entries come in document order, and so do cuts: walk both together to skip those cut.
    std::size_t cut = 0;
    for (const CatalogueEntry &entry : m_entries) {
        while (cut < cuts.size() && cuts[cut].offset + cuts[cut].length <= entry.span.offset)
            ++cut;
        if (cut < cuts.size() && cuts[cut].offset <= entry.span.offset) continue; // gone with it
        CatalogueEntry kept = entry;
        kept.span.offset = shift.start(entry.span.offset);
        kept.span.length = shift.end(entry.span.end()) - kept.span.offset;
        result.m_entries.push_back(std::move(kept));
    }
    if (insert) {
        CatalogueEntry added;
        added.span.offset = shift.end(insert->offset);
        added.span.length = static_cast<std::int64_t>(insert->bytes.size()) -
                            2 * xml::unitSize(m_shape.encoding); // the CR LF after it
        added.attributeCount = kDeviceEntryAttributes.size();
        added.productId = std::string(kDeviceProductId);
        added.fileVersion = *version;
        result.m_entries.push_back(std::move(added));
    }
    return result;
}

Status Catalogue::saveTo(const std::string &hostPath, const Catalogue *onDisk) {
    const fs::ReplaceGuard guard{onDisk ? onDisk->m_stamp : fs::FileStamp{},
                                 onDisk ? std::string_view(onDisk->m_bytes) : std::string_view()};
    auto saved = fs::replaceFileContent(hostPath, m_bytes, onDisk ? &guard : nullptr);
    if (!saved) return saved.error();
    m_stamp = saved.value();
    return {};
}

} // namespace corvelan::catalogue
