// corvelan-dtm-cli: the tool's workflows from a console, for unattended installs.
#include "workflows/command_line.h"
#include "platform/console.h"
#include "platform/drive_map.h"
#include "platform/process.h"
#include "platform/trust.h"
#include "workflows/messages.h"

int main(int argc, char **argv) {
    using namespace corvelan;
    fs::guardAgainstPlantedLinks();
    const auto out = [](std::string_view text) { writeStream(Stream::Output, text); };
    const auto err = [](std::string_view text) { writeStream(Stream::Error, text); };
    auto drives = DriveMap::fromEnvironment();
    if (!drives) {
        // Without a usable prefix only z: is mapped, so the repository is missing, as in the
        // windows.
        err(workflows::messages::unusablePrefix(drives.error()).text + "\n");
    }
    return workflows::runCommandLine(commandLineArguments(argc, argv),
                                     drives ? drives.value() : DriveMap(), fs::executableFolder,
                                     CORVELAN_VERSION, out, err);
}
