// The state the main window keeps for its whole life, and the workflows that run on it.
#pragma once

#include "catalogue/catalogue_file.h"
#include "platform/drive_map.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/trust.h"
#include "workflows/audit.h"
#include "workflows/held_repository.h"
#include "workflows/history.h"
#include "workflows/messages.h"
#include "workflows/outcome.h"
#include "workflows/ports.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

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

    // Puts back what the history kept in generation `number` (the newest when empty), undoing the
    // changes since: checks every kept file against its manifest, asks to confirm the version it
    // goes back to, keeps the state now as a generation of its own, then makes the device's
    // entries, description and pictures what they were then, other entries untouched, and lists
    // the catalogue again. Every refusal and failure is shown in a box, and nothing is changed.
    Outcome restore(std::optional<int> number, ListView &view, MessageBoxes &boxes);

    // Every check that remove() and installDtm() make, the proof of the repository and whether
    // this process may change its files included, and what they would change, in `rehearsal`;
    // the outcome they would start with. Nothing is written, copied or logged; the boxes show
    // what the real command would show, and a confirmation is asked as it would be.
    Outcome rehearseRemove(MessageBoxes &boxes, Rehearsal &rehearsal);
    Outcome rehearseInstall(const std::string &newFileName, MessageBoxes &boxes,
                            Rehearsal &rehearsal);
    Outcome rehearseRestore(std::optional<int> number, MessageBoxes &boxes, Rehearsal &rehearsal);

    // The generations of the history, newest first; empty when there is none, or it may not be
    // read by this run.
    [[nodiscard]] std::vector<Generation> history() const;

    [[nodiscard]] const DriveMap &drives() const { return m_drives; }
    // The catalogue as last loaded or saved; null when start-up did not load it.
    [[nodiscard]] const catalogue::Catalogue *catalogue() const {
        return m_file ? &m_file->catalogue() : nullptr;
    }
    // Why the catalogue did not load, for a window that wants to say more than the status lines.
    [[nodiscard]] const std::optional<Error> &loadError() const { return m_loadError; }

private:
    struct Command;  // a command prepared to run (update_session.cpp)
    struct Ending;   // how a command ended, and the box that tells the user why
    struct Prepared; // a command, or the ending its checks stopped at, and what its event records
    struct Payload;  // what a command takes beside the folders: a description, a kept state

    // The checks of a remove or an install, in the order the user meets them: the description,
    // the confirmation (asked through `boxes`), the catalogue, the repository held.
    Prepared prepareRemove() const;
    Prepared prepareInstall(const std::string &newFileName, MessageBoxes &boxes) const;
    Prepared prepareRestore(std::optional<int> number, MessageBoxes &boxes) const;
    // The checks all share, the catalogue loaded, the repository and the history held (`history`
    // when the caller holds it already), then the command.
    Prepared prepareCommand(Change change, Payload payload, catalogue::CatalogueFile::Plan plan,
                            std::optional<History> history = std::nullopt) const;
    // What an event of `workflow` records before anything was checked.
    [[nodiscard]] Change changeOf(Workflow workflow) const;

    // The catalogue could not be changed: refused when it is not the repository's, else failed.
    static Ending notSaved(const Error &error, Workflow workflow);
    // Keeps the state now in the history, then makes the change, catalogue first, then the
    // files; lists the catalogue it saved.
    Ending commit(Command &command, ListView &view);
    // Keeps a generation of the device's part before `command` changes `base` (`writes`: the
    // catalogue's bytes), unless nothing would change at all; its number.
    Result<std::optional<int>> keepGeneration(Command &command, const catalogue::Catalogue &base,
                                              bool writes) const;
    // What commit() would change, with its refusals, in `rehearsal`.
    Ending rehearse(Command &command, Rehearsal &rehearsal) const;
    // Runs `copy(source, folder, name, destination)` for each of an install's or a restore's
    // files, the source the open description, a picture's host path or the kept file, the
    // destination its Windows path, or `remove(folder, name, destination)` for one a restore
    // finds absent in its generation, and gathers those that failed in one ending.
    template <typename Copy, typename Remove>
    Ending copyEach(Command &command, const Copy &copy, const Remove &remove) const;

    // Shows the box of `ending`, and with `change` leaves the event of how it ended in the log.
    Outcome finish(const Ending &ending, MessageBoxes &boxes, const Change *change);

    DriveMap m_drives;
    ToolFolder m_toolFolder;
    bool m_elevated;
    EventLog *m_log;
    std::optional<catalogue::CatalogueFile> m_file;
    std::optional<Error> m_loadError;
};

} // namespace corvelan::workflows
