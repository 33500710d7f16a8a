// What the workflows need of the main window. The window implements these; tests record them.
#pragma once

#include <string>

namespace corvelan::workflows {

class ListView {
public:
    virtual ~ListView() = default;
    // Adds a line at the end of the list.
    virtual void addLine(const std::string &line) = 0;
    // Removes every line.
    virtual void clearList() = 0;
    // Enables or disables the Install button.
    virtual void setInstallEnabled(bool enabled) = 0;
};

} // namespace corvelan::workflows
