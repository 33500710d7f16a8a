// Errors as values. Every fallible call in the core returns a Status or a Result<T>; nothing
// throws across layers. An Error is data only: what went wrong (its code), the step it went wrong
// in, the paths and names it is about, the OS's own error, and for XML the position of the fault.
// No text for the user is made here: workflows/messages.h turns errors into sentences.
#pragma once

#include "base/file_operation.h"

#include <cassert>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace corvelan {

enum class ErrorCode {
    // Paths and files
    NotFound,          // no such file or folder
    NotAFile,          // a folder where a file was expected
    NotRegularFile,    // a FIFO, socket or device where a file was expected
    ReadOnly,          // a read-only file that is not replaced (sysErrno EACCES)
    NoDriveLetter,     // a Windows path without a drive letter
    ForbiddenName,     // a name (BadName) holds a character Windows forbids
    NotUtf8Name,       // a name (BadName) is not valid UTF-8
    DriveNotMapped,    // the UnmappedDrive is not mapped
    NoDrive,           // no drive is mapped at all
    PrefixNotAbsolute, // the Wine prefix `path` is not an absolute path
    NoPrefix,          // neither WINEPREFIX nor HOME is set
    AmbiguousName,     // two names in one folder differ only in case (NameClash)
    System,            // an OS call failed in `operation`; sysErrno, osCode and osMessage say why
    InUse,             // as System, and the file is held by another program that kept it
    NoRights,          // as System, and the user may not change the file or its folder
    TooLarge,          // larger than the Limit in bytes
    ChangedOnDisk,     // another program changed the file since the tool read or checked it
                       // (`cause`: then it could not read it again, and why)
    KeptChanging,      // another program kept changing the file while the tool saved it
    // Rights and trust
    LinksElsewhere, // `path` is a link (symbolic link, junction, mount point) or leads elsewhere
    ForeignOwner,   // `path` belongs to an Owner whose folders this run may not change
    FolderMoved,    // the folder `path` was moved or replaced while the tool worked in it
    // Documents
    XmlSyntax,            // not well-formed, in the ParserMessage's words
    XmlTooDeep,           // elements nested deeper than the Limit
    XmlTooManyAttributes, // more attributes on one element than the Limit
    XmlRunTooLong,        // more bytes of text or of one tag than the Limit
    XmlStopped,           // reading stopped by a failure of the reader (a ParserMessage may say)
    XmlUnseenEntity,      // refers to an Entity whose text the tool cannot see
    FactTooLong,          // a description's text is longer than the Limit in characters
    // Catalogue edits
    EntryFromEntity,    // the device entry at `offset` comes from an entity reference
    EntryIsRoot,        // the device entry is the catalogue's root element
    RootEndTagMissing,  // the root element's end tag is not where the parse put it
    EmptyRootNotOpened, // the empty root element "<Root/>" is not where the parse put it
    EditNotWellFormed,  // the edited catalogue would not parse; `cause` and the position say why
    NotRepository,      // the RootElement is not DDXMLRepository
    EncodingChanged,    // the catalogue is in another encoding than the kept entries
    // The history
    NothingKept,      // the history holds no generation to go back to
    NoSuchGeneration, // the history holds no generation of the Limit's number
    KeptFileDamaged,  // a kept file `path` does not hold what its manifest says (or is missing)
};

// What an error is about beside its path: one kind of detail per kind of error.
struct BadName { // ForbiddenName, NotUtf8Name: the part of the path at fault
    std::string name;
};
struct UnmappedDrive { // DriveNotMapped: its upper-case letter
    std::string letter;
};
struct NameClash { // AmbiguousName: two names in `folder` that differ only in case
    std::string first;
    std::string second;
    std::string folder;
};
struct Owner { // ForeignOwner: the account the path belongs to
    std::string account;
};
struct Limit { // TooLarge, XmlTooDeep, ... FactTooLong: the limit broken, and what broke it
    std::uint64_t value = 0;
    std::string of; // FactTooLong: the element whose text is too long
};
struct ParserMessage { // XmlSyntax, XmlStopped: the parser's or the reader's own words
    std::string text;
};
struct Entity { // XmlUnseenEntity: the entity whose text cannot be seen
    std::string name;
};
struct RootElement { // NotRepository: the root element's name
    std::string name;
};
struct Attribute { // System in CopyAttributes: the attribute that could not be copied
    std::string name;
};
using ErrorDetail = std::variant<std::monostate, BadName, UnmappedDrive, NameClash, Owner, Limit,
                                 ParserMessage, Entity, RootElement, Attribute>;

struct Error {
    ErrorCode code = ErrorCode::System;
    fs::FileOperation operation = fs::FileOperation::None; // the step it failed in
    std::string path;         // what it is about: a host or Windows path, as the caller knows it
    int sysErrno = 0;         // the errno, or the errno of the same meaning on Windows
    std::uint32_t osCode = 0; // the Windows error code; 0 on Linux
    std::string osMessage;    // Windows' own text for osCode
    std::int64_t offset = -1; // byte offset of an XML fault or entry, -1 when none
    std::int64_t line = 0;    // of an XML fault, from 1; 0 when none
    std::int64_t column = 0;  // of an XML fault, from 1
    // The code of the error this one stands for: for ChangedOnDisk, why the changed file could
    // not be read again; for EditNotWellFormed, why the edited catalogue did not parse (its
    // detail and position are that error's).
    std::optional<ErrorCode> cause;
    ErrorDetail detail;

    // The detail of kind T; an empty one when the error has none of that kind.
    template <typename T> [[nodiscard]] T about() const {
        const T *found = std::get_if<T>(&detail);
        return found ? *found : T{};
    }
};

// An Error of `code` about `path`.
[[nodiscard]] Error makeError(ErrorCode code, std::string path = {});

// A failed OS call: `err` (an errno) in `operation` on `path`.
[[nodiscard]] Error systemError(int err, std::string path, fs::FileOperation operation);

class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error e) : m_error(std::move(e)) {} // NOLINT: implicit by design

    [[nodiscard]] bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    [[nodiscard]] const Error &error() const {
        assert(m_error);
        return *m_error;
    }

private:
    std::optional<Error> m_error;
};

template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {} // NOLINT: implicit by design
    Result(Error e) : m_value(std::move(e)) {}     // NOLINT: implicit by design

    [[nodiscard]] bool ok() const { return std::holds_alternative<T>(m_value); }
    explicit operator bool() const { return ok(); }
    [[nodiscard]] T &value() & {
        assert(ok());
        return std::get<T>(m_value);
    }
    [[nodiscard]] const T &value() const & {
        assert(ok());
        return std::get<T>(m_value);
    }
    [[nodiscard]] T &&value() && {
        assert(ok());
        return std::get<T>(std::move(m_value));
    }
    [[nodiscard]] const Error &error() const {
        assert(!ok());
        return std::get<Error>(m_value);
    }
    [[nodiscard]] Status status() const { return ok() ? Status() : Status(error()); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

private:
    std::variant<T, Error> m_value;
};

} // namespace corvelan
