// What the install and remove tests start from: a repository whose catalogue holds two other
// products' entries around the device's, a tool folder with the five pictures, and a folder of
// description files on drive c:.
#pragma once

#include "support/device_entry.h"
#include "support/recording_view.h"
#include "support/repository.h"
#include "support/repository_files.h"
#include "support/scripted_boxes.h"
#include "support/temp_prefix.h"
#include "workflows/update_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace corvelan::test {
inline void PrintTo(const ShownBox &box, std::ostream *os) {
    *os << "{\"" << box.text << "\", \"" << box.title << "\", " << box.style << "}";
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
class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(test::fsPath(prefix / "drive_c/Descriptions"));
    }

    // Starts a session the way the window does.
    UpdateSession &start() {
        session.emplace(repo.session());
        EXPECT_EQ(session->startUp(view), StartupOutcome::Listed);
        return *session;
    }

    // Writes a description file and returns its Windows path.
    std::string description(const std::string &name, const std::string &bytes) {
        test::writeFile(file(name), bytes);
        return prefix.drives().windowsPath(file(name));
    }

    std::string pictures() const { return repo.pictures(); }
    // On drive c:, where a Windows path leads back to it on both platforms.
    std::string file(std::string_view name) const {
        return prefix / ("drive_c/Descriptions/" + std::string(name));
    }

    test::Repository repo{kCatalogue};
    test::TempPrefix &prefix = repo.prefix;
    test::TempDir &tool = repo.tool;
    std::optional<UpdateSession> session;
    test::RecordingView view;
    test::ScriptedBoxes boxes;
};

} // namespace corvelan::workflows
