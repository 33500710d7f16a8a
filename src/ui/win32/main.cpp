// The tool on Windows: one static executable, the five pictures beside it.
#include "platform/trust.h"
#include "ui/win32/controls.h"
#include "ui/win32/update_tool.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    corvelan::fs::guardAgainstPlantedLinks();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    auto drives = corvelan::DriveMap::fromEnvironment();
    corvelan::win32ui::UpdateTool window(drives ? drives.value() : corvelan::DriveMap());
    window.show(show);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (corvelan::win32ui::routeDialogKeys(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
