#include "ui/qt/file_control.h"

#include "ui/qt/fixed_layout.h"
#include "ui/qt/update_tool.h"

#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>

namespace corvelan::qtui {
namespace {

constexpr int kPathRole = Qt::UserRole;

} // namespace

FileControl::FileControl(UpdateTool &main, DriveMap drives)
    : QWidget(nullptr), m_browser(std::move(drives)), m_main(&main) {
    setObjectName(QStringLiteral("FileControl"));
    setWindowTitle(QStringLiteral("File Open"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(467, 242);

    // Created in tab order; positions in pixels at 96 dots per inch.
    m_drives = place<QComboBox>(this, "Drive1", 16, 16, 137, 21);
    m_folders = place<QListWidget>(this, "Dir1", 16, 48, 145, 171);
    m_files = place<QListWidget>(this, "File1", 168, 16, 257, 162);
    m_files->setSelectionMode(QAbstractItemView::SingleSelection);
    m_open = plainButton(this, "CmdOpen", "Open", 192, 200, 81, 25);
    m_cancel = plainButton(this, "CmdCancel", "Cancel", 320, 200, 81, 25);
    setTabOrder(m_drives, m_folders);
    setTabOrder(m_folders, m_files);
    setTabOrder(m_files, m_open);
    setTabOrder(m_open, m_cancel);

    for (const workflows::DriveChoice &drive : m_browser.drives())
        m_drives->addItem(QString::fromStdString(drive.label), QChar::fromLatin1(drive.letter));
    (void)m_browser.openCurrentFolder();
    refreshLists();

    connect(m_drives, &QComboBox::currentIndexChanged, this, &FileControl::driveChanged);
    connect(m_folders, &QListWidget::itemActivated, this, &FileControl::folderActivated);
    connect(m_files, &QListWidget::itemDoubleClicked, this, &FileControl::open);
    connect(m_open, &QPushButton::clicked, this, &FileControl::open);
    connect(m_cancel, &QPushButton::clicked, this, &QWidget::close);
    m_drives->setFocus();
}

void FileControl::open() {
    const QListWidgetItem *selected = m_files->currentItem();
    const std::string name =
        selected && selected->isSelected() ? selected->text().toStdString() : std::string();
    const std::string path = workflows::composeFilePath(m_browser.path(), name);
    if (m_main) {
        m_main->NewFileName = QString::fromStdString(path);
        m_main->InstallDtm();
    }
    close();
}

bool FileControl::showFolder(const std::string &folder) {
    if (Status s = m_browser.open(folder); !s) {
        QMessageBox::critical(this, QStringLiteral("File Error"),
                              QString::fromStdString(s.error().subject + " cannot be read: " +
                                                     s.error().reason() + "."));
        refreshLists(); // puts Drive1 back on the drive of the folder still shown
        return false;
    }
    refreshLists();
    return true;
}

void FileControl::refreshLists() {
    {
        const QSignalBlocker block(m_drives);
        const int index = m_drives->findData(QChar::fromLatin1(m_browser.driveLetter()));
        m_drives->setCurrentIndex(index);
    }
    m_folders->clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const auto chain = m_browser.chain();
    int depth = 0;
    for (const workflows::FolderLevel &level : chain) {
        auto *item = new QListWidgetItem(
            openIcon, QString(depth * 2, QLatin1Char(' ')) + QString::fromStdString(level.name),
            m_folders);
        item->setData(kPathRole, QString::fromStdString(level.path));
        ++depth;
    }
    if (!chain.empty()) m_folders->setCurrentRow(static_cast<int>(chain.size()) - 1);
    for (const std::string &name : m_browser.subFolders()) {
        auto *item = new QListWidgetItem(
            closedIcon, QString(depth * 2, QLatin1Char(' ')) + QString::fromStdString(name),
            m_folders);
        item->setData(kPathRole,
                      QString::fromStdString(workflows::composeFilePath(m_browser.path(), name)));
    }
    m_files->clear();
    for (const std::string &name : m_browser.files())
        m_files->addItem(QString::fromStdString(name));
}

void FileControl::driveChanged(int index) {
    const QChar letter = m_drives->itemData(index).toChar();
    showFolder(std::string(1, letter.toUpper().toLatin1()) + ":\\");
}

void FileControl::folderActivated(QListWidgetItem *item) {
    showFolder(item->data(kPathRole).toString().toStdString());
}

} // namespace corvelan::qtui
