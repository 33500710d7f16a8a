#include "workflows/update_session.h"

#include "catalogue/repository.h"
#include "platform/file_system.h"
#include "workflows/messages.h"
#include "xml/description_reader.h"

#include <vector>

namespace corvelan::workflows {

using catalogue::CatalogueFile;

// A remove or an install with every check made, the confirmation answered and the repository held:
// what commit() changes and rehearse() looks at.
struct UpdateSession::Command {
    Workflow workflow;
    HeldRepository held;
    CatalogueFile::Plan plan;
    std::optional<fs::OpenFile> description; // an install's, open since its check
    std::optional<std::string> version;      // an install's, as its description says
};

struct UpdateSession::Ending {
    Outcome outcome = Outcome::Done;
    std::optional<Message> box; // what the user is told when it was refused or failed
    // The device's versions in the catalogue the change was made on, when it was made.
    std::optional<std::vector<std::string>> versionsBefore;
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

UpdateSession::Prepared UpdateSession::prepareRemove() const {
    return prepareCommand(changeOf(Workflow::Remove), std::nullopt, std::nullopt,
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
        std::move(change), std::move(description).value(), version,
        [version](const catalogue::Catalogue &base) { return base.planInstall(version); });
}

UpdateSession::Prepared UpdateSession::prepareCommand(Change change,
                                                      std::optional<fs::OpenFile> description,
                                                      std::optional<std::string> version,
                                                      CatalogueFile::Plan plan) const {
    const Workflow workflow = change.workflow;
    if (!m_file)
        return {std::nullopt,
                {Outcome::Refused, messages::catalogueNotLoaded(workflow), {}},
                std::move(change)};
    auto held = holdRepository(m_drives, m_elevated, workflow == Workflow::Install);
    if (!held) {
        const ErrorCode why = held.error().code;
        const bool refused = why == ErrorCode::LinksElsewhere || why == ErrorCode::ForeignOwner ||
                             why == ErrorCode::NotFound || why == ErrorCode::NotAFile;
        return {std::nullopt,
                {refused ? Outcome::Refused : Outcome::Failed,
                 messages::repositoryRefused(held.error(), workflow),
                 {}},
                std::move(change)};
    }
    return {Command{workflow, std::move(held).value(), std::move(plan), std::move(description),
                    std::move(version)},
            {},
            std::move(change)};
}

UpdateSession::Ending UpdateSession::notSaved(const Error &error, Workflow workflow) {
    return {error.code == ErrorCode::NotRepository ? Outcome::Refused : Outcome::Failed,
            messages::catalogueNotSaved(error, workflow),
            {}};
}

UpdateSession::Ending UpdateSession::commit(Command &command, ListView &view) {
    auto changed = m_file->change(command.held.repository, command.held.catalogue, command.plan);
    if (!changed) return notSaved(changed.error(), command.workflow);
    refresh(view);
    Ending ending =
        command.description
            ? copyEach(command, [](auto &source, const fs::Folder &folder, std::string_view name,
                                   std::string_view) { return fs::copyFile(source, folder, name); })
            : Ending{};
    ending.versionsBefore = std::move(changed->versionsBefore);
    return ending;
}

UpdateSession::Ending UpdateSession::rehearse(Command &command, Rehearsal &rehearsal) const {
    auto effect = m_file->rehearse(command.held.repository, command.held.catalogue, command.plan);
    if (!effect) return notSaved(effect.error(), command.workflow);
    if (effect->writes) {
        for (const std::string &version : effect->versionsBefore)
            rehearsal.removed.push_back(catalogue::deviceListLine(version));
        if (command.version) rehearsal.added = catalogue::deviceListLine(*command.version);
    }
    rehearsal.catalogueChecked = true;
    if (!command.description) return {};
    return copyEach(command, [&](auto &source, const fs::Folder &folder, std::string_view name,
                                 std::string_view destination) {
        auto replacement = fs::rehearseCopy(source, folder, name);
        if (!replacement) return Status(replacement.error());
        rehearsal.copies.push_back({std::string(destination), replacement.value()});
        return Status();
    });
}

template <typename Copy>
UpdateSession::Ending UpdateSession::copyEach(Command &command, const Copy &copy) const {
    const std::string &description = command.description->path();
    std::vector<messages::FailedCopy> failures;
    for (std::size_t i = 0; i < catalogue::kInstalledFiles.size(); ++i) {
        const catalogue::InstalledFile &file = catalogue::kInstalledFiles[i];
        const std::string destination(file.destination);
        const fs::Folder &folder = command.held.folderOfCopy(i);
        const std::string &name = command.held.copies[i];
        std::string picture;
        Status copied;
        if (file.pictureName.empty()) {
            copied = copy(*command.description, folder, name, file.destination);
        } else if (auto toolFolder = m_toolFolder(); !toolFolder) {
            // Asked afresh for every picture, as the tool's folder is where they ship.
            failures.push_back({destination, toolFolder.error(), {}});
            continue;
        } else {
            // It stays a host path: its name may hold what a Windows path cannot.
            picture = fs::joinPath(toolFolder.value(), file.pictureName);
            copied = copy(picture, folder, name, file.destination);
        }
        if (copied) continue;
        // Which side failed, in the tool's own terms: the source by its Windows path.
        const Error &e = copied.error();
        const std::string &source = picture.empty() ? description : picture;
        failures.push_back(
            {destination, e, e.path == source ? m_drives.windowsPath(source) : std::string()});
    }
    if (failures.empty()) return {};
    return {Outcome::Failed, messages::copiesFailed(failures), {}};
}

} // namespace corvelan::workflows
