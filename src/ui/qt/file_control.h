// The file selection window: a drive list, a folder list and the folder's "*.xml" files, with
// Open and Cancel. Open hands the picked path to the main window's InstallDtm and closes.
#pragma once

#include "workflows/file_browser.h"

#include <QPointer>
#include <QWidget>

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace corvelan::qtui {

class UpdateTool;

class FileControl : public QWidget {
    Q_OBJECT

public:
    // A window without an owner, at the process's current drive and folder, that installs
    // through `main`. It deletes itself when closed.
    FileControl(UpdateTool &main, DriveMap drives);

    // Open: composes the path into the main window's NewFileName, installs, then closes.
    void open();

private:
    // Shows `folder` in the lists; on failure says so and keeps the previous folder.
    bool showFolder(const std::string &folder);
    void refreshLists();
    void driveChanged(int index);
    void folderActivated(QListWidgetItem *item);

    workflows::FileBrowser m_browser;
    QPointer<UpdateTool> m_main;
    QComboBox *m_drives;
    QListWidget *m_folders;
    QListWidget *m_files;
    QPushButton *m_open;
    QPushButton *m_cancel;
};

} // namespace corvelan::qtui
