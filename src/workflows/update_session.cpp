#include "workflows/update_session.h"

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

} // namespace

StartupOutcome UpdateSession::startUp(ListView &view) {
    using namespace catalogue;
    m_catalogueLoadPath = std::string(kCatalogueLoadPath);
    if (!m_drives.folderExists(kRepositoryDir)) {
        showStatus(view, "Folder Missing", kRepositoryDir);
        return StartupOutcome::RepositoryFolderMissing;
    }
    if (!m_drives.folderExists(kPicturesDirTested)) {
        showStatus(view, "Folder Missing", kPicturesDirShown);
        return StartupOutcome::PicturesFolderMissing;
    }
    auto host = m_drives.hostPath(m_catalogueLoadPath);
    auto loaded = host ? CatalogueFile::load(host.value()) : Result<CatalogueFile>(host.error());
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

Outcome UpdateSession::change(const HeldRepository &held,
                              const catalogue::CatalogueFile::Plan &plan, ListView &view,
                              MessageBoxes &boxes, Workflow workflow) {
    if (Status s = m_file->change(held.repository, held.catalogue, held.links, plan); !s) {
        show(boxes, messages::catalogueNotSaved(s.error(), workflow));
        return s.error().code == ErrorCode::NotRepository ? Outcome::Refused : Outcome::Failed;
    }
    refresh(view);
    return Outcome::Done;
}

Outcome UpdateSession::remove(ListView &view, MessageBoxes &boxes) {
    if (!m_file) {
        show(boxes, messages::catalogueNotLoaded(Workflow::Remove));
        return Outcome::Refused;
    }
    Outcome refused = Outcome::Refused;
    const auto held = hold(Workflow::Remove, boxes, refused);
    if (!held) return refused;
    return change(
        *held, [](const catalogue::Catalogue &base) { return base.planRemoval(); }, view, boxes,
        Workflow::Remove);
}

Outcome UpdateSession::installDtm(const std::string &newFileName, ListView &view,
                                  MessageBoxes &boxes) {
    // Held open from the check to the copy: a file renamed over the path meanwhile is not copied.
    std::optional<fs::OpenFile> description;
    Result<xml::DescriptionFacts> facts = makeError(ErrorCode::NotFound, newFileName);
    if (auto host = m_drives.hostPath(newFileName); !host) {
        facts = host.error();
    } else if (auto opened = fs::OpenFile::open(host.value()); !opened) {
        facts = opened.error();
    } else {
        description.emplace(std::move(opened).value());
        facts = xml::readDescription(*description);
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
    if (show(boxes, messages::confirmVersion(version)) == BoxAnswer::No) return Outcome::Declined;

    if (!m_file) {
        show(boxes, messages::catalogueNotLoaded(Workflow::Install));
        return Outcome::Refused;
    }
    Outcome refused = Outcome::Refused;
    const auto held = hold(Workflow::Install, boxes, refused);
    if (!held) return refused;
    const Outcome saved = change(
        *held, [&version](const catalogue::Catalogue &base) { return base.planInstall(version); },
        view, boxes, Workflow::Install);
    if (saved != Outcome::Done) return saved;
    return copyInstalledFiles(*held, *description, boxes);
}

Outcome UpdateSession::copyInstalledFiles(const HeldRepository &held, fs::OpenFile &description,
                                          MessageBoxes &boxes) {
    std::vector<messages::FailedCopy> failures;
    for (std::size_t i = 0; i < catalogue::kInstalledFiles.size(); ++i) {
        const catalogue::InstalledFile &file = catalogue::kInstalledFiles[i];
        const std::string destination(file.destination);
        const fs::Folder &folder = held.folderOfCopy(i);
        std::string source = description.path();
        Status copied;
        if (file.pictureName.empty()) {
            copied = fs::copyFile(description, folder, held.copies[i], held.links);
        } else {
            // Asked afresh for every picture, as the tool's folder is where they ship. It stays a
            // host path: its name may hold what a Windows path cannot.
            auto toolFolder = m_toolFolder();
            if (!toolFolder) {
                failures.push_back({destination, toolFolder.error(), {}});
                continue;
            }
            source = fs::joinPath(toolFolder.value(), file.pictureName);
            copied = fs::copyFile(source, folder, held.copies[i], held.links);
        }
        if (copied) continue;
        // Which side failed, in the tool's own terms: the source by its Windows path.
        const Error &e = copied.error();
        failures.push_back(
            {destination, e, e.path == source ? m_drives.windowsPath(source) : std::string()});
    }
    if (failures.empty()) return Outcome::Done;
    show(boxes, messages::copiesFailed(failures));
    return Outcome::Failed;
}

} // namespace corvelan::workflows
