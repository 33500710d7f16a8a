#include "ui/win32/file_control.h"

#include "platform/win32/wide.h"
#include "ui/win32/update_tool.h"

#include <stdexcept>

namespace corvelan::win32ui {
namespace {

constexpr const wchar_t *kClass = L"CorvelanFileControl";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// In tab order, at their places in pixels at 96 dots per inch.
const std::vector<ControlPlace> &layout() {
    static const std::vector<ControlPlace> places{
        // A drop-down list's height is that of its open list; it shows as one line when closed.
        {L"COMBOBOX", L"Drive1", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
         FileControl::Drive1, 16, 16, 137, 200},
        {L"LISTBOX", L"Dir1", L"",
         WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, FileControl::Dir1,
         16, 48, 145, 171},
        {L"LISTBOX", L"File1", L"",
         WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
         FileControl::File1, 168, 16, 257, 162},
        {L"BUTTON", L"CmdOpen", L"Open", WS_TABSTOP | BS_PUSHBUTTON, FileControl::CmdOpen, 192, 200,
         81, 25},
        {L"BUTTON", L"CmdCancel", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, FileControl::CmdCancel,
         320, 200, 81, 25},
    };
    return places;
}

} // namespace

FileControl::FileControl(UpdateTool &main, DriveMap drives)
    : m_main(main), m_browser(std::move(drives)) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    registerWindowClass(instance, kClass);
    const UINT dpi = dpiOf(nullptr);
    const SIZE size = windowSizeFor(kStyle, 467, 242, dpi);
    // No owner: the window stacks independently of the main window.
    m_window = ::CreateWindowExW(0, kClass, L"File Open", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                 size.cx, size.cy, nullptr, nullptr, instance, nullptr);
    if (!m_window) throw std::runtime_error("cannot create the file selection window");
    ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(m_window, GWLP_WNDPROC,
                        reinterpret_cast<LONG_PTR>(&windowProcedure<FileControl>));
    m_standardFont = standardFont(dpiOf(m_window));
    m_controls = createControls(m_window, layout(), dpiOf(m_window), m_standardFont.get());
    for (const workflows::DriveChoice &drive : m_browser.drives()) {
        ::SendMessageW(m_controls[0], CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(win32::toWide(drive.label).c_str()));
        m_driveLetters.push_back(drive.letter);
    }
    (void)m_browser.openCurrentFolder();
    refreshLists();
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
}

void FileControl::open() {
    const auto selected = ::SendMessageW(m_controls[2], LB_GETCURSEL, 0, 0);
    std::string name;
    if (selected != LB_ERR) {
        std::wstring text(static_cast<size_t>(::SendMessageW(m_controls[2], LB_GETTEXTLEN,
                                                             static_cast<WPARAM>(selected), 0)) +
                              1,
                          L'\0');
        text.resize(static_cast<size_t>(::SendMessageW(m_controls[2], LB_GETTEXT,
                                                       static_cast<WPARAM>(selected),
                                                       reinterpret_cast<LPARAM>(text.data()))));
        name = win32::fromWide(text);
    }
    m_main.NewFileName = workflows::composeFilePath(m_browser.path(), name);
    m_main.InstallDtm();
    // However the install ended, the window closes.
    close();
}

bool FileControl::showFolder(const std::string &folder) {
    if (Status s = m_browser.open(folder); !s) {
        const std::string text = s.error().subject + " cannot be read: " + s.error().reason() + ".";
        m_main.boxes().show(text, "File Error", MB_ICONERROR);
        refreshLists(); // puts Drive1 back on the drive of the folder still shown
        return false;
    }
    refreshLists();
    return true;
}

void FileControl::refreshLists() {
    const char letter = m_browser.driveLetter();
    for (size_t i = 0; i < m_driveLetters.size(); ++i)
        if (m_driveLetters[i] == letter) ::SendMessageW(m_controls[0], CB_SETCURSEL, i, 0);

    // The chain of folders down to the current one, then its sub-folders, each indented one step
    // deeper than its parent.
    std::vector<std::string> folders;
    m_folderPaths.clear();
    std::string indent;
    const auto chain = m_browser.chain();
    for (const workflows::FolderLevel &level : chain) {
        folders.push_back(indent + level.name);
        m_folderPaths.push_back(level.path);
        indent += "  ";
    }
    for (const std::string &name : m_browser.subFolders()) {
        folders.push_back(indent + name);
        m_folderPaths.push_back(workflows::composeFilePath(m_browser.path(), name));
    }
    setListLines(m_controls[1], folders);
    if (!chain.empty()) ::SendMessageW(m_controls[1], LB_SETCURSEL, chain.size() - 1, 0);
    setListLines(m_controls[2], m_browser.files());
}

void FileControl::driveChanged() {
    const auto index = ::SendMessageW(m_controls[0], CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= m_driveLetters.size()) return;
    const char letter = static_cast<char>(m_driveLetters[static_cast<size_t>(index)] - 32);
    showFolder(std::string(1, letter) + ":\\");
}

void FileControl::folderActivated() {
    const auto index = ::SendMessageW(m_controls[1], LB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= m_folderPaths.size()) return;
    showFolder(m_folderPaths[static_cast<size_t>(index)]);
}

bool FileControl::handle(UINT message, WPARAM w, LPARAM l, LRESULT &result) {
    result = 0;
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(w)) {
        case Drive1:
            if (HIWORD(w) == CBN_SELCHANGE) driveChanged();
            return true;
        case Dir1:
            if (HIWORD(w) == LBN_DBLCLK) folderActivated();
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
            // Enter opens the folder chosen in the folder list, as a double-click does.
            if (::GetFocus() == m_controls[1]) folderActivated();
            return true;
        default:
            return true; // Escape and the rest: nothing
        }
    case WM_ACTIVATE:
        keepFocus(m_window, w, m_lastFocus);
        return true;
    case WM_DPICHANGED: {
        const UINT dpi = HIWORD(w);
        m_standardFont = standardFont(dpi);
        placeControls(m_controls, layout(), dpi);
        for (HWND control : m_controls)
            ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_standardFont.get()),
                           TRUE);
        moveToSuggestedRect(m_window, l);
        return true;
    }
    case WM_CLOSE:
        // Closing through the frame is Cancel.
        close();
        return true;
    default:
        return false;
    }
}

} // namespace corvelan::win32ui
