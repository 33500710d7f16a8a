#include "support/temp_prefix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <cstdlib>

namespace corvelan::test {

namespace stdfs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (stdfs::temp_directory_path() / "corvelan-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir() {
    // Tests make read-only files and folders; give write permission back before removing.
    std::error_code ec;
    for (auto it = stdfs::recursive_directory_iterator(m_path, ec);
         !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            stdfs::permissions(it->path(), stdfs::perms::owner_all, stdfs::perm_options::add, ec);
    }
    stdfs::remove_all(m_path, ec);
}

std::string TempDir::operator/(std::string_view name) const {
    return m_path + "/" + std::string(name);
}

TempPrefix::TempPrefix(bool withRepository, std::string_view picturesName) {
    stdfs::create_directories(*this / "drive_c");
    if (withRepository)
        stdfs::create_directories(repositoryDir() + "/" + std::string(picturesName));
}

std::string TempPrefix::repositoryDir() const {
    return *this / "drive_c/ProgramData/Schneider Electric/PTK Generic DTM/DDXMLRepository";
}

std::string TempPrefix::catalogueFile() const {
    return repositoryDir() + "/DDXMLRepository.xml";
}

DriveMap TempPrefix::drives() const {
    return DriveMap::forPrefix(path()).value();
}

void writeFile(const std::string &path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writeInPlace(const std::string &path, std::int64_t offset, std::string_view bytes) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(offset);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write into " + path);
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool fileExists(const std::string &path) {
    std::error_code ec;
    return stdfs::exists(stdfs::symlink_status(path, ec));
}

std::string listFolder(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &entry : stdfs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto &name : names)
        out += (out.empty() ? "" : " ") + name;
    return out;
}

} // namespace corvelan::test
