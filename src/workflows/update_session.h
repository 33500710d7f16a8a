// The state the main window keeps for its whole life, and the workflows that run on it.
#pragma once

#include "catalogue/catalogue.h"
#include "platform/drive_map.h"
#include "workflows/ports.h"

#include <optional>
#include <string>

namespace corvelan::workflows {

enum class StartupOutcome {
    Listed,
    RepositoryFolderMissing,
    PicturesFolderMissing,
    CatalogueNotLoaded,
};

class UpdateSession {
public:
    explicit UpdateSession(DriveMap drives) : m_drives(std::move(drives)) {}

    // Tests the repository and pictures folders, loads the catalogue and lists it; or shows the
    // two status lines of the first failed test and disables Install. Runs once, at start-up.
    StartupOutcome startUp(ListView &view);

    // Clears the list and lists the loaded catalogue again.
    void refresh(ListView &view) const;

    [[nodiscard]] const DriveMap &drives() const { return m_drives; }
    // The catalogue as last loaded or saved; empty when start-up did not load it.
    [[nodiscard]] const std::optional<catalogue::Catalogue> &catalogue() const {
        return m_catalogue;
    }
    // Why the catalogue did not load, for a window that wants to say more than the status lines.
    [[nodiscard]] const std::optional<Error> &loadError() const { return m_loadError; }

private:
    DriveMap m_drives;
    std::string m_catalogueLoadPath;
    std::optional<catalogue::Catalogue> m_catalogue;
    std::optional<Error> m_loadError;
};

} // namespace corvelan::workflows
