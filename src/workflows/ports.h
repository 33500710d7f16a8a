// What the workflows need of the main window. The window implements these; tests record them.
#pragma once

#include "catalogue/listing.h"

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
};

} // namespace corvelan::workflows

namespace corvelan::workflows {

// Windows message box style values and answers.
inline constexpr int kStyleOk = 0;           // OK, no icon
inline constexpr int kStyleError = 16;       // OK, error icon
inline constexpr int kStyleWarning = 48;     // OK, warning icon
inline constexpr int kStyleConfirm = 4 + 64; // Yes and No (Yes the default), information icon
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows an application-modal box and returns the button pressed (kAnswer...).
    virtual int show(const std::string &text, const std::string &title, int style) = 0;
};

} // namespace corvelan::workflows
