// A system log that keeps the events written to it, for tests to read.
#pragma once

#include "workflows/ports.h"

#include <vector>

namespace corvelan::test {

class RecordingLog final : public workflows::EventLog {
public:
    void write(const fs::SystemEvent &event) override { events.push_back(event); }
    std::vector<fs::SystemEvent> events;
};

} // namespace corvelan::test
