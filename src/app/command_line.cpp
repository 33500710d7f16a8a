// corvelan-dtm-cli: the tool's workflows from a console, for unattended installs.
#include "workflows/command_line.h"
#include "platform/console.h"
#include "platform/drive_map.h"
#include "platform/process.h"
#include "platform/trust.h"

int main(int argc, char **argv) {
    using namespace corvelan;
    fs::guardAgainstPlantedLinks();
    const auto out = [](std::string_view text) { writeStream(Stream::Output, text); };
    const auto err = [](std::string_view text) { writeStream(Stream::Error, text); };
    return workflows::runCommandLine(commandLineArguments(argc, argv), DriveMap::fromEnvironment(),
                                     fs::executableFolder,
                                     CORVELAN_VERSION " (commit " CORVELAN_COMMIT ")", out, err);
}
