// Driving the Win32 windows in this process as a user's clicks and keys do, under Wine's null
// graphics driver when there is no display: the message pump, clicks, keys and double-clicks,
// what the controls show, and a fixture with a prefix, its catalogue, the tool's pictures and a
// folder of descriptions to pick from.
#pragma once

#include "support/repository.h"
#include "support/scripted_boxes.h"
#include "support/temp_prefix.h"
#include "ui/win32/update_tool.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::win32ui {

// What the fixture's catalogue holds: one other product's entry and the device's.
inline const std::string kCatalogue =
    "<DDXMLRepository>\r\n<File ProductID=\"A\" Fileversion=\"2\"/>\r\n"
    "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1\"/>\r\n"
    "</DDXMLRepository>\r\n";

// Handles what is queued, keyboard included, as the tool's message loop does.
void pump();
// A key pressed and released on the control with the focus.
void press(UINT key);
void click(HWND button);
// A list's double-click on `line`, as the list box reports it to its window.
void doubleClick(HWND list, const std::string &line);
// Left, top, width and height of `control` in its parent's client area.
[[nodiscard]] RECT placeOf(HWND control);

// The control of `window` with the design name `name`; null when there is none.
[[nodiscard]] HWND controlNamed(HWND window, std::wstring_view name);
// The text of a window as UTF-8.
[[nodiscard]] std::string textOf(HWND window);
// The lines of a list box, as UTF-8.
[[nodiscard]] std::vector<std::string> listLines(HWND list);

// Real boxes the running test answers itself, while one of these lives; any other real box fails
// the test at once, naming its text, and is closed, so that a test that meets one ends instead of
// waiting for its timeout.
extern int g_boxesExpected;

class ExpectingBoxes {
public:
    ExpectingBoxes() { ++g_boxesExpected; }
    ~ExpectingBoxes() { --g_boxesExpected; }
    ExpectingBoxes(const ExpectingBoxes &) = delete;
    ExpectingBoxes &operator=(const ExpectingBoxes &) = delete;
};

class Win32Windows : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::unique_ptr<UpdateTool> start();
    HWND control(HWND window, const wchar_t *name) { return controlNamed(window, name); }

    test::Repository repo{kCatalogue};
    test::TempPrefix &prefix = repo.prefix;
    test::ScriptedBoxes boxes;
    std::filesystem::path saved;
    UINT_PTR m_watch = 0;
};

} // namespace corvelan::win32ui
