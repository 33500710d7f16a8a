#include "workflows/messages.h"

#include "catalogue/repository.h"
#include "platform/file_system.h"
#include "workflows/audit.h"
#include "workflows/history.h"
#include "workflows/ports.h"

#include <cstring>
#include <ctime>

namespace corvelan::workflows {
namespace {

using fs::FileOperation;

constexpr const char *kFileError = "File Error";
constexpr const char *kRestoreTitle = "Restore previous version";

// What the step was doing, as the start of a reason: "cannot write".
std::string stepOf(const Error &e) {
    switch (e.operation) {
    case FileOperation::CreateTemp:
        return "cannot create a temporary file";
    case FileOperation::Open:
    case FileOperation::OpenSource:
        return "cannot open";
    case FileOperation::Read:
    case FileOperation::Check:
    case FileOperation::Compare:
        return "cannot read";
    case FileOperation::Inspect:
        return "cannot read the size";
    case FileOperation::Write:
        return "cannot write";
    case FileOperation::SetOwner:
        return "cannot set the owner";
    case FileOperation::SetSecurity:
        return "cannot set the permissions of its users";
    case FileOperation::CopyAttributes: {
        const std::string attribute = e.about<Attribute>().name;
        return attribute.empty() ? "cannot copy the attributes" : "cannot copy " + attribute;
    }
    case FileOperation::ListAttributes:
        return "cannot list extended attributes";
    case FileOperation::SetMode:
        return "cannot set the permissions";
    case FileOperation::Flush:
    case FileOperation::FlushFolder:
        return "cannot flush";
    case FileOperation::Rename:
        return "cannot replace";
    case FileOperation::ResolvePath:
        return "cannot resolve the path";
    case FileOperation::ResolveFolder:
        return "cannot resolve the folder";
    case FileOperation::ClearAttributes:
        return "cannot clear the attributes";
    case FileOperation::RemoveStale:
        return "cannot remove a temporary file a stopped save left";
    case FileOperation::RemoveFile:
        return "cannot remove";
    case FileOperation::CreateFolder:
        return "cannot create the folder";
    case FileOperation::RemoveFolder:
        return "cannot remove the folder";
    case FileOperation::OpenFolder:
        return "cannot open the folder";
    case FileOperation::ReadOwner:
        return "cannot learn who owns it";
    case FileOperation::ReadFolder:
        return "cannot read the folder";
    case FileOperation::FindOwnExecutable:
        return "cannot find the executable";
    case FileOperation::FindCurrentFolder:
        return "cannot find the current folder";
    case FileOperation::CreateParser:
        return "cannot create the XML parser";
    case FileOperation::None:
        break;
    }
    return {};
}

// The system's own words for the error.
std::string systemText(const Error &e) {
    return e.osMessage.empty() ? std::string(std::strerror(e.sysErrno)) : e.osMessage;
}

// Where in the document, for the errors of a parse.
std::string atPosition(const Error &e) {
    if (e.line <= 0) return {};
    return " at line " + std::to_string(e.line) + ", column " + std::to_string(e.column);
}

std::string mebibytes(std::uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}

// The reason of `e`, read as if its code were `code` (an edit's cause is read that way).
std::string reasonAs(ErrorCode code, const Error &e) {
    switch (code) {
    case ErrorCode::NotFound:
        return "The system cannot find the file specified";
    case ErrorCode::NotAFile:
        return "It is a folder, not a file";
    case ErrorCode::NotRegularFile:
        return "It is a device, FIFO or socket, not a file";
    case ErrorCode::ReadOnly:
        return "the file is read-only: " + systemText(e);
    case ErrorCode::NoDriveLetter:
        return "The path does not start with a drive letter";
    case ErrorCode::ForbiddenName:
        return "The name '" + e.about<BadName>().name + "' holds a character Windows forbids";
    case ErrorCode::NotUtf8Name:
        return "The name '" + e.about<BadName>().name + "' is not valid UTF-8";
    case ErrorCode::DriveNotMapped:
        return "Drive " + e.about<UnmappedDrive>().letter + ": is not mapped";
    case ErrorCode::NoDrive:
        return "No drive is mapped";
    case ErrorCode::PrefixNotAbsolute:
        return "The Wine prefix must be an absolute path";
    case ErrorCode::NoPrefix:
        return "Neither WINEPREFIX nor HOME is set";
    case ErrorCode::AmbiguousName: {
        const NameClash clash = e.about<NameClash>();
        return "Several names differ from it only in letter case: '" + clash.first + "' and '" +
               clash.second + "' in " + clash.folder;
    }
    case ErrorCode::System: {
        const std::string step = stepOf(e);
        return step.empty() ? systemText(e) : step + ": " + systemText(e);
    }
    // The system's words ("Access is denied", "being used by another process") would add
    // nothing to these, or mislead.
    case ErrorCode::InUse:
        return "another program is using it";
    case ErrorCode::NoRights:
        return "you may not change it";
    case ErrorCode::TooLarge:
        return "The file is larger than " + mebibytes(e.about<Limit>().value);
    case ErrorCode::ChangedOnDisk:
        return "Another program changed the file after it was checked";
    case ErrorCode::KeptChanging:
        return "another program kept changing it";
    case ErrorCode::LinksElsewhere:
        return "It is a link to another place";
    case ErrorCode::ForeignOwner:
        return "It belongs to " + e.about<Owner>().account;
    case ErrorCode::FolderMoved:
        return "Its folder was moved or replaced while the tool worked in it";
    case ErrorCode::XmlSyntax:
        return e.about<ParserMessage>().text + atPosition(e);
    case ErrorCode::XmlTooDeep:
        return "Elements nested deeper than " + std::to_string(e.about<Limit>().value) +
               atPosition(e);
    case ErrorCode::XmlTooManyAttributes:
        return "More than " + std::to_string(e.about<Limit>().value) +
               " attributes on one element" + atPosition(e);
    case ErrorCode::XmlRunTooLong:
        return "More than " + mebibytes(e.about<Limit>().value) + " of text or of one tag" +
               atPosition(e);
    case ErrorCode::XmlStopped: {
        const std::string why = e.about<ParserMessage>().text;
        return (why.empty() ? "Reading stopped" : "Reading stopped: " + why) + atPosition(e);
    }
    case ErrorCode::XmlUnseenEntity:
        return "The document refers to the entity '" + e.about<Entity>().name +
               "', whose text cannot be read" + atPosition(e);
    case ErrorCode::FactTooLong: {
        const Limit limit = e.about<Limit>();
        return "The " + limit.of + " text is longer than " + std::to_string(limit.value) +
               " characters" + atPosition(e);
    }
    case ErrorCode::EntryFromEntity:
        return "The device entry at byte " + std::to_string(e.offset) +
               " comes from an entity reference and cannot be removed exactly";
    case ErrorCode::EntryIsRoot:
        return "The device entry is the catalogue's root element; removing it would remove "
               "every entry";
    case ErrorCode::RootEndTagMissing:
        return "The root element's end tag was not found";
    case ErrorCode::EmptyRootNotOpened:
        return "The empty root element could not be opened";
    case ErrorCode::EditNotWellFormed:
        return "The edited catalogue would not be well-formed (" +
               reasonAs(e.cause.value_or(ErrorCode::XmlSyntax), e) + ")";
    case ErrorCode::NotRepository:
        return "The root element is " + e.about<RootElement>().name + ", not " +
               std::string(catalogue::kRootElement);
    case ErrorCode::EncodingChanged:
        return "The catalogue is no longer in the encoding of the kept entries";
    case ErrorCode::NothingKept:
        return "The history holds no earlier version";
    case ErrorCode::NoSuchGeneration:
        return "The history holds no generation " + std::to_string(e.about<Limit>().value);
    case ErrorCode::KeptFileDamaged:
        return "The kept copy is missing or does not match its SHA-256";
    }
    return "Unknown error";
}

std::string nothingDone(Workflow workflow) {
    switch (workflow) {
    case Workflow::Install:
        return ". Nothing was installed.";
    case Workflow::Remove:
        return ". Nothing was removed.";
    case Workflow::Restore:
        break;
    }
    return ". Nothing was restored.";
}

std::string historyPath() {
    return std::string(kHistoryDir);
}

std::string savePath() {
    return std::string(catalogue::kCatalogueSavePath);
}

// What the user can do about a file of `what` (the repository, the history) that could not be
// changed, as sentences after the box's own; empty when there is nothing to do but what the
// reason says.
std::string remedyFor(ErrorCode code, const std::string &programs,
                      const std::string &what = "the repository") {
    if (code == ErrorCode::InUse) return " Close " + programs + ", then try again.";
    if (code != ErrorCode::NoRights) return {};
    switch (fs::rightsRemedy()) {
    case fs::RightsRemedy::RunAsAdministrator:
        return " To change " + what +
               ", start the tool as administrator (right-click it and choose Run as "
               "administrator).";
    case fs::RightsRemedy::AskPrefixOwner:
        return " To change " + what + ", ask for write access to its folder in the Wine " +
               "prefix, or start the tool as the user who owns the prefix.";
    }
    return {};
}

} // namespace

std::string reasonOf(const Error &error) {
    return reasonAs(error.code, error);
}

std::string describe(const Error &error) {
    if (error.path.empty()) return reasonOf(error);
    return "'" + error.path + "': " + reasonOf(error);
}

namespace messages {

Message notADtmFile(const std::string &path) {
    return {path + " is not a valid DTM XML file.", kFileError, BoxStyle::Error};
}

Message notADeviceProfile(const std::string &path) {
    return {path + " is not a valid QVXTSR7700 DTM XML file.", kFileError, BoxStyle::Error};
}

Message wrongProduct(const std::string &product) {
    return {"The Product ID of this file is " + product + ". It should be QVXTSR7700.", kFileError,
            BoxStyle::Ok};
}

Message confirmVersion(const std::string &version) {
    return {"You have selected the QVXTSR7700 DTM version " + version + ". Is this correct?",
            "File Selection", BoxStyle::Confirm};
}

Message catalogueNotLoaded(Workflow workflow) {
    return {savePath() + " is not loaded" + nothingDone(workflow), kFileError, BoxStyle::Error};
}

Message catalogueNotSaved(const Error &error, Workflow workflow) {
    if (error.code == ErrorCode::NotRepository)
        return {savePath() + " is not a DTM repository catalogue" + nothingDone(workflow),
                kFileError, BoxStyle::Error};
    if (error.code == ErrorCode::ChangedOnDisk && error.cause)
        return {savePath() + " was changed by another program and cannot be read" +
                    nothingDone(workflow),
                kFileError, BoxStyle::Error};
    return {savePath() + " could not be saved: " + reasonOf(error) + nothingDone(workflow) +
                remedyFor(error.code, "the PTK Generic DTM and any other program that may "
                                      "have the catalogue open"),
            kFileError, BoxStyle::Error};
}

Message repositoryRefused(const Error &error, Workflow workflow) {
    std::string text = error.path;
    std::string remedy;
    switch (error.code) {
    case ErrorCode::LinksElsewhere:
        text += " is a link to another place";
        remedy = " Remove the link, or ask an administrator to, then try again.";
        break;
    case ErrorCode::ForeignOwner:
        text += " belongs to " + error.about<Owner>().account;
        remedy = fs::rightsRemedy() == fs::RightsRemedy::AskPrefixOwner
                     ? " Start the tool as " + error.about<Owner>().account + "."
                     : " Ask an administrator to make the Administrators group its owner, then "
                       "try again.";
        break;
    default:
        text += " cannot be opened: " + reasonOf(error);
        break;
    }
    return {text + nothingDone(workflow) + remedy, kFileError, BoxStyle::Error};
}

Message historyNotKept(const Error &error, Workflow workflow) {
    return {historyPath() +
                " could not be written, so the state before the change could not be "
                "kept: " +
                reasonOf(error) + nothingDone(workflow) +
                remedyFor(error.code, "the programs that use it", "the history"),
            kFileError, BoxStyle::Error};
}

Message nothingToRestore() {
    return {"There is nothing to go back to: the history in " + historyPath() +
                " holds no earlier version of the QVX TSR 7700 DTM.",
            kRestoreTitle, BoxStyle::Warning};
}

Message noSuchGeneration(int number) {
    return {"The history in " + historyPath() + " holds no generation " + std::to_string(number) +
                nothingDone(Workflow::Restore),
            kRestoreTitle, BoxStyle::Error};
}

Message keptFileDamaged(const Error &error) {
    return {error.path +
                " is missing or damaged: it does not hold what the history's manifest "
                "says, so that version cannot be restored" +
                nothingDone(Workflow::Restore),
            kFileError, BoxStyle::Error};
}

std::string localTime(std::int64_t seconds) {
    const auto time = static_cast<std::time_t>(seconds);
    char text[32] = "";
    if (const std::tm *local = std::localtime(&time))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", local);
    return text;
}

Message confirmRestore(const Generation &target, const Generation *leftBy) {
    std::string what = target.before.empty() ? "Go back to the state without the QVX TSR 7700 DTM"
                                             : "Go back to the QVX TSR 7700 DTM version " +
                                                   versionList(target.before);
    if (leftBy && !target.before.empty())
        what += ", installed on " + localTime(leftBy->time) + " by " + leftBy->user;
    else
        what += ", as it was on " + localTime(target.time);
    return {what + "?", kRestoreTitle, BoxStyle::Confirm};
}

std::string historyLine(const Generation &generation) {
    return std::to_string(generation.number) + "  " + localTime(generation.time) + "  " +
           generation.user + "  " + changeOf(generation);
}

Message copiesFailed(const std::vector<FailedCopy> &failures, Workflow workflow) {
    std::string text = workflow == Workflow::Restore
                           ? "The catalogue was restored, but these files could not be put back:"
                           : "The DTM was installed, but these files could not be copied:";
    std::string remedies;
    for (const FailedCopy &failure : failures) {
        std::string reason = reasonOf(failure.error);
        if (!failure.sourceWindowsPath.empty()) reason = failure.sourceWindowsPath + ": " + reason;
        text += "\n" + failure.destination + " (" + reason + ")";
        // Each remedy once, after the list.
        const std::string remedy = remedyFor(failure.error.code, "the programs that use them");
        if (!remedy.empty() && remedies.find(remedy) == std::string::npos) remedies += remedy;
    }
    if (!remedies.empty()) text += "\n" + remedies.substr(1);
    return {text, kFileError, BoxStyle::Warning};
}

Message folderUnreadable(const Error &error) {
    return {error.path + " cannot be read: " + reasonOf(error) + ".", kFileError, BoxStyle::Error};
}

Message handlerFailed(const std::string &what, const std::string &reason) {
    return {what + " failed: " + reason, std::string(kToolTitle), BoxStyle::Error};
}

Message unusablePrefix(const Error &error) {
    return {describe(error), std::string(kToolTitle), BoxStyle::Error};
}

namespace {

std::string notInstalledBecause(std::string_view why) {
    return "The QVX TSR 7700 DTM is not installed: " + std::string(why) + ".";
}

std::string wouldLeave(const std::string &path) {
    return "Would leave " + path + " as it is";
}

} // namespace

std::string folderMissing(std::string_view folder) {
    return notInstalledBecause("the folder " + std::string(folder) + " is missing");
}

std::string catalogueMissing() {
    return notInstalledBecause(savePath() + " is missing");
}

std::string catalogueNotRepository() {
    return notInstalledBecause(savePath() + " is not a DDXMLRepository catalogue");
}

std::string deviceEntries(std::size_t entries) {
    if (entries == 0) return notInstalledBecause(savePath() + " has no QVX TSR 7700 entry");
    return notInstalledBecause(savePath() + " has " + std::to_string(entries) +
                               " QVX TSR 7700 entries, where one is expected");
}

std::string otherVersion(const std::string &wanted, const std::string &listed) {
    return "The QVX TSR 7700 DTM " + wanted + " is not installed: " + savePath() +
           " lists version " + listed + ".";
}

std::string filesMissing(const std::vector<std::string> &files) {
    std::string list;
    for (const std::string &file : files)
        list += (list.empty() ? "" : ", ") + file;
    return notInstalledBecause("these files are missing: " + list);
}

std::string installedUnknown(const Error &error) {
    return "Whether the QVX TSR 7700 DTM is installed cannot be told: " + describe(error);
}

std::string wouldTakeOut(const std::string &line) {
    return "Would take out of " + savePath() + ": " + line;
}

std::string wouldAdd(const std::string &line) {
    return "Would add to " + savePath() + ": " + line;
}

std::string wouldLeaveCatalogue() {
    return wouldLeave(savePath());
}

std::string wouldCopy(const std::string &destination, fs::Replacement effect) {
    switch (effect) {
    case fs::Replacement::Creates:
        return "Would create " + destination;
    case fs::Replacement::Replaces:
        return "Would replace " + destination;
    case fs::Replacement::Removes:
        return "Would remove " + destination;
    case fs::Replacement::Keeps:
        break;
    }
    return wouldLeave(destination);
}

std::string rehearsed(Workflow workflow, int exitCode) {
    return "Dry run: nothing was changed; " + std::string(commandName(workflow)) +
           " would exit with " + std::to_string(exitCode) + ".";
}

} // namespace messages
} // namespace corvelan::workflows
