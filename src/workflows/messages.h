// Every sentence the tool shows, made in one place: the reasons of errors (from their code and
// the step they failed in) and the message boxes of the workflows and windows. The windows and
// the console programs only show what these return.
#pragma once

#include "base/result.h"
#include "workflows/outcome.h"
#include "workflows/ports.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::workflows {

struct Generation; // workflows/history.h

// A message box: its text, title and style.
struct Message {
    std::string text;
    std::string title;
    BoxStyle style = BoxStyle::Ok;
    friend bool operator==(const Message &, const Message &) = default;
};

// Why `error` happened, as a phrase that follows a path: "cannot write: No space left on device",
// "It is a folder, not a file". Never empty.
[[nodiscard]] std::string reasonOf(const Error &error);

// The error as one line: its path first, quoted, then the reason ("'C:\x.xml': ..."); the reason
// alone when the error names no path.
[[nodiscard]] std::string describe(const Error &error);

namespace messages {

// The main window's title, which the boxes of its failures bear too.
inline constexpr std::string_view kToolTitle = "Corvelan DTM Update Tool - V1.1";

// The two status lines start-up lists instead of the catalogue start with one of these.
inline constexpr std::string_view kFolderMissingStatus = "Folder Missing";
inline constexpr std::string_view kFileMissingStatus = "File Missing";

// The description checks and the confirmation, in the order an install asks them.
[[nodiscard]] Message notADtmFile(const std::string &path);
[[nodiscard]] Message notADeviceProfile(const std::string &path);
[[nodiscard]] Message wrongProduct(const std::string &product);
[[nodiscard]] Message confirmVersion(const std::string &version);

// The repository's folders, or a file in them, may not be changed by this run (a link, another
// user's folder), or could not be opened; nothing was changed.
[[nodiscard]] Message repositoryRefused(const Error &error, Workflow workflow);

// The catalogue could not be changed; nothing was.
[[nodiscard]] Message catalogueNotLoaded(Workflow workflow);
// Why the catalogue could not be saved: not the repository's, changed by another program and now
// unreadable, kept changing, or the reason of the failed step (with what to do about it).
[[nodiscard]] Message catalogueNotSaved(const Error &error, Workflow workflow);

// One failed copy of an install: the destination, and why, with the source by its Windows path
// when the source failed.
struct FailedCopy {
    std::string destination;
    Error error;
    std::string sourceWindowsPath; // empty when the destination failed
};
[[nodiscard]] Message copiesFailed(const std::vector<FailedCopy> &failures,
                                   Workflow workflow = Workflow::Install);

// The history could not be written before the change; nothing was changed.
[[nodiscard]] Message historyNotKept(const Error &error, Workflow workflow);
// A restore with no generation to go back to, of a number the history lacks, or of a generation
// whose kept file (by its Windows path) is missing or damaged; nothing was changed.
[[nodiscard]] Message nothingToRestore();
[[nodiscard]] Message noSuchGeneration(int number);
[[nodiscard]] Message keptFileDamaged(const Error &error);
// The question a restore to `target` asks: the versions it goes back to and when and by whom they
// were installed, by `leftBy`, the generation whose command left them; without it, when `target`
// was kept.
[[nodiscard]] Message confirmRestore(const Generation &target, const Generation *leftBy);
// A generation as `history` lists it: number, local date and time, user, what it changed.
[[nodiscard]] std::string historyLine(const Generation &generation);
// Seconds since 1970 as the local "YYYY-MM-DD HH:MM".
[[nodiscard]] std::string localTime(std::int64_t seconds);

// A folder the file selection window could not show.
[[nodiscard]] Message folderUnreadable(const Error &error);

// A window's handler failed with an exception: `what` names the handler.
[[nodiscard]] Message handlerFailed(const std::string &what, const std::string &reason);

// The tool cannot use the Wine prefix it was given.
[[nodiscard]] Message unusablePrefix(const Error &error);

// Why the device's description is not installed, as the command line's status says it, one
// line each: a folder of the repository missing, the catalogue missing or not the
// repository's, not one device entry (`entries` of them), another version listed, installed
// files missing (by their Windows paths).
[[nodiscard]] std::string folderMissing(std::string_view folder);
[[nodiscard]] std::string catalogueMissing();
[[nodiscard]] std::string catalogueNotRepository();
[[nodiscard]] std::string deviceEntries(std::size_t entries);
[[nodiscard]] std::string otherVersion(const std::string &wanted, const std::string &listed);
[[nodiscard]] std::string filesMissing(const std::vector<std::string> &files);
// Why whether it is installed cannot be told.
[[nodiscard]] std::string installedUnknown(const Error &error);

// What a rehearsed install or remove found it would change, one line each, and how it would end.
[[nodiscard]] std::string wouldTakeOut(const std::string &line);
[[nodiscard]] std::string wouldAdd(const std::string &line);
[[nodiscard]] std::string wouldLeaveCatalogue();
[[nodiscard]] std::string wouldCopy(const std::string &destination, fs::Replacement effect);
[[nodiscard]] std::string rehearsed(Workflow workflow, int exitCode);

} // namespace messages
} // namespace corvelan::workflows
