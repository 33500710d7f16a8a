#include "workflows/command_line.h"

#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/windows_names.h"

namespace corvelan::workflows {
namespace {

constexpr std::string_view kUsage =
    "Usage: corvelan-dtm-cli list\n"
    "       corvelan-dtm-cli install FILE\n"
    "       corvelan-dtm-cli remove\n"
    "       corvelan-dtm-cli --help | --version\n"
    "\n"
    "Keeps the QVX TSR 7700 DTM current in the PTK Generic DTM repository, as the Corvelan DTM\n"
    "Update Tool does, without windows:\n"
    "  list            prints the catalogue's entries, one a line\n"
    "  install FILE    checks the description file FILE and installs it, without asking\n"
    "  remove          takes the QVX TSR 7700 entries out of the catalogue\n"
    "install and remove print the new listing. Exit codes: 0 done (also when nothing needed\n"
    "changing), 1 refused (the description was rejected, or the repository or catalogue is\n"
    "missing), 2 failed (a save or a copy failed), 64 usage.\n";

// The list as a window would show it, and whether it was listed anew.
class PrintedList final : public ListView {
public:
    void addLine(const std::string &line) override { m_text += line + "\n"; }
    void clearList() override {
        m_text.clear();
        m_refreshed = true;
    }
    void setInstallEnabled(bool) override {}
    [[nodiscard]] const std::string &text() const { return m_text; }
    [[nodiscard]] bool refreshed() const { return m_refreshed; }

private:
    std::string m_text;
    bool m_refreshed = false;
};

// The boxes a window would show, on standard error; the command itself was the confirmation.
class PrintedBoxes final : public MessageBoxes {
public:
    explicit PrintedBoxes(const Writer &err) : m_err(err) {}
    BoxAnswer show(const std::string &text, const std::string &, BoxStyle style) override {
        if (style == BoxStyle::Confirm) return BoxAnswer::Yes;
        m_err(text + "\n");
        return BoxAnswer::Ok;
    }

private:
    const Writer &m_err;
};

int exitCodeOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return kExitDone;
    case Outcome::Declined: // never asked: the command line answers Yes
    case Outcome::Refused:
        return kExitRefused;
    case Outcome::Failed:
        break;
    }
    return kExitFailed;
}

// The description's Windows path: as given when it is one, else a host path (relative to the
// current folder) in Windows form, as the file window would compose it.
std::string descriptionPath(const std::string &given, const DriveMap &drives) {
    if (parseWindowsPath(given).ok()) return given;
    std::string host = given;
    const bool absolute = !given.empty() && (given.front() == '/' || given.front() == '\\');
    if (!absolute)
        if (auto current = fs::currentFolder()) host = fs::joinPath(current.value(), given);
    return drives.windowsPath(host);
}

} // namespace

int runCommandLine(const std::vector<std::string> &arguments, const DriveMap &drives,
                   ToolFolder toolFolder, std::string_view version, const Writer &out,
                   const Writer &err) {
    const std::string command = arguments.empty() ? std::string() : arguments.front();
    if (arguments.size() == 1 && (command == "--help" || command == "-h")) {
        out(kUsage);
        return kExitDone;
    }
    if (arguments.size() == 1 && command == "--version") {
        out("corvelan-dtm-cli " + std::string(version) + "\n");
        return kExitDone;
    }
    const bool known = (arguments.size() == 1 && (command == "list" || command == "remove")) ||
                       (arguments.size() == 2 && command == "install");
    if (!known) {
        err(kUsage);
        return kExitUsage;
    }

    UpdateSession session(drives, std::move(toolFolder));
    PrintedList list;
    PrintedBoxes boxes(err);
    const StartupOutcome started = session.startUp(list);
    if (command == "list") {
        out(list.text());
        return started == StartupOutcome::Listed ? kExitDone : kExitRefused;
    }
    const Outcome outcome =
        command == "remove"
            ? session.remove(list, boxes)
            : session.installDtm(descriptionPath(arguments[1], drives), list, boxes);
    // The catalogue as saved, also when a copy after the save failed.
    if (list.refreshed()) out(list.text());
    return exitCodeOf(outcome);
}

} // namespace corvelan::workflows
