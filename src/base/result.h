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
    ForbiddenName,     // `name` holds a character Windows forbids
    NotUtf8Name,       // `name` is not valid UTF-8
    DriveNotMapped,    // the drive `name` (its upper-case letter) is not mapped
    NoDrive,           // no drive is mapped at all
    PrefixNotAbsolute, // the Wine prefix `path` is not an absolute path
    NoPrefix,          // neither WINEPREFIX nor HOME is set
    AmbiguousName,     // `name` and `otherName` in the folder `otherPath` differ only in case
    System,            // an OS call failed in `operation`; sysErrno, osCode and osMessage say why
    InUse,             // as System, and the file is held by another program that kept it
    NoRights,          // as System, and the user may not change the file or its folder
    TooLarge,          // larger than `limit` bytes
    ChangedOnDisk,     // another program changed the file since the tool read or checked it
                       // (`cause`: then it could not read it again, and why)
    KeptChanging,      // another program kept changing the file while the tool saved it
    // Rights and trust
    LinksElsewhere, // `path` is a link (symbolic link, junction, mount point) or leads elsewhere
    ForeignOwner,   // `path` belongs to `name`, whose folders this run may not change
    FolderMoved,    // the folder `path` was moved or replaced while the tool worked in it
    // Documents
    XmlSyntax,            // not well-formed; `detail` is the parser's own message
    XmlTooDeep,           // elements nested deeper than `limit`
    XmlTooManyAttributes, // more than `limit` attributes on one element
    XmlRunTooLong,        // more than `limit` bytes of text or of one tag
    XmlStopped,           // reading stopped by a failure of the reader; `detail` may say which
    XmlUnseenEntity,      // refers to the entity `name`, whose text the tool cannot see
    FactTooLong,          // the `name` text of a description is longer than `limit` characters
    // Catalogue edits
    EntryFromEntity,    // the device entry at `offset` comes from an entity reference
    EntryIsRoot,        // the device entry is the catalogue's root element
    RootEndTagMissing,  // the root element's end tag is not where the parse put it
    EmptyRootNotOpened, // the empty root element "<Root/>" is not where the parse put it
    EditNotWellFormed,  // the edited catalogue would not parse; `cause` and the position say why
    NotRepository,      // the root element `name` is not DDXMLRepository
};

struct Error {
    ErrorCode code = ErrorCode::System;
    fs::FileOperation operation = fs::FileOperation::None; // the step it failed in
    std::string path;      // what it is about: a host or Windows path, as the caller knows it
    std::string otherPath; // a second path, where there is one
    std::string name;      // a name it is about: an entity, an attribute, a drive, an element
    std::string otherName;
    int sysErrno = 0;               // the errno, or the errno of the same meaning on Windows
    std::uint32_t osCode = 0;       // the Windows error code; 0 on Linux
    std::string osMessage;          // Windows' own text for osCode
    std::string detail;             // the XML parser's own message
    std::optional<ErrorCode> cause; // for EditNotWellFormed: why the result did not parse
    std::int64_t offset = -1;       // byte offset of an XML fault, -1 when none
    std::int64_t line = 0;          // of an XML fault, from 1; 0 when none
    std::int64_t column = 0;        // of an XML fault, from 1
    std::uint64_t limit = 0;        // the limit a TooLarge or Xml... error broke
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
