#include "workflows/held_repository.h"

#include "catalogue/repository.h"
#include "platform/file_system.h"
#include "platform/trust.h"
#include "platform/windows_names.h"

namespace corvelan::workflows {
namespace {

// The host name of the last part of the Windows path `path`.
Result<std::string> hostNameOf(const DriveMap &drives, std::string_view path) {
    auto host = drives.hostPath(path);
    if (!host) return host.error();
    return fs::nameOf(host.value());
}

} // namespace

const catalogue::RepositoryFolder *missingFolder(const DriveMap &drives) {
    for (const catalogue::RepositoryFolder &folder : catalogue::kRepositoryFolders)
        if (!drives.folderExists(folder.tested)) return &folder;
    return nullptr;
}

const fs::Folder &HeldRepository::folderOfCopy(std::size_t index) const {
    return catalogue::kInstalledFiles[index].pictureName.empty() ? repository : *pictures;
}

Result<std::vector<fs::Folder>> proveWindowsPath(const DriveMap &drives, std::string_view path,
                                                 bool elevated, bool create) {
    auto resolved = drives.resolve(path);
    auto parsed = parseWindowsPath(path);
    if (!resolved) return resolved.error();
    if (!parsed) return parsed.error();
    // Each folder on the way, as the host names it and as the user knows it.
    std::vector<fs::FolderStep> steps;
    std::string shown = std::string(1, parsed->letter) + ":";
    for (std::size_t i = 0; i < resolved->parts.size(); ++i) {
        shown += "\\" + parsed->parts[i];
        steps.push_back({resolved->parts[i], shown});
    }
    auto folders = fs::proveFolders(drives.prefix(), resolved->root, steps, elevated, create);
    if (!folders) {
        Error e = folders.error();
        // The drive's root itself: the folder the user knows it by.
        if (e.path == resolved->root) e.path = std::string(1, parsed->letter) + ":\\";
        return e;
    }
    return folders;
}

Result<HeldRepository> holdRepository(const DriveMap &drives, bool elevated, bool pictures) {
    auto folders = proveWindowsPath(
        drives, pictures ? catalogue::kPicturesDirShown : catalogue::kRepositoryDir, elevated,
        false);
    if (!folders) return folders.error();
    HeldRepository held{
        std::move(folders->at(folders->size() - (pictures ? 2 : 1))), std::nullopt, {}, {}};
    if (pictures) held.pictures = std::move(folders->back());

    // What the command will replace, by the names the host gives them: a link among them is
    // refused before anything changes.
    auto target = [&](const fs::Folder &folder, std::string_view path) -> Result<std::string> {
        auto name = hostNameOf(drives, path);
        if (name && folder.links() == fs::Links::Refuse && folder.holdsLink(name.value()))
            return makeError(ErrorCode::LinksElsewhere, std::string(path));
        return name;
    };
    auto catalogueName = target(held.repository, catalogue::kCatalogueSavePath);
    if (!catalogueName) return catalogueName.error();
    held.catalogue = std::move(catalogueName).value();
    for (std::size_t i = 0; pictures && i < catalogue::kInstalledFiles.size(); ++i) {
        auto name = target(held.folderOfCopy(i), catalogue::kInstalledFiles[i].destination);
        if (!name) return name.error();
        held.copies.push_back(std::move(name).value());
    }
    return held;
}

} // namespace corvelan::workflows
