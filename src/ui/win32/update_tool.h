// The main window, in Win32: the catalogue listing, two labels and the Install, Remove and Exit
// buttons. It binds messages to the workflows of UpdateSession and holds no rules of its own.
#pragma once

#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/wait_observer.h"
#include "ui/win32/controls.h"
#include "ui/win32/message_boxes.h"
#include "workflows/ports.h"
#include "workflows/update_session.h"

#include <memory>
#include <string>

namespace corvelan::win32ui {

class FileControl;

class UpdateTool final : private workflows::ListView, private fs::WaitObserver {
public:
    // Control identifiers; none is IDOK or IDCANCEL, so Enter and Escape press no button.
    enum Control : int { List1 = 100, Label1, Label2, cmdUpdate, cmdExit, cmdRemove };

    // Builds the window and runs the start-up check before it is first shown. `toolFolder`
    // finds the pictures an install copies; `boxes` shows the message boxes (null: real ones);
    // each install and remove leaves an event in `log`.
    explicit UpdateTool(DriveMap drives, workflows::ToolFolder toolFolder = fs::executableFolder,
                        workflows::MessageBoxes *boxes = nullptr,
                        workflows::EventLog &log = workflows::systemEventLog());
    ~UpdateTool() override;
    UpdateTool(const UpdateTool &) = delete;
    UpdateTool &operator=(const UpdateTool &) = delete;

    // Full path of the description file to install; set by the file selection window.
    std::string NewFileName;

    // Installs the description file named by NewFileName; returns when the install has ended.
    void InstallDtm();
    // Restores the newest generation of the history, after asking; the list's context menu
    // (right-click, the menu key or Shift+F10) and the window's system menu offer it.
    void RestorePrevious();

    void show(int how = SW_SHOWNORMAL);
    [[nodiscard]] HWND hwnd() const { return m_window; }
    [[nodiscard]] const workflows::UpdateSession &session() const { return m_session; }
    // The file selection window while it is open, else null.
    [[nodiscard]] FileControl *fileControl() const;
    [[nodiscard]] workflows::MessageBoxes &boxes() { return *m_boxes; }

    // What the window procedure (windowProcedure) names in an error box, and where it sends each
    // message: false for one left to DefWindowProc.
    static constexpr const char *kWhat = "The main window";
    bool handle(UINT message, WPARAM w, LPARAM l, LRESULT &result);

private:
    void addLine(const std::string &line) override;
    void addLines(const catalogue::Listing &lines) override;
    void clearList() override;
    void setInstallEnabled(bool enabled) override;
    void showLine(std::size_t line) override;
    // While a file another program holds is waited for: a wait cursor.
    void waiting(bool on) override;

    void create();
    void applyDpi(UINT dpi);

    void cmdUpdate_Click();
    void cmdRemove_Click();
    // The list's context menu, at the screen point `at` (-1: where the keyboard asked for it).
    void showListMenu(LPARAM at);
    void cmdExit_Click();

    workflows::UpdateSession m_session;
    Win32MessageBoxes m_realBoxes;
    workflows::MessageBoxes *m_boxes;
    std::unique_ptr<FileControl> m_fileControl;
    fs::WaitObserver *m_previousObserver = nullptr;
    HCURSOR m_cursorBeforeWait = nullptr;
    HWND m_window = nullptr;
    HWND m_lastFocus = nullptr;
    AccessibleNames m_names;
    std::vector<HWND> m_controls;
    Font m_standardFont;
    std::vector<Font> m_designFonts; // Label1's
};

} // namespace corvelan::win32ui
