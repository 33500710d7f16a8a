// What both Win32 windows share: the controls of a window design (ui/window_design.h)
// placed in 96-DPI pixels scaled once with the window's DPI and named by their design names, fonts
// owned by RAII handles, and the window procedure that finds its object and lets no exception out.
#pragma once

#include "catalogue/listing.h"
#include "ui/window_design.h"

#include <windows.h>

#include <exception>
#include <string>
#include <string_view>
#include <vector>

struct IAccPropServices; // oleacc.h

namespace corvelan::win32ui {

// The window classes of the tool's two windows.
inline constexpr const wchar_t *kUpdateToolClass = L"CorvelanUpdateTool";
inline constexpr const wchar_t *kFileControlClass = L"CorvelanFileControl";

// A font, deleted with its owner.
class Font {
public:
    Font() = default;
    explicit Font(HFONT font) : m_font(font) {}
    Font(Font &&other) noexcept : m_font(other.m_font) { other.m_font = nullptr; }
    Font &operator=(Font &&other) noexcept {
        if (this != &other) {
            reset();
            m_font = other.m_font;
            other.m_font = nullptr;
        }
        return *this;
    }
    Font(const Font &) = delete;
    Font &operator=(const Font &) = delete;
    ~Font() { reset(); }
    [[nodiscard]] HFONT get() const { return m_font; }

private:
    void reset() {
        if (m_font) ::DeleteObject(m_font);
        m_font = nullptr;
    }
    HFONT m_font = nullptr;
};

// The names a screen reader reads for controls that show no text of their own, given to Windows'
// accessibility layer as annotations of the controls, and taken back with their window.
class AccessibleNames {
public:
    AccessibleNames();
    ~AccessibleNames();
    AccessibleNames(const AccessibleNames &) = delete;
    AccessibleNames &operator=(const AccessibleNames &) = delete;

    // Gives `control` the name `name` (UTF-8). Without the accessibility layer: nothing.
    void name(HWND control, std::string_view name);
    // Takes back every name given, once their controls are gone.
    void clear();

private:
    IAccPropServices *m_services = nullptr;
    bool m_comStarted = false;
    std::vector<HWND> m_named;
};

// Registers the tool's window class `name` once: the tool's icon, the dialog background.
void registerWindowClass(HINSTANCE instance, const wchar_t *name);

// The DPI of `window` (96 when the system cannot tell).
[[nodiscard]] UINT dpiOf(HWND window);

// `pixels` at 96 DPI, at `dpi`.
[[nodiscard]] int scaled(int pixels, UINT dpi);

// The window's standard font at `dpi`: the system's message font.
[[nodiscard]] Font standardFont(UINT dpi);

// A font of `face`, `points` high, at `dpi`.
[[nodiscard]] Font font(const wchar_t *face, int points, int weight, UINT dpi);

// Creates the controls of `design` in `parent`, in the design's order, which is their tab order,
// each placed at `dpi` with its design name, the identifier `firstId` plus its index, and
// `standard` as its font; a label that names a control comes right before it in z-order, and a
// control without text of its own gets its name in `names`. Returns their handles in the design's
// order.
std::vector<HWND> createControls(HWND parent, const ui::WindowDesign &design, int firstId, UINT dpi,
                                 HFONT standard, AccessibleNames &names);

// Places the controls again at `dpi` and gives them their fonts at that DPI (after the window
// moved to a monitor of another DPI). `fonts` keeps the fonts the design asks for beyond the
// standard one.
void placeControls(const std::vector<HWND> &controls, const ui::WindowDesign &design, UINT dpi,
                   HFONT standard, std::vector<Font> &fonts);

// Creates the top-level window of `design` of the registered class `className`, at the place
// Windows chooses, sized for its client area at the system's DPI. Throws when it cannot.
[[nodiscard]] HWND createWindow(const wchar_t *className, const ui::WindowDesign &design,
                                DWORD style);

// The design name of `control` ("List1", "cmdUpdate", ...), empty when it has none.
[[nodiscard]] std::wstring nameOf(HWND control);

// Adds `lines` (UTF-8) at the end of a list box, in one redraw.
void appendListLines(HWND list, const catalogue::Listing &lines);

// Replaces every line of a list box with `lines` (UTF-8), in one redraw.
void setListLines(HWND list, const std::vector<std::string> &lines);

// Routes the keyboard of the tool's windows as dialogs route it: Tab and Shift+Tab through the
// tab order, arrows within lists; the menu key and Shift+F10 open the focused control's context
// menu. True when `message` was handled so.
bool routeDialogKeys(MSG &message);

// Runs `body` for a window procedure: an exception is shown in an error box on `owner` that names
// `what`, instead of unwinding through Windows' own frames.
template <typename Body> LRESULT guarded(HWND owner, const char *what, Body &&body) noexcept;

// The box of a handler `what` that failed for `reason`.
void showFailure(HWND owner, const char *what, const char *reason) noexcept;

// The window procedure of a `Window` object kept in GWLP_USERDATA: each message goes to its
// handle(message, w, l, result), through guarded(); what it leaves goes to DefWindowProc.
template <typename Window>
LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto *self = reinterpret_cast<Window *>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, w, l);
    LRESULT result = 0;
    bool handled = false;
    guarded(window, Window::kWhat, [&] {
        handled = self->handle(message, w, l, result);
        return LRESULT{0};
    });
    return handled ? result : ::DefWindowProcW(window, message, w, l);
}

// As a dialog keeps it: the focused control leaves with the window's activation (WM_ACTIVATE)
// and comes back with it.
void keepFocus(HWND window, WPARAM activation, HWND &lastFocus);

// Places the window where Windows suggests after a move to a monitor of another DPI.
void moveToSuggestedRect(HWND window, LPARAM suggested);

template <typename Body> LRESULT guarded(HWND owner, const char *what, Body &&body) noexcept {
    try {
        return body();
    } catch (const std::exception &e) {
        showFailure(owner, what, e.what());
    } catch (...) {
        showFailure(owner, what, "an unknown error");
    }
    return 0;
}

} // namespace corvelan::win32ui
