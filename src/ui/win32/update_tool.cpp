#include "ui/win32/update_tool.h"

#include "platform/win32/wide.h"
#include "ui/win32/file_control.h"
#include "ui/window_design.h"

#include <windowsx.h>

namespace corvelan::win32ui {
namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
// The restore's menu item, on the list's context menu and the system menu, whose commands keep
// their low four bits for the system and stay below SC_SIZE.
constexpr UINT kRestoreCommand = 0x0100;

} // namespace

UpdateTool::UpdateTool(DriveMap drives, workflows::ToolFolder toolFolder,
                       workflows::MessageBoxes *boxes, workflows::EventLog &log)
    : m_session(std::move(drives), std::move(toolFolder), fs::runsElevated(), log),
      m_boxes(boxes ? boxes : &m_realBoxes) {
    m_previousObserver = fs::setWaitObserver(this);
    create();
}

UpdateTool::~UpdateTool() {
    fs::setWaitObserver(m_previousObserver);
    m_fileControl.reset();
    if (m_window) {
        ::SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        ::DestroyWindow(m_window);
    }
}

void UpdateTool::create() {
    m_window = createWindow(kUpdateToolClass, ui::kUpdateToolDesign, kStyle);
    ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(m_window, GWLP_WNDPROC,
                        reinterpret_cast<LONG_PTR>(&windowProcedure<UpdateTool>));
    m_realBoxes.setFallbackOwner(m_window);
    m_standardFont = standardFont(dpiOf(m_window));
    m_controls = createControls(m_window, ui::kUpdateToolDesign, List1, dpiOf(m_window),
                                m_standardFont.get(), m_names);
    applyDpi(dpiOf(m_window));
    m_lastFocus = m_controls[0];
    const std::wstring restore = win32::toWide(ui::kRestoreMenuItem);
    if (HMENU system = ::GetSystemMenu(m_window, FALSE)) {
        ::AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(system, MF_STRING, kRestoreCommand, restore.c_str());
    }
    // The start-up check runs before the window is first shown.
    guarded(m_window, "The start-up check", [this] {
        m_session.startUp(*this);
        return LRESULT{0};
    });
}

void UpdateTool::applyDpi(UINT dpi) {
    // Label1's "MS Sans Serif" Windows maps to its nearest face.
    m_standardFont = standardFont(dpi);
    placeControls(m_controls, ui::kUpdateToolDesign, dpi, m_standardFont.get(), m_designFonts);
}

void UpdateTool::show(int how) {
    ::ShowWindow(m_window, how);
    ::UpdateWindow(m_window);
    ::SetFocus(m_lastFocus);
}

FileControl *UpdateTool::fileControl() const {
    return m_fileControl && m_fileControl->hwnd() ? m_fileControl.get() : nullptr;
}

void UpdateTool::waiting(bool on) {
    // The thread handles no message while it waits, so the cursor stays as set.
    if (on)
        m_cursorBeforeWait = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    else
        ::SetCursor(m_cursorBeforeWait);
}

void UpdateTool::addLine(const std::string &line) {
    ::SendMessageW(m_controls[0], LB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(win32::toWide(line).c_str()));
}

void UpdateTool::addLines(const catalogue::Listing &lines) {
    appendListLines(m_controls[0], lines);
}

void UpdateTool::clearList() {
    ::SendMessageW(m_controls[0], LB_RESETCONTENT, 0, 0);
}

void UpdateTool::setInstallEnabled(bool enabled) {
    ::EnableWindow(::GetDlgItem(m_window, cmdUpdate), enabled ? TRUE : FALSE);
}

void UpdateTool::showLine(std::size_t line) {
    HWND list = m_controls[0];
    m_lastFocus = list; // kept for when the window is active again, if it is not now
    ::SetFocus(list);
    const auto lines = static_cast<std::size_t>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    ::SendMessageW(list, LB_SETCURSEL, line < lines ? static_cast<WPARAM>(line) : WPARAM(-1), 0);
}

void UpdateTool::InstallDtm() {
    guarded(m_window, "The install", [this] {
        m_session.installDtm(NewFileName, *this, *m_boxes);
        return LRESULT{0};
    });
}

void UpdateTool::RestorePrevious() {
    guarded(m_window, "The restore", [this] {
        m_session.restore(std::nullopt, *this, *m_boxes);
        return LRESULT{0};
    });
}

void UpdateTool::showListMenu(LPARAM at) {
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == static_cast<LPARAM>(-1)) { // from the keyboard: at the list's corner
        RECT list{};
        ::GetWindowRect(m_controls[0], &list);
        point = {list.left, list.top};
    }
    HMENU menu = ::CreatePopupMenu();
    const std::wstring restore = win32::toWide(ui::kRestoreMenuItem);
    ::AppendMenuW(menu, MF_STRING, kRestoreCommand, restore.c_str());
    const UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                           point.x, point.y, 0, m_window, nullptr));
    ::DestroyMenu(menu);
    if (chosen == kRestoreCommand) RestorePrevious();
}

void UpdateTool::cmdUpdate_Click() {
    // There is only ever one; while it is open, Install brings it back as the user left it.
    if (!fileControl()) m_fileControl = std::make_unique<FileControl>(*this, m_session.drives());
    m_fileControl->show();
}

void UpdateTool::cmdRemove_Click() {
    m_session.remove(*this, *m_boxes);
}

void UpdateTool::cmdExit_Click() {
    // Every window of the tool goes at once; nothing is saved, since each workflow saved its
    // own work.
    ::DestroyWindow(m_window);
}

bool UpdateTool::handle(UINT message, WPARAM w, LPARAM l, LRESULT &result) {
    result = 0;
    switch (message) {
    case WM_COMMAND:
        // A click reported by a button that is disabled (BM_CLICK sent to it) is no click.
        if (HIWORD(w) == BN_CLICKED && ::IsWindowEnabled(reinterpret_cast<HWND>(l))) {
            switch (LOWORD(w)) {
            case cmdUpdate:
                cmdUpdate_Click();
                return true;
            case cmdRemove:
                cmdRemove_Click();
                return true;
            case cmdExit:
                cmdExit_Click();
                return true;
            default:
                break;
            }
        }
        return true; // IDOK and IDCANCEL (Enter, Escape) and list notifications: nothing
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(w) != m_controls[0]) return false;
        showListMenu(l);
        return true;
    case WM_SYSCOMMAND:
        if ((w & 0xFFF0) != kRestoreCommand) return false;
        RestorePrevious();
        return true;
    case WM_ACTIVATE:
        keepFocus(m_window, w, m_lastFocus);
        return true;
    case WM_DPICHANGED: {
        applyDpi(HIWORD(w));
        moveToSuggestedRect(m_window, l);
        return true;
    }
    case WM_DESTROY:
        // Closing the main window closes the file selection window too, and ends the tool.
        m_fileControl.reset();
        ::SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        m_window = nullptr;
        ::PostQuitMessage(0);
        return true;
    default:
        return false;
    }
}

} // namespace corvelan::win32ui
