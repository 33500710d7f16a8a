#include "catalogue/catalogue.h"

#include "catalogue/repository.h"
#include "platform/file_system.h"
#include "xml/text_encoding.h"

#include <algorithm>

namespace corvelan::catalogue {
namespace {

class EntryCollector final : public xml::ScanHandler {
public:
    explicit EntryCollector(std::vector<CatalogueEntry> &entries) : m_entries(entries) {}

    void elementStart(std::int64_t offset, std::span<const xml::Attribute> attributes) override {
        CatalogueEntry entry;
        entry.span.offset = offset;
        entry.attributeCount = attributes.size();
        for (const xml::Attribute &attribute : attributes) {
            if (attribute.name == kProductIdAttribute)
                entry.productId = std::string(attribute.value);
            else if (attribute.name == kFileVersionAttribute)
                entry.fileVersion = std::string(attribute.value);
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

Error refused(ErrorCode code, std::string detail) {
    Error e;
    e.code = code;
    e.detail = std::move(detail);
    return e;
}

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
        e.subject = hostPath;
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
        if (!holdsStartTag(m_bytes, entry.span.offset, kEntryElement, m_shape.encoding))
            return refused(ErrorCode::EditRefused,
                           "The device entry at byte " + std::to_string(entry.span.offset) +
                               " comes from an entity reference and cannot be removed exactly");
        splices.push_back({entry.span.offset, entry.span.length, {}});
        coveredUntil = entry.span.end();
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
    if (!hasRepositoryRoot())
        return refused(ErrorCode::NotRepository, "The root element is " + m_shape.rootName +
                                                     ", not " + std::string(kRootElement));
    const xml::TextEncoding encoding = m_shape.encoding;
    const std::string entry = xml::encodeText(deviceEntryMarkup(version), encoding);
    if (m_shape.rootEndTag.length > 0) {
        if (!xml::holdsAscii(m_bytes, m_shape.rootEndTag.offset, "</" + m_shape.rootName, encoding))
            return refused(ErrorCode::EditRefused, "The root element's end tag was not found");
        return xml::Splice{m_shape.rootEndTag.offset, 0, entry};
    }
    // An empty root "<DDXMLRepository/>" is opened up: its "/>" becomes ">", the entry and
    // the end tag.
    const std::int64_t close = m_shape.rootStartTag.end() - 2 * xml::unitSize(encoding);
    if (!xml::holdsAscii(m_bytes, close, "/>", encoding))
        return refused(ErrorCode::EditRefused, "The empty root element could not be opened");
    return xml::Splice{close, 2 * xml::unitSize(encoding),
                       xml::encodeText(">", encoding) + entry +
                           xml::encodeText("</" + m_shape.rootName + ">", encoding)};
}

Result<Catalogue> Catalogue::edited(std::vector<xml::Splice> splices) const {
    auto result = parse(xml::applySplices(m_bytes, std::move(splices)));
    if (!result)
        return refused(ErrorCode::EditRefused, "The edited catalogue would not be well-formed (" +
                                                   result.error().reason() + ")");
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
