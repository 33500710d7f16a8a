#include "support/win32/window_driver.h"

#include "platform/win32/wide.h"
#include "support/repository_files.h"
#include "ui/win32/controls.h"

namespace corvelan::win32ui {

namespace stdfs = std::filesystem;

int g_boxesExpected = 0;

void pump() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam)); // kept for the test to see
            return;
        }
        if (routeDialogKeys(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void press(UINT key) {
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, 0);
    ::PostMessageW(::GetFocus(), WM_KEYUP, key, 0);
    pump();
}

void click(HWND button) {
    ASSERT_NE(button, nullptr);
    ::SendMessageW(button, BM_CLICK, 0, 0);
    pump();
}

void doubleClick(HWND list, const std::string &line) {
    const auto index = ::SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(win32::toWide(line).c_str()));
    ASSERT_NE(index, LB_ERR) << line;
    ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(::GetParent(list), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(list), LBN_DBLCLK),
                   reinterpret_cast<LPARAM>(list));
    pump();
}

RECT placeOf(HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT *>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

HWND controlNamed(HWND window, std::wstring_view name) {
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (nameOf(child) == name) return child;
    return nullptr;
}

std::string textOf(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return win32::fromWide(text);
}

std::vector<std::string> listLines(HWND list) {
    std::vector<std::string> lines;
    const auto count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring line(static_cast<size_t>(::SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1,
                          L'\0');
        const auto length =
            ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        line.resize(length < 0 ? 0 : static_cast<size_t>(length));
        lines.push_back(win32::fromWide(line));
    }
    return lines;
}

namespace {

void CALLBACK closeUnexpectedBoxes(HWND, UINT, UINT_PTR, DWORD) {
    if (g_boxesExpected > 0) return;
    std::vector<HWND> boxes;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM found) -> BOOL {
            wchar_t name[16] = {};
            ::GetClassNameW(window, name, 16);
            if (std::wstring_view(name) == L"#32770" && ::IsWindowVisible(window))
                reinterpret_cast<std::vector<HWND> *>(found)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&boxes));
    for (HWND box : boxes) {
        ADD_FAILURE() << "a box the test did not expect: \"" << textOf(box)
                      << "\": " << textOf(::GetDlgItem(box, 0xFFFF));
        for (const int button : {IDOK, IDNO, IDCANCEL})
            if (HWND b = ::GetDlgItem(box, button)) {
                ::SendMessageW(b, BM_CLICK, 0, 0);
                break;
            }
    }
}

} // namespace

void Win32Windows::SetUp() {
    m_watch = ::SetTimer(nullptr, 0, 100, &closeUnexpectedBoxes);
    stdfs::create_directories(test::fsPath(prefix / "drive_c/Descriptions/older"));
    test::writeFile(prefix / "drive_c/Descriptions/QVX TSR 7700 v2.3.0.xml",
                    test::description("2.3.0"));
    test::writeFile(prefix / "drive_c/Descriptions/notes.txt", "not listed");
    saved = stdfs::current_path();
    stdfs::current_path(test::fsPath(prefix / "drive_c"));
}

void Win32Windows::TearDown() {
    ::KillTimer(nullptr, m_watch);
    stdfs::current_path(saved);
    MSG quit;
    while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

std::unique_ptr<UpdateTool> Win32Windows::start() {
    auto window = std::make_unique<UpdateTool>(prefix.drives(), repo.toolFolder(), &boxes);
    window->show();
    pump();
    return window;
}

} // namespace corvelan::win32ui
