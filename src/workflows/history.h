// The tool's history: before a command changes the device's part of the repository, that part as
// it stands is kept as a numbered generation, so that a restore can put it back.
//
//   c:\ProgramData\Corvelan\DTM Update Tool\History\  (the tool's own, not the host's)
//       1\     the original: the state before the tool's first change, never pruned
//       ...
//       12\    entries.bin                  the device's catalogue entries, as a removal cuts them
//              QVX TSR 7700.xml, corvelan.ico, ...   each file as it was (absent: it was not there)
//              manifest.txt                 number, time, user, command, versions, SHA-256s
//
// A generation is whole once its manifest is there: the manifest is written last and flushed,
// and a folder without one is no generation (pruning removes it). The original and the last
// kKeptGenerations are kept. The history is the tool's own and lies outside the repository, where
// the host product reads every XML file; its folders are proven and held as the repository's are
// (platform/trust.h), and are never reached through a link.
#pragma once

#include "base/result.h"
#include "catalogue/catalogue.h"
#include "catalogue/repository.h"
#include "platform/drive_map.h"
#include "platform/file_system.h"
#include "platform/folder.h"
#include "workflows/held_repository.h"
#include "workflows/outcome.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::workflows {

inline constexpr std::string_view kHistoryDir =
    "c:\\ProgramData\\Corvelan\\DTM Update Tool\\History\\";
inline constexpr std::size_t kKeptGenerations = 10;

// Each installed file of catalogue::kInstalledFiles, in that order: open, or absent.
using DeviceFiles = std::array<std::optional<fs::OpenFile>, catalogue::kInstalledFiles.size()>;
// The SHA-256 of each, or empty for one absent.
using DeviceDigests = std::array<std::optional<std::string>, catalogue::kInstalledFiles.size()>;

// What a generation's manifest says.
struct Generation {
    int number = 0;
    std::int64_t time = 0; // seconds since 1970, UTC
    std::string user;
    Workflow command = Workflow::Install; // the command it was kept for
    std::vector<std::string> before;      // the device's versions it holds
    std::vector<std::string> after;       // those the command was to leave
    bool original = false;
    std::string encoding; // of the catalogue, as catalogue::DevicePart keeps them
    std::string rest;
    struct Piece {
        std::int64_t at = 0;
        std::int64_t length = 0;
    };
    std::vector<Piece> pieces; // their bytes, one after the other, are entries.bin
    std::string entries;       // its SHA-256
    DeviceDigests files;
};

// The manifest of `generation` as written, and read back. parseManifest fails (KeptFileDamaged,
// naming `path`) on anything but a manifest this tool wrote.
[[nodiscard]] std::string manifestText(const Generation &generation);
[[nodiscard]] Result<Generation> parseManifest(std::string_view text, const std::string &path);

// What a generation changed, as `history` lists it: "install 2.3.0 -> 2.5.0", "remove 2.5.0",
// "restore 2.3.0", "original".
[[nodiscard]] std::string changeOf(const Generation &generation);

// A generation's kept state, each file checked against its manifest: what a restore puts back.
struct KeptState {
    catalogue::DevicePart catalogue;
    DeviceFiles files; // each read whole, its digest the manifest's
};

// The device's files in `held` as they stand, each read whole so that its digest is known;
// absent where nothing is there.
[[nodiscard]] Result<DeviceFiles> readDeviceFiles(const HeldRepository &held);
[[nodiscard]] DeviceDigests digestsOf(const DeviceFiles &files);
// The SHA-256 of the file at `hostPath`, read whole.
[[nodiscard]] Result<std::string> fileDigest(const std::string &hostPath);

class History {
public:
    // Proves and holds the history folder on the drives of `drives`, as a run `elevated` or not
    // may (held.h's rules), making the folders it lacks with `create`; without, a history not
    // there yet fails with NotFound. Refused as holdRepository() is.
    static Result<History> hold(const DriveMap &drives, bool elevated, bool create);

    // Fails as making the history's folders would, where they are not there yet, found without
    // making any: this run may not create the first one missing (NoRights, naming the history).
    [[nodiscard]] static Status mayCreate(const DriveMap &drives, bool elevated);

    // The generations whose manifest reads, newest first.
    [[nodiscard]] std::vector<Generation> generations() const;

    // Fails as the first write of a generation would: this run may not write here (NoRights),
    // naming the history folder.
    [[nodiscard]] Status mayWrite() const;

    // The state `generation` kept, every file and the entries checked against the manifest:
    // KeptFileDamaged naming the first that is missing or does not match.
    [[nodiscard]] Result<KeptState> open(const Generation &generation) const;

    // Keeps `generation` (its number and `original` are given here) with the catalogue's device
    // part `part` and the device's files `files`, whole and flushed, manifest last. Returns its
    // number. A failure leaves no trace of it.
    [[nodiscard]] Result<int> keep(Generation generation, const catalogue::DevicePart &part,
                                   DeviceFiles &files);
    // Takes the generation `number` away again, files first, through the folder's handle.
    void drop(int number) const;
    // Takes away every generation but the original ones and the newest kKeptGenerations, and the
    // folders of generations that were never finished.
    void prune() const;

private:
    explicit History(fs::Folder folder) : m_folder(std::move(folder)) {}
    // The numbers of the folders in the history, whole or not, in rising order.
    [[nodiscard]] std::vector<int> numbers() const;

    fs::Folder m_folder;
};

} // namespace corvelan::workflows
