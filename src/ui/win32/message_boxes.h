// The workflows' message boxes as Windows shows them: real MessageBoxW calls with the style
// values the workflows pass (16, 0, 68, 48), whose answers (1, 6, 7) go back unchanged.
#pragma once

#include "workflows/ports.h"

#include <windows.h>

namespace corvelan::win32ui {

class Win32MessageBoxes final : public workflows::MessageBoxes {
public:
    // Boxes are owned by the tool's active window, else by `fallbackOwner`.
    explicit Win32MessageBoxes(HWND fallbackOwner = nullptr) : m_fallbackOwner(fallbackOwner) {}
    void setFallbackOwner(HWND owner) { m_fallbackOwner = owner; }

    // Application-modal: every other window of the tool is disabled while the box is shown.
    workflows::BoxAnswer show(const std::string &text, const std::string &title,
                              workflows::BoxStyle style) override;

private:
    HWND m_fallbackOwner;
};

} // namespace corvelan::win32ui
