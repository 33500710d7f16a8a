#include "workflows/file_browser.h"
#include "base/ascii.h"

#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/process.h"
#include "platform/windows_names.h"
#include "workflows/messages.h"

#include <algorithm>

namespace corvelan::workflows {
namespace {

// Sorts names as Windows lists them: without regard to case, ties by their bytes.
void sortNames(std::vector<std::string> &names) {
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        return compareNamesIgnoringCase(a, b) < 0;
    });
}

bool matchesXmlPattern(const std::string &name) {
    if (name.size() < 4) return false;
    return equalsIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".xml");
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
    // Taken apart as Windows takes it; the letter keeps the case it was given in.
    auto parsed = parseWindowsPath(path);
    if (!parsed) return path;
    std::string out = path.substr(0, 2) + "\\";
    for (std::size_t i = 0; i < parsed->parts.size(); ++i)
        out += (i ? "\\" : "") + parsed->parts[i];
    return out;
}

std::string composeFilePath(const std::string &folder, const std::string &name) {
    std::string out = folder;
    if (out.empty() || out.back() != '\\') out += '\\';
    return out + name;
}

FileBrowser::FileBrowser(DriveMap drives) : m_drives(std::move(drives)) {
    for (const Drive &drive : m_drives.drives())
        m_driveRows.push_back(
            {drive.letter, std::string(1, drive.letter) + ":" +
                               (drive.label.empty() ? "" : " [" + drive.label + "]")});
}

Status FileBrowser::open(const std::string &windowsFolder) {
    const std::string path = normaliseFolderPath(windowsFolder);
    auto host = m_drives.hostPath(path);
    if (!host) {
        Error e = host.error();
        e.path = path;
        return e;
    }
    auto contents = fs::listFolder(host.value());
    if (!contents) {
        // The folder's path and the system's reason say it all.
        Error e = contents.error();
        e.path = path;
        e.operation = fs::FileOperation::None;
        return e;
    }
    m_path = path;
    std::vector<std::string> subFolders = std::move(contents->folders);
    m_files.clear();
    for (std::string &name : contents->files)
        if (matchesXmlPattern(name)) m_files.push_back(std::move(name));
    keepListable(subFolders);
    keepListable(m_files);
    sortNames(subFolders);
    sortNames(m_files);

    // The chain of folders from the drive's root down to the current one, then its sub-folders,
    // each indented one step deeper than its parent.
    m_folderRows.clear();
    std::string indent;
    m_folderRows.push_back({m_path.substr(0, 3), m_path.substr(0, 3), true});
    for (size_t start = 3; start < m_path.size();) {
        const size_t end = std::min(m_path.find('\\', start), m_path.size());
        indent += "  ";
        m_folderRows.push_back(
            {indent + m_path.substr(start, end - start), m_path.substr(0, end), true});
        start = end + 1;
    }
    indent += "  ";
    for (const std::string &name : subFolders)
        m_folderRows.push_back({indent + name, composeFilePath(m_path, name), false});
    return {};
}

Status FileBrowser::openCurrentFolder() {
    // A current folder whose Windows path would lead elsewhere is not shown; the drive's root is.
    if (auto current = fs::currentFolder(); current) {
        const std::string path = m_drives.windowsPath(current.value());
        if (isAddressablePath(path))
            if (Status s = open(path); s) return s;
    }
    if (m_driveRows.empty()) return makeError(ErrorCode::NoDrive);
    return open(driveName(m_driveRows.front().letter) + "\\");
}

bool FileBrowser::chooseDrive(int driveRow, MessageBoxes &boxes) {
    if (driveRow < 0 || static_cast<size_t>(driveRow) >= m_driveRows.size()) return false;
    // The drive's root, not the folder last used on that drive.
    if (Status s = open(driveName(m_driveRows[static_cast<size_t>(driveRow)].letter) + "\\"); !s) {
        const Message box = messages::folderUnreadable(s.error());
        boxes.show(box.text, box.title, box.style);
        return false;
    }
    return true;
}

bool FileBrowser::chooseFolder(int folderRow, MessageBoxes &boxes) {
    if (folderRow < 0 || static_cast<size_t>(folderRow) >= m_folderRows.size()) return false;
    if (Status s = open(m_folderRows[static_cast<size_t>(folderRow)].path); !s) {
        const Message box = messages::folderUnreadable(s.error());
        boxes.show(box.text, box.title, box.style);
        return false;
    }
    return true;
}

std::string FileBrowser::pathToOpen(int fileRow) const {
    const bool selected = fileRow >= 0 && static_cast<size_t>(fileRow) < m_files.size();
    return composeFilePath(m_path, selected ? m_files[static_cast<size_t>(fileRow)] : "");
}

int FileBrowser::currentDriveRow() const {
    const char letter = m_path.empty() ? '\0' : asciiLower(m_path[0]);
    for (size_t i = 0; i < m_driveRows.size(); ++i)
        if (m_driveRows[i].letter == letter) return static_cast<int>(i);
    return -1;
}

int FileBrowser::currentFolderRow() const {
    int last = -1;
    for (size_t i = 0; i < m_folderRows.size() && m_folderRows[i].open; ++i)
        last = static_cast<int>(i);
    return last;
}

} // namespace corvelan::workflows
