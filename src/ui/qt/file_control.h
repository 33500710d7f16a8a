// The file selection window: a drive list, a folder list and the folder's "*.xml" files, with
// Open and Cancel. It draws the rows of the FileBrowser model and forwards the user's choices;
// Open hands the composed path to the main window's InstallDtm and closes.
#pragma once

#include "ui/qt/qt_message_boxes.h"
#include "workflows/file_browser.h"

#include <QPointer>
#include <QWidget>

class QComboBox;
class QListWidget;
class QListWidgetItem;

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
    // Draws the model's rows.
    void drawLists();
    // Closes, and the main window has the focus again (where its list had it).
    void backToMain();

    workflows::FileBrowser m_browser;
    QPointer<UpdateTool> m_main;
    QtMessageBoxes m_boxes{this};
    QComboBox *m_drives;
    QListWidget *m_folders;
    QListWidget *m_files;
};

} // namespace corvelan::qtui
