// The Win32 windows driven through start-up, Install and Remove as a user's clicks and keys
// drive them.
#include "support/device_entry.h"
#include "support/fault_hooks.h"
#include "support/host.h"
#include "support/repository_files.h"
#include "support/win32/window_driver.h"
#include "ui/win32/file_control.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace corvelan::win32ui {
namespace {

namespace stdfs = std::filesystem;
using test::kPictures;

TEST_F(Win32Windows, WaitingForAHeldCatalogueShowsAWaitCursor) {
    auto main = start();
    const HCURSOR before = ::GetCursor();
    const HCURSOR wait = ::LoadCursorW(nullptr, IDC_WAIT);
    ASSERT_NE(before, wait);
    // The host product holds the catalogue for a moment: the rename is refused twice, as a held
    // file refuses it, and the cursor each time is recorded.
    std::vector<HCURSOR> cursors;
    const test::AtStep held(fs::FileOperation::Rename, [&](int time) {
        cursors.push_back(::GetCursor());
        return time <= 2 ? EBUSY : 0;
    });
    click(control(main->hwnd(), L"cmdRemove"));
    EXPECT_EQ(cursors, (std::vector<HCURSOR>{before, wait, wait}));
    EXPECT_NE(::GetCursor(), wait) << "the wait cursor goes with the wait";
    EXPECT_EQ(listLines(control(main->hwnd(), L"List1")),
              std::vector<std::string>{"A  Revision: 2"});
}

TEST_F(Win32Windows, AFailedStartUpDisablesOnlyInstall) {
    stdfs::remove_all(test::fsPath(prefix.repositoryDir() + "/Pictures"));
    auto main = start();
    EXPECT_EQ(
        listLines(control(main->hwnd(), L"List1")),
        (std::vector<std::string>{
            "Folder Missing",
            "c:\\ProgramData\\Schneider Electric\\PTK Generic DTM\\DDXMLRepository\\pictures\\"}));
    EXPECT_FALSE(::IsWindowEnabled(control(main->hwnd(), L"cmdUpdate")));
    EXPECT_TRUE(::IsWindowEnabled(control(main->hwnd(), L"cmdRemove")));
    EXPECT_TRUE(::IsWindowEnabled(control(main->hwnd(), L"cmdExit")));
    click(control(main->hwnd(), L"cmdUpdate"));
    EXPECT_EQ(main->fileControl(), nullptr) << "a disabled Install does nothing";
}

TEST_F(Win32Windows, RemoveTakesTheEntryOutThroughTheButton) {
    auto main = start();
    click(control(main->hwnd(), L"cmdRemove"));
    EXPECT_EQ(test::readFile(prefix.catalogueFile()),
              "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"2\"/>\r\n"
              "</DDXMLRepository>\r\n");
    EXPECT_EQ(listLines(control(main->hwnd(), L"List1")),
              std::vector<std::string>{"A  Revision: 2"});
    EXPECT_TRUE(boxes.shown.empty());
    // The focus is on the list, at its first line, where the device's was.
    EXPECT_EQ(::GetFocus(), control(main->hwnd(), L"List1"));
    EXPECT_EQ(::SendMessageW(::GetFocus(), LB_GETCURSEL, 0, 0), 0);
}

// The menu key's and F10's messages that reached the list's own procedure.
int g_menuKeysSeen = 0;
WNDPROC g_listProcedure = nullptr;

LRESULT CALLBACK countMenuKeys(HWND list, UINT message, WPARAM w, LPARAM l) {
    if (message >= WM_KEYFIRST && message <= WM_KEYLAST && (w == VK_APPS || w == VK_F10))
        ++g_menuKeysSeen;
    return ::CallWindowProcW(g_listProcedure, list, message, w, l);
}

// Inside the list's menu: the first item chosen with the keyboard.
void CALLBACK chooseFirstItem(HWND window, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(window, timer);
    ::PostMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
}

TEST_F(Win32Windows, TheRestoreIsOnTheSystemMenuAndTheListsMenuKey) {
    const std::string before = test::readFile(prefix.catalogueFile());
    auto main = start();
    HWND list = control(main->hwnd(), L"List1");
    click(control(main->hwnd(), L"cmdRemove"));
    ::SendMessageW(main->hwnd(), WM_SYSCOMMAND, 0x0100, 0); // "Restore previous version..."
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].style, workflows::BoxStyle::Confirm);
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), before);
    EXPECT_EQ(listLines(list).size(), 2u);
    // The device's line is current again, on the focused list.
    EXPECT_EQ(::GetFocus(), list);
    EXPECT_EQ(::SendMessageW(list, LB_GETCURSEL, 0, 0), 1);

    click(control(main->hwnd(), L"cmdRemove"));
    ::SetFocus(list);
    g_listProcedure = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&countMenuKeys)));
    ::SetTimer(main->hwnd(), 1, 50, &chooseFirstItem);
    press(VK_APPS); // the menu key
    ASSERT_EQ(boxes.shown.size(), 2u) << "the list's menu, from the menu key";
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), before);

    click(control(main->hwnd(), L"cmdRemove"));
    ::SetFocus(list);
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    ::SetKeyboardState(keys);
    ::SetTimer(main->hwnd(), 1, 50, &chooseFirstItem);
    press(VK_F10);
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
    ASSERT_EQ(boxes.shown.size(), 3u) << "the list's menu, from Shift+F10, once";
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), before);
    // No half of either key reached the list, whose own procedure might make a second menu.
    EXPECT_EQ(g_menuKeysSeen, 0);
}

TEST_F(Win32Windows, InstallsEndToEndThroughBothWindows) {
    auto main = start();
    click(control(main->hwnd(), L"cmdUpdate"));
    FileControl *files = main->fileControl();
    ASSERT_NE(files, nullptr);
    HWND window = files->hwnd();
    // Focus starts on the drive list; Tab goes Drive1, Dir1, File1, Open, Cancel.
    EXPECT_EQ(nameOf(::GetFocus()), L"Drive1");
    for (const wchar_t *next : {L"Dir1", L"File1", L"CmdOpen", L"CmdCancel", L"Drive1"}) {
        press(VK_TAB);
        EXPECT_EQ(nameOf(::GetFocus()), next);
    }
    // At the process's current folder, with the drives as the workflow names them.
    const std::vector<std::string> folders = listLines(control(window, L"Dir1"));
    EXPECT_EQ(folders, (std::vector<std::string>{"C:\\", "  Descriptions", "  ProgramData"}));
    EXPECT_EQ(textOf(control(window, L"Drive1")), "c:");
    EXPECT_EQ(listLines(control(window, L"File1")), std::vector<std::string>{"dtm.xml"});

    // Clicking Install again shows the same window.
    click(control(main->hwnd(), L"cmdUpdate"));
    EXPECT_EQ(main->fileControl(), files);

    // Enter in the folder list opens the folder chosen there, as a double-click does.
    press(VK_TAB);
    ASSERT_EQ(nameOf(::GetFocus()), L"Dir1");
    ::SendMessageW(control(window, L"Dir1"), LB_SETCURSEL, 1, 0); // "  Descriptions"
    press(VK_RETURN);
    EXPECT_EQ(listLines(control(window, L"Dir1")),
              (std::vector<std::string>{"C:\\", "  Descriptions", "    older"}));
    EXPECT_EQ(listLines(control(window, L"File1")),
              std::vector<std::string>{"QVX TSR 7700 v2.3.0.xml"});
    doubleClick(control(window, L"File1"), "QVX TSR 7700 v2.3.0.xml");

    EXPECT_EQ(main->NewFileName, "C:\\Descriptions\\QVX TSR 7700 v2.3.0.xml");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              "You have selected the QVXTSR7700 DTM version 2.3.0. Is this correct?");
    EXPECT_EQ(main->fileControl(), nullptr) << "the window closes after Open";
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(test::readFile(prefix.catalogueFile()),
              "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"2\"/>\r\n" +
                  test::deviceEntry("2.3.0") + "</DDXMLRepository>\r\n");
    EXPECT_EQ(listLines(control(main->hwnd(), L"List1")),
              (std::vector<std::string>{"A  Revision: 2", "QVX TSR 7700  Revision: 2.3.0"}));
    // Back in the main window, the focus is on the device's new line.
    EXPECT_EQ(::GetActiveWindow(), main->hwnd());
    EXPECT_EQ(::GetFocus(), control(main->hwnd(), L"List1"));
    EXPECT_EQ(::SendMessageW(::GetFocus(), LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(test::readFile(prefix.repositoryDir() + "/QVX TSR 7700.xml"),
              test::readFile(prefix / "drive_c/Descriptions/QVX TSR 7700 v2.3.0.xml"));
    for (const char *picture : kPictures)
        EXPECT_EQ(test::readFile(prefix.repositoryDir() + "/Pictures/" + picture),
                  test::pictureBytes(picture));
}

TEST_F(Win32Windows, EnterOnAFileOpensIt) {
    auto main = start();
    click(control(main->hwnd(), L"cmdUpdate"));
    HWND window = main->fileControl()->hwnd();
    press(VK_TAB);
    press(VK_TAB);
    ASSERT_EQ(nameOf(::GetFocus()), L"File1");
    ::SendMessageW(::GetFocus(), LB_SETCURSEL, 0, 0); // "dtm.xml"
    press(VK_RETURN);
    EXPECT_EQ(main->NewFileName, "C:\\dtm.xml");
    EXPECT_FALSE(::IsWindow(window)) << "closed after Open";
}

TEST_F(Win32Windows, CancelInstallsNothingAndExitClosesBoth) {
    auto main = start();
    click(control(main->hwnd(), L"cmdUpdate"));
    ASSERT_NE(main->fileControl(), nullptr);
    click(control(main->fileControl()->hwnd(), L"CmdCancel"));
    EXPECT_EQ(main->fileControl(), nullptr);
    EXPECT_TRUE(main->NewFileName.empty());
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue);

    click(control(main->hwnd(), L"cmdUpdate"));
    HWND files = main->fileControl()->hwnd();
    HWND mainWindow = main->hwnd();
    click(control(mainWindow, L"cmdExit"));
    EXPECT_FALSE(::IsWindow(files));
    EXPECT_FALSE(::IsWindow(mainWindow));
    MSG quit;
    EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the tool ends";
}

// The first "File Error" box, read and answered OK from a timer inside its modal loop, and
// whether the main window took no input meanwhile.
struct ErrorBoxSeen {
    bool found = false;
    std::string text;
    bool mainDisabled = false;
} g_errorBox;
HWND g_mainWindow = nullptr;

void CALLBACK answerOk(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = ::FindWindowW(L"#32770", L"File Error");
    if (!box) return;
    ::KillTimer(nullptr, timer);
    g_errorBox = {true, textOf(::GetDlgItem(box, 0xFFFF)), !::IsWindowEnabled(g_mainWindow)};
    ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}

TEST_F(Win32Windows, AfterABoxFromTheFileWindowTheMainWindowAnswersAgain) {
    // Real boxes, as the user meets them.
    auto main = std::make_unique<UpdateTool>(prefix.drives(), repo.toolFolder());
    main->show();
    pump();
    click(control(main->hwnd(), L"cmdUpdate"));
    ASSERT_NE(main->fileControl(), nullptr);
    HWND files = main->fileControl()->hwnd();
    // The folder goes after the window listed it: choosing it cannot be read.
    stdfs::remove_all(test::fsPath(prefix / "drive_c/Descriptions"));
    g_mainWindow = main->hwnd();
    g_errorBox = {};
    {
        const ExpectingBoxes expecting;
        ::SetTimer(nullptr, 0, 50, &answerOk);
        doubleClick(control(files, L"Dir1"), "  Descriptions");
    }
    ASSERT_TRUE(g_errorBox.found);
    EXPECT_TRUE(g_errorBox.text.starts_with("C:\\Descriptions cannot be read: "))
        << g_errorBox.text;
    EXPECT_TRUE(g_errorBox.mainDisabled) << "no command of the main window while the box is up";
    click(control(files, L"CmdCancel"));
    EXPECT_EQ(main->fileControl(), nullptr);
    // The main window and its buttons take the user's clicks again.
    EXPECT_TRUE(::IsWindowEnabled(main->hwnd()));
    for (const wchar_t *button : {L"cmdUpdate", L"cmdRemove", L"cmdExit"})
        EXPECT_TRUE(::IsWindowEnabled(control(main->hwnd(), button))) << button;
    click(control(main->hwnd(), L"cmdRemove"));
    EXPECT_EQ(listLines(control(main->hwnd(), L"List1")),
              std::vector<std::string>{"A  Revision: 2"});
}

TEST_F(Win32Windows, NamesThatDifferOnlyInCaseAreListedInOneOrder) {
    const std::string twins = prefix / "drive_c/Descriptions/Twins";
    stdfs::create_directories(test::fsPath(twins));
    test::writeFile(twins + "\\device.xml", "<x/>");
    ASSERT_TRUE(test::writeFileSpelledExactly(twins, "DEVICE.XML", "<x/>"));
    ASSERT_TRUE(test::writeFileSpelledExactly(twins, "Device.xml", "<x/>"));
    auto main = start();
    click(control(main->hwnd(), L"cmdUpdate"));
    HWND files = main->fileControl()->hwnd();
    doubleClick(control(files, L"Dir1"), "  Descriptions");
    doubleClick(control(files, L"Dir1"), "    Twins");
    // Without regard to case first, then by their bytes: upper case before lower.
    EXPECT_EQ(listLines(control(files, L"File1")),
              (std::vector<std::string>{"DEVICE.XML", "Device.xml", "device.xml"}));
}

} // namespace
} // namespace corvelan::win32ui
