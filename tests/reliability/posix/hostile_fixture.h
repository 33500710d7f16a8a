// What the Linux hardening tests start from: a repository with two entries, the tool's
// pictures, and a session started as the window starts it.
#pragma once

#include "support/repository_files.h"
#include "support/started_session.h"

#include <string>

namespace corvelan::workflows {

inline const std::string &kCatalogue = test::kTwoEntries;
inline const std::string kProfile = test::description();

class Hostile : public test::StartedSession {
protected:
    // Started as the window starts, whatever its start-up makes of what the test planted.
    UpdateSession &start() { return StartedSession::start(std::nullopt); }
};

} // namespace corvelan::workflows
