// The catalogue's file: the catalogue as last read from it or saved to it, which version of the
// file that was, and the one way to change it. A change is planned on the catalogue (pure:
// catalogue/catalogue.h), written from its bytes and splices to a new file that replaces the old
// one only while it still holds what was read, and taken in memory once the file holds it. When
// another program changed the file meanwhile, the change is planned again on what it holds now.
#pragma once

#include "base/result.h"
#include "catalogue/catalogue.h"
#include "platform/drive_map.h"
#include "platform/file_system.h"
#include "platform/folder.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::catalogue {

class CatalogueFile {
public:
    // The catalogue in the file at `hostPath`, which is only read. Fails as OpenFile::open and
    // Catalogue::read do, with the error's path the file's.
    static Result<CatalogueFile> load(const std::string &hostPath);
    // The same for `name` within `folder`, reached through the folder's handle.
    static Result<CatalogueFile> load(const fs::Folder &folder, std::string_view name);
    // The catalogue of the repository that `drives` map, read from its load path.
    static Result<CatalogueFile> loadFromRepository(const DriveMap &drives);

    [[nodiscard]] const Catalogue &catalogue() const { return m_catalogue; }
    // Which version of the file the catalogue was read from or saved to.
    [[nodiscard]] const fs::FileStamp &stamp() const { return m_stamp; }

    // What a change makes of a catalogue: the edit it plans on it (Catalogue::planRemoval,
    // planInstall).
    using Plan = std::function<Result<Catalogue::Edit>(const Catalogue &)>;

    // What a change found and did: the device's versions in the catalogue it was planned on, and
    // whether it wrote the file (false when the edit keeps the bytes).
    struct Effect {
        std::vector<std::string> versionsBefore;
        bool writes = false;
    };

    // Called once a change is planned on `base`, the catalogue it is made on, before the file is
    // written (`writes`) or found to hold the bytes already; an error stops the change there.
    using BeforeWrite = std::function<Status(const Catalogue &base, bool writes)>;

    // Makes the change `plan` plans, as `name` within `folder` holds the catalogue, and takes it
    // in memory; asks `before`, when given, first. An edit that keeps the bytes writes nothing, but
    // the file must still hold them. When another program changed the file, the change is planned
    // again on what it holds now, for a few rounds. Fails with the plan's error, the save's,
    // KeptChanging after the last round, or ChangedOnDisk with its `cause` when a file another
    // program changed cannot be read; this object is left as it was then.
    [[nodiscard]] Result<Effect> change(const fs::Folder &folder, std::string_view name,
                                        const Plan &plan, const BeforeWrite &before = {});
    // What change() would do, found without changing anything: the edit `plan` plans on the
    // catalogue as last read and, when it writes, whether the file could be replaced now
    // (fs::rehearseReplace). Fails as the plan or the rehearsal does.
    [[nodiscard]] Result<Effect> rehearse(const fs::Folder &folder, std::string_view name,
                                          const Plan &plan) const;

private:
    CatalogueFile(Catalogue catalogue, fs::FileStamp stamp)
        : m_catalogue(std::move(catalogue)), m_stamp(stamp) {}
    static Result<CatalogueFile> read(const fs::OpenFile &file);

    Catalogue m_catalogue;
    fs::FileStamp m_stamp;
};

} // namespace corvelan::catalogue
