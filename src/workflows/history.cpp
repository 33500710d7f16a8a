#include "workflows/history.h"

#include "base/sha256.h"
#include "platform/folder_listing.h"
#include "workflows/audit.h"

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace corvelan::workflows {
namespace {

constexpr std::string_view kMagic = "Corvelan DTM Update Tool history 1";
constexpr std::string_view kManifest = "manifest.txt";
constexpr std::string_view kEntries = "entries.bin";
constexpr std::size_t kPiece = std::size_t{1} << 20;
// Far more than a manifest or the device's entries ever take; a larger file is not this tool's.
constexpr std::uint64_t kMaxManifest = std::uint64_t{1} << 20;
constexpr std::uint64_t kMaxEntries = std::uint64_t{64} << 20;

// A value on a manifest's line: its spaces, control characters and '%' as %XX.
std::string escaped(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f || c == '%') {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescaped(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        unsigned byte = 0;
        if (i + 2 >= value.size()) return std::nullopt;
        const auto [end, ec] =
            std::from_chars(value.data() + i + 1, value.data() + i + 3, byte, 16);
        if (ec != std::errc() || end != value.data() + i + 3) return std::nullopt;
        out += static_cast<char>(byte);
        i += 2;
    }
    return out;
}

template <typename Number> std::optional<Number> numberOf(std::string_view text) {
    Number n{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 0) return std::nullopt;
    return n;
}

bool isDigest(std::string_view text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// The name a kept file has within its generation: its name in the repository.
std::string keptName(std::size_t file) {
    const std::string_view destination = catalogue::kInstalledFiles[file].destination;
    return std::string(destination.substr(destination.rfind('\\') + 1));
}

// The Windows path of `name` within generation `number`, as a refusal names it.
std::string shownPath(int number, std::string_view name) {
    return std::string(kHistoryDir) + std::to_string(number) + "\\" + std::string(name);
}

Error damaged(int number, std::string_view name) {
    return makeError(ErrorCode::KeptFileDamaged, shownPath(number, name));
}

// Reads the open `file` whole, at most `limit` bytes, into a string.
Result<std::string> contentsOf(fs::OpenFile &file, std::uint64_t limit) {
    std::string bytes;
    Status read = file.readAll(kPiece, [&](std::string_view piece, bool) -> Status {
        if (bytes.size() + piece.size() > limit) return makeError(ErrorCode::TooLarge, file.path());
        bytes.append(piece);
        return {};
    });
    if (!read) return read.error();
    return bytes;
}

// Reads the open `file` whole for its digest alone.
Status hashWhole(fs::OpenFile &file) {
    return file.readAll(kPiece, [](std::string_view, bool) { return Status(); });
}

} // namespace

std::string manifestText(const Generation &g) {
    std::string text = std::string(kMagic) + "\n";
    auto line = [&text](std::string_view key, std::string_view value) {
        text.append(key).append(" ").append(value).append("\n");
    };
    line("number", std::to_string(g.number));
    line("time", std::to_string(g.time));
    line("user", escaped(g.user));
    line("command", commandName(g.command));
    if (g.original) text += "original\n";
    for (const std::string &version : g.before)
        line("before", escaped(version));
    for (const std::string &version : g.after)
        line("after", escaped(version));
    line("encoding", escaped(g.encoding));
    line("rest", g.rest);
    for (const Generation::Piece &piece : g.pieces)
        line("piece", std::to_string(piece.at) + " " + std::to_string(piece.length));
    line("entries", g.entries);
    for (std::size_t i = 0; i < g.files.size(); ++i)
        line("file", std::to_string(i) + " " + g.files[i].value_or("-"));
    return text;
}

Result<Generation> parseManifest(std::string_view text, const std::string &path) {
    const Error wrong = makeError(ErrorCode::KeptFileDamaged, path);
    if (!text.starts_with(kMagic) || !text.ends_with("\n")) return wrong;
    Generation g;
    std::array<bool, catalogue::kInstalledFiles.size()> filed{};
    bool hasCommand = false;
    std::size_t at = kMagic.size() + 1;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string_view lineText = text.substr(at, end - at);
        at = end + 1;
        const std::size_t space = lineText.find(' ');
        const std::string_view key = lineText.substr(0, space);
        const std::string_view raw =
            space == std::string_view::npos ? std::string_view() : lineText.substr(space + 1);
        const std::optional<std::string> value = unescaped(raw);
        if (!value) return wrong;
        if (key == "number") {
            auto n = numberOf<int>(raw);
            if (!n || *n == 0) return wrong;
            g.number = *n;
        } else if (key == "time") {
            auto t = numberOf<std::int64_t>(raw);
            if (!t) return wrong;
            g.time = *t;
        } else if (key == "user") {
            g.user = *value;
        } else if (key == "command") {
            hasCommand = true;
            const std::optional<Workflow> command = workflowNamed(raw);
            if (!command) return wrong;
            g.command = *command;
        } else if (key == "original") {
            g.original = true;
        } else if (key == "before") {
            g.before.push_back(*value);
        } else if (key == "after") {
            g.after.push_back(*value);
        } else if (key == "encoding") {
            g.encoding = *value;
        } else if (key == "rest" || key == "entries") {
            if (!isDigest(raw)) return wrong;
            (key == "rest" ? g.rest : g.entries) = std::string(raw);
        } else if (key == "piece") {
            const std::size_t gap = raw.find(' ');
            auto pieceAt = numberOf<std::int64_t>(raw.substr(0, gap));
            auto length = gap == std::string_view::npos
                              ? std::nullopt
                              : numberOf<std::int64_t>(raw.substr(gap + 1));
            if (!pieceAt || !length) return wrong;
            g.pieces.push_back({*pieceAt, *length});
        } else if (key == "file") {
            const std::size_t gap = raw.find(' ');
            auto index = numberOf<std::size_t>(raw.substr(0, gap));
            if (!index || *index >= g.files.size() || filed[*index] ||
                gap == std::string_view::npos)
                return wrong;
            const std::string_view digest = raw.substr(gap + 1);
            if (digest != "-" && !isDigest(digest)) return wrong;
            if (digest != "-") g.files[*index] = std::string(digest);
            filed[*index] = true;
        } else {
            return wrong;
        }
    }
    const bool allFiled = std::all_of(filed.begin(), filed.end(), [](bool f) { return f; });
    if (g.number == 0 || !hasCommand || g.rest.empty() || g.entries.empty() || !allFiled)
        return wrong;
    return g;
}

std::string changeOf(const Generation &g) {
    if (g.original) return "original";
    switch (g.command) {
    case Workflow::Install:
        return g.before.empty()
                   ? "install " + versionList(g.after)
                   : "install " + versionList(g.before) + " -> " + versionList(g.after);
    case Workflow::Remove:
        return "remove " + versionList(g.before);
    case Workflow::Restore:
        break;
    }
    return "restore " + versionList(g.after);
}

Result<DeviceFiles> readDeviceFiles(const HeldRepository &held) {
    DeviceFiles files;
    for (std::size_t i = 0; i < files.size(); ++i) {
        auto file = fs::OpenFile::openIn(held.folderOfCopy(i), held.copies[i]);
        // Nothing there, or nothing a copy could read (a folder, a FIFO, a link that leads
        // nowhere): nothing to keep. A file held or forbidden is no such case: the way back is
        // never skipped in silence.
        const ErrorCode why = file ? ErrorCode::System : file.error().code;
        if (!file && why != ErrorCode::InUse && why != ErrorCode::NoRights &&
            !(why == ErrorCode::System && file.error().sysErrno == EACCES))
            continue;
        if (!file) return file.error();
        if (Status s = hashWhole(file.value()); !s) return s.error();
        files[i] = std::move(file).value();
    }
    return files;
}

DeviceDigests digestsOf(const DeviceFiles &files) {
    DeviceDigests digests;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (files[i]) digests[i] = files[i]->sha256();
    return digests;
}

Result<std::string> fileDigest(const std::string &hostPath) {
    auto file = fs::OpenFile::open(hostPath);
    if (!file) return file.error();
    if (Status s = hashWhole(file.value()); !s) return s.error();
    return *file->sha256();
}

Result<History> History::hold(const DriveMap &drives, bool elevated, bool create) {
    auto folders = proveWindowsPath(drives, kHistoryDir, elevated, create);
    if (!folders) return folders.error();
    // The tool's own: nothing within it is reached through a link, whoever runs it.
    return History(std::move(folders->back()).withLinks(fs::Links::Refuse));
}

Status History::mayCreate(const DriveMap &drives, bool elevated) {
    // From the history up: the first folder there is must let this run make the next one.
    std::string_view path = kHistoryDir.substr(0, kHistoryDir.size() - 1);
    while (true) {
        const std::size_t cut = path.rfind('\\');
        if (cut == std::string_view::npos) return {};
        const std::string_view missing = path.substr(cut + 1);
        path = path.substr(0, cut);
        auto folders = proveWindowsPath(drives, std::string(path) + "\\", elevated, false);
        if (!folders && folders.error().code == ErrorCode::NotFound) continue;
        if (!folders) return folders.error();
        auto may = fs::rehearseReplace(folders->back(), missing);
        if (may) return {};
        Error e = may.error();
        e.path = std::string(kHistoryDir);
        return e;
    }
}

std::vector<int> History::numbers() const {
    std::vector<int> numbers;
    auto contents = fs::listFolder(m_folder.path());
    if (!contents) return numbers;
    for (const std::string &name : contents->folders) {
        auto n = numberOf<int>(name);
        if (n && *n > 0 && std::to_string(*n) == name) numbers.push_back(*n);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::vector<Generation> History::generations() const {
    std::vector<Generation> found;
    const std::vector<int> numbers = this->numbers();
    for (auto n = numbers.rbegin(); n != numbers.rend(); ++n) {
        auto folder = m_folder.openChild(std::to_string(*n));
        if (!folder) continue;
        auto file = fs::OpenFile::openIn(folder.value(), kManifest);
        if (!file) continue;
        auto text = contentsOf(file.value(), kMaxManifest);
        if (!text) continue;
        auto generation = parseManifest(text.value(), shownPath(*n, kManifest));
        if (generation && generation->number == *n) found.push_back(std::move(generation).value());
    }
    return found;
}

Status History::mayWrite() const {
    auto may = fs::rehearseReplace(m_folder, kManifest);
    if (may) return {};
    Error e = may.error();
    e.path = std::string(kHistoryDir);
    return e;
}

Result<KeptState> History::open(const Generation &g) const {
    auto folder = m_folder.openChild(std::to_string(g.number));
    if (!folder) return damaged(g.number, "");
    KeptState kept{{g.encoding, g.rest, {}}, {}};
    auto entriesFile = fs::OpenFile::openIn(folder.value(), kEntries);
    if (!entriesFile) return damaged(g.number, kEntries);
    auto entries = contentsOf(entriesFile.value(), kMaxEntries);
    if (!entries || entriesFile->sha256() != g.entries) return damaged(g.number, kEntries);
    std::size_t at = 0;
    for (const Generation::Piece &piece : g.pieces) {
        const auto length = static_cast<std::size_t>(piece.length);
        if (length > entries->size() - at) return damaged(g.number, kEntries);
        kept.catalogue.pieces.push_back({piece.at, entries->substr(at, length)});
        at += length;
    }
    if (at != entries->size()) return damaged(g.number, kEntries);
    for (std::size_t i = 0; i < g.files.size(); ++i) {
        if (!g.files[i]) continue;
        const std::string name = keptName(i);
        auto file = fs::OpenFile::openIn(folder.value(), name);
        if (!file || !hashWhole(file.value()) || file->sha256() != g.files[i])
            return damaged(g.number, name);
        kept.files[i] = std::move(file).value();
    }
    return kept;
}

Result<int> History::keep(Generation g, const catalogue::DevicePart &part, DeviceFiles &files) {
    const std::vector<int> numbers = this->numbers();
    g.original = generations().empty();
    g.number = numbers.empty() ? 1 : numbers.back() + 1;
    // Another copy of the tool may take a number at the same moment: the next one then.
    auto folder = m_folder.createChild(std::to_string(g.number));
    for (int tries = 1; !folder && folder.error().sysErrno == EEXIST && tries < 8; ++tries)
        folder = m_folder.createChild(std::to_string(++g.number));
    if (!folder) return folder.error();
    auto written = [&]() -> Status {
        for (std::size_t i = 0; i < files.size(); ++i) {
            g.files[i].reset();
            if (!files[i]) continue;
            if (Status s = fs::copyFile(*files[i], folder.value(), keptName(i)); !s) return s;
            g.files[i] = files[i]->sha256();
        }
        std::vector<std::string_view> pieces;
        Sha256 entries;
        g.pieces.clear();
        for (const catalogue::DevicePart::Piece &piece : part.pieces) {
            pieces.push_back(piece.bytes);
            entries.add(piece.bytes);
            g.pieces.push_back({piece.at, static_cast<std::int64_t>(piece.bytes.size())});
        }
        g.encoding = part.encoding;
        g.rest = part.rest;
        g.entries = entries.hex();
        if (auto s = fs::replaceFile(folder.value(), kEntries, pieces, nullptr); !s)
            return s.error();
        // Last: a generation is whole once its manifest is there.
        const std::string manifest = manifestText(g);
        const std::string_view manifestPieces[] = {manifest};
        if (auto s = fs::replaceFile(folder.value(), kManifest, manifestPieces, nullptr); !s)
            return s.error();
        return {};
    }();
    if (!written) {
        folder = Error();
        drop(g.number);
        return written.error();
    }
    return g.number;
}

void History::drop(int number) const {
    const std::string name = std::to_string(number);
    {
        auto folder = m_folder.openChild(name);
        if (!folder) return;
        // The manifest first, and durably (removeFile flushes the folder): a power cut in what
        // follows leaves a folder that is no generation, never one that lists missing files.
        if (!fs::removeFile(folder.value(), kManifest)) return;
        auto contents = fs::listFolder(folder->path());
        if (contents)
            for (const std::string &file : contents->files)
                (void)fs::removeFile(folder.value(), file);
    } // closed before it goes: Windows keeps a folder that is open
    (void)m_folder.removeChild(name);
}

void History::prune() const {
    const std::vector<Generation> whole = generations();
    std::vector<int> kept;
    std::size_t recent = 0;
    for (const Generation &g : whole)
        if (g.original || recent++ < kKeptGenerations) kept.push_back(g.number);
    // An unfinished folder above the newest whole one may be another copy's, being written.
    const int newest = whole.empty() ? 0 : whole.front().number;
    for (const int n : numbers())
        if (n < newest && std::find(kept.begin(), kept.end(), n) == kept.end()) drop(n);
}

} // namespace corvelan::workflows
