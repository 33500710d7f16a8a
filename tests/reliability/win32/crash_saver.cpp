// Saves a catalogue of a few MB over the file it is given, for a crash test that ends this
// process at a random moment: crash_saver <path> <version>. It says "ready" on its standard
// output just before the save starts, and "saved" once it is done.
#include "platform/file_system.h"
#include "platform/win32/wide.h"
#include "support/path_files.h"
#include "support/sample_catalogue.h"

#include <shellapi.h>

int main() {
    int argc = 0;
    wchar_t **argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc != 3) return 2;
    const std::string path = corvelan::win32::fromWide(argv[1]);
    const std::string bytes =
        corvelan::test::sampleCatalogue(12'000, corvelan::win32::fromWide(argv[2]));
    DWORD written = 0;
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::WriteFile(out, "ready", 5, &written, nullptr);
    const bool saved = corvelan::test::replaceFileContent(path, bytes).ok();
    ::WriteFile(out, "saved", 5, &written, nullptr);
    return saved ? 0 : 1;
}
