// The Win32 windows as drawn and as they take keys, and the one real message box.
#include "platform/win32/wide.h"
#include "support/recording_view.h"
#include "support/repository.h"
#include "support/repository_files.h"
#include "support/win32/import_table.h"
#include "support/win32/window_driver.h"
#include "ui/win32/controls.h"
#include "ui/win32/file_control.h"
#include "ui/win32/message_boxes.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace corvelan::win32ui {
namespace {

namespace stdfs = std::filesystem;

// The window and every control where `design` puts them, with their captions and fonts.
void expectDrawnAsDesigned(HWND window, const ui::WindowDesign &design) {
    SCOPED_TRACE(std::string(design.name));
    ASSERT_EQ(dpiOf(window), 96u) << "the design is in 96-DPI pixels";
    EXPECT_EQ(textOf(window), design.title);
    EXPECT_EQ(::GetWindow(window, GW_OWNER), nullptr) << "modeless, without an owner";
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, design.width);
    EXPECT_EQ(client.bottom, design.height);
    for (const ui::ControlDesign &c : design.controls) {
        SCOPED_TRACE(std::string(c.name));
        HWND h = controlNamed(window, win32::toWide(c.name));
        ASSERT_NE(h, nullptr);
        const RECT place = placeOf(h);
        EXPECT_EQ(place.left, c.left);
        EXPECT_EQ(place.top, c.top);
        EXPECT_EQ(place.right, c.width);
        // A closed drop-down list is one line high, whatever its open list's height.
        if (c.kind != ui::ControlKind::DriveList) {
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
    expectDrawnAsDesigned(main->hwnd(), ui::kUpdateToolDesign);
    expectRectangles(main->hwnd(), {526, 344},
                     {{L"List1", {24, 56, 481, 173}},
                      {L"cmdUpdate", {88, 288, 65, 25}},
                      {L"cmdRemove", {224, 288, 65, 25}},
                      {L"cmdExit", {360, 288, 81, 25}}});
    click(control(main->hwnd(), L"cmdUpdate"));
    ASSERT_NE(main->fileControl(), nullptr);
    expectDrawnAsDesigned(main->fileControl()->hwnd(), ui::kFileControlDesign);
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
int WINAPI boxThatCannotBeShown(HWND, LPCWSTR, LPCWSTR, UINT) {
    return 0; // as MessageBoxW fails, out of memory or on a desktop that takes no window
}

// A question Windows cannot show is not a Yes: the install does not go ahead, and its event says
// that the version was not confirmed.
TEST(Win32MessageBox, OneThatCannotBeShownAnswersNo) {
    test::Repository repo;
    workflows::UpdateSession session = repo.session();
    test::RecordingView view;
    session.startUp(view);
    const std::string before = test::readFile(repo.prefix.catalogueFile());
    void *real = test::patchImport("user32.dll", "MessageBoxW",
                                   reinterpret_cast<void *>(&boxThatCannotBeShown));
    ASSERT_NE(real, nullptr);
    Win32MessageBoxes boxes;
    const workflows::Outcome outcome = session.installDtm("C:\\dtm.xml", view, boxes);
    test::patchImport("user32.dll", "MessageBoxW", real);
    EXPECT_EQ(outcome, workflows::Outcome::Declined);
    EXPECT_EQ(test::readFile(repo.prefix.catalogueFile()), before);
    ASSERT_FALSE(repo.log.events.empty());
    EXPECT_NE(repo.log.events.back().text.find(" did not confirm version "), std::string::npos);
}
} // namespace
} // namespace corvelan::win32ui
