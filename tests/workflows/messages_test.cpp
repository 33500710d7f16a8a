// The sentences the user reads, made from errors: every code and every step gives a text that
// names its path first, and the texts of the steps stay as the boxes have always shown them.
#include "catalogue/repository.h"
#include "platform/file_system.h"
#include "workflows/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace corvelan::workflows {
namespace {

using fs::FileOperation;

constexpr int kLastCode = static_cast<int>(ErrorCode::NotRepository);
constexpr int kLastOperation = static_cast<int>(FileOperation::CreateParser);

// The detail an error of `code` comes with.
ErrorDetail detailOf(ErrorCode code) {
    switch (code) {
    case ErrorCode::ForbiddenName:
    case ErrorCode::NotUtf8Name:
        return BadName{"Name"};
    case ErrorCode::DriveNotMapped:
        return UnmappedDrive{"Q"};
    case ErrorCode::AmbiguousName:
        return NameClash{"Name", "NAME", "/host/folder"};
    case ErrorCode::ForeignOwner:
        return Owner{"guest"};
    case ErrorCode::XmlUnseenEntity:
        return Entity{"ext"};
    case ErrorCode::NotRepository:
        return RootElement{"Other"};
    case ErrorCode::TooLarge:
    case ErrorCode::XmlTooDeep:
    case ErrorCode::XmlTooManyAttributes:
    case ErrorCode::XmlRunTooLong:
    case ErrorCode::FactTooLong:
        return Limit{8 << 20, "version"};
    default:
        return ParserMessage{"not well-formed (invalid token)"};
    }
}

// An error of `code` in `operation` with every field a text may use filled in.
Error sample(ErrorCode code, FileOperation operation) {
    Error e = makeError(code, "C:\\Data\\dev.xml");
    e.operation = operation;
    e.sysErrno = EACCES;
    e.cause = ErrorCode::XmlSyntax;
    e.offset = 12;
    e.line = 2;
    e.column = 3;
    e.detail = detailOf(code);
    return e;
}

TEST(Messages, EveryErrorNamesItsPathFirstAndSaysWhy) {
    std::vector<std::string> reasons;
    for (int code = 0; code <= kLastCode; ++code) {
        for (int operation = 0; operation <= kLastOperation; ++operation) {
            const Error e =
                sample(static_cast<ErrorCode>(code), static_cast<FileOperation>(operation));
            SCOPED_TRACE("code " + std::to_string(code) + ", operation " +
                         std::to_string(operation));
            const std::string reason = reasonOf(e);
            EXPECT_FALSE(reason.empty());
            EXPECT_EQ(reason.find("Unknown"), std::string::npos) << reason;
            EXPECT_FALSE(reason.ends_with(": ")) << reason;
            EXPECT_EQ(describe(e), "'C:\\Data\\dev.xml': " + reason);
            const Message folder = messages::folderUnreadable(e);
            EXPECT_TRUE(folder.text.starts_with("C:\\Data\\dev.xml cannot be read: "));
            const Message save = messages::catalogueNotSaved(e, Workflow::Remove);
            EXPECT_TRUE(save.text.starts_with(std::string(catalogue::kCatalogueSavePath) + " "));
            EXPECT_NE(save.text.find(". Nothing was removed."), std::string::npos);
            if (operation == 0) reasons.push_back(reason);
        }
    }
    // Each code has its own sentence.
    std::sort(reasons.begin(), reasons.end());
    EXPECT_EQ(std::unique(reasons.begin(), reasons.end()), reasons.end());
    // Without a path, the reason alone.
    Error bare = sample(ErrorCode::NoPrefix, FileOperation::None);
    bare.path.clear();
    EXPECT_EQ(describe(bare), "Neither WINEPREFIX nor HOME is set");
}

TEST(Messages, EachStepOfASaveReadsAsItsOwnFailure) {
    // What the box says after a failed step: what the tool could not do, then the system's own
    // words; a user (or the one they call) can tell each step of a save from the others.
    const std::string denied = std::strerror(EACCES);
    const FileOperation save[] = {
        FileOperation::CreateTemp,  FileOperation::Write,       FileOperation::SetOwner,
        FileOperation::SetSecurity, FileOperation::SetMode,     FileOperation::Flush,
        FileOperation::Rename,      FileOperation::RemoveStale, FileOperation::ListAttributes};
    std::vector<std::string> said;
    for (int operation = 1; operation <= kLastOperation; ++operation) {
        const std::string reason =
            reasonOf(systemError(EACCES, "x", static_cast<FileOperation>(operation)));
        SCOPED_TRACE(reason);
        EXPECT_TRUE(reason.starts_with("cannot ")) << "says what it could not do";
        EXPECT_TRUE(reason.ends_with(": " + denied)) << "then the system's words";
    }
    for (const FileOperation operation : save)
        said.push_back(reasonOf(systemError(EACCES, "x", operation)));
    std::sort(said.begin(), said.end());
    EXPECT_EQ(std::unique(said.begin(), said.end()), said.end());
    EXPECT_EQ(reasonOf(systemError(EACCES, "x", FileOperation::None)), denied);
    Error attribute = systemError(EACCES, "x", FileOperation::CopyAttributes);
    EXPECT_EQ(reasonOf(attribute), "cannot copy the attributes: " + denied);
    attribute.detail = Attribute{"user.DOSATTRIB"};
    EXPECT_EQ(reasonOf(attribute), "cannot copy user.DOSATTRIB: " + denied);
    // Windows' own words, where there are some, instead of the C library's.
    Error windows = systemError(EACCES, "x", FileOperation::Write);
    windows.osMessage = "Access is denied";
    EXPECT_EQ(reasonOf(windows), "cannot write: Access is denied");
}

TEST(Messages, AFileHeldOrForbiddenSaysWhatToDo) {
    const std::string save(catalogue::kCatalogueSavePath);
    Error held = systemError(EBUSY, "/host/DDXMLRepository.xml", FileOperation::Rename);
    held.code = ErrorCode::InUse;
    EXPECT_EQ(messages::catalogueNotSaved(held, Workflow::Install).text,
              save + " could not be saved: another program is using it. Nothing was installed. "
                     "Close the PTK Generic DTM and any other program that may have the catalogue "
                     "open, then try again.");
    Error forbidden = held;
    forbidden.code = ErrorCode::NoRights;
    const std::string remedy =
        fs::rightsRemedy() == fs::RightsRemedy::RunAsAdministrator
            ? "To change the repository, start the tool as administrator (right-click it and "
              "choose Run as administrator)."
            : "To change the repository, ask for write access to its folder in the Wine prefix, "
              "or start the tool as the user who owns the prefix.";
    EXPECT_EQ(messages::catalogueNotSaved(forbidden, Workflow::Remove).text,
              save + " could not be saved: you may not change it. Nothing was removed. " + remedy);

    // In the copies' box each file says why, and each remedy comes once, after the list.
    const std::vector<messages::FailedCopy> failures{
        {"c:\\p\\a.jpg", held, {}},
        {"c:\\p\\b.ico", forbidden, {}},
        {"c:\\p\\c.ico", held, {}},
        {"c:\\p\\d.ico", systemError(ENOSPC, "/host/d.ico", FileOperation::Write), {}},
    };
    EXPECT_EQ(messages::copiesFailed(failures).text,
              "The DTM was installed, but these files could not be copied:\n"
              "c:\\p\\a.jpg (another program is using it)\n"
              "c:\\p\\b.ico (you may not change it)\n"
              "c:\\p\\c.ico (another program is using it)\n"
              "c:\\p\\d.ico (cannot write: " +
                  std::string(std::strerror(ENOSPC)) +
                  ")\n"
                  "Close the programs that use them, then try again. " +
                  remedy);
}

TEST(Messages, ParseErrorsSayWhereAndEditsSayWhy) {
    Error syntax = makeError(ErrorCode::XmlSyntax, "f.xml");
    syntax.detail = ParserMessage{"mismatched tag"};
    syntax.line = 4;
    syntax.column = 7;
    EXPECT_EQ(reasonOf(syntax), "mismatched tag at line 4, column 7");
    Error edit = syntax;
    edit.cause = ErrorCode::XmlSyntax;
    edit.code = ErrorCode::EditNotWellFormed;
    EXPECT_EQ(reasonOf(edit),
              "The edited catalogue would not be well-formed (mismatched tag at line 4, column 7)");
    Error big = makeError(ErrorCode::TooLarge, "f.xml");
    big.detail = Limit{std::uint64_t{1} << 30, {}};
    EXPECT_EQ(reasonOf(big), "The file is larger than 1024 MiB");
}

} // namespace
} // namespace corvelan::workflows
