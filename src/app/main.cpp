#include "platform/drive_map.h"
#include "platform/file_system.h"
#include "windows/update_tool.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM (a logout, `kill`) and SIGINT end the tool as Exit does, from the event loop, so that
// it ends cleanly. Nothing needs saving: every workflow saved its own work. The handlers are in
// place before Qt starts, so a signal that arrives while the first window is still being built
// waits in the socket until the event loop reads it.
void catchTerminateSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    struct sigaction action {};
    action.sa_handler = onTerminate;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

void endOnTerminateSignals(QApplication &app) {
    if (g_signalPipe[0] < 0) return; // no socket, so the signals keep their default action
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte;
        [[maybe_unused]] auto n = ::read(g_signalPipe[0], &byte, 1);
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
}

} // namespace

int main(int argc, char *argv[]) {
    catchTerminateSignals();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvelan-dtm-update-tool"));
    QApplication::setDesktopFileName(QStringLiteral("corvelan-dtm-update-tool"));
    if (auto folder = corvelan::fs::executableFolder(); folder)
        QApplication::setWindowIcon(
            QIcon::fromTheme(QStringLiteral("corvelan-dtm-update-tool"),
                             QIcon(QString::fromStdString(folder.value() + "/corvelan.ico"))));
    endOnTerminateSignals(app);

    auto drives = corvelan::DriveMap::fromEnvironment();
    if (!drives) {
        // Without a usable prefix only z: is mapped, so start-up shows the missing folder.
        QMessageBox::critical(nullptr, QStringLiteral("Corvelan DTM Update Tool - V1.1"),
                              QString::fromStdString(drives.error().message()));
    }
    corvelan::windows::UpdateTool window(drives ? drives.value() : corvelan::DriveMap());
    window.show();
    return QApplication::exec();
}
