// System logs that keep the events written to them, for tests to read.
#pragma once

#include "workflows/ports.h"

#include <vector>

namespace corvelan::test {

class RecordingLog final : public workflows::EventLog {
public:
    void write(const fs::SystemEvent &event) override { events.push_back(event); }
    std::vector<fs::SystemEvent> events;
};

// Keeps each event and writes it on to the system's log, as the tool does: for the tests that
// catch the system's own calls.
class TeeLog final : public workflows::EventLog {
public:
    void write(const fs::SystemEvent &event) override {
        events.push_back(event);
        workflows::systemEventLog().write(event);
    }
    std::vector<fs::SystemEvent> events;
};

} // namespace corvelan::test
