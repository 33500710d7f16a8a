#include "platform/drive_map.h"
#include "windows/update_tool.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);

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
