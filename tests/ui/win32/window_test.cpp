// The Win32 windows, created in this process and driven by the messages a user's clicks and keys
// make, under Wine's null graphics driver when there is no display.
#include "platform/fault_seam.h"
#include "platform/win32/wide.h"
#include "support/device_entry.h"
#include "support/host.h"
#include "support/repository_files.h"
#include "support/scripted_boxes.h"
#include "support/temp_prefix.h"
#include "ui/win32/controls.h"
#include "ui/win32/file_control.h"
#include "ui/win32/message_boxes.h"
#include "ui/win32/update_tool.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace corvelan::win32ui {
namespace {

namespace stdfs = std::filesystem;
using test::TempDir;
using test::TempPrefix;

using test::kPictures;
const std::string kCatalogue = "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"2\"/>\r\n"
                               "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n"
                               "</DDXMLRepository>\r\n";

// Handles what is queued, keyboard included, as the tool's message loop does.
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

// A list's double-click, as the list box reports it to its window.
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

// Real boxes the running test answers itself; any other real box fails it at once, naming its
// text, and is closed, so that a test that meets one ends instead of waiting for its timeout.
int g_boxesExpected = 0;

class ExpectingBoxes {
public:
    ExpectingBoxes() { ++g_boxesExpected; }
    ~ExpectingBoxes() { --g_boxesExpected; }
    ExpectingBoxes(const ExpectingBoxes &) = delete;
    ExpectingBoxes &operator=(const ExpectingBoxes &) = delete;
};

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

class Win32Windows : public ::testing::Test {
protected:
    void SetUp() override {
        m_watch = ::SetTimer(nullptr, 0, 100, &closeUnexpectedBoxes);
        test::writeFile(prefix.catalogueFile(), kCatalogue);
        for (const char *picture : kPictures)
            test::writeFile(toolFolder / picture, picture);
        stdfs::create_directories(test::fsPath(prefix / "drive_c/Descriptions/older"));
        test::writeFile(prefix / "drive_c/Descriptions/QVX TSR 7700 v2.3.0.xml",
                        "<ISO15745Profile><productName>QVXTSR7700</productName>"
                        "<version>2.3.0</version></ISO15745Profile>");
        test::writeFile(prefix / "drive_c/Descriptions/notes.txt", "not listed");
        saved = stdfs::current_path();
        stdfs::current_path(test::fsPath(prefix / "drive_c"));
    }
    void TearDown() override {
        ::KillTimer(nullptr, m_watch);
        stdfs::current_path(saved);
        MSG quit;
        while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    std::unique_ptr<UpdateTool> start() {
        auto window = std::make_unique<UpdateTool>(
            prefix.drives(), [this]() -> Result<std::string> { return toolFolder.path(); }, &boxes);
        window->show();
        pump();
        return window;
    }
    HWND control(HWND window, const wchar_t *name) { return controlNamed(window, name); }

    TempPrefix prefix;
    TempDir toolFolder;
    test::ScriptedBoxes boxes;
    stdfs::path saved;
    UINT_PTR m_watch = 0;
};

// The window and every control where `design` puts them, with their captions and fonts.
void expectDrawnAsDesigned(HWND window, const workflows::WindowDesign &design) {
    SCOPED_TRACE(std::string(design.name));
    ASSERT_EQ(dpiOf(window), 96u) << "the design is in 96-DPI pixels";
    EXPECT_EQ(textOf(window), design.title);
    EXPECT_EQ(::GetWindow(window, GW_OWNER), nullptr) << "modeless, without an owner";
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, design.width);
    EXPECT_EQ(client.bottom, design.height);
    for (const workflows::ControlDesign &c : design.controls) {
        SCOPED_TRACE(std::string(c.name));
        HWND h = controlNamed(window, win32::toWide(c.name));
        ASSERT_NE(h, nullptr);
        const RECT place = placeOf(h);
        EXPECT_EQ(place.left, c.left);
        EXPECT_EQ(place.top, c.top);
        EXPECT_EQ(place.right, c.width);
        // A closed drop-down list is one line high, whatever its open list's height.
        if (c.kind != workflows::ControlKind::DriveList) {
            EXPECT_EQ(place.bottom, c.height);
        }
        if (!c.caption.empty()) {
            EXPECT_EQ(textOf(h), c.caption);
        }
        EXPECT_TRUE(::IsWindowVisible(h) && ::IsWindowEnabled(h));
        if (!c.font.face.empty()) {
            LOGFONTW font{};
            ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(h, WM_GETFONT, 0, 0)), sizeof font,
                         &font);
            EXPECT_EQ(win32::fromWide(font.lfFaceName), c.font.face);
            EXPECT_EQ(font.lfWeight, c.font.bold ? FW_BOLD : FW_NORMAL);
            EXPECT_EQ(font.lfHeight, -c.font.points * 96 / 72);
            EXPECT_FALSE(font.lfItalic || font.lfUnderline);
        }
    }
}

// A few rectangles written out by hand (left, top, width, height at 96 DPI), so that a wrong
// number in the design table does not pass for the design.
void expectRectangles(HWND window, SIZE client,
                      std::initializer_list<std::pair<const wchar_t *, RECT>> controls) {
    RECT area{};
    ::GetClientRect(window, &area);
    EXPECT_EQ(area.right, client.cx);
    EXPECT_EQ(area.bottom, client.cy);
    for (const auto &[name, expected] : controls) {
        const RECT place = placeOf(controlNamed(window, name));
        EXPECT_TRUE(place.left == expected.left && place.top == expected.top &&
                    place.right == expected.right && place.bottom == expected.bottom)
            << win32::fromWide(name) << ": " << place.left << ", " << place.top << ", "
            << place.right << ", " << place.bottom;
    }
}

TEST_F(Win32Windows, BothWindowsAreDrawnAsDesigned) {
    auto main = start();
    expectDrawnAsDesigned(main->hwnd(), workflows::kUpdateToolDesign);
    expectRectangles(main->hwnd(), {526, 344},
                     {{L"List1", {24, 56, 481, 173}},
                      {L"cmdUpdate", {88, 288, 65, 25}},
                      {L"cmdRemove", {224, 288, 65, 25}},
                      {L"cmdExit", {360, 288, 81, 25}}});
    click(control(main->hwnd(), L"cmdUpdate"));
    ASSERT_NE(main->fileControl(), nullptr);
    expectDrawnAsDesigned(main->fileControl()->hwnd(), workflows::kFileControlDesign);
    expectRectangles(main->fileControl()->hwnd(), {467, 242},
                     {{L"Dir1", {16, 48, 145, 171}},
                      {L"File1", {168, 16, 257, 162}},
                      {L"CmdOpen", {192, 200, 81, 25}},
                      {L"CmdCancel", {320, 200, 81, 25}}});
}

TEST_F(Win32Windows, TheMainWindowTabsAndTakesKeysAsDesigned) {
    auto main = start();
    HWND window = main->hwnd();
    EXPECT_EQ(test::listFolder(prefix.repositoryDir()), "DDXMLRepository.xml Pictures");
    EXPECT_EQ(listLines(control(window, L"List1")),
              (std::vector<std::string>{"A  Revision: 2", "QVX TSR 7700  Revision: 1"}));
    // Focus starts on List1; Tab visits Install, Exit, Remove, then List1 again.
    EXPECT_EQ(::GetFocus(), control(window, L"List1"));
    for (const wchar_t *next : {L"cmdUpdate", L"cmdExit", L"cmdRemove", L"List1"}) {
        press(VK_TAB);
        EXPECT_EQ(nameOf(::GetFocus()), next);
    }
    // On List1, Enter and Escape press no button; nor does Enter on a button, where Space does.
    press(VK_RETURN);
    EXPECT_TRUE(::IsWindow(window)) << "Enter";
    press(VK_ESCAPE);
    EXPECT_TRUE(::IsWindow(window)) << "Escape";
    for (int i = 0; i < 3; ++i)
        press(VK_TAB);
    ASSERT_EQ(nameOf(::GetFocus()), L"cmdRemove");
    press(VK_RETURN);
    EXPECT_EQ(test::readFile(prefix.catalogueFile()), kCatalogue) << "Enter on Remove";
    EXPECT_EQ(main->fileControl(), nullptr);
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_TRUE(boxes.shown.empty());
    press(VK_SPACE);
    EXPECT_NE(test::readFile(prefix.catalogueFile()), kCatalogue) << "Space on Remove";
}

// The host product holds the catalogue for a moment: the rename is refused twice, as a held file
// refuses it, and the cursor each time is recorded.
class HeldCatalogue final : public fs::FileOperationHook {
public:
    HeldCatalogue() { m_previous = fs::setFileOperationHook(this); }
    ~HeldCatalogue() override { fs::setFileOperationHook(m_previous); }
    int before(fs::FileOperation operation, const std::string &) override {
        if (operation != fs::FileOperation::Rename) return 0;
        cursors.push_back(::GetCursor());
        return cursors.size() <= 2 ? EBUSY : 0;
    }
    std::vector<HCURSOR> cursors;

private:
    fs::FileOperationHook *m_previous;
};

TEST_F(Win32Windows, WaitingForAHeldCatalogueShowsAWaitCursor) {
    auto main = start();
    const HCURSOR before = ::GetCursor();
    const HCURSOR wait = ::LoadCursorW(nullptr, IDC_WAIT);
    ASSERT_NE(before, wait);
    HeldCatalogue held;
    click(control(main->hwnd(), L"cmdRemove"));
    EXPECT_EQ(held.cursors, (std::vector<HCURSOR>{before, wait, wait}));
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
    EXPECT_TRUE(listLines(control(window, L"File1")).empty());

    // Clicking Install again shows the same window.
    click(control(main->hwnd(), L"cmdUpdate"));
    EXPECT_EQ(main->fileControl(), files);

    doubleClick(control(window, L"Dir1"), "  Descriptions");
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
    EXPECT_EQ(test::readFile(prefix.repositoryDir() + "/QVX TSR 7700.xml"),
              test::readFile(prefix / "drive_c/Descriptions/QVX TSR 7700 v2.3.0.xml"));
    for (const char *picture : kPictures)
        EXPECT_EQ(test::readFile(prefix.repositoryDir() + "/Pictures/" + picture), picture);
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
    auto main = std::make_unique<UpdateTool>(
        prefix.drives(), [this]() -> Result<std::string> { return toolFolder.path(); });
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

// The one real box: shown by MessageBoxW, read and answered from a timer inside its modal loop.
struct SeenBox {
    bool found = false;
    std::string text;
    std::string title;
    bool yes = false, no = false, ok = false, cancel = false;
    bool yesIsDefault = false;
} g_seen;

void CALLBACK answerNo(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = ::FindWindowW(L"#32770", L"File Selection");
    if (!box) return;
    ::KillTimer(nullptr, timer);
    g_seen.found = true;
    g_seen.title = textOf(box);
    g_seen.text = textOf(::GetDlgItem(box, 0xFFFF));
    g_seen.yes = ::GetDlgItem(box, IDYES) != nullptr;
    g_seen.no = ::GetDlgItem(box, IDNO) != nullptr;
    g_seen.ok = ::GetDlgItem(box, IDOK) != nullptr;
    g_seen.cancel = ::GetDlgItem(box, IDCANCEL) != nullptr;
    const LONG yesStyle = ::GetWindowLongW(::GetDlgItem(box, IDYES), GWL_STYLE);
    g_seen.yesIsDefault = (yesStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    ::SendMessageW(::GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
}

TEST(Win32MessageBox, IsARealBoxWithTheStyleTheWorkflowAsksFor) {
    Win32MessageBoxes boxes;
    ::SetTimer(nullptr, 0, 50, &answerNo);
    const workflows::BoxAnswer answer =
        boxes.show("You have selected the QVXTSR7700 DTM version 2.3.0. Is this "
                   "correct?",
                   "File Selection", workflows::BoxStyle::Confirm);
    ASSERT_TRUE(g_seen.found);
    EXPECT_EQ(answer, workflows::BoxAnswer::No);
    EXPECT_EQ(g_seen.title, "File Selection");
    EXPECT_EQ(g_seen.text, "You have selected the QVXTSR7700 DTM version 2.3.0. Is this correct?");
    EXPECT_TRUE(g_seen.yes && g_seen.no);
    EXPECT_FALSE(g_seen.ok || g_seen.cancel);
    EXPECT_TRUE(g_seen.yesIsDefault);
}

} // namespace
} // namespace corvelan::win32ui
