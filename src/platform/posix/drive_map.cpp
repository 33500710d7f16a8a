#include "platform/drive_map.h"
#include "base/ascii.h"

#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/windows_names.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace corvelan {
namespace {

bool isDirectory(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string &path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The case-insensitive matches of `name` among the folders and files of the folder `dir`.
std::vector<std::string> matchesInFolder(const std::string &dir, std::string_view name) {
    std::vector<std::string> found;
    auto contents = fs::listFolder(dir);
    if (!contents) return found;
    for (const auto *names : {&contents->folders, &contents->files})
        for (const std::string &entry : *names)
            if (namesEqualIgnoringCase(entry, name)) found.push_back(entry);
    return found;
}

// Canonical form of a host path: symbolic links resolved for the part that exists, the rest
// appended as given.
std::string canonicalHostPath(std::string_view hostPath) {
    std::string path(hostPath);
    if (path.empty() || path.front() != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd)) path = fs::joinPath(cwd, path);
    }
    std::string tail;
    while (true) {
        char real[PATH_MAX];
        if (::realpath(path.c_str(), real)) {
            std::string out = real;
            if (!tail.empty()) out = fs::joinPath(out, tail);
            return out;
        }
        const auto slash = path.rfind('/');
        if (slash == std::string::npos || path == "/") return std::string(hostPath);
        const std::string last = path.substr(slash + 1);
        tail = tail.empty() ? last : last + "/" + tail;
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
}

} // namespace

Result<DriveMap> DriveMap::forPrefix(std::string prefix) {
    if (prefix.empty() || prefix.front() != '/') {
        return makeError(ErrorCode::PrefixNotAbsolute, prefix);
    }
    while (prefix.size() > 1 && prefix.back() == '/')
        prefix.pop_back();
    DriveMap map;
    map.m_prefix = std::move(prefix);
    return map;
}

Result<DriveMap> DriveMap::fromEnvironment() {
    if (const char *wine = std::getenv("WINEPREFIX"); wine && *wine) return forPrefix(wine);
    const char *home = std::getenv("HOME");
    if (!home || !*home) {
        return makeError(ErrorCode::NoPrefix);
    }
    return forPrefix(fs::joinPath(home, ".wine"));
}

std::string DriveMap::driveRoot(char letter) const {
    if (!m_prefix.empty()) {
        std::string device = m_prefix + "/dosdevices/" + letter + ":";
        if (exists(device)) return device;
        if (letter == 'c') return m_prefix + "/drive_c";
    }
    if (letter == 'z') return "/";
    return {};
}

std::vector<Drive> DriveMap::drives() const {
    std::vector<Drive> out;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        std::string root = driveRoot(letter);
        // The file window shows where on the host each drive lies.
        if (!root.empty() && isDirectory(root)) out.push_back({letter, root, root});
    }
    return out;
}

Result<ResolvedPath> DriveMap::resolve(std::string_view windowsPath) const {
    auto parsed = parseWindowsPath(windowsPath);
    if (!parsed) return parsed.error();
    const char letter = parsed->letter;
    ResolvedPath resolved{driveRoot(letter), {}};
    if (resolved.root.empty()) {
        Error e = makeError(ErrorCode::DriveNotMapped, std::string(windowsPath));
        e.detail = UnmappedDrive{std::string(1, asciiUpper(letter))};
        return e;
    }
    std::string current = resolved.root;
    bool resolving = true;
    for (const std::string &part : parsed->parts) {
        std::string name = part;
        if (resolving && isDirectory(current)) {
            if (!exists(fs::joinPath(current, part))) {
                const auto found = matchesInFolder(current, part);
                if (found.size() > 1) {
                    Error e = makeError(ErrorCode::AmbiguousName, std::string(windowsPath));
                    e.detail = NameClash{found[0], found[1], current};
                    return e;
                }
                if (found.empty())
                    resolving = false;
                else
                    name = found.front();
            }
        } else {
            resolving = false;
        }
        current = fs::joinPath(current, name);
        resolved.parts.push_back(std::move(name));
    }
    return resolved;
}

Result<std::string> DriveMap::hostPath(std::string_view windowsPath) const {
    auto resolved = resolve(windowsPath);
    if (!resolved) return resolved.error();
    std::string path = resolved->root;
    for (const std::string &part : resolved->parts)
        path = fs::joinPath(path, part);
    return path;
}

std::string DriveMap::windowsPath(std::string_view hostPath) const {
    const std::string path = canonicalHostPath(hostPath);
    // Longest root wins; among equal roots the first letter. Nothing held: z:.
    char bestLetter = 'z';
    std::string bestRoot = "/";
    size_t bestLength = 0;
    for (const Drive &drive : drives()) {
        const std::string root = canonicalHostPath(drive.root);
        const bool holds =
            root == "/" || path == root ||
            (path.starts_with(root) && path.size() > root.size() && path[root.size()] == '/');
        if (holds && root.size() > bestLength) {
            bestLetter = drive.letter;
            bestRoot = root;
            bestLength = root.size();
        }
    }
    std::string rest = bestRoot == "/" ? path.substr(1) : path.substr(bestRoot.size());
    while (!rest.empty() && rest.front() == '/')
        rest.erase(0, 1);
    std::string out;
    out += driveName(bestLetter) + "\\";
    for (char c : rest)
        out += c == '/' ? '\\' : c;
    if (out.size() > 3 && out.back() == '\\') out.pop_back();
    return out;
}

bool DriveMap::folderExists(std::string_view windowsPath) const {
    const auto host = hostPath(windowsPath);
    return host.ok() && isDirectory(host.value());
}

} // namespace corvelan
