// The main window: the catalogue listing, two labels and the Install, Remove and Exit buttons.
// It binds events to the workflows of UpdateSession and holds no rules of its own.
#pragma once

#include "platform/process.h"
#include "platform/wait_observer.h"
#include "ui/qt/file_control.h"
#include "ui/qt/qt_message_boxes.h"
#include "workflows/ports.h"
#include "workflows/update_session.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QListWidget;
class QPushButton;

namespace corvelan::qtui {

class UpdateTool : public QWidget, private workflows::ListView, private fs::WaitObserver {
    Q_OBJECT

public:
    // Builds the window and runs the start-up check before it is first shown. `toolFolder`
    // finds the pictures an install copies; each install and remove leaves an event in `log`.
    explicit UpdateTool(DriveMap drives, workflows::ToolFolder toolFolder = fs::executableFolder,
                        QWidget *parent = nullptr,
                        workflows::EventLog &log = workflows::systemEventLog());
    ~UpdateTool() override;

    // Full path of the description file to install; set by the file selection window.
    QString NewFileName;

    // Installs the description file named by NewFileName; returns when the install has ended.
    void InstallDtm();
    // Restores the newest generation of the history, after asking; the list's context menu
    // (right-click, the menu key or Shift+F10) offers it.
    void RestorePrevious();

    [[nodiscard]] const workflows::UpdateSession &session() const { return m_session; }
    // The file selection window while it is open.
    [[nodiscard]] FileControl *fileControl() const { return m_fileControl; }

protected:
    // Closing the main window closes the file selection window too, so nothing can install
    // through a window that is gone.
    void closeEvent(QCloseEvent *event) override;

private:
    void addLine(const std::string &line) override;
    void addLines(const catalogue::Listing &lines) override;
    void clearList() override;
    void setInstallEnabled(bool enabled) override;
    void showLine(std::size_t line) override;
    // While a file another program holds is waited for: a wait cursor.
    void waiting(bool on) override;

    void cmdUpdate_Click();
    void cmdRemove_Click();
    void cmdExit_Click();
    // Runs `handler`; a failure inside it is shown in an error box that names it, and the tool
    // goes on.
    void runHandler(const std::string &what, const std::function<void()> &handler);

    workflows::UpdateSession m_session;
    QtMessageBoxes m_boxes{this};
    QPointer<FileControl> m_fileControl;
    fs::WaitObserver *m_previousObserver;
    QListWidget *m_list;
    QPushButton *m_install;
    QPushButton *m_exit;
    QPushButton *m_remove;
};

} // namespace corvelan::qtui
