// What the Linux hardening tests start from: a repository with two entries, the tool's
// pictures, and a session started as the window starts it.
#pragma once

#include "support/recording_view.h"
#include "support/repository.h"
#include "support/repository_files.h"
#include "support/scripted_boxes.h"
#include "support/temp_prefix.h"
#include "workflows/update_session.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace corvelan::workflows {

inline const std::string &kCatalogue = test::kTwoEntries;
inline const std::string kProfile = test::description();

class Hostile : public ::testing::Test {
protected:
    UpdateSession &start() {
        session.emplace(repo.session());
        view.lines.clear();
        startup = session->startUp(view);
        return *session;
    }
    std::string pictures() const { return repo.pictures(); }

    test::Repository repo;
    test::TempPrefix &prefix = repo.prefix;
    test::TempDir &tool = repo.tool;
    std::optional<UpdateSession> session;
    StartupOutcome startup{};
    test::RecordingView view;
    test::ScriptedBoxes boxes;
};

} // namespace corvelan::workflows
