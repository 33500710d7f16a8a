// What the workflow tests start from: a test repository and a session on it, started as the
// window starts it, with the list it shows and the boxes it asks; and the way to start again on
// other bytes.
#pragma once

#include "support/recording_view.h"
#include "support/repository.h"
#include "support/scripted_boxes.h"
#include "support/temp_prefix.h"
#include "workflows/update_session.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace corvelan::test {

class StartedSession : public ::testing::Test {
protected:
    explicit StartedSession(std::string_view catalogue = kTwoEntries) : repo(catalogue) {}

    // A new session, run `elevated` or not, started with an empty list and no box shown; its
    // start-up must end as `expected` when one is given.
    workflows::UpdateSession &
    start(std::optional<workflows::StartupOutcome> expected = workflows::StartupOutcome::Listed,
          bool elevated = fs::runsElevated()) {
        session.emplace(repo.session(elevated));
        view.lines.clear();
        boxes.shown.clear();
        startup = session->startUp(view);
        if (expected) {
            EXPECT_EQ(startup, *expected);
        }
        return *session;
    }
    // Writes `catalogue` over the repository's catalogue, then starts again.
    workflows::UpdateSession &restart(std::string_view catalogue,
                                      bool elevated = fs::runsElevated()) {
        writeFile(prefix.catalogueFile(), catalogue);
        return start(workflows::StartupOutcome::Listed, elevated);
    }
    [[nodiscard]] std::string pictures() const { return repo.pictures(); }

    Repository repo;
    TempPrefix &prefix = repo.prefix;
    TempDir &tool = repo.tool;
    std::optional<workflows::UpdateSession> session;
    workflows::StartupOutcome startup{};
    RecordingView view;
    ScriptedBoxes boxes;
};

} // namespace corvelan::test
