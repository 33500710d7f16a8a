#include "ui/win32/file_control.h"

#include "platform/win32/wide.h"
#include "ui/win32/update_tool.h"

namespace corvelan::win32ui {
namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// The selected row of a list box or drop-down list, -1 for none.
int selectedRow(HWND list, UINT message) {
    const auto row = ::SendMessageW(list, message, 0, 0);
    return row < 0 ? -1 : static_cast<int>(row);
}

} // namespace

FileControl::FileControl(UpdateTool &main, DriveMap drives)
    : m_main(main), m_browser(std::move(drives)) {
    m_window = createWindow(kFileControlClass, ui::kFileControlDesign, kStyle);
    ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(m_window, GWLP_WNDPROC,
                        reinterpret_cast<LONG_PTR>(&windowProcedure<FileControl>));
    m_standardFont = standardFont(dpiOf(m_window));
    m_controls = createControls(m_window, ui::kFileControlDesign, Drive1, dpiOf(m_window),
                                m_standardFont.get(), m_names);
    for (const workflows::DriveRow &drive : m_browser.driveRows())
        ::SendMessageW(m_controls[0], CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(win32::toWide(drive.text).c_str()));
    (void)m_browser.openCurrentFolder();
    drawLists();
    m_lastFocus = m_controls[0];
}

FileControl::~FileControl() {
    if (m_window) {
        ::SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        ::DestroyWindow(m_window);
    }
}

void FileControl::show() {
    ::ShowWindow(m_window, SW_SHOWNORMAL);
    ::SetForegroundWindow(m_window);
    ::SetFocus(m_lastFocus);
}

void FileControl::close() {
    HWND window = m_window;
    m_window = nullptr;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    ::DestroyWindow(window);
    m_names.clear();
    ::SetForegroundWindow(m_main.hwnd());
}

void FileControl::open() {
    m_main.NewFileName = m_browser.pathToOpen(selectedRow(m_controls[2], LB_GETCURSEL));
    m_main.InstallDtm();
    // However the install ended, the window closes.
    close();
}

void FileControl::drawLists() {
    // After a choice that failed, the drive list goes back to the drive of the folder still shown.
    ::SendMessageW(m_controls[0], CB_SETCURSEL, static_cast<WPARAM>(m_browser.currentDriveRow()),
                   0);
    std::vector<std::string> folders;
    for (const workflows::FolderRow &row : m_browser.folderRows())
        folders.push_back(row.text);
    setListLines(m_controls[1], folders);
    ::SendMessageW(m_controls[1], LB_SETCURSEL, static_cast<WPARAM>(m_browser.currentFolderRow()),
                   0);
    setListLines(m_controls[2], m_browser.fileRows());
}

bool FileControl::handle(UINT message, WPARAM w, LPARAM l, LRESULT &result) {
    result = 0;
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(w)) {
        case Drive1:
            if (HIWORD(w) == CBN_SELCHANGE) {
                m_browser.chooseDrive(selectedRow(m_controls[0], CB_GETCURSEL), m_main.boxes());
                drawLists();
            }
            return true;
        case Dir1:
            if (HIWORD(w) == LBN_DBLCLK) {
                m_browser.chooseFolder(selectedRow(m_controls[1], LB_GETCURSEL), m_main.boxes());
                drawLists();
            }
            return true;
        case File1:
            if (HIWORD(w) == LBN_DBLCLK) open();
            return true;
        case CmdOpen:
            if (HIWORD(w) == BN_CLICKED) open();
            return true;
        case CmdCancel:
            if (HIWORD(w) == BN_CLICKED) close();
            return true;
        case IDOK:
            // Enter in the folder list opens the folder chosen there, and in the file list the
            // file, as a double-click does.
            if (::GetFocus() == m_controls[1]) {
                m_browser.chooseFolder(selectedRow(m_controls[1], LB_GETCURSEL), m_main.boxes());
                drawLists();
            } else if (::GetFocus() == m_controls[2]) {
                open();
            }
            return true;
        default:
            return true; // Escape and the rest: nothing
        }
    case WM_ACTIVATE:
        keepFocus(m_window, w, m_lastFocus);
        return true;
    case WM_DPICHANGED:
        m_standardFont = standardFont(HIWORD(w));
        placeControls(m_controls, ui::kFileControlDesign, HIWORD(w), m_standardFont.get(),
                      m_designFonts);
        moveToSuggestedRect(m_window, l);
        return true;
    case WM_CLOSE:
        // Closing through the frame is Cancel.
        close();
        return true;
    default:
        return false;
    }
}

} // namespace corvelan::win32ui
