#include "ui/win32/controls.h"

#include "platform/win32/wide.h"
#include "workflows/messages.h"

#include <initguid.h> // defines the accessibility layer's identifiers, here only
#include <oleacc.h>

#include <exception>
#include <stdexcept>
#include <utility>

namespace corvelan::win32ui {
namespace {

constexpr const wchar_t *kNameProperty = L"CorvelanControlName";
// The window classes of the tool's own top-level windows, whose keyboard is routed as a dialog's.
constexpr const wchar_t *kOwnClasses[] = {kUpdateToolClass, kFileControlClass};

} // namespace

AccessibleNames::AccessibleNames() {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_comStarted = SUCCEEDED(com); // S_FALSE too: it was started already, and counts
    if (FAILED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IAccPropServices, reinterpret_cast<void **>(&m_services))))
        m_services = nullptr;
}

AccessibleNames::~AccessibleNames() {
    clear();
    if (m_services) m_services->Release();
    if (m_comStarted) ::CoUninitialize();
}

void AccessibleNames::name(HWND control, std::string_view name) {
    if (!m_services) return;
    const std::wstring wide = win32::toWide(name);
    if (SUCCEEDED(m_services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT),
                                             CHILDID_SELF, PROPID_ACC_NAME, wide.c_str())))
        m_named.push_back(control);
}

void AccessibleNames::clear() {
    MSAAPROPID name = PROPID_ACC_NAME;
    for (HWND control : std::exchange(m_named, {}))
        m_services->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &name,
                                   1);
}

void registerWindowClass(HINSTANCE instance, const wchar_t *name) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (::GetClassInfoExW(instance, name, &windowClass)) return;
    windowClass.lpfnWndProc = ::DefWindowProcW; // each window sets its own procedure
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.lpszClassName = name;
    ::RegisterClassExW(&windowClass);
}

UINT dpiOf(HWND window) {
    const UINT dpi = window ? ::GetDpiForWindow(window) : ::GetDpiForSystem();
    return dpi == 0 ? 96 : dpi;
}

int scaled(int pixels, UINT dpi) {
    return ::MulDiv(pixels, static_cast<int>(dpi), 96);
}

Font standardFont(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
        return Font(static_cast<HFONT>(nullptr));
    return Font(::CreateFontIndirectW(&metrics.lfMessageFont));
}

Font font(const wchar_t *face, int points, int weight, UINT dpi) {
    LOGFONTW wanted{};
    wanted.lfHeight = -::MulDiv(points, static_cast<int>(dpi), 72);
    wanted.lfWeight = weight;
    wanted.lfCharSet = DEFAULT_CHARSET;
    wanted.lfQuality = DEFAULT_QUALITY;
    ::lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    return Font(::CreateFontIndirectW(&wanted));
}

namespace {

// The Win32 control that draws a kind of the design, and its style.
struct ControlClass {
    const wchar_t *name;
    DWORD style;
};

ControlClass classOf(ui::ControlKind kind) {
    using ui::ControlKind;
    switch (kind) {
    case ControlKind::Label:
        return {L"STATIC", SS_LEFT | SS_NOPREFIX};
    case ControlKind::Button:
        return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON};
    case ControlKind::DriveList:
        return {L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST};
    case ControlKind::List:
    case ControlKind::FolderList:
    case ControlKind::FileList:
        break;
    }
    return {L"LISTBOX", WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT};
}

// A drop-down list's window is as high as its open list; closed, it shows one line.
int windowHeightOf(const ui::ControlDesign &design) {
    constexpr int kOpenDropDownHeight = 200;
    return design.kind == ui::ControlKind::DriveList ? kOpenDropDownHeight : design.height;
}

void place(HWND control, const ui::ControlDesign &design, UINT dpi) {
    ::SetWindowPos(control, nullptr, scaled(design.left, dpi), scaled(design.top, dpi),
                   scaled(design.width, dpi), scaled(windowHeightOf(design), dpi),
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

std::vector<HWND> createControls(HWND parent, const ui::WindowDesign &design, int firstId, UINT dpi,
                                 HFONT standard, AccessibleNames &names) {
    std::vector<HWND> controls;
    const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    for (const ui::ControlDesign &c : design.controls) {
        const ControlClass kind = classOf(c.kind);
        HWND control = ::CreateWindowExW(0, kind.name, win32::toWide(c.caption).c_str(),
                                         WS_CHILD | WS_VISIBLE | kind.style, 0, 0, 0, 0, parent,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(
                                             firstId + static_cast<int>(controls.size()))),
                                         instance, nullptr);
        place(control, c, dpi);
        // The name is one of the design's string literals, which live as long as the tool.
        ::SetPropW(control, kNameProperty,
                   reinterpret_cast<HANDLE>(const_cast<char *>(c.name.data())));
        if (standard)
            ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(standard), FALSE);
        controls.push_back(control);
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ui::ControlDesign &c = design.controls[i];
        if (!c.labelledBy.empty()) {
            // Windows names a list after the static text right before it in z-order. Labels take
            // no focus, so moving one leaves the tab order as it is.
            HWND label = controls[static_cast<std::size_t>(&design.control(c.labelledBy) -
                                                           design.controls.data())];
            HWND before = ::GetWindow(controls[i], GW_HWNDPREV);
            ::SetWindowPos(label, before ? before : HWND_TOP, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        if (c.caption.empty()) names.name(controls[i], design.accessibleName(c));
    }
    return controls;
}

void placeControls(const std::vector<HWND> &controls, const ui::WindowDesign &design, UINT dpi,
                   HFONT standard, std::vector<Font> &fonts) {
    fonts.clear();
    for (size_t i = 0; i < controls.size() && i < design.controls.size(); ++i) {
        const ui::ControlDesign &c = design.controls[i];
        place(controls[i], c, dpi);
        HFONT chosen = standard;
        if (!c.font.face.empty()) {
            fonts.push_back(font(win32::toWide(c.font.face).c_str(), c.font.points,
                                 c.font.bold ? FW_BOLD : FW_NORMAL, dpi));
            chosen = fonts.back().get();
        }
        ::SendMessageW(controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
    }
}

HWND createWindow(const wchar_t *className, const ui::WindowDesign &design, DWORD style) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    registerWindowClass(instance, className);
    const UINT dpi = dpiOf(nullptr);
    RECT rect{0, 0, scaled(design.width, dpi), scaled(design.height, dpi)};
    ::AdjustWindowRectExForDpi(&rect, style, FALSE, 0, dpi);
    // No owner: each window stacks on its own.
    HWND window = ::CreateWindowExW(0, className, win32::toWide(design.title).c_str(), style,
                                    CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left,
                                    rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
    if (!window) throw std::runtime_error("cannot create the window " + std::string(design.name));
    return window;
}

std::wstring nameOf(HWND control) {
    const auto *name = static_cast<const char *>(::GetPropW(control, kNameProperty));
    return name ? win32::toWide(name) : std::wstring();
}

void appendListLines(HWND list, const catalogue::Listing &lines) {
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list, LB_INITSTORAGE, lines.size(), static_cast<LPARAM>(lines.size() * 64));
    for (std::size_t i = 0; i < lines.size(); ++i)
        ::SendMessageW(list, LB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(win32::toWide(lines[i]).c_str()));
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

void setListLines(HWND list, const std::vector<std::string> &lines) {
    catalogue::Listing listing;
    for (const std::string &line : lines)
        listing.add(line);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    appendListLines(list, listing);
}

bool routeDialogKeys(MSG &message) {
    if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
    HWND top = ::GetAncestor(message.hwnd, GA_ROOT);
    if (!top) return false;
    wchar_t className[64] = {};
    ::GetClassNameW(top, className, 64);
    for (const wchar_t *own : kOwnClasses) {
        if (std::wstring_view(className) != own) continue;
        // The menu key and Shift+F10 ask for the focused control's context menu. The loop sends
        // it, once, so that every control answers them alike, whatever its own procedure does;
        // no window procedure sees the keys, so none makes a second one, or opens the window's
        // menu on F10's release.
        const bool down = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
        const bool up = message.message == WM_KEYUP || message.message == WM_SYSKEYUP;
        const bool shiftF10 = message.wParam == VK_F10 && ::GetKeyState(VK_SHIFT) < 0;
        const bool apps = message.wParam == VK_APPS;
        if ((up && apps) || (down && shiftF10)) {
            ::SendMessageW(top, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(::GetFocus()),
                           static_cast<LPARAM>(-1));
            return true;
        }
        if ((down || up) && (shiftF10 || apps)) return true; // the other halves of the keys
        // No button is a default button: Enter on a focused button presses nothing (Space does),
        // where a dialog would press it.
        if (message.wParam == VK_RETURN &&
            (message.message == WM_KEYDOWN || message.message == WM_CHAR)) {
            wchar_t focusClass[16] = {};
            ::GetClassNameW(::GetFocus(), focusClass, 16);
            if (::lstrcmpiW(focusClass, L"Button") == 0) return true;
        }
        return ::IsDialogMessageW(top, &message) != 0;
    }
    return false;
}

void keepFocus(HWND window, WPARAM activation, HWND &lastFocus) {
    if (LOWORD(activation) == WA_INACTIVE) {
        if (HWND focus = ::GetFocus(); focus && ::IsChild(window, focus)) lastFocus = focus;
    } else if (lastFocus) {
        ::SetFocus(lastFocus);
    }
}

void moveToSuggestedRect(HWND window, LPARAM suggested) {
    const auto *rect = reinterpret_cast<const RECT *>(suggested);
    ::SetWindowPos(window, nullptr, rect->left, rect->top, rect->right - rect->left,
                   rect->bottom - rect->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void showFailure(HWND owner, const char *what, const char *reason) noexcept {
    try {
        const workflows::Message box = workflows::messages::handlerFailed(what, reason);
        ::MessageBoxW(owner, win32::toWide(box.text).c_str(), win32::toWide(box.title).c_str(),
                      static_cast<UINT>(box.style));
    } catch (...) {
        ::MessageBoxW(owner, L"", L"", MB_ICONERROR); // out of memory: the icon alone
    }
}

} // namespace corvelan::win32ui
