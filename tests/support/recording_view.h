// A list view that records what the workflows show.
#pragma once

#include "workflows/ports.h"

#include <string>
#include <vector>

namespace corvelan::test {

class RecordingView final : public workflows::ListView {
public:
    void addLine(const std::string &line) override { lines.push_back(line); }
    void clearList() override { lines.clear(); }
    void setInstallEnabled(bool enabled) override { installEnabled = enabled; }

    std::vector<std::string> lines;
    bool installEnabled = true;
};

} // namespace corvelan::test
