#include "workflows/command_line.h"

#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/windows_names.h"
#include "workflows/detection.h"
#include "xml/strict_parser.h"

#include <charconv>
#include <optional>

namespace corvelan::workflows {
namespace {

constexpr std::string_view kProgram = "corvelan-dtm-cli";

constexpr std::string_view kUsage =
    "Usage: corvelan-dtm-cli list\n"
    "       corvelan-dtm-cli install [--dry-run] FILE\n"
    "       corvelan-dtm-cli remove [--dry-run]\n"
    "       corvelan-dtm-cli status [--detect] [VERSION]\n"
    "       corvelan-dtm-cli history\n"
    "       corvelan-dtm-cli restore [--dry-run] [N]\n"
    "       corvelan-dtm-cli --help | --version\n"
    "\n"
    "Keeps the QVX TSR 7700 DTM current in the PTK Generic DTM repository, as the Corvelan DTM\n"
    "Update Tool does, without windows:\n"
    "  list            prints the catalogue's entries, one a line\n"
    "  install FILE    checks the description file FILE and installs it, without asking\n"
    "  remove          takes the QVX TSR 7700 entries out of the catalogue\n"
    "  history         lists what the history keeps, newest first: each generation's number,\n"
    "                  date and time, user, and the change it was kept before\n"
    "  restore [N]     puts back the device's entries, description and pictures as generation\n"
    "                  N kept them (the newest: undoes the last change), keeping the state now\n"
    "  --dry-run       makes every check of the install, remove or restore, prints what it\n"
    "                  would change and the exit code it would end with, and changes nothing\n"
    "  status          prints the QVX TSR 7700 entry when the DTM is installed: one entry (of\n"
    "                  VERSION, when given), the description and the five pictures present;\n"
    "                  else says why not on standard error\n"
    "  --detect        as a detection script: installed, the entry and exit 0; not installed,\n"
    "                  no output at all and exit 0; exit 2 only when it cannot be told\n"
    "install, remove and restore print the new listing, and each leaves an event in the\n"
    "system's log. Before each change, the device's part of the repository is kept in\n"
    "C:\\ProgramData\\Corvelan\\DTM Update Tool\\History\\ (the first state and the last 10).\n"
    "Exit codes: 0 done (also when nothing needed changing) or installed, 1 refused (the\n"
    "description was rejected, or the repository or catalogue is missing) or not installed,\n"
    "2 failed (a save or a copy failed) or status unknown, 64 usage.\n";

// A command line as parsed: the command, its options and its operands.
struct Command {
    std::string name; // list, install, remove, status, history, restore, --help or --version
    bool dryRun = false;
    bool detect = false;
    std::vector<std::string> operands;
    std::string wrong; // what is wrong with the command line; empty when nothing is
};

struct Grammar {
    std::string_view name;
    std::string_view option;     // the one option it takes; empty for none
    std::size_t operands;        // how many it needs
    std::size_t optionalOperand; // how many more it may take
    std::string_view operandName;
};

constexpr Grammar kGrammar[] = {
    {"list", "", 0, 0, ""},
    {"install", "--dry-run", 1, 0, "a FILE"},
    {"remove", "--dry-run", 0, 0, ""},
    {"status", "--detect", 0, 1, ""},
    {"history", "", 0, 0, ""},
    {"restore", "--dry-run", 0, 1, ""},
    {"--help", "", 0, 0, ""},
    {"-h", "", 0, 0, ""},
    {"--version", "", 0, 0, ""},
};

// The generation `word` names: a number from 1, in decimal digits alone.
std::optional<int> generationNumber(const std::string &word) {
    int n = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), n);
    if (ec != std::errc() || end != word.data() + word.size() || n < 1 || word.front() == '+')
        return std::nullopt;
    return n;
}

// The command `arguments` make, or what is wrong with them. "--" ends the options.
Command parse(const std::vector<std::string> &arguments) {
    const auto wrong = [](std::string what) {
        Command command;
        command.wrong = std::move(what);
        return command;
    };
    if (arguments.empty()) return wrong("no command given");
    const Grammar *grammar = nullptr;
    for (const Grammar &g : kGrammar)
        if (g.name == arguments.front()) grammar = &g;
    if (!grammar) {
        const std::string &first = arguments.front();
        return wrong((first.starts_with("-") ? "unknown option '" : "unknown command '") + first +
                     "'");
    }
    Command command;
    command.name = grammar->name == "-h" ? "--help" : std::string(grammar->name);
    bool options = true;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string &word = arguments[i];
        if (options && word == "--") {
            options = false;
        } else if (options && word.size() > 1 && word.front() == '-') {
            if (word != grammar->option)
                return wrong("unknown option '" + word + "' for " + command.name);
            (command.name == "status" ? command.detect : command.dryRun) = true;
        } else if (command.operands.size() < grammar->operands + grammar->optionalOperand) {
            command.operands.push_back(word);
        } else {
            return wrong("unexpected argument '" + word + "'");
        }
    }
    if (command.operands.size() < grammar->operands)
        return wrong(command.name + " needs " + std::string(grammar->operandName));
    if (command.name == "restore" && !command.operands.empty() &&
        !generationNumber(command.operands.front()))
        return wrong("'" + command.operands.front() + "' is no generation number");
    return command;
}

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

int status(const Command &command, const Result<DriveMap> &drives, const Writer &out,
           const Writer &err) {
    const std::optional<std::string> version =
        command.operands.empty() ? std::nullopt : std::optional(command.operands.front());
    const Detection found =
        drives ? detectInstalled(drives.value(), version)
               : Detection{Installed::Unknown, {}, messages::installedUnknown(drives.error())};
    switch (found.installed) {
    case Installed::Yes:
        out(found.line + "\n");
        return kExitDone;
    case Installed::No:
        // A detection script's "not installed" is silence and success.
        if (command.detect) return kExitDone;
        err(found.reason + "\n");
        return kExitRefused;
    case Installed::Unknown:
        break;
    }
    err(found.reason + "\n");
    return kExitFailed;
}

void printRehearsal(const Rehearsal &rehearsal, const Writer &out) {
    if (rehearsal.catalogueChecked) {
        for (const std::string &line : rehearsal.removed)
            out(messages::wouldTakeOut(line) + "\n");
        for (const std::string &line : rehearsal.added)
            out(messages::wouldAdd(line) + "\n");
        if (rehearsal.removed.empty() && rehearsal.added.empty())
            out(messages::wouldLeaveCatalogue() + "\n");
    }
    for (const Rehearsal::Copy &copy : rehearsal.copies)
        out(messages::wouldCopy(copy.destination, copy.effect) + "\n");
}

} // namespace

std::string versionReport(std::string_view program, std::string_view version) {
    std::string report = std::string(program) + " " + std::string(version) + "\n";
    report += "expat " + xml::expatVersion() + "\n";
    for (const std::string &runtime : fs::runtimeComponents())
        report += runtime + "\n";
#if defined(_GLIBCXX_RELEASE)
    report += "libstdc++ " + std::to_string(_GLIBCXX_RELEASE) + " (" + std::to_string(__GLIBCXX__) +
              ")\n";
#endif
#if defined(__clang__)
    report += "compiler Clang " __clang_version__ "\n";
#else
    report += "compiler GCC " __VERSION__ "\n";
#endif
    return report;
}

int runCommandLine(const std::vector<std::string> &arguments, const Result<DriveMap> &drives,
                   ToolFolder toolFolder, std::string_view version, const Writer &out,
                   const Writer &err, EventLog &log) {
    const Command command = parse(arguments);
    if (!command.wrong.empty()) {
        err(std::string(kProgram) + ": " + command.wrong + "\n\n" + std::string(kUsage));
        return kExitUsage;
    }
    if (command.name == "--help") {
        out(kUsage);
        return kExitDone;
    }
    if (command.name == "--version") {
        out(versionReport(kProgram, version));
        return kExitDone;
    }
    if (command.name == "status") return status(command, drives, out, err);

    // Without a usable prefix only z: is mapped, so the repository is missing, as in the windows.
    if (!drives) err(messages::unusablePrefix(drives.error()).text + "\n");
    const DriveMap map = drives ? drives.value() : DriveMap();
    UpdateSession session(map, std::move(toolFolder), fs::runsElevated(), log);
    PrintedList list;
    PrintedBoxes boxes(err);
    const StartupOutcome started = session.startUp(list);
    if (command.name == "list") {
        out(list.text());
        return started == StartupOutcome::Listed ? kExitDone : kExitRefused;
    }
    if (command.name == "history") {
        for (const Generation &generation : session.history())
            out(messages::historyLine(generation) + "\n");
        return kExitDone;
    }
    // The commands left are the workflows'.
    const Workflow workflow = workflowNamed(command.name).value();
    const std::string file =
        workflow == Workflow::Install ? descriptionPath(command.operands.front(), map) : "";
    const std::optional<int> generation = workflow == Workflow::Restore && !command.operands.empty()
                                              ? generationNumber(command.operands.front())
                                              : std::nullopt;
    if (command.dryRun) {
        Rehearsal rehearsal;
        Outcome outcome = Outcome::Done;
        switch (workflow) {
        case Workflow::Install:
            outcome = session.rehearseInstall(file, boxes, rehearsal);
            break;
        case Workflow::Remove:
            outcome = session.rehearseRemove(boxes, rehearsal);
            break;
        case Workflow::Restore:
            outcome = session.rehearseRestore(generation, boxes, rehearsal);
            break;
        }
        printRehearsal(rehearsal, out);
        const int code = exitCodeOf(outcome);
        out(messages::rehearsed(workflow, code) + "\n");
        return code;
    }
    Outcome outcome = Outcome::Done;
    switch (workflow) {
    case Workflow::Install:
        outcome = session.installDtm(file, list, boxes);
        break;
    case Workflow::Remove:
        outcome = session.remove(list, boxes);
        break;
    case Workflow::Restore:
        outcome = session.restore(generation, list, boxes);
        break;
    }
    // The catalogue as saved, also when a copy after the save failed.
    if (list.refreshed()) out(list.text());
    return exitCodeOf(outcome);
}

} // namespace corvelan::workflows
