#include "dom_peer.h"

#include "catalogue/repository.h"
#include "platform/file_system.h"
#include "support/path_files.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <cstring>

namespace corvelan::bench {
namespace {

const char *text(const xmlChar *s) {
    return reinterpret_cast<const char *>(s);
}
const xmlChar *xml(const char *s) {
    return reinterpret_cast<const xmlChar *>(s);
}

// The File elements in document order, as "//File" selects them.
std::vector<xmlNodePtr> fileElements(xmlDocPtr doc) {
    std::vector<xmlNodePtr> nodes;
    xmlXPathContextPtr context = xmlXPathNewContext(doc);
    xmlXPathObjectPtr found = xmlXPathEvalExpression(xml("//File"), context);
    if (found && found->nodesetval)
        for (int i = 0; i < found->nodesetval->nodeNr; ++i)
            nodes.push_back(found->nodesetval->nodeTab[i]);
    xmlXPathFreeObject(found);
    xmlXPathFreeContext(context);
    return nodes;
}

std::string attribute(xmlNodePtr node, const char *name, bool &present) {
    xmlChar *value = xmlGetNoNsProp(node, xml(name));
    present = value != nullptr;
    std::string out = value ? text(value) : "";
    xmlFree(value);
    return out;
}

} // namespace

bool DomCatalogue::load(const std::string &path) {
    m_doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_HUGE);
    return m_doc != nullptr;
}

DomCatalogue::~DomCatalogue() {
    if (m_doc) xmlFreeDoc(static_cast<xmlDocPtr>(m_doc));
}

std::vector<std::string> DomCatalogue::listing() const {
    std::vector<std::string> lines;
    for (xmlNodePtr node : fileElements(static_cast<xmlDocPtr>(m_doc))) {
        if (!node->properties) continue;
        bool present = false;
        lines.push_back(attribute(node, "ProductID", present) +
                        "  Revision: " + attribute(node, "Fileversion", present));
    }
    return lines;
}

bool DomCatalogue::install(const std::string &version, const std::string &path) {
    auto doc = static_cast<xmlDocPtr>(m_doc);
    for (xmlNodePtr node : fileElements(doc)) {
        bool present = false;
        if (attribute(node, "ProductID", present) == "QVX TSR 7700") {
            xmlUnlinkNode(node);
            xmlFreeNode(node);
        }
    }
    xmlNodePtr root = xmlDocGetRootElement(doc);
    xmlNodePtr entry = xmlNewChild(root, nullptr, xml("File"), nullptr);
    for (const auto &[name, value] : catalogue::kDeviceEntryAttributes) {
        const std::string text(name == "Fileversion" ? version : value);
        xmlSetProp(entry, xml(std::string(name).c_str()), xml(text.c_str()));
    }
    xmlAddChild(root, xmlNewText(xml("\r\n")));

    xmlChar *bytes = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(doc, &bytes, &size, "utf-8");
    const bool saved =
        test::replaceFileContent(path, std::string_view(text(bytes), static_cast<size_t>(size)))
            .ok();
    xmlFree(bytes);
    return saved;
}

} // namespace corvelan::bench
