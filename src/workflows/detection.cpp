#include "workflows/detection.h"

#include "catalogue/catalogue_file.h"
#include "catalogue/repository.h"
#include "platform/file_system.h"
#include "workflows/held_repository.h"
#include "workflows/messages.h"

#include <vector>

namespace corvelan::workflows {
namespace {

Detection notInstalled(std::string reason) {
    return {Installed::No, {}, std::move(reason)};
}

Detection unknown(const Error &error) {
    return {Installed::Unknown, {}, messages::installedUnknown(error)};
}

// What stands at an installed file's place: true for a regular file, false for nothing or for
// what no install leaves there (a folder, a device).
Result<bool> isPresent(const DriveMap &drives, std::string_view windowsPath) {
    auto host = drives.hostPath(windowsPath);
    if (!host) return host.error().code == ErrorCode::NotFound ? Result<bool>(false) : host.error();
    auto opened = fs::OpenFile::open(host.value());
    if (opened) return true;
    const ErrorCode why = opened.error().code;
    if (why == ErrorCode::NotFound || why == ErrorCode::NotAFile ||
        why == ErrorCode::NotRegularFile)
        return false;
    return opened.error();
}

} // namespace

Detection detectInstalled(const DriveMap &drives, const std::optional<std::string> &version) {
    using namespace catalogue;
    if (const RepositoryFolder *missing = missingFolder(drives))
        return notInstalled(messages::folderMissing(missing->tested));
    auto loaded = CatalogueFile::loadFromRepository(drives);
    if (!loaded) {
        if (loaded.error().code != ErrorCode::NotFound) return unknown(loaded.error());
        return notInstalled(messages::catalogueMissing());
    }
    const Catalogue &catalogue = loaded->catalogue();
    if (!catalogue.hasRepositoryRoot()) return notInstalled(messages::catalogueNotRepository());
    const std::vector<std::string> versions = catalogue.deviceVersions();
    if (versions.size() != 1) return notInstalled(messages::deviceEntries(versions.size()));
    if (version && versions.front() != *version)
        return notInstalled(messages::otherVersion(*version, versions.front()));
    std::vector<std::string> missing;
    for (const InstalledFile &file : kInstalledFiles) {
        auto present = isPresent(drives, file.destination);
        if (!present) return unknown(present.error());
        if (!present.value()) missing.emplace_back(file.destination);
    }
    if (!missing.empty()) return notInstalled(messages::filesMissing(missing));
    return {Installed::Yes, deviceListLine(versions.front()), {}};
}

} // namespace corvelan::workflows
