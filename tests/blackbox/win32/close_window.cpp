// Waits for a top-level window with the caption given, closes it as a user would through its
// frame (WM_CLOSE), and exits 0; exits 1 when no such window came within 30 s.
//   close_window.exe "Corvelan DTM Update Tool - V1.1"
#include "platform/win32/wide.h"

#include <shellapi.h>

int main() {
    int argc = 0;
    wchar_t **argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc != 2) return 2;
    for (int tries = 0; tries < 300; ++tries) {
        if (HWND window = ::FindWindowW(nullptr, argv[1])) {
            ::PostMessageW(window, WM_CLOSE, 0, 0);
            return 0;
        }
        ::Sleep(100);
    }
    return 1;
}
