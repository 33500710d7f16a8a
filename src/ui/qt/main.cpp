#include "platform/drive_map.h"
#include "platform/file_system.h"
#include "ui/qt/terminate_signals.h"
#include "ui/qt/update_tool.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>

#include <unistd.h>

namespace {

// The signals caught before Qt starts end the tool from the event loop, as Exit does. Nothing
// needs saving: every workflow saved its own work. A signal that arrives while the first window
// is still being built waits in the socket until the event loop reads it.
void endOnTerminateSignals(QApplication &app, int socket) {
    if (socket < 0) return;
    auto *notifier = new QSocketNotifier(socket, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [socket] {
        char bytes[64];
        while (::read(socket, bytes, sizeof bytes) > 0) {
        }
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
}

} // namespace

int main(int argc, char *argv[]) {
    const int signalSocket = corvelan::app::catchTerminateSignals();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvelan-dtm-update-tool"));
    QApplication::setDesktopFileName(QStringLiteral("corvelan-dtm-update-tool"));
    if (auto folder = corvelan::fs::executableFolder(); folder)
        QApplication::setWindowIcon(
            QIcon::fromTheme(QStringLiteral("corvelan-dtm-update-tool"),
                             QIcon(QString::fromStdString(folder.value() + "/corvelan.ico"))));
    endOnTerminateSignals(app, signalSocket);

    auto drives = corvelan::DriveMap::fromEnvironment();
    if (!drives) {
        // Without a usable prefix only z: is mapped, so start-up shows the missing folder.
        QMessageBox::critical(nullptr, QStringLiteral("Corvelan DTM Update Tool - V1.1"),
                              QString::fromStdString(drives.error().message()));
    }
    corvelan::qtui::UpdateTool window(drives ? drives.value() : corvelan::DriveMap());
    window.show();
    return QApplication::exec();
}
