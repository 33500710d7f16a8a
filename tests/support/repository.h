// What most tests start from: a Wine prefix holding the host product's repository, the tool's
// folder with its five pictures, and a description of the device at C:\dtm.xml; and the
// description files tests write.
#pragma once

#include "support/recording_log.h"
#include "support/repository_files.h"
#include "support/temp_prefix.h"
#include "workflows/update_session.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvelan::test {

// A description file of the device: an ISO 15745 profile holding `body`, with `rootAttributes`.
[[nodiscard]] std::string profile(std::string_view body, std::string_view rootAttributes = {});
// A description of the QVX TSR 7700 of `version`.
[[nodiscard]] std::string description(std::string_view version = "2");

// The device's part of the repository in `prefix`, byte for byte: the catalogue, then each
// installed file or "(absent)".
[[nodiscard]] std::vector<std::string> devicePart(const TempPrefix &prefix);

// What each picture beside the tool holds in tests.
[[nodiscard]] std::string pictureBytes(std::string_view name);

// A catalogue of another product's entry and the device's, both of version 1.
inline const std::string kTwoEntries =
    "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"1\"/>\r\n"
    "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n</DDXMLRepository>\r\n";

class Repository {
public:
    explicit Repository(std::string_view catalogue = kTwoEntries,
                        std::string_view picturesName = "Pictures");

    // The host path of the repository's pictures folder.
    [[nodiscard]] std::string pictures() const;
    // The tool's folder, as a session asks for it.
    [[nodiscard]] workflows::ToolFolder toolFolder() const;
    // A session on it, not started yet; `elevated` as the tool would judge its own rights. Its
    // events go to `log`.
    [[nodiscard]] workflows::UpdateSession session(bool elevated = fs::runsElevated());

    TempPrefix prefix;
    TempDir tool;
    RecordingLog log;

private:
    std::string m_picturesName;
};

} // namespace corvelan::test
