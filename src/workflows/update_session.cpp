#include "workflows/update_session.h"

#include "catalogue/repository.h"
#include "platform/file_system.h"
#include "workflows/messages.h"
#include "xml/description_reader.h"

#include <algorithm>
#include <ctime>
#include <iterator>
#include <utility>
#include <vector>

namespace corvelan::workflows {

using catalogue::CatalogueFile;

struct UpdateSession::Payload {
    std::optional<fs::OpenFile> description; // an install's, open since its check
    std::optional<KeptState> kept;           // a restore's, checked against its manifest
    std::vector<std::string> after;          // the device's versions the command leaves
};

// A command with every check made, the confirmation answered, the repository and the history
// held: what commit() changes and rehearse() looks at.
struct UpdateSession::Command {
    Workflow workflow;
    HeldRepository held;
    std::optional<History> history; // empty until the first generation makes it
    CatalogueFile::Plan plan;
    Payload payload;
};

struct UpdateSession::Ending {
    Outcome outcome = Outcome::Done;
    std::optional<Message> box; // what the user is told when it was refused or failed
    // The device's versions in the catalogue the change was made on, when it was made.
    std::optional<std::vector<std::string>> versionsBefore;
    std::size_t copied = 0; // files copied or removed
};

struct UpdateSession::Prepared {
    std::optional<Command> command; // empty when a check stopped it
    Ending stopped;                 // then, how it ended
    Change change;                  // what the command is about, for its event
};

namespace {

constexpr std::string_view kProductName = "QVXTSR7700";

void showStatus(ListView &view, std::string_view first, std::string_view second) {
    view.addLine(std::string(first));
    view.addLine(std::string(second));
    view.setInstallEnabled(false);
}

void listCatalogue(const catalogue::Catalogue &catalogue, ListView &view) {
    view.addLines(catalogue.listing());
}

} // namespace

StartupOutcome UpdateSession::startUp(ListView &view) {
    using namespace catalogue;
    if (const RepositoryFolder *missing = missingFolder(m_drives)) {
        showStatus(view, messages::kFolderMissingStatus, missing->shown);
        return missing->tested == kRepositoryDir ? StartupOutcome::RepositoryFolderMissing
                                                 : StartupOutcome::PicturesFolderMissing;
    }
    auto loaded = CatalogueFile::loadFromRepository(m_drives);
    if (!loaded) {
        m_loadError = loaded.error();
        showStatus(view, messages::kFileMissingStatus, kCatalogueSavePath);
        return StartupOutcome::CatalogueNotLoaded;
    }
    m_file = std::move(loaded).value();
    listCatalogue(m_file->catalogue(), view);
    return StartupOutcome::Listed;
}

void UpdateSession::refresh(ListView &view) const {
    view.clearList();
    if (m_file) listCatalogue(m_file->catalogue(), view);
}

Outcome UpdateSession::remove(ListView &view, MessageBoxes &boxes) {
    Prepared prepared = prepareRemove();
    const Ending ending = prepared.command ? commit(*prepared.command, view) : prepared.stopped;
    return finish(ending, boxes, &prepared.change);
}

Outcome UpdateSession::installDtm(const std::string &newFileName, ListView &view,
                                  MessageBoxes &boxes) {
    Prepared prepared = prepareInstall(newFileName, boxes);
    const Ending ending = prepared.command ? commit(*prepared.command, view) : prepared.stopped;
    return finish(ending, boxes, &prepared.change);
}

Outcome UpdateSession::restore(std::optional<int> number, ListView &view, MessageBoxes &boxes) {
    Prepared prepared = prepareRestore(number, boxes);
    const Ending ending = prepared.command ? commit(*prepared.command, view) : prepared.stopped;
    return finish(ending, boxes, &prepared.change);
}

Outcome UpdateSession::rehearseRestore(std::optional<int> number, MessageBoxes &boxes,
                                       Rehearsal &rehearsal) {
    Prepared prepared = prepareRestore(number, boxes);
    const Ending ending =
        prepared.command ? rehearse(*prepared.command, rehearsal) : prepared.stopped;
    return finish(ending, boxes, nullptr);
}

std::vector<Generation> UpdateSession::history() const {
    auto history = History::hold(m_drives, m_elevated, false);
    return history ? history->generations() : std::vector<Generation>();
}

Outcome UpdateSession::rehearseRemove(MessageBoxes &boxes, Rehearsal &rehearsal) {
    Prepared prepared = prepareRemove();
    const Ending ending =
        prepared.command ? rehearse(*prepared.command, rehearsal) : prepared.stopped;
    return finish(ending, boxes, nullptr);
}

Outcome UpdateSession::rehearseInstall(const std::string &newFileName, MessageBoxes &boxes,
                                       Rehearsal &rehearsal) {
    Prepared prepared = prepareInstall(newFileName, boxes);
    const Ending ending =
        prepared.command ? rehearse(*prepared.command, rehearsal) : prepared.stopped;
    return finish(ending, boxes, nullptr);
}

Outcome UpdateSession::finish(const Ending &ending, MessageBoxes &boxes, const Change *change) {
    if (ending.box) boxes.show(ending.box->text, ending.box->title, ending.box->style);
    if (change) {
        Change made = *change;
        if (ending.versionsBefore) made.versionsBefore = ending.versionsBefore;
        m_log->write(eventOf(made, ending.outcome, ending.box ? ending.box->text : std::string()));
    }
    return ending.outcome;
}

Change UpdateSession::changeOf(Workflow workflow) const {
    Change change;
    change.workflow = workflow;
    change.user = fs::currentUser();
    auto catalogueHost = m_drives.hostPath(catalogue::kCatalogueSavePath);
    change.catalogue =
        catalogueHost ? catalogueHost.value() : std::string(catalogue::kCatalogueSavePath);
    if (m_file) change.versionsBefore = m_file->catalogue().deviceVersions();
    return change;
}

namespace {

// How a check of the repository's or the history's folders stopped a command: refused when this
// run may not change them, failed when they could not be opened.
Outcome outcomeOfHold(const Error &error) {
    const ErrorCode why = error.code;
    return why == ErrorCode::LinksElsewhere || why == ErrorCode::ForeignOwner ||
                   why == ErrorCode::NotFound || why == ErrorCode::NotAFile
               ? Outcome::Refused
               : Outcome::Failed;
}

} // namespace

UpdateSession::Prepared UpdateSession::prepareRemove() const {
    return prepareCommand(changeOf(Workflow::Remove), {},
                          [](const catalogue::Catalogue &base) { return base.planRemoval(); });
}

UpdateSession::Prepared UpdateSession::prepareInstall(const std::string &newFileName,
                                                      MessageBoxes &boxes) const {
    Change change = changeOf(Workflow::Install);
    change.description = newFileName;
    auto refused = [&change](Message box) {
        return Prepared{std::nullopt, {Outcome::Refused, std::move(box), {}}, std::move(change)};
    };
    // Held open from the check to the copy: a file renamed over the path meanwhile is not copied.
    auto host = m_drives.hostPath(newFileName);
    auto description = host ? fs::OpenFile::open(host.value()) : Result<fs::OpenFile>(host.error());
    if (!description) return refused(messages::notADtmFile(newFileName));
    change.description = description->path();
    auto facts = xml::readDescription([&](std::size_t pieceSize, const xml::PieceHandler &piece) {
        return description->readAll(pieceSize, piece);
    });
    // Named by its digest when the check read it whole; a file refused early is not read on for
    // it (it may be gigabytes).
    change.sha256 = description->sha256().value_or("");
    if (!facts) return refused(messages::notADtmFile(newFileName));
    if (!facts->rootIsProfile) return refused(messages::notADeviceProfile(newFileName));
    const std::string product = facts->productName.value_or("");
    if (product != kProductName) return refused(messages::wrongProduct(product));
    const std::string version = facts->version.value_or("");
    change.version = version;
    const Message confirm = messages::confirmVersion(version);
    if (boxes.show(confirm.text, confirm.title, confirm.style) == BoxAnswer::No)
        return Prepared{std::nullopt, {Outcome::Declined, {}, {}}, std::move(change)};
    return prepareCommand(
        std::move(change), {std::move(description).value(), std::nullopt, {version}},
        [version](const catalogue::Catalogue &base) { return base.planInstall(version); });
}

UpdateSession::Prepared UpdateSession::prepareRestore(std::optional<int> number,
                                                      MessageBoxes &boxes) const {
    Change change = changeOf(Workflow::Restore);
    change.description = std::string(kHistoryDir);
    auto stopped = [&change](Outcome outcome, Message box) {
        return Prepared{std::nullopt, {outcome, std::move(box), {}}, std::move(change)};
    };
    auto history = History::hold(m_drives, m_elevated, false);
    if (!history && history.error().code == ErrorCode::NotFound)
        return stopped(Outcome::Refused, messages::nothingToRestore());
    if (!history)
        return stopped(outcomeOfHold(history.error()),
                       messages::repositoryRefused(history.error(), Workflow::Restore));
    const std::vector<Generation> generations = history->generations();
    if (generations.empty()) return stopped(Outcome::Refused, messages::nothingToRestore());
    auto target = number ? std::find_if(generations.begin(), generations.end(),
                                        [&](const Generation &g) { return g.number == *number; })
                         : generations.begin();
    if (target == generations.end())
        return stopped(Outcome::Refused, messages::noSuchGeneration(*number));
    change.description += std::to_string(target->number) + "\\";
    change.version = versionList(target->before);
    auto kept = history->open(*target);
    if (!kept) return stopped(Outcome::Refused, messages::keptFileDamaged(kept.error()));
    // The versions it goes back to were left by the command of the generation kept just before.
    const auto older = std::next(target);
    const Generation *leftBy =
        older != generations.end() && older->after == target->before ? &*older : nullptr;
    const Message confirm = messages::confirmRestore(*target, leftBy);
    if (boxes.show(confirm.text, confirm.title, confirm.style) == BoxAnswer::No)
        return Prepared{std::nullopt, {Outcome::Declined, {}, {}}, std::move(change)};
    catalogue::DevicePart part = kept->catalogue;
    return prepareCommand(
        std::move(change), {std::nullopt, std::move(kept).value(), target->before},
        [part = std::move(part)](const catalogue::Catalogue &base) {
            return base.planRestore(part);
        },
        std::move(history).value());
}

UpdateSession::Prepared UpdateSession::prepareCommand(Change change, Payload payload,
                                                      CatalogueFile::Plan plan,
                                                      std::optional<History> history) const {
    const Workflow workflow = change.workflow;
    auto stopped = [&change](Outcome outcome, Message box) {
        return Prepared{std::nullopt, {outcome, std::move(box), {}}, std::move(change)};
    };
    if (!m_file) return stopped(Outcome::Refused, messages::catalogueNotLoaded(workflow));
    // Every command that may write holds the pictures too: the history keeps them.
    auto held = holdRepository(m_drives, m_elevated, true);
    if (!held)
        return stopped(outcomeOfHold(held.error()),
                       messages::repositoryRefused(held.error(), workflow));
    if (!history) {
        // Not made here, so that a rehearsal changes nothing: the first generation makes it.
        auto found = History::hold(m_drives, m_elevated, false);
        if (!found && found.error().code != ErrorCode::NotFound)
            return stopped(outcomeOfHold(found.error()),
                           messages::repositoryRefused(found.error(), workflow));
        if (found) history = std::move(found).value();
    }
    // The way back is never skipped: a run that may not write it changes nothing.
    if (Status may = history ? history->mayWrite() : History::mayCreate(m_drives, m_elevated); !may)
        return stopped(outcomeOfHold(may.error()), messages::historyNotKept(may.error(), workflow));
    return {Command{workflow, std::move(held).value(), std::move(history), std::move(plan),
                    std::move(payload)},
            {},
            std::move(change)};
}

UpdateSession::Ending UpdateSession::notSaved(const Error &error, Workflow workflow) {
    return {error.code == ErrorCode::NotRepository ? Outcome::Refused : Outcome::Failed,
            messages::catalogueNotSaved(error, workflow),
            {}};
}

Result<std::optional<int>> UpdateSession::keepGeneration(Command &command,
                                                         const catalogue::Catalogue &base,
                                                         bool writes) const {
    auto files = readDeviceFiles(command.held);
    if (!files) return files.error();
    const DeviceDigests now = digestsOf(files.value());
    // What each file will hold: a remove leaves them, an install copies the checked description
    // and the pictures, a restore what its generation kept.
    DeviceDigests then = now;
    for (std::size_t i = 0; i < then.size(); ++i) {
        const catalogue::InstalledFile &file = catalogue::kInstalledFiles[i];
        if (command.payload.kept) {
            auto &kept = command.payload.kept->files[i];
            then[i] = kept ? kept->sha256() : std::nullopt;
        } else if (command.payload.description && file.pictureName.empty()) {
            then[i] = command.payload.description->sha256();
        } else if (command.payload.description) {
            auto folder = m_toolFolder();
            auto digest = folder ? fileDigest(fs::joinPath(folder.value(), file.pictureName))
                                 : Result<std::string>(folder.error());
            then[i] = digest ? std::optional(digest.value()) : std::nullopt;
            if (!digest) writes = true; // it will fail, or change: kept either way
        }
    }
    if (!writes && now == then) return std::optional<int>();
    auto part = base.devicePart();
    if (!part) return part.error();
    Generation generation;
    generation.time = static_cast<std::int64_t>(std::time(nullptr));
    generation.user = fs::currentUser();
    generation.command = command.workflow;
    generation.before = base.deviceVersions();
    generation.after = command.payload.after;
    if (!command.history) {
        auto made = History::hold(m_drives, m_elevated, true);
        if (!made) return made.error();
        command.history = std::move(made).value();
    }
    auto kept = command.history->keep(std::move(generation), part.value(), files.value());
    if (!kept) return kept.error();
    return std::optional<int>(kept.value());
}

UpdateSession::Ending UpdateSession::commit(Command &command, ListView &view) {
    std::optional<int> kept;
    std::optional<Error> notKept;
    // Asked just before the catalogue is written, on the catalogue it is written from (again when
    // another program changed it meanwhile).
    auto keep = [&](const catalogue::Catalogue &base, bool writes) -> Status {
        if (kept) command.history->drop(*std::exchange(kept, std::nullopt));
        auto generation = keepGeneration(command, base, writes);
        if (!generation) {
            notKept = generation.error();
            return generation.error();
        }
        kept = generation.value();
        return {};
    };
    auto changed =
        m_file->change(command.held.repository, command.held.catalogue, command.plan, keep);
    if (!changed) {
        if (kept) command.history->drop(*kept);
        if (notKept)
            return {Outcome::Failed, messages::historyNotKept(*notKept, command.workflow), {}};
        return notSaved(changed.error(), command.workflow);
    }
    refresh(view);
    // The device's line, or the first when the device is gone.
    view.showLine(m_file->catalogue().deviceLine().value_or(0));
    Ending ending = command.workflow == Workflow::Remove
                        ? Ending{}
                        : copyEach(
                              command,
                              [](auto &source, const fs::Folder &folder, std::string_view name,
                                 std::string_view) { return fs::copyFile(source, folder, name); },
                              [](const fs::Folder &folder, std::string_view name,
                                 std::string_view) { return fs::removeFile(folder, name); });
    // A generation stands for a change that was made: not for one whose every step failed.
    if (kept && !changed->writes && ending.copied == 0)
        command.history->drop(*kept);
    else if (kept)
        command.history->prune();
    ending.versionsBefore = std::move(changed->versionsBefore);
    return ending;
}

UpdateSession::Ending UpdateSession::rehearse(Command &command, Rehearsal &rehearsal) const {
    auto effect = m_file->rehearse(command.held.repository, command.held.catalogue, command.plan);
    if (!effect) return notSaved(effect.error(), command.workflow);
    if (effect->writes) {
        for (const std::string &version : effect->versionsBefore)
            rehearsal.removed.push_back(catalogue::deviceListLine(version));
        for (const std::string &version : command.payload.after)
            rehearsal.added.push_back(catalogue::deviceListLine(version));
    }
    rehearsal.catalogueChecked = true;
    if (command.workflow == Workflow::Remove) return {};
    auto record = [&](std::string_view destination, Result<fs::Replacement> found) -> Status {
        if (!found) return found.error();
        rehearsal.copies.push_back({std::string(destination), found.value()});
        return {};
    };
    return copyEach(
        command,
        [&](auto &source, const fs::Folder &folder, std::string_view name,
            std::string_view destination) {
            return record(destination, fs::rehearseCopy(source, folder, name));
        },
        [&](const fs::Folder &folder, std::string_view name, std::string_view destination) {
            return record(destination, fs::rehearseRemove(folder, name));
        });
}

template <typename Copy, typename Remove>
UpdateSession::Ending UpdateSession::copyEach(Command &command, const Copy &copy,
                                              const Remove &remove) const {
    std::vector<messages::FailedCopy> failures;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < catalogue::kInstalledFiles.size(); ++i) {
        const catalogue::InstalledFile &file = catalogue::kInstalledFiles[i];
        const std::string destination(file.destination);
        const fs::Folder &folder = command.held.folderOfCopy(i);
        const std::string &name = command.held.copies[i];
        std::string source; // the host path of the source, when it is one
        Status step;
        if (command.payload.kept) {
            std::optional<fs::OpenFile> &kept = command.payload.kept->files[i];
            if (kept) source = kept->path();
            step = kept ? copy(*kept, folder, name, file.destination)
                        : remove(folder, name, file.destination);
        } else if (file.pictureName.empty()) {
            source = command.payload.description->path();
            step = copy(*command.payload.description, folder, name, file.destination);
        } else if (auto toolFolder = m_toolFolder(); !toolFolder) {
            // Asked afresh for every picture, as the tool's folder is where they ship.
            failures.push_back({destination, toolFolder.error(), {}});
            continue;
        } else {
            // It stays a host path: its name may hold what a Windows path cannot.
            source = fs::joinPath(toolFolder.value(), file.pictureName);
            step = copy(source, folder, name, file.destination);
        }
        if (step) {
            ++copied;
            continue;
        }
        // Which side failed, in the tool's own terms: the source by its Windows path.
        const Error &e = step.error();
        failures.push_back(
            {destination, e,
             !source.empty() && e.path == source ? m_drives.windowsPath(source) : std::string()});
    }
    if (failures.empty()) return {Outcome::Done, {}, {}, copied};
    return {Outcome::Failed, messages::copiesFailed(failures, command.workflow), {}, copied};
}

} // namespace corvelan::workflows
