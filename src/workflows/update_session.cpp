#include "workflows/update_session.h"

#include "catalogue/repository.h"

namespace corvelan::workflows {
namespace {

void showStatus(ListView &view, std::string_view first, std::string_view second) {
    view.addLine(std::string(first));
    view.addLine(std::string(second));
    view.setInstallEnabled(false);
}

void listCatalogue(const catalogue::Catalogue &catalogue, ListView &view) {
    for (const std::string &line : catalogue.listing())
        view.addLine(line);
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
    auto loaded = host ? Catalogue::load(host.value()) : Result<Catalogue>(host.error());
    if (!loaded) {
        m_loadError = loaded.error();
        showStatus(view, "File Missing", kCatalogueSavePath);
        return StartupOutcome::CatalogueNotLoaded;
    }
    m_catalogue = std::move(loaded).value();
    listCatalogue(*m_catalogue, view);
    return StartupOutcome::Listed;
}

void UpdateSession::refresh(ListView &view) const {
    view.clearList();
    if (m_catalogue) listCatalogue(*m_catalogue, view);
}

} // namespace corvelan::workflows
