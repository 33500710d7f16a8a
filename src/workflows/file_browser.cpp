#include "workflows/file_browser.h"

#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/windows_names.h"

#include <algorithm>

namespace corvelan::workflows {
namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Sorts names as Windows lists them: without regard to case, ties by their bytes.
void sortNames(std::vector<std::string> &names) {
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        return compareNamesIgnoringCase(a, b) < 0;
    });
}

bool matchesXmlPattern(const std::string &name) {
    if (name.size() < 4) return false;
    const std::string tail = name.substr(name.size() - 4);
    return tail[0] == '.' && lower(tail[1]) == 'x' && lower(tail[2]) == 'm' &&
           lower(tail[3]) == 'l';
}

// Leaves the names the window can show: not hidden (a leading dot, as Wine shows them), and
// addressable, so that the path composed from a listed name leads to that very file.
void keepListable(std::vector<std::string> &names) {
    std::erase_if(names, [](const std::string &name) {
        return name.starts_with('.') || !isAddressableName(name);
    });
}

// True when every folder of the Windows path `path` ("C:\a\b") can be named exactly.
bool isAddressablePath(const std::string &path) {
    size_t start = 3;
    while (start < path.size()) {
        const size_t end = std::min(path.find('\\', start), path.size());
        if (!isAddressableName(std::string_view(path).substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

} // namespace

std::string normaliseFolderPath(const std::string &path) {
    if (path.size() < 2 || path[1] != ':') return path;
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 2; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\' || path[i] == '/') {
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += path[i];
        }
    }
    std::string out = path.substr(0, 2) + "\\";
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i ? "\\" : "") + parts[i];
    return out;
}

std::string composeFilePath(const std::string &folder, const std::string &name) {
    std::string out = folder;
    if (out.empty() || out.back() != '\\') out += '\\';
    return out + name;
}

std::vector<DriveChoice> FileBrowser::drives() const {
    std::vector<DriveChoice> out;
    for (const Drive &drive : m_drives.drives())
        out.push_back({drive.letter, std::string(1, drive.letter) + ":" +
                                         (drive.label.empty() ? "" : " [" + drive.label + "]")});
    return out;
}

Status FileBrowser::open(const std::string &windowsFolder) {
    const std::string path = normaliseFolderPath(windowsFolder);
    auto host = m_drives.hostPath(path);
    if (!host) {
        Error e = host.error();
        e.subject = path;
        return e;
    }
    auto contents = fs::listFolder(host.value());
    if (!contents) {
        Error e = contents.error();
        e.subject = path;
        e.detail.clear();
        return e;
    }
    m_path = path;
    m_subFolders = std::move(contents->folders);
    m_files.clear();
    for (std::string &name : contents->files)
        if (matchesXmlPattern(name)) m_files.push_back(std::move(name));
    keepListable(m_subFolders);
    keepListable(m_files);
    sortNames(m_subFolders);
    sortNames(m_files);
    return {};
}

Status FileBrowser::openCurrentFolder() {
    // A current folder whose Windows path would lead elsewhere is not shown; the drive's root is.
    if (auto current = fs::currentFolder(); current) {
        const std::string path = m_drives.windowsPath(current.value());
        if (isAddressablePath(path))
            if (Status s = open(path); s) return s;
    }
    const auto all = drives();
    if (all.empty()) {
        return makeError(ErrorCode::NotFound, {}, "No drive is mapped");
    }
    return open(std::string(1, static_cast<char>(all.front().letter - 32)) + ":\\");
}

char FileBrowser::driveLetter() const {
    return m_path.empty() ? '\0' : lower(m_path[0]);
}

std::vector<FolderLevel> FileBrowser::chain() const {
    std::vector<FolderLevel> levels;
    if (m_path.size() < 3) return levels;
    levels.push_back({m_path.substr(0, 3), m_path.substr(0, 3)});
    size_t start = 3;
    while (start < m_path.size()) {
        const size_t end = std::min(m_path.find('\\', start), m_path.size());
        levels.push_back({m_path.substr(start, end - start), m_path.substr(0, end)});
        start = end + 1;
    }
    return levels;
}

} // namespace corvelan::workflows
