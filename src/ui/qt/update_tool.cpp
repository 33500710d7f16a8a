#include "ui/qt/update_tool.h"

#include "ui/qt/file_control.h"
#include "ui/qt/fixed_layout.h"
#include "ui/window_design.h"

#include "workflows/messages.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>

#include <exception>

namespace corvelan::qtui {
UpdateTool::UpdateTool(DriveMap drives, workflows::ToolFolder toolFolder, QWidget *parent,
                       workflows::EventLog &log)
    : QWidget(parent),
      m_session(std::move(drives), std::move(toolFolder), fs::runsElevated(), log) {
    m_previousObserver = fs::setWaitObserver(this);
    buildWindow(this, ui::kUpdateToolDesign);
    m_list = control<QListWidget>(this, "List1");
    m_install = control<QPushButton>(this, "cmdUpdate");
    m_exit = control<QPushButton>(this, "cmdExit");
    m_remove = control<QPushButton>(this, "cmdRemove");

    connect(m_install, &QPushButton::clicked, this, &UpdateTool::cmdUpdate_Click);
    connect(m_remove, &QPushButton::clicked, this, &UpdateTool::cmdRemove_Click);
    connect(m_exit, &QPushButton::clicked, this, &UpdateTool::cmdExit_Click);
    // The list's context menu holds the restore, so that the window's layout stays as it is.
    auto *restore =
        new QAction(QString::fromUtf8(ui::kRestoreMenuItem.data(),
                                      static_cast<qsizetype>(ui::kRestoreMenuItem.size())),
                    m_list);
    connect(restore, &QAction::triggered, this, &UpdateTool::RestorePrevious);
    m_list->addAction(restore);
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    // Shift+F10 opens it from the keyboard, as the menu key does.
    auto *menuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), m_list);
    menuKey->setContext(Qt::WidgetShortcut);
    connect(menuKey, &QShortcut::activated, this, [this] {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(0, 0),
                                m_list->mapToGlobal(QPoint(0, 0)));
        QCoreApplication::sendEvent(m_list, &event);
    });

    runHandler("The start-up check", [this] {
        if (m_session.startUp(*this) == workflows::StartupOutcome::CatalogueNotLoaded &&
            m_session.loadError())
            m_list->setToolTip(QString::fromStdString(workflows::describe(*m_session.loadError())));
    });
    m_list->setFocus();
}

UpdateTool::~UpdateTool() {
    fs::setWaitObserver(m_previousObserver);
}

void UpdateTool::waiting(bool on) {
    if (on)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

void UpdateTool::addLine(const std::string &line) {
    m_list->addItem(QString::fromStdString(line));
}

void UpdateTool::addLines(const catalogue::Listing &lines) {
    QStringList items;
    items.reserve(static_cast<qsizetype>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i)
        items << QString::fromUtf8(lines[i].data(), static_cast<qsizetype>(lines[i].size()));
    m_list->addItems(items);
}

void UpdateTool::clearList() {
    m_list->clear();
}

void UpdateTool::setInstallEnabled(bool enabled) {
    m_install->setEnabled(enabled);
}

void UpdateTool::showLine(std::size_t line) {
    m_list->setFocus();
    m_list->setCurrentRow(line < static_cast<std::size_t>(m_list->count()) ? static_cast<int>(line)
                                                                           : -1);
}

void UpdateTool::InstallDtm() {
    runHandler("The install",
               [this] { m_session.installDtm(NewFileName.toStdString(), *this, m_boxes); });
}

void UpdateTool::cmdUpdate_Click() {
    runHandler("Opening the file selection window", [this] {
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
    runHandler("Remove", [this] { m_session.remove(*this, m_boxes); });
}

void UpdateTool::RestorePrevious() {
    runHandler("The restore", [this] { m_session.restore(std::nullopt, *this, m_boxes); });
}

void UpdateTool::cmdExit_Click() {
    // Every window of the tool goes at once; nothing is saved, since each workflow saved its
    // own work.
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

void UpdateTool::runHandler(const std::string &what, const std::function<void()> &handler) {
    std::string failure;
    try {
        handler();
        return;
    } catch (const std::exception &e) {
        failure = e.what();
    } catch (...) {
        failure = "an unknown error";
    }
    const workflows::Message box = workflows::messages::handlerFailed(what, failure);
    m_boxes.show(box.text, box.title, box.style);
}

} // namespace corvelan::qtui
