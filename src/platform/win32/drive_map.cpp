#include "platform/drive_map.h"
#include "base/ascii.h"

#include "platform/win32/wide.h"
#include "platform/windows_names.h"

namespace corvelan {
namespace {

bool isDirectory(const std::string &path) {
    const DWORD attributes = ::GetFileAttributesW(win32::toWidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() &&
           namesEqualIgnoringCase(text.substr(0, start.size()), start);
}

std::string withBackslashes(std::string_view path) {
    std::string out(path);
    for (char &c : out)
        if (c == '/') c = '\\';
    return out;
}

} // namespace

Result<DriveMap> DriveMap::forPrefix(std::string prefix) {
    prefix = withBackslashes(prefix);
    if (prefix.size() < 3 || prefix[1] != ':' || prefix[2] != '\\') {
        return makeError(ErrorCode::PrefixNotAbsolute, prefix);
    }
    while (prefix.size() > 3 && prefix.back() == '\\')
        prefix.pop_back();
    DriveMap map;
    map.m_prefix = std::move(prefix);
    return map;
}

Result<DriveMap> DriveMap::fromEnvironment() {
    return DriveMap();
}

std::string DriveMap::driveRoot(char letter) const {
    if (letter == 'c' && !m_prefix.empty()) return m_prefix + "\\drive_c";
    const DWORD mask = ::GetLogicalDrives();
    if ((mask & (1u << (letter - 'a'))) == 0) return {};
    return driveName(letter) + "\\";
}

std::vector<Drive> DriveMap::drives() const {
    std::vector<Drive> out;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        std::string root = driveRoot(letter);
        if (root.empty()) continue;
        // Only a drive of its own has a volume label; asking a drive that is not ready (an empty
        // card reader) costs nothing and answers nothing.
        std::string label;
        if (root.size() == 3) {
            // Through a handle of the root folder: by path, Wine reads the volume's device and
            // complains on standard error where it may not.
            const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS);
            win32::Handle folder(
                ::CreateFileW(win32::toWide(root).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            wchar_t name[MAX_PATH + 1] = {};
            if (folder.valid() &&
                ::GetVolumeInformationByHandleW(folder.get(), name, MAX_PATH + 1, nullptr, nullptr,
                                                nullptr, nullptr, 0))
                label = win32::fromWide(name);
            ::SetErrorMode(oldMode);
        }
        out.push_back({letter, std::move(root), std::move(label)});
    }
    return out;
}

Result<ResolvedPath> DriveMap::resolve(std::string_view windowsPath) const {
    auto parsed = parseWindowsPath(windowsPath);
    if (!parsed) return parsed.error();
    std::string root = driveRoot(parsed->letter);
    if (root.empty()) {
        Error e = makeError(ErrorCode::DriveNotMapped, std::string(windowsPath));
        e.detail = UnmappedDrive{std::string(1, asciiUpper(parsed->letter))};
        return e;
    }
    // The file system itself compares names without regard to case.
    return ResolvedPath{std::move(root), std::move(parsed->parts)};
}

Result<std::string> DriveMap::hostPath(std::string_view windowsPath) const {
    auto resolved = resolve(windowsPath);
    if (!resolved) return resolved.error();
    std::string path = resolved->root;
    for (const std::string &part : resolved->parts) {
        if (path.back() != '\\') path += '\\';
        path += part;
    }
    return path;
}

std::string DriveMap::windowsPath(std::string_view hostPath) const {
    std::string path = withBackslashes(hostPath);
    if (path.starts_with("\\\\?\\") && path.size() > 6 && path[5] == ':') path.erase(0, 4);
    if (!m_prefix.empty()) {
        const std::string root = m_prefix + "\\drive_c";
        if (startsWithIgnoringCase(path, root) &&
            (path.size() == root.size() || path[root.size()] == '\\'))
            path = "C:" + (path.size() == root.size() ? "\\" : path.substr(root.size()));
    }
    if (path.size() >= 2 && path[1] == ':') path[0] = asciiUpper(path[0]);
    if (path.size() == 2 && path[1] == ':') path += '\\';
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

bool DriveMap::folderExists(std::string_view windowsPath) const {
    const auto host = hostPath(windowsPath);
    return host.ok() && isDirectory(host.value());
}

} // namespace corvelan
