// The peer the tool is measured against: what a developer would otherwise write for the same
// job, a libxml2 DOM. It lives in bench/ only and is never part of the tool.
#pragma once

#include <string>
#include <vector>

namespace corvelan::bench {

class DomCatalogue {
public:
    // Loads the whole file into a tree; false when it is not well-formed.
    bool load(const std::string &path);
    ~DomCatalogue();

    // One line per File element with attributes, as the tool lists them.
    [[nodiscard]] std::vector<std::string> listing() const;

    // Removes every device entry, appends the new one and a CR LF text node, and saves the tree
    // durably and atomically (temporary file, fsync, rename). False when the save failed.
    bool install(const std::string &version, const std::string &path);

private:
    void *m_doc = nullptr; // xmlDocPtr
};

} // namespace corvelan::bench
