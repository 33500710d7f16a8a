#include "ui/qt/file_control.h"

#include "ui/qt/fixed_layout.h"
#include "ui/qt/update_tool.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>

namespace corvelan::qtui {

FileControl::FileControl(UpdateTool &main, DriveMap drives)
    : QWidget(nullptr), m_browser(std::move(drives)), m_main(&main) {
    setAttribute(Qt::WA_DeleteOnClose);
    buildWindow(this, ui::kFileControlDesign);
    m_drives = control<QComboBox>(this, "Drive1");
    m_folders = control<QListWidget>(this, "Dir1");
    m_files = control<QListWidget>(this, "File1");

    for (const workflows::DriveRow &drive : m_browser.driveRows())
        m_drives->addItem(QString::fromStdString(drive.text));
    (void)m_browser.openCurrentFolder();
    drawLists();

    // After a choice that failed, the lists are drawn again: the drive list goes back to the
    // drive of the folder still shown.
    connect(m_drives, &QComboBox::currentIndexChanged, this, [this](int row) {
        m_browser.chooseDrive(row, m_boxes);
        drawLists();
    });
    connect(m_folders, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        m_browser.chooseFolder(m_folders->row(item), m_boxes);
        drawLists();
    });
    // A double-click or Enter on a file opens it, as they open a folder; Enter presses no button.
    connect(m_files, &QListWidget::itemActivated, this, &FileControl::open);
    connect(control<QPushButton>(this, "CmdOpen"), &QPushButton::clicked, this, &FileControl::open);
    connect(control<QPushButton>(this, "CmdCancel"), &QPushButton::clicked, this,
            &FileControl::backToMain);
    m_drives->setFocus();
}

void FileControl::open() {
    // The selected file, however it was selected: a screen reader selects without moving the
    // current line.
    const QList<QListWidgetItem *> selected = m_files->selectedItems();
    const int row = selected.isEmpty() ? -1 : m_files->row(selected.front());
    if (m_main) {
        m_main->NewFileName = QString::fromStdString(m_browser.pathToOpen(row));
        m_main->InstallDtm();
    }
    backToMain();
}

void FileControl::backToMain() {
    close();
    if (m_main) {
        m_main->raise();
        m_main->activateWindow();
    }
}

void FileControl::drawLists() {
    {
        const QSignalBlocker block(m_drives);
        m_drives->setCurrentIndex(m_browser.currentDriveRow());
    }
    m_folders->clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    for (const workflows::FolderRow &row : m_browser.folderRows())
        new QListWidgetItem(row.open ? openIcon : closedIcon, QString::fromStdString(row.text),
                            m_folders);
    m_folders->setCurrentRow(m_browser.currentFolderRow());
    m_files->clear();
    for (const std::string &name : m_browser.fileRows())
        m_files->addItem(QString::fromStdString(name));
}

} // namespace corvelan::qtui
