// What the install and remove tests start from: a repository whose catalogue holds two other
// products' entries around the device's, a tool folder with the five pictures, and a folder of
// description files on drive c:.
#pragma once

#include "support/device_entry.h"
#include "support/repository_files.h"
#include "support/started_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace corvelan::test {
inline void PrintTo(const ShownBox &box, std::ostream *os) {
    *os << "{\"" << box.text << "\", \"" << box.title << "\", " << static_cast<unsigned>(box.style)
        << "}";
}
} // namespace corvelan::test

namespace corvelan::workflows {

inline std::string entry(const std::string &version) {
    return test::deviceEntry(version);
}

inline std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

inline const std::string kCatalogue =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DDXMLRepository>\r\n"
    "<File ProductID=\"Norvik\" Fileversion=\"2\"/>\r\n"
    "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1.0\"/>\r\n"
    "<File ProductID=\"Halden\" Fileversion=\"11\"/>\r\n"
    "</DDXMLRepository>\r\n";

// A repository, a tool folder with the five pictures, and a folder of description files.
class InstallTest : public test::StartedSession {
protected:
    InstallTest() : StartedSession(kCatalogue) {}
    void SetUp() override {
        std::filesystem::create_directories(test::fsPath(prefix / "drive_c/Descriptions"));
    }

    // Writes a description file and returns its Windows path.
    std::string description(const std::string &name, const std::string &bytes) {
        test::writeFile(file(name), bytes);
        return prefix.drives().windowsPath(file(name));
    }

    // On drive c:, where a Windows path leads back to it on both platforms.
    std::string file(std::string_view name) const {
        return prefix / ("drive_c/Descriptions/" + std::string(name));
    }
};

} // namespace corvelan::workflows
