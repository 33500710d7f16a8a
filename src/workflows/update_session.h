// The state the main window keeps for its whole life, and the workflows that run on it.
#pragma once

#include "catalogue/catalogue_file.h"
#include "platform/drive_map.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/trust.h"
#include "workflows/audit.h"
#include "workflows/held_repository.h"
#include "workflows/messages.h"
#include "workflows/outcome.h"
#include "workflows/ports.h"

#include <functional>
#include <optional>
#include <string>

namespace corvelan::workflows {

enum class StartupOutcome {
    Listed,
    RepositoryFolderMissing,
    PicturesFolderMissing,
    CatalogueNotLoaded,
};

// Host path of the folder that holds the tool's executable (and the pictures an install copies).
using ToolFolder = std::function<Result<std::string>()>;

class UpdateSession {
public:
    // A session on the repository of `drives`, copying the pictures from `toolFolder`, run with
    // `elevated`: more rights than the standard users who share the machine, so that it changes
    // only folders proven its own and follows no link (platform/trust.h). Each install and remove
    // leaves one event in `log`.
    explicit UpdateSession(DriveMap drives, ToolFolder toolFolder = fs::executableFolder,
                           bool elevated = fs::runsElevated(), EventLog &log = systemEventLog())
        : m_drives(std::move(drives)), m_toolFolder(std::move(toolFolder)), m_elevated(elevated),
          m_log(&log) {}

    // Tests the repository and pictures folders, loads the catalogue and lists it; or shows the
    // two status lines of the first failed test and disables Install. Runs once, at start-up.
    StartupOutcome startUp(ListView &view);

    // Clears the list and lists the loaded catalogue again.
    void refresh(ListView &view) const;

    // Takes every device entry out of the catalogue, saves it and lists it again. A catalogue
    // that is not loaded or cannot be saved, or a repository this run may not change, is
    // reported in an error box and nothing changes.
    Outcome remove(ListView &view, MessageBoxes &boxes);

    // Installs the description file at the Windows path `newFileName`: checks it, asks to confirm
    // its version, replaces the device entry, saves the catalogue, lists it again and copies the
    // file and the pictures into the repository. Every failure is shown in a box; nothing is
    // written before the user confirmed, and nothing is copied when the catalogue was not saved.
    // The file stays open from the check to the copy, so what is copied is what was checked.
    Outcome installDtm(const std::string &newFileName, ListView &view, MessageBoxes &boxes);

    // Every check that remove() and installDtm() make, the proof of the repository and whether
    // this process may change its files included, and what they would change, in `rehearsal`;
    // the outcome they would start with. Nothing is written, copied or logged; the boxes show
    // what the real command would show, and a confirmation is asked as it would be.
    Outcome rehearseRemove(MessageBoxes &boxes, Rehearsal &rehearsal);
    Outcome rehearseInstall(const std::string &newFileName, MessageBoxes &boxes,
                            Rehearsal &rehearsal);

    [[nodiscard]] const DriveMap &drives() const { return m_drives; }
    // The catalogue as last loaded or saved; null when start-up did not load it.
    [[nodiscard]] const catalogue::Catalogue *catalogue() const {
        return m_file ? &m_file->catalogue() : nullptr;
    }
    // Why the catalogue did not load, for a window that wants to say more than the status lines.
    [[nodiscard]] const std::optional<Error> &loadError() const { return m_loadError; }

private:
    using Plan = catalogue::CatalogueFile::Plan;
    // What a workflow does once its checks passed and the repository is held: the change made,
    // or rehearsed. The description is an install's, open since its check.
    using Finish = std::function<Outcome(const HeldRepository &held, const Plan &plan,
                                         fs::OpenFile *description, MessageBoxes &boxes)>;

    // The checks of a remove or an install, then `finish`; what it was about in `change`.
    Outcome runRemove(MessageBoxes &boxes, Change &change, const Finish &finish);
    Outcome runInstall(const std::string &newFileName, MessageBoxes &boxes, Change &change,
                       const Finish &finish);
    // `workflow` run with `boxes`, then its event in the log.
    Outcome logged(Workflow workflow, MessageBoxes &boxes,
                   const std::function<Outcome(MessageBoxes &, Change &)> &run);

    // Makes the change `plan` plans in the catalogue's file and lists it; after an error box that
    // says what `workflow` did not do, Refused when the catalogue is not the repository's, else
    // Failed.
    Outcome change(const HeldRepository &held, const Plan &plan, ListView &view,
                   MessageBoxes &boxes, Workflow workflow);
    Outcome copyInstalledFiles(const HeldRepository &held, fs::OpenFile &description,
                               MessageBoxes &boxes);
    // What `plan` would change, with the same refusals as change() and copyInstalledFiles();
    // `installed` is an install's version, empty for a remove.
    Outcome rehearse(const HeldRepository &held, const Plan &plan, fs::OpenFile *description,
                     MessageBoxes &boxes, const std::optional<std::string> &installed,
                     Rehearsal &rehearsal);
    // One step of an install's copies: the `index`-th file of catalogue::kInstalledFiles, from
    // the host path `picture`, or from the open description when that is empty.
    using CopyStep = std::function<Status(std::size_t index, const std::string &picture)>;
    // Runs `copy` for each of an install's files and shows those that failed in one box; the
    // description is named by its host path.
    Outcome copyEach(const std::string &description, MessageBoxes &boxes, const CopyStep &copy);
    // The repository held for `workflow`, or the box that says why this run may not change it.
    std::optional<HeldRepository> hold(Workflow workflow, MessageBoxes &boxes, Outcome &refused);

    DriveMap m_drives;
    ToolFolder m_toolFolder;
    bool m_elevated;
    EventLog *m_log;
    std::optional<catalogue::CatalogueFile> m_file;
    std::optional<Error> m_loadError;
};

} // namespace corvelan::workflows
