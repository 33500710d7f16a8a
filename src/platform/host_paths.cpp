// Host paths, taken apart and put together with the host's own separators.
#include "platform/file_primitives.h"
#include "platform/file_system.h"

namespace corvelan::fs {

std::string folderOf(const std::string &path) {
    const std::size_t at = path.find_last_of(host::separators());
    if (at == std::string::npos) return ".";
    // A root keeps its separator: "/" and "C:\".
    if (at == 0 || (at == 2 && path[1] == ':')) return path.substr(0, at + 1);
    return path.substr(0, at);
}

std::string nameOf(const std::string &path) {
    const std::size_t at = path.find_last_of(host::separators());
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string joinPath(const std::string &folder, std::string_view name) {
    std::string out = folder;
    if (out.empty() || host::separators().find(out.back()) == std::string_view::npos)
        out += host::separators().front();
    out += name;
    return out;
}

} // namespace corvelan::fs
