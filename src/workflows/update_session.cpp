#include "workflows/update_session.h"

#include "base/sha256.h"
#include "catalogue/repository.h"
#include "platform/file_system.h"
#include "workflows/messages.h"
#include "xml/description_reader.h"

#include <vector>

namespace corvelan::workflows {
namespace {

constexpr std::string_view kProductName = "QVXTSR7700";

BoxAnswer show(MessageBoxes &boxes, const Message &message) {
    return boxes.show(message.text, message.title, message.style);
}

void showStatus(ListView &view, std::string_view first, std::string_view second) {
    view.addLine(std::string(first));
    view.addLine(std::string(second));
    view.setInstallEnabled(false);
}

void listCatalogue(const catalogue::Catalogue &catalogue, ListView &view) {
    view.addLines(catalogue.listing());
}

// The boxes a workflow shows, passed on, and what the ones that are no question told.
class TellingBoxes final : public MessageBoxes {
public:
    explicit TellingBoxes(MessageBoxes &boxes) : m_boxes(boxes) {}
    BoxAnswer show(const std::string &text, const std::string &title, BoxStyle style) override {
        if (style != BoxStyle::Confirm) m_told += (m_told.empty() ? "" : " ") + text;
        return m_boxes.show(text, title, style);
    }
    [[nodiscard]] const std::string &told() const { return m_told; }

private:
    MessageBoxes &m_boxes;
    std::string m_told;
};

} // namespace

StartupOutcome UpdateSession::startUp(ListView &view) {
    using namespace catalogue;
    if (!m_drives.folderExists(kRepositoryDir)) {
        showStatus(view, "Folder Missing", kRepositoryDir);
        return StartupOutcome::RepositoryFolderMissing;
    }
    if (!m_drives.folderExists(kPicturesDirTested)) {
        showStatus(view, "Folder Missing", kPicturesDirShown);
        return StartupOutcome::PicturesFolderMissing;
    }
    auto loaded = CatalogueFile::loadFromRepository(m_drives);
    if (!loaded) {
        m_loadError = loaded.error();
        showStatus(view, "File Missing", kCatalogueSavePath);
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

std::optional<HeldRepository> UpdateSession::hold(Workflow workflow, MessageBoxes &boxes,
                                                  Outcome &refused) {
    auto held = holdRepository(m_drives, m_elevated, workflow == Workflow::Install);
    if (held) return std::move(held).value();
    show(boxes, messages::repositoryRefused(held.error(), workflow));
    const ErrorCode why = held.error().code;
    refused = why == ErrorCode::LinksElsewhere || why == ErrorCode::ForeignOwner ||
                      why == ErrorCode::NotFound || why == ErrorCode::NotAFile
                  ? Outcome::Refused
                  : Outcome::Failed;
    return std::nullopt;
}

Outcome UpdateSession::change(const HeldRepository &held, const Plan &plan, ListView &view,
                              MessageBoxes &boxes, Workflow workflow) {
    if (Status s = m_file->change(held.repository, held.catalogue, held.links, plan); !s) {
        show(boxes, messages::catalogueNotSaved(s.error(), workflow));
        return s.error().code == ErrorCode::NotRepository ? Outcome::Refused : Outcome::Failed;
    }
    refresh(view);
    return Outcome::Done;
}

Outcome UpdateSession::logged(Workflow workflow, MessageBoxes &boxes,
                              const std::function<Outcome(MessageBoxes &, Change &)> &run) {
    TellingBoxes telling(boxes);
    Change change;
    change.workflow = workflow;
    change.user = fs::currentUser();
    auto catalogueHost = m_drives.hostPath(catalogue::kCatalogueSavePath);
    change.catalogue =
        catalogueHost ? catalogueHost.value() : std::string(catalogue::kCatalogueSavePath);
    if (m_file) change.versionsBefore = m_file->catalogue().deviceVersions();
    const Outcome outcome = run(telling, change);
    m_log->write(eventOf(change, outcome, telling.told()));
    return outcome;
}

Outcome UpdateSession::remove(ListView &view, MessageBoxes &boxes) {
    return logged(Workflow::Remove, boxes, [&](MessageBoxes &shown, Change &change) {
        return runRemove(
            shown, change,
            [&](const HeldRepository &held, const Plan &plan, fs::OpenFile *, MessageBoxes &told) {
                return this->change(held, plan, view, told, Workflow::Remove);
            });
    });
}

Outcome UpdateSession::rehearseRemove(MessageBoxes &boxes, Rehearsal &rehearsal) {
    Change change;
    return runRemove(boxes, change,
                     [&](const HeldRepository &held, const Plan &plan, fs::OpenFile *description,
                         MessageBoxes &told) {
                         return rehearse(held, plan, description, told, std::nullopt, rehearsal);
                     });
}

Outcome UpdateSession::runRemove(MessageBoxes &boxes, Change &change, const Finish &finish) {
    if (!m_file) {
        show(boxes, messages::catalogueNotLoaded(Workflow::Remove));
        return Outcome::Refused;
    }
    Outcome refused = Outcome::Refused;
    const auto held = hold(Workflow::Remove, boxes, refused);
    if (!held) return refused;
    return finish(
        *held,
        [&change](const catalogue::Catalogue &base) {
            change.versionsBefore = base.deviceVersions();
            return base.planRemoval();
        },
        nullptr, boxes);
}

Outcome UpdateSession::installDtm(const std::string &newFileName, ListView &view,
                                  MessageBoxes &boxes) {
    return logged(Workflow::Install, boxes, [&](MessageBoxes &shown, Change &change) {
        return runInstall(newFileName, shown, change,
                          [&](const HeldRepository &held, const Plan &plan,
                              fs::OpenFile *description, MessageBoxes &told) {
                              const Outcome saved =
                                  this->change(held, plan, view, told, Workflow::Install);
                              if (saved != Outcome::Done) return saved;
                              return copyInstalledFiles(held, *description, told);
                          });
    });
}

Outcome UpdateSession::rehearseInstall(const std::string &newFileName, MessageBoxes &boxes,
                                       Rehearsal &rehearsal) {
    Change change;
    return runInstall(newFileName, boxes, change,
                      [&](const HeldRepository &held, const Plan &plan, fs::OpenFile *description,
                          MessageBoxes &told) {
                          return rehearse(held, plan, description, told, change.version, rehearsal);
                      });
}

Outcome UpdateSession::runInstall(const std::string &newFileName, MessageBoxes &boxes,
                                  Change &change, const Finish &finish) {
    change.description = newFileName;
    // Held open from the check to the copy: a file renamed over the path meanwhile is not copied.
    std::optional<fs::OpenFile> description;
    Result<xml::DescriptionFacts> facts = makeError(ErrorCode::NotFound, newFileName);
    if (auto host = m_drives.hostPath(newFileName); !host) {
        facts = host.error();
    } else if (auto opened = fs::OpenFile::open(host.value()); !opened) {
        facts = opened.error();
    } else {
        description.emplace(std::move(opened).value());
        change.description = description->path();
        Sha256 digest;
        facts = xml::readDescription(*description, digest);
        // Named by its digest when the check read it whole; a file refused early is not read on
        // for it (it may be gigabytes).
        if (static_cast<std::int64_t>(digest.length()) == description->stamp().size)
            change.sha256 = digest.hex();
    }
    if (!facts) {
        show(boxes, messages::notADtmFile(newFileName));
        return Outcome::Refused;
    }
    if (!facts->rootIsProfile) {
        show(boxes, messages::notADeviceProfile(newFileName));
        return Outcome::Refused;
    }
    const std::string product = facts->productName.value_or("");
    if (product != kProductName) {
        show(boxes, messages::wrongProduct(product));
        return Outcome::Refused;
    }
    const std::string version = facts->version.value_or("");
    change.version = version;
    if (show(boxes, messages::confirmVersion(version)) == BoxAnswer::No) return Outcome::Declined;

    if (!m_file) {
        show(boxes, messages::catalogueNotLoaded(Workflow::Install));
        return Outcome::Refused;
    }
    Outcome refused = Outcome::Refused;
    const auto held = hold(Workflow::Install, boxes, refused);
    if (!held) return refused;
    return finish(
        *held,
        [&change, &version](const catalogue::Catalogue &base) {
            change.versionsBefore = base.deviceVersions();
            return base.planInstall(version);
        },
        &*description, boxes);
}

Outcome UpdateSession::copyEach(const std::string &description, MessageBoxes &boxes,
                                const CopyStep &copy) {
    std::vector<messages::FailedCopy> failures;
    for (std::size_t i = 0; i < catalogue::kInstalledFiles.size(); ++i) {
        const catalogue::InstalledFile &file = catalogue::kInstalledFiles[i];
        const std::string destination(file.destination);
        std::string picture;
        if (!file.pictureName.empty()) {
            // Asked afresh for every picture, as the tool's folder is where they ship. It stays
            // a host path: its name may hold what a Windows path cannot.
            auto toolFolder = m_toolFolder();
            if (!toolFolder) {
                failures.push_back({destination, toolFolder.error(), {}});
                continue;
            }
            picture = fs::joinPath(toolFolder.value(), file.pictureName);
        }
        const Status copied = copy(i, picture);
        if (copied) continue;
        // Which side failed, in the tool's own terms: the source by its Windows path.
        const Error &e = copied.error();
        const std::string &source = picture.empty() ? description : picture;
        failures.push_back(
            {destination, e, e.path == source ? m_drives.windowsPath(source) : std::string()});
    }
    if (failures.empty()) return Outcome::Done;
    show(boxes, messages::copiesFailed(failures));
    return Outcome::Failed;
}

Outcome UpdateSession::copyInstalledFiles(const HeldRepository &held, fs::OpenFile &description,
                                          MessageBoxes &boxes) {
    return copyEach(description.path(), boxes, [&](std::size_t i, const std::string &picture) {
        const fs::Folder &folder = held.folderOfCopy(i);
        return picture.empty() ? fs::copyFile(description, folder, held.copies[i], held.links)
                               : fs::copyFile(picture, folder, held.copies[i], held.links);
    });
}

Outcome UpdateSession::rehearse(const HeldRepository &held, const Plan &plan,
                                fs::OpenFile *description, MessageBoxes &boxes,
                                const std::optional<std::string> &installed, Rehearsal &rehearsal) {
    const Workflow workflow = installed ? Workflow::Install : Workflow::Remove;
    const catalogue::Catalogue &base = m_file->catalogue();
    auto edit = plan(base);
    if (!edit) {
        show(boxes, messages::catalogueNotSaved(edit.error(), workflow));
        return edit.error().code == ErrorCode::NotRepository ? Outcome::Refused : Outcome::Failed;
    }
    if (!base.keepsBytes(edit.value())) {
        auto saved = fs::rehearseReplace(held.repository, held.catalogue, held.links);
        if (!saved) {
            show(boxes, messages::catalogueNotSaved(saved.error(), workflow));
            return Outcome::Failed;
        }
        for (const std::string &version : base.deviceVersions())
            rehearsal.removed.push_back(catalogue::deviceListLine(version));
        if (installed) rehearsal.added = catalogue::deviceListLine(*installed);
    }
    rehearsal.catalogueChecked = true;
    if (!description) return Outcome::Done;
    return copyEach(description->path(), boxes, [&](std::size_t i, const std::string &picture) {
        const fs::Folder &folder = held.folderOfCopy(i);
        auto effect = picture.empty()
                          ? fs::rehearseCopy(*description, folder, held.copies[i], held.links)
                          : fs::rehearseCopy(picture, folder, held.copies[i], held.links);
        if (!effect) return Status(effect.error());
        rehearsal.copies.push_back(
            {std::string(catalogue::kInstalledFiles[i].destination), effect.value()});
        return Status();
    });
}

} // namespace corvelan::workflows
