#include "support/temp_prefix.h"

#include "platform/file_system.h"
#include "support/host.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

namespace corvelan::test {

namespace stdfs = std::filesystem;

stdfs::path fsPath(const std::string &utf8) {
    return stdfs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const stdfs::path &path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TempDir::TempDir() {
    static std::mt19937_64 random{std::random_device{}()};
    const stdfs::path base = stdfs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const stdfs::path candidate =
            base / ("corvelan-test-" + std::to_string(random() % 1000000000));
        std::error_code ec;
        if (stdfs::create_directory(candidate, ec)) {
            m_path = utf8Of(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    // Tests make read-only files and folders; give write permission back before removing.
    std::error_code ec;
    for (auto it = stdfs::recursive_directory_iterator(fsPath(m_path), ec);
         !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink(ec))
            stdfs::permissions(it->path(), stdfs::perms::owner_all, stdfs::perm_options::add, ec);
    }
    stdfs::remove_all(fsPath(m_path), ec);
}

std::string TempDir::operator/(std::string_view name) const {
    // In the host's own form: on Windows every separator a backslash.
    const char separator = m_path.find('\\') != std::string::npos ? '\\' : '/';
    std::string out = m_path;
    if (out.back() != separator) out += separator;
    for (char c : name)
        out += (c == '/' || c == '\\') ? separator : c;
    return out;
}

TempPrefix::TempPrefix(bool withRepository, std::string_view picturesName) {
    stdfs::create_directories(fsPath(*this / "drive_c"));
    if (withRepository)
        stdfs::create_directories(fsPath(repositoryDir() + "/" + std::string(picturesName)));
}

std::string TempPrefix::repositoryDir() const {
    return *this / "drive_c/ProgramData/Schneider Electric/PTK Generic DTM/DDXMLRepository";
}

std::string TempPrefix::catalogueFile() const {
    return *this / "drive_c/ProgramData/Schneider Electric/PTK Generic DTM/DDXMLRepository/"
                   "DDXMLRepository.xml";
}

DriveMap TempPrefix::drives() const {
    return DriveMap::forPrefix(path()).value();
}

void writeFile(const std::string &path, std::string_view bytes) {
    std::ofstream out(fsPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writeInPlace(const std::string &path, std::int64_t offset, std::string_view bytes) {
    std::fstream out(fsPath(path), std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(offset);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write into " + path);
}

std::string readFile(const std::string &path) {
    std::ifstream in(fsPath(path), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool fileExists(const std::string &path) {
    std::error_code ec;
    return stdfs::exists(stdfs::symlink_status(fsPath(path), ec));
}

std::string listFolder(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &entry : stdfs::directory_iterator(fsPath(folder)))
        names.push_back(utf8Of(entry.path().filename()));
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto &name : names)
        out += (out.empty() ? "" : " ") + name;
    return out;
}

std::string theTemporaryFileIn(const std::string &folder) {
    std::string found;
    for (const auto &entry : stdfs::directory_iterator(fsPath(folder))) {
        const std::string name = utf8Of(entry.path().filename());
        if (!fs::isTemporaryFileName(name)) continue;
        if (!found.empty()) return {};
        found = utf8Of(entry.path());
    }
    return found;
}

std::string snapshotOf(const std::string &folder) {
    std::vector<std::string> lines;
    std::error_code ec;
    for (auto it = stdfs::recursive_directory_iterator(fsPath(folder), ec);
         !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string name = utf8Of(stdfs::relative(it->path(), fsPath(folder), ec));
        const auto status = it->symlink_status(ec);
        if (stdfs::is_symlink(status)) {
            lines.push_back(name + " -> " + utf8Of(stdfs::read_symlink(it->path(), ec)));
        } else if (stdfs::is_directory(status)) {
            lines.push_back(name + "/");
        } else {
            const bool writable =
                (status.permissions() & stdfs::perms::owner_write) != stdfs::perms::none;
            lines.push_back(name + (writable ? " rw " : " ro ") + readFile(utf8Of(it->path())));
        }
    }
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string &line : lines)
        out += line + "\n";
    return out;
}

std::string snapshotWithTimesOf(const std::string &folder) {
    const auto times = [](const std::string &path) {
        return " written " + std::to_string(modifiedTime(path)) + " changed " +
               std::to_string(changedTime(path)) + "\n";
    };
    std::string out = snapshotOf(folder) + "." + times(folder);
    std::vector<std::string> lines;
    std::error_code ec;
    for (auto it = stdfs::recursive_directory_iterator(fsPath(folder), ec);
         !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec))
        lines.push_back(utf8Of(stdfs::relative(it->path(), fsPath(folder), ec)) +
                        times(utf8Of(it->path())));
    std::sort(lines.begin(), lines.end());
    for (const std::string &line : lines)
        out += line;
    return out;
}

} // namespace corvelan::test
