#include "platform/temporary_names.h"

#include "platform/file_system.h"

#include <algorithm>

namespace corvelan::fs {

std::string temporaryName(std::string_view targetName, std::string_view random) {
    std::string name = ".";
    name.append(targetName).append(kTemporaryMarker).append(random);
    return name;
}

bool isTemporaryFileName(std::string_view name) {
    const size_t tail = kTemporaryMarker.size() + kTemporaryRandomLength;
    if (name.size() < 2 + tail || name.front() != '.') return false;
    if (name.substr(name.size() - tail, kTemporaryMarker.size()) != kTemporaryMarker) return false;
    const std::string_view random = name.substr(name.size() - kTemporaryRandomLength);
    return std::all_of(random.begin(), random.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

} // namespace corvelan::fs
