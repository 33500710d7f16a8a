#include "catalogue/catalogue_file.h"

#include "catalogue/repository.h"

#include <optional>

namespace corvelan::catalogue {
namespace {

// A rival writer is met again only if it writes between the check and the rename; a few rounds
// are plenty, and then the user hears about it rather than the tool spinning.
constexpr int kRounds = 5;

} // namespace

Result<CatalogueFile> CatalogueFile::read(const fs::OpenFile &file) {
    auto catalogue =
        Catalogue::read([&file](char *into, std::size_t want,
                                std::uint64_t at) { return file.readAt(into, want, at); },
                        static_cast<std::uint64_t>(file.stamp().size));
    if (!catalogue) {
        Error e = catalogue.error();
        e.path = file.path();
        return e;
    }
    return CatalogueFile(std::move(catalogue).value(), file.stamp());
}

Result<CatalogueFile> CatalogueFile::load(const std::string &hostPath) {
    auto file = fs::OpenFile::open(hostPath);
    if (!file) return file.error();
    return read(file.value());
}

Result<CatalogueFile> CatalogueFile::loadFromRepository(const DriveMap &drives) {
    auto host = drives.hostPath(kCatalogueLoadPath);
    if (!host) return host.error();
    return load(host.value());
}

Result<CatalogueFile> CatalogueFile::load(const fs::Folder &folder, std::string_view name) {
    auto file = fs::OpenFile::openIn(folder, name);
    if (!file) return file.error();
    return read(file.value());
}

Result<CatalogueFile::Effect> CatalogueFile::change(const fs::Folder &folder, std::string_view name,
                                                    const Plan &plan, const BeforeWrite &before) {
    std::optional<CatalogueFile> reread;
    for (int round = 0; round < kRounds; ++round) {
        const CatalogueFile &base = reread ? *reread : *this;
        auto planned = plan(base.catalogue());
        if (!planned) return planned.error();
        // Nothing to write when the bytes stay as they were; the file must still hold them, or
        // the change is made again on what it holds now.
        const fs::ReplaceGuard guard{base.stamp(), base.catalogue().bytes()};
        const bool same = base.catalogue().keepsBytes(planned.value());
        if (before)
            if (Status s = before(base.catalogue(), !same); !s) return s.error();
        Result<fs::FileStamp> saved = base.stamp();
        if (same) {
            if (Status s = fs::checkUnchanged(folder, name, guard); !s) saved = s.error();
        } else {
            const std::vector<std::string_view> pieces =
                base.catalogue().editedPieces(planned.value());
            saved = fs::replaceFile(folder, name, pieces, &guard);
        }
        if (saved) {
            Effect effect{base.catalogue().deviceVersions(), !same};
            if (reread) *this = std::move(*reread);
            if (!same) {
                m_catalogue.apply(std::move(planned).value());
                m_stamp = saved.value();
            }
            return effect;
        }
        if (saved.error().code != ErrorCode::ChangedOnDisk) return saved.error();
        auto current = load(folder, name);
        if (!current) {
            // Held, out of the user's reach or a link now: that is what stops the save.
            const Error &e = current.error();
            if (e.code == ErrorCode::InUse || e.code == ErrorCode::NoRights ||
                e.code == ErrorCode::LinksElsewhere)
                return e;
            Error changed = makeError(ErrorCode::ChangedOnDisk, e.path);
            changed.cause = e.code;
            return changed;
        }
        reread = std::move(current).value();
    }
    return makeError(ErrorCode::KeptChanging, fs::joinPath(folder.path(), name));
}

Result<CatalogueFile::Effect>
CatalogueFile::rehearse(const fs::Folder &folder, std::string_view name, const Plan &plan) const {
    auto planned = plan(m_catalogue);
    if (!planned) return planned.error();
    Effect effect{m_catalogue.deviceVersions(), !m_catalogue.keepsBytes(planned.value())};
    if (effect.writes)
        if (auto may = fs::rehearseReplace(folder, name); !may) return may.error();
    return effect;
}

} // namespace corvelan::catalogue
