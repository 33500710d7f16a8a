#include "support/path_files.h"

namespace corvelan::test {

Result<fs::FileStamp> replaceFileContent(const std::string &hostPath, std::string_view bytes) {
    auto folder = fs::Folder::open(fs::folderOf(hostPath));
    if (!folder) return folder.error();
    return fs::replaceFile(folder.value(), fs::nameOf(hostPath),
                           std::span<const std::string_view>(&bytes, 1), nullptr,
                           fs::Links::Follow);
}

Status copyFile(const std::string &from, const std::string &to) {
    auto folder = fs::Folder::open(fs::folderOf(to));
    if (!folder) return folder.error();
    return fs::copyFile(from, folder.value(), fs::nameOf(to), fs::Links::Follow);
}

Result<xml::DescriptionFacts> readDescription(const std::string &hostPath) {
    auto file = fs::OpenFile::open(hostPath);
    if (!file) return file.error();
    Sha256 digest;
    return xml::readDescription(file.value(), digest);
}

} // namespace corvelan::test
