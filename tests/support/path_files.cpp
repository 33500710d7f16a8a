#include "support/path_files.h"

namespace corvelan::test {

Result<fs::FileStamp> replaceFileContent(const std::string &hostPath, std::string_view bytes) {
    auto folder = fs::Folder::open(fs::folderOf(hostPath));
    if (!folder) return folder.error();
    return fs::replaceFile(folder.value(), fs::nameOf(hostPath),
                           std::span<const std::string_view>(&bytes, 1), nullptr);
}

Status copyFile(const std::string &from, const std::string &to) {
    auto folder = fs::Folder::open(fs::folderOf(to));
    if (!folder) return folder.error();
    return fs::copyFile(from, folder.value(), fs::nameOf(to));
}

Result<xml::DescriptionFacts> readDescription(const std::string &hostPath) {
    auto file = fs::OpenFile::open(hostPath);
    if (!file) return file.error();
    return xml::readDescription([&](std::size_t pieceSize, const xml::PieceHandler &piece) {
        return file->readAll(pieceSize, piece);
    });
}

Result<xml::DescriptionFacts> readDescriptionBytes(std::string_view bytes) {
    return xml::readDescription([&](std::size_t pieceSize, const xml::PieceHandler &piece) {
        for (std::size_t at = 0; at < bytes.size(); at += pieceSize)
            if (Status s = piece(bytes.substr(at, pieceSize), false); !s) return s;
        return piece({}, true);
    });
}

} // namespace corvelan::test
