#include "ui/win32/message_boxes.h"

#include "platform/win32/wide.h"

#include <vector>

namespace corvelan::win32ui {
namespace {

// The enabled top-level windows of this thread but `keep`.
std::vector<HWND> otherEnabledWindows(HWND keep) {
    struct Found {
        HWND keep;
        std::vector<HWND> windows;
    } found{keep, {}};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto *f = reinterpret_cast<Found *>(data);
            if (window != f->keep && ::IsWindowVisible(window) && ::IsWindowEnabled(window))
                f->windows.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.windows;
}

} // namespace

workflows::BoxAnswer Win32MessageBoxes::show(const std::string &text, const std::string &title,
                                             workflows::BoxStyle style) {
    HWND owner = ::GetActiveWindow();
    if (!owner || ::GetWindowThreadProcessId(owner, nullptr) != ::GetCurrentThreadId())
        owner = m_fallbackOwner;
    // MessageBoxW disables its owner only; the tool's other window is disabled too, so that no
    // command of the tool can run while the box is up.
    const std::vector<HWND> others = otherEnabledWindows(owner);
    for (HWND window : others)
        ::EnableWindow(window, FALSE);
    const int answer = ::MessageBoxW(owner, win32::toWide(text).c_str(),
                                     win32::toWide(title).c_str(), static_cast<UINT>(style));
    for (HWND window : others)
        ::EnableWindow(window, TRUE);
    // A box that could not be shown answers nothing: a question then counts as No, never as Yes.
    if (answer == 0)
        return style == workflows::BoxStyle::Confirm ? workflows::BoxAnswer::No
                                                     : workflows::BoxAnswer::Ok;
    return static_cast<workflows::BoxAnswer>(answer);
}

} // namespace corvelan::win32ui
