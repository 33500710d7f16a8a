// What the workflows need of the main window. The window implements these; tests record them.
#pragma once

#include "catalogue/listing.h"
#include "platform/system_log.h"

#include <string>

namespace corvelan::workflows {

class ListView {
public:
    virtual ~ListView() = default;
    // Adds a line at the end of the list.
    virtual void addLine(const std::string &line) = 0;
    // Adds lines at the end of the list, in order; a view may do it in one go.
    virtual void addLines(const catalogue::Listing &lines) {
        for (std::size_t i = 0; i < lines.size(); ++i)
            addLine(std::string(lines[i]));
    }
    // Removes every line.
    virtual void clearList() = 0;
    // Enables or disables the Install button.
    virtual void setInstallEnabled(bool enabled) = 0;
    // Puts the focus on the list with line `line` current (none past the end), so that a screen
    // reader reads the list as a command changed it. A view without focus ignores it.
    virtual void showLine(std::size_t line) { (void)line; }
};

} // namespace corvelan::workflows

namespace corvelan::workflows {

// The message boxes the workflows show, each with its Windows style value (MB_ flags), so that a
// Windows box takes it as it is and another toolkit draws the same box from it.
enum class BoxStyle : unsigned {
    Ok = 0,           // OK, no icon
    Error = 16,       // OK, error icon (MB_ICONERROR)
    Warning = 48,     // OK, warning icon (MB_ICONWARNING)
    Confirm = 4 + 64, // Yes and No, Yes the default (MB_YESNO), information icon
};

// The button pressed, with its Windows value (IDOK, IDYES, IDNO).
enum class BoxAnswer : int { Ok = 1, Yes = 6, No = 7 };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows an application-modal box and returns the button pressed.
    virtual BoxAnswer show(const std::string &text, const std::string &title, BoxStyle style) = 0;
};

// The system's log, where each install and remove leaves one event. Writing never fails a
// workflow.
class EventLog {
public:
    virtual ~EventLog() = default;
    virtual void write(const fs::SystemEvent &event) = 0;
};

// The log of the system the tool runs on (platform/system_log.h).
[[nodiscard]] EventLog &systemEventLog();

} // namespace corvelan::workflows
