#include "ui/qt/update_tool.h"

#include "ui/qt/file_control.h"
#include "ui/qt/fixed_layout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

#include <exception>

namespace corvelan::qtui {
UpdateTool::UpdateTool(DriveMap drives, workflows::ToolFolder toolFolder, QWidget *parent)
    : QWidget(parent), m_session(std::move(drives), std::move(toolFolder)) {
    setObjectName(QStringLiteral("UpdateTool"));
    setWindowTitle(QStringLiteral("Corvelan DTM Update Tool - V1.1"));
    setFixedSize(526, 344);

    // Created in tab order; positions in pixels at 96 dots per inch.
    m_list = place<QListWidget>(this, "List1", 24, 56, 481, 173);
    m_list->setSortingEnabled(false);
    m_list->setUniformItemSizes(true);
    m_heading = place<QLabel>(this, "Label1", 24, 16, 185, 25);
    m_heading->setText(QStringLiteral("Installed DTM's"));
    QFont headingFont(QStringLiteral("MS Sans Serif"), 12, QFont::Bold);
    headingFont.setItalic(false);
    headingFont.setUnderline(false);
    m_heading->setFont(headingFont);
    m_instruction = place<QLabel>(this, "Label2", 24, 248, 425, 25);
    m_instruction->setText(QStringLiteral("Click to Install or Remove the QVX TSR 7700 DTM."));
    m_install = plainButton(this, "cmdUpdate", "Install", 88, 288, 65, 25);
    m_exit = plainButton(this, "cmdExit", "Exit", 360, 288, 81, 25);
    m_remove = plainButton(this, "cmdRemove", "Remove", 224, 288, 65, 25);
    for (QLabel *label : {m_heading, m_instruction}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setFocusPolicy(Qt::NoFocus);
    }
    setTabOrder(m_list, m_install);
    setTabOrder(m_install, m_exit);
    setTabOrder(m_exit, m_remove);

    connect(m_install, &QPushButton::clicked, this, &UpdateTool::cmdUpdate_Click);
    connect(m_remove, &QPushButton::clicked, this, &UpdateTool::cmdRemove_Click);
    connect(m_exit, &QPushButton::clicked, this, &UpdateTool::cmdExit_Click);

    runHandler(QStringLiteral("The start-up check"), [this] {
        if (m_session.startUp(*this) == workflows::StartupOutcome::CatalogueNotLoaded &&
            m_session.loadError())
            m_list->setToolTip(QString::fromStdString(m_session.loadError()->message()));
    });
    m_list->setFocus();
}

void UpdateTool::addLine(const std::string &line) {
    m_list->addItem(QString::fromStdString(line));
}

void UpdateTool::addLines(const std::vector<std::string> &lines) {
    QStringList items;
    items.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string &line : lines)
        items << QString::fromStdString(line);
    m_list->addItems(items);
}

void UpdateTool::clearList() {
    m_list->clear();
}

void UpdateTool::setInstallEnabled(bool enabled) {
    m_install->setEnabled(enabled);
}

void UpdateTool::InstallDtm() {
    runHandler(QStringLiteral("The install"),
               [this] { m_session.installDtm(NewFileName.toStdString(), *this, m_boxes); });
}

void UpdateTool::cmdUpdate_Click() {
    runHandler(QStringLiteral("Opening the file selection window"), [this] {
        // There is only ever one; while it is open, Install brings it back as the user left it.
        if (!m_fileControl) m_fileControl = new FileControl(*this, m_session.drives());
        m_fileControl->show();
        m_fileControl->raise();
        m_fileControl->activateWindow();
    });
}

void UpdateTool::closeEvent(QCloseEvent *event) {
    if (m_fileControl) m_fileControl->close();
    QWidget::closeEvent(event);
}

void UpdateTool::cmdRemove_Click() {
    runHandler(QStringLiteral("Remove"), [this] { m_session.remove(*this, m_boxes); });
}

void UpdateTool::cmdExit_Click() {
    // Every window of the tool goes at once; nothing is saved, since each workflow saved its
    // own work.
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

void UpdateTool::runHandler(const QString &what, const std::function<void()> &handler) {
    QString failure;
    try {
        handler();
        return;
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    } catch (...) {
        failure = QStringLiteral("an unknown error");
    }
    QMessageBox::critical(this, windowTitle(), QStringLiteral("%1 failed: %2").arg(what, failure));
}

} // namespace corvelan::qtui
