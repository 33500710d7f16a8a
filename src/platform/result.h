// Errors as values. Every fallible call in the core returns a Status or a Result<T>; nothing
// throws across layers. An Error carries a code, the subject (a path, in the form the caller
// knows it), the OS error number or parser detail, and for XML the position of the fault.
#pragma once

#include <cassert>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace corvelan {

enum class ErrorCode {
    NotFound,        // no such file, folder or drive
    NotAFile,        // a folder where a file was expected
    NotRegularFile,  // a FIFO, socket or device where a file was expected
    InvalidPath,     // a path the drive map cannot take apart
    AmbiguousName,   // several names differ from the given one only in letter case
    System,          // an OS call failed; Error::sysErrno says why
    TooLarge,        // input beyond a limit of the tool
    XmlSyntax,       // not well-formed, or beyond the parser's limits
    XmlUnseenEntity, // refers to an entity whose text the tool cannot see
    EditRefused,     // an edit that cannot be made exactly
    NotRepository,   // the catalogue's root element is not DDXMLRepository
    ChangedOnDisk,   // another program changed the file since the tool read it
};

struct Error {
    ErrorCode code = ErrorCode::System;
    std::string subject;      // what failed, e.g. a path
    int sysErrno = 0;         // for ErrorCode::System
    std::string osMessage;    // the system's own text for it, when it has one beyond strerror
    std::string detail;       // parser message or other explanation
    std::int64_t offset = -1; // byte offset of an XML fault, -1 when none
    std::int64_t line = 0;
    std::int64_t column = 0;

    // One sentence for the user: what failed, the subject quoted, and the reason.
    [[nodiscard]] std::string message() const;
    // The reason alone, e.g. "Permission denied".
    [[nodiscard]] std::string reason() const;
};

// An Error of `code` about `subject`, with `detail` for its text.
[[nodiscard]] Error makeError(ErrorCode code, std::string subject, std::string detail = {});

// Builds an Error from errno for `subject`, with `what` naming the failed step.
[[nodiscard]] Error systemError(int err, std::string subject, std::string what = {});

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
