#include "platform/drive_map.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/termination.h"
#include "ui/qt/qt_message_boxes.h"
#include "ui/qt/update_tool.h"
#include "workflows/messages.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>

namespace {

// The signals caught before Qt starts end the tool from the event loop, as Exit does. Nothing
// needs saving: every workflow saved its own work. A signal that arrives while the first window
// is still being built waits in the socket until the event loop reads it.
void endOnRequest(QApplication &app, int descriptor) {
    if (descriptor < 0) return;
    auto *notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [descriptor] {
        corvelan::drainEndRequests(descriptor);
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
}

} // namespace

int main(int argc, char *argv[]) {
    const int endRequests = corvelan::catchEndRequests();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvelan-dtm-update-tool"));
    QApplication::setDesktopFileName(QStringLiteral("corvelan-dtm-update-tool"));
    if (auto folder = corvelan::fs::executableFolder(); folder)
        QApplication::setWindowIcon(
            QIcon::fromTheme(QStringLiteral("corvelan-dtm-update-tool"),
                             QIcon(QString::fromStdString(folder.value() + "/corvelan.ico"))));
    endOnRequest(app, endRequests);

    auto drives = corvelan::DriveMap::fromEnvironment();
    if (!drives) {
        // Without a usable prefix only z: is mapped, so start-up shows the missing folder.
        const auto box = corvelan::workflows::messages::unusablePrefix(drives.error());
        corvelan::qtui::QtMessageBoxes(nullptr).show(box.text, box.title, box.style);
    }
    corvelan::qtui::UpdateTool window(drives ? drives.value() : corvelan::DriveMap());
    window.show();
    return QApplication::exec();
}
