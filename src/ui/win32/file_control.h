// The file selection window, in Win32: a drive list, a folder list and the folder's "*.xml"
// files, with Open and Cancel. It draws the rows of the FileBrowser model, as the Qt window does
// (not Windows' own lists), and forwards the user's choices; Open hands the composed path to the
// main window's InstallDtm and closes.
#pragma once

#include "ui/win32/controls.h"
#include "workflows/file_browser.h"

#include <string>
#include <vector>

namespace corvelan::win32ui {

class UpdateTool;

class FileControl {
public:
    enum Control : int { Drive1 = 200, Dir1, File1, CmdOpen, CmdCancel };

    // A window without an owner, at the process's current drive and folder, that installs
    // through `main`. Not shown until show().
    FileControl(UpdateTool &main, DriveMap drives);
    ~FileControl();
    FileControl(const FileControl &) = delete;
    FileControl &operator=(const FileControl &) = delete;

    void show();
    // Open: composes the path into the main window's NewFileName, installs, then closes.
    void open();
    // The window while it is open, else null.
    [[nodiscard]] HWND hwnd() const { return m_window; }

    // What the window procedure (windowProcedure) names in an error box, and where it sends each
    // message: false for one left to DefWindowProc.
    static constexpr const char *kWhat = "The file selection window";
    bool handle(UINT message, WPARAM w, LPARAM l, LRESULT &result);

private:
    // Draws the model's rows.
    void drawLists();
    // Closes, and the main window is active again, its focus where it was.
    void close();

    UpdateTool &m_main;
    workflows::FileBrowser m_browser;
    HWND m_window = nullptr;
    HWND m_lastFocus = nullptr;
    AccessibleNames m_names;
    std::vector<HWND> m_controls;
    Font m_standardFont;
    std::vector<Font> m_designFonts;
};

} // namespace corvelan::win32ui
