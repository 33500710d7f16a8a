// The repository's folders proven and held for one install or remove (platform/trust.h), with the
// host names of the files the command changes in them. A run with more rights than the users who
// share the machine follows no link on the way and replaces no file that is one.
#pragma once

#include "base/result.h"
#include "catalogue/repository.h"
#include "platform/drive_map.h"
#include "platform/folder.h"

#include <optional>
#include <string>
#include <vector>

namespace corvelan::workflows {

struct HeldRepository {
    fs::Folder repository;
    std::optional<fs::Folder> pictures; // held for an install only
    std::string catalogue;              // the catalogue's name within `repository`
    // The names of an install's copies, in the order of catalogue::kInstalledFiles, each within
    // the folder that file goes to.
    std::vector<std::string> copies;

    // The folder the install's `index`-th copy goes to.
    [[nodiscard]] const fs::Folder &folderOfCopy(std::size_t index) const;
};

// The first of the repository's folders (catalogue::kRepositoryFolders) that `drives` lack; null
// when both are there.
[[nodiscard]] const catalogue::RepositoryFolder *missingFolder(const DriveMap &drives);

// Proves and holds every folder on the way to the Windows path `path` of `drives`, from its
// drive's root, as a run `elevated` or not may (fs::proveFolders), making those it lacks with
// `create`. Errors name folders by their Windows paths, or the Wine prefix by its host path.
[[nodiscard]] Result<std::vector<fs::Folder>>
proveWindowsPath(const DriveMap &drives, std::string_view path, bool elevated, bool create);

// Proves and holds the repository folder, and with `pictures` its pictures folder, on the drives
// of `drives`, as a run `elevated` or not may. Refused (LinksElsewhere, ForeignOwner) naming the
// folder's or file's Windows path, or the Wine prefix's host path, when it may not change them;
// fails as the folders cannot be opened otherwise.
[[nodiscard]] Result<HeldRepository> holdRepository(const DriveMap &drives, bool elevated,
                                                    bool pictures);

} // namespace corvelan::workflows
