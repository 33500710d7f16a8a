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

#include <oleacc.h>

#include <filesystem>
#include <map>

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

// Windows' accessibility layer as far as the windows use it: the names they give their controls,
// as long as they have not taken them back. Wine keeps no names, so the test stands in for it.
class RecordedNames final : public IAccPropServices {
public:
    std::map<HWND, std::wstring> named;

    // The names of the controls that have one, by their design names.
    [[nodiscard]] std::map<std::wstring, std::wstring> byDesignName() const {
        std::map<std::wstring, std::wstring> names;
        for (const auto &[control, text] : named)
            names[nameOf(control)] = text;
        return names;
    }

    HRESULT WINAPI SetHwndPropStr(HWND control, DWORD object, DWORD child, MSAAPROPID property,
                                  LPCWSTR text) override {
        const bool name = object == static_cast<DWORD>(OBJID_CLIENT) && child == CHILDID_SELF &&
                          property == PROPID_ACC_NAME;
        if (name) named[control] = text;
        return name ? S_OK : E_INVALIDARG;
    }
    HRESULT WINAPI ClearHwndProps(HWND control, DWORD, DWORD, const MSAAPROPID *, int) override {
        named.erase(control);
        return S_OK;
    }
    HRESULT WINAPI QueryInterface(REFIID id, void **out) override {
        *out = id == IID_IUnknown || id == IID_IAccPropServices ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return 1; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI SetPropValue(const BYTE *, DWORD, MSAAPROPID, VARIANT) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetPropServer(const BYTE *, DWORD, const MSAAPROPID *, int, IAccPropServer *,
                                 AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearProps(const BYTE *, DWORD, const MSAAPROPID *, int) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetHwndProp(HWND, DWORD, DWORD, MSAAPROPID, VARIANT) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID *, int, IAccPropServer *,
                                     AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE **, DWORD *) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI DecomposeHwndIdentityString(const BYTE *, DWORD, HWND *, DWORD *,
                                               DWORD *) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropStr(HMENU, DWORD, MSAAPROPID, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID *, int, IAccPropServer *,
                                      AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearHmenuProps(HMENU, DWORD, const MSAAPROPID *, int) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ComposeHmenuIdentityString(HMENU, DWORD, BYTE **, DWORD *) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI DecomposeHmenuIdentityString(const BYTE *, DWORD, HMENU *, DWORD *) override {
        return E_NOTIMPL;
    }
} g_names;

HRESULT WINAPI createRecordedNames(REFCLSID, LPUNKNOWN, DWORD, REFIID id, LPVOID *out) {
    return g_names.QueryInterface(id, out);
}

// What a screen reader on Windows names each control by, with what Wine can show: a list after
// the label right before it in z-order (labels take no focus, so the tab order is as tested
// above), the lists without a label after the names given to Windows' accessibility layer.
TEST_F(Win32Windows, EveryControlWithoutTextOfItsOwnIsNamedForAScreenReader) {
    void *real = test::patchImport("ole32.dll", "CoCreateInstance",
                                   reinterpret_cast<void *>(&createRecordedNames));
    ASSERT_NE(real, nullptr);
    auto main = start();
    HWND list = control(main->hwnd(), L"List1");
    EXPECT_EQ(::GetWindow(list, GW_HWNDPREV), control(main->hwnd(), L"Label1"));
    EXPECT_EQ(::GetWindow(main->hwnd(), GW_CHILD), control(main->hwnd(), L"Label1"));
    click(control(main->hwnd(), L"cmdUpdate"));
    ASSERT_NE(main->fileControl(), nullptr);
    EXPECT_EQ(g_names.byDesignName(),
              (std::map<std::wstring, std::wstring>{{L"List1", L"Installed DTM's"},
                                                    {L"Drive1", L"Drive"},
                                                    {L"Dir1", L"Folders"},
                                                    {L"File1", L"Files"}}));
    click(control(main->fileControl()->hwnd(), L"CmdCancel"));
    EXPECT_EQ(g_names.byDesignName(),
              (std::map<std::wstring, std::wstring>{{L"List1", L"Installed DTM's"}}))
        << "taken back with their window";
    EXPECT_EQ(::GetActiveWindow(), main->hwnd()) << "the main window is active again";
    main.reset();
    test::patchImport("ole32.dll", "CoCreateInstance", real);
    EXPECT_TRUE(g_names.named.empty());
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
